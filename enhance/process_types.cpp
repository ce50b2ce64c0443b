#include "enhance/process_types.h"

#include "clarivex/clarivex.h"

namespace tavren {

void ProcessWithPreset(Image& image, const TTypePreset& preset) {
  TClarivex clarivex;
  clarivex.Process(image, preset.ClarivexStrength, preset.SuppressColorDistortion != 0);
  TLumora lumora;
  lumora.Process(image, preset.LumoraStrength,
                 LumoraParamSets[preset.ArtifactSuppression != 0 ? 1 : 0]);
}

std::unique_ptr<Image> ProcessedCopy(const Image& source, const TTypePreset& preset) {
  auto work = std::make_unique<Image>();
  work->Assign(source);
  ProcessWithPreset(*work, preset);
  return work;
}

}  // namespace tavren
