// The processing types: their codes, the strengths each one runs at, the
// Lumora parameter sets, and one preset run on a picture.  The window's
// engine and the command line share them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "imaging/image.h"
#include "lumora/lumora.h"

namespace tavren {

enum TProcessType : std::uint8_t {
  ptOriginal = 0,
  ptLight = 1,
  ptNormal = 2,
  ptDeep = 3,
  ptManualTuning = 99,
};

// One way of processing: the strengths (0 Off, 1 Weak, 2 Normal, 3 Strong)
// of both technologies and their two options.  The manual panel's settings
// are held in the same record.
struct TTypePreset {
  std::uint8_t LumoraStrength = 0;
  std::uint8_t ArtifactSuppression = 0;  // 0 or 1: index into LumoraParamSets
  std::uint8_t ClarivexStrength = 0;
  std::uint8_t SuppressColorDistortion = 0;  // 0 or 1

  bool operator==(const TTypePreset&) const = default;
};

// Rows 0 Original, 1 Light, 2 Normal, 3 Deep.  Row 0 takes part in no
// computation; the manual panel takes row 2 with every new picture.
inline constexpr std::array<TTypePreset, 4> TypePresets = {{
    {0, 0, 0, 0},  // Original
    {1, 0, 2, 0},  // Light: Clarivex Normal, then Lumora Weak
    {2, 0, 2, 0},  // Normal: Clarivex Normal, then Lumora Normal
    {3, 0, 3, 0},  // Deep: Clarivex Strong, then Lumora Strong
}};

// Lumora parameters: 0 standard, 1 artifact suppression.
inline constexpr std::array<TLumoraParams, 2> LumoraParamSets = {{
    {0, 0, 0, 0, 0.5, 51, 51},
    {0, 0, 100, 0, 0.5, 11, 21},
}};

// Runs one preset on image in place: Clarivex with its strength and
// colour-distortion flag, then Lumora with its strength and the parameter
// set its artifact-suppression byte selects.  Uses its own technology
// objects, so separate images may be processed on separate threads.
// census, when given, is the picture's own, counted while it was decoded.
void ProcessWithPreset(Image& image, const TTypePreset& preset,
                       const TLevelCensus* census = nullptr);

// A picture loaded to be processed at its full size, with its census when
// it was counted while decoding (on another core), so that the processing
// needs no pass of its own for it.
struct TLoadedPicture {
  Image Picture;
  bool Counted = false;
  TLevelCensus Census;
};
// LoadPicture, counting the census meanwhile where the format allows.
TLoadedPicture LoadPictureToProcess(const std::string& path);
// ProcessWithPreset on the loaded picture, with its census.
void ProcessWithPreset(TLoadedPicture& picture, const TTypePreset& preset);

// A new image holding source processed by preset.
std::unique_ptr<Image> ProcessedCopy(const Image& source, const TTypePreset& preset);

}  // namespace tavren
