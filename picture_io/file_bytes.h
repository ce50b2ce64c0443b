// Whole-file reading and writing for the picture codecs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavren {

// The bytes of the file at path.  Throws TavrenError (naming the file) when
// it is missing, not a regular file or cannot be read.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

// Writes bytes to path so that path holds either its previous content or
// all of the new bytes, never a part (ReplaceFileContents).
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace tavren
