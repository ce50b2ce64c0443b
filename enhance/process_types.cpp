#include "enhance/process_types.h"

#include "clarivex/clarivex.h"
#include "picture_io/picture_files.h"

namespace tavren {

void ProcessWithPreset(Image& image, const TTypePreset& preset, const TLevelCensus* census) {
  // Clarivex's sweep counts what it writes, which is where Lumora's first
  // pass starts.
  TTakeAlong lumoraStart;
  const bool lumoraRuns = preset.LumoraStrength >= 1 && preset.LumoraStrength <= 3;
  TClarivex clarivex;
  clarivex.Process(image, preset.ClarivexStrength, preset.SuppressColorDistortion != 0, census,
                   lumoraRuns ? &lumoraStart : nullptr);
  TLumora lumora;
  lumora.Process(image, preset.LumoraStrength,
                 LumoraParamSets[preset.ArtifactSuppression != 0 ? 1 : 0], &lumoraStart);
}

// The census is counted on another core while the picture is decoded.  No
// block for the tone correction is cleared ahead: most of its passes never
// touch one, and clearing it beside the decoder slowed the decoding down.
TLoadedPicture LoadPictureToProcess(const std::string& path) {
  TLoadedPicture loaded;
  TCensusWhileWriting census;
  loaded.Picture = LoadPicture(path, &census);
  loaded.Counted = census.Take(loaded.Census);
  return loaded;
}

void ProcessWithPreset(TLoadedPicture& picture, const TTypePreset& preset) {
  ProcessWithPreset(picture.Picture, preset, picture.Counted ? &picture.Census : nullptr);
  picture.Counted = false;  // the census was of the picture before
}

std::unique_ptr<Image> ProcessedCopy(const Image& source, const TTypePreset& preset) {
  auto work = std::make_unique<Image>();
  work->Assign(source);
  ProcessWithPreset(*work, preset);
  return work;
}

}  // namespace tavren
