// Writes a whole file so that a failure can never destroy what was there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tavren {

// Writes the bytes to a temporary file in fileName's folder, flushes it to
// the disk and renames it over fileName.  An existing fileName keeps its
// permissions.  On any failure the temporary file is removed, an existing
// fileName is left untouched, and TavrenError names the file and the reason.
// A read-only fileName is never replaced.
void ReplaceFileContents(const std::string& fileName, const std::uint8_t* data, std::size_t size);

// The temporary files ReplaceFileContents makes for fileName stand in the
// same folder, named "." + file name + kTemporaryNameMark + a unique tail.
inline constexpr const char* kTemporaryNameMark = ".tavren-save-";

}  // namespace tavren
