// What a saved copy takes over from the picture file it came from, besides
// the pixels: the camera's make and model and the colour profile.  Read
// from the source file at the time of saving, like every other part of the
// file's metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavren {

struct TSourceMetadata {
  std::string Make;   // empty when absent
  std::string Model;  // empty when absent
  std::vector<std::uint8_t> IccProfile;  // the whole ICC profile; empty when none
};

// The metadata of the picture file at path, chosen by its extension as the
// intake chooses its decoder.  Never throws for what the file holds: a part
// that is missing, broken or unreadable is empty; a missing file gives
// everything empty.
TSourceMetadata ReadSourceMetadata(const std::string& path);

}  // namespace tavren
