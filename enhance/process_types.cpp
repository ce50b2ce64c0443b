#include "enhance/process_types.h"

#include <thread>

#include "clarivex/clarivex.h"
#include "imaging/pixel_memory.h"
#include "imaging/thread_pool.h"
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

TLoadedPicture LoadPictureToProcess(const std::string& path) {
  // The processing needs one more block of the picture's size (where
  // Lumora's passes put the remapped values).  Touching fresh memory for the first
  // time costs about as much as a sweep over it, so another core puts one
  // in place while the picture is decoded.
  std::jthread warm;
  try {
    const TPictureSize size = ReadPictureSize(path);
    const std::size_t bytes = 3 * static_cast<std::size_t>(size.width) * size.height;
    if (BandPool().Size() > 1) warm = std::jthread([bytes] { WarmSparePixels(bytes); });
  } catch (const std::exception&) {  // the decoding says what is wrong
  }
  TLoadedPicture loaded;
  TCensusWhileWriting census;
  loaded.image = LoadPicture(path, &census);
  loaded.counted = census.Take(loaded.census);
  return loaded;
}

void ProcessWithPreset(TLoadedPicture& picture, const TTypePreset& preset) {
  ProcessWithPreset(picture.image, preset, picture.counted ? &picture.census : nullptr);
  picture.counted = false;  // the census was of the picture before
}

std::unique_ptr<Image> ProcessedCopy(const Image& source, const TTypePreset& preset) {
  auto work = std::make_unique<Image>();
  work->Assign(source);
  ProcessWithPreset(*work, preset);
  return work;
}

}  // namespace tavren
