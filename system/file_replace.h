// Writes a whole file so that a failure can never destroy what was there.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tavren {

// Writes the bytes to a temporary file in fileName's folder, flushes it to
// the disk and renames it over fileName.  An existing fileName keeps its
// permissions.  On any failure the temporary file is removed, an existing
// fileName is left untouched, and TavrenError names the file and the reason.
// Only a regular file is replaced: a link is followed to the file it points
// to (the link stays), and a folder, device, pipe or socket is refused, as
// is a read-only file.
void ReplaceFileContents(const std::string& fileName, const std::uint8_t* data, std::size_t size);
// The same for a file made of pieces, written one after the other.
void ReplaceFileContents(const std::string& fileName,
                         std::span<const std::span<const std::uint8_t>> pieces);

// ReplaceFileContents for a file held in one vector.
void WriteFileAtomically(const std::string& path, const std::vector<std::uint8_t>& bytes);

// 0 when new files can be made in folder ("" is the current folder),
// otherwise the system's error number saying why not.
int FolderWriteError(const std::string& folder);

// The temporary files ReplaceFileContents makes for fileName stand in the
// same folder, named "." + file name + kTemporaryNameMark + process id +
// "-" + a number; where that is longer than the folder allows a name to
// be, the file name is left out (".tavren-save-PID-N").
inline constexpr const char* kTemporaryNameMark = ".tavren-save-";

// True when name (without folder) has exactly the form of a temporary
// file; pid receives its process id.
bool IsTemporaryFileName(const std::string& name, long& pid);

// Removes the temporary files of processes that no longer run from folder
// (names of exactly the temporary form only).  ReplaceFileContents does this
// once per folder and run before its first save there.
void RemoveStaleTemporaryFiles(const std::string& folder);

// Removes the temporary files of saves in progress.  Safe to call from a
// signal handler: a program that ends on a signal calls it first, so that
// no half-written file is left behind.
void RemoveTemporaryFilesInProgress();

}  // namespace tavren
