#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>

#include "system/error.h"
#include "system/file_bytes.h"
#include "system/file_names.h"
#include "system/file_replace.h"
#include "system/files_in_progress.h"
#include "system/wide_text_win.h"

namespace tavren {

namespace {

int LastError() { return static_cast<int>(GetLastError()); }

[[noreturn]] void Fail(const std::string& fileName, const std::string& what, int error) {
  throw TavrenError(fileName, what + ": " + SystemErrorText(error));
}

using TInProgress = TFilesInProgress<wchar_t, 1024>;
TInProgress inProgress;
using InProgressEntry = TInProgress::TEntry;

// An open temporary file that is removed again unless it was kept.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& target) : target_(target) {}
  ~TemporaryFile() { Discard(); }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates a new file next to the target; returns the system's error.
  int Create() {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FileFolder(target_);
    const std::string tail = kTemporaryNameMark + std::to_string(GetCurrentProcessId()) + "-";
    std::string stem = folder + "." + FileNameOf(target_) + tail;
    // Room for the number behind the stem within a name's 255 characters.
    if (Wide(stem.substr(folder.size())).size() + 10 > 255) stem = folder + tail;
    for (int attempt = 0; attempt < 100; ++attempt) {
      path_ = Wide(stem + std::to_string(counter++));
      registered_.reset();
      registered_ = std::make_unique<InProgressEntry>(inProgress, path_);
      file_ = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file_ != INVALID_HANDLE_VALUE) return 0;
      if (GetLastError() != ERROR_FILE_EXISTS) break;
    }
    const int error = LastError();
    registered_.reset();
    path_.clear();
    return error;
  }

  HANDLE File() const { return file_; }
  const std::wstring& Path() const { return path_; }

  // Closes the file; returns the system's error when closing failed.
  int Close() {
    const bool closed = CloseHandle(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    return closed ? 0 : LastError();
  }

  // The file now has its final name: nothing to remove any more.
  void Keep() {
    registered_.reset();
    path_.clear();
  }

  void Discard() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (!path_.empty()) DeleteFileW(path_.c_str());
    registered_.reset();
    path_.clear();
  }

 private:
  std::string target_;
  std::wstring path_;
  std::unique_ptr<InProgressEntry> registered_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

int WriteAll(HANDLE file, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) return LastError();
    data += written;
    size -= written;
  }
  return 0;
}

// A link is followed so that the file it points to is replaced, not the
// link: the path the system reaches through it.
std::string ResolveLink(const std::string& fileName) {
  const std::wstring name = Wide(fileName);
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return fileName;
  const HANDLE file =
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return fileName;
  std::wstring target(32768, L'\0');  // the longest path the system takes
  const DWORD length = GetFinalPathNameByHandleW(
      file, target.data(), static_cast<DWORD>(target.size()), FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= target.size()) return fileName;
  target.resize(length);
  return Narrow(target);
}

bool ProcessIsGone(long pid) {
  if (pid <= 0) return false;
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  CloseHandle(process);
  return ended;
}

// Once per folder and run.
bool FirstSaveInto(const std::string& folder) {
  static std::mutex mutex;
  static std::set<std::string> seen;
  std::lock_guard<std::mutex> lock(mutex);
  return seen.insert(AsciiLower(folder)).second;
}

}  // namespace

void RemoveStaleTemporaryFiles(const std::string& folder) {
  WIN32_FIND_DATAW entry{};
  const std::string base = folder.empty() ? std::string(".\\") : folder;
  const HANDLE search = FindFirstFileW(Wide(base + "*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    long pid = 0;
    const std::string name = Narrow(entry.cFileName);
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
      continue;
    if (IsTemporaryFileName(name, pid) && ProcessIsGone(pid))
      DeleteFileW(Wide(base + name).c_str());
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

// Whether a new file can be made there is told by making one, which
// closes and goes at once.
int FolderWriteError(const std::string& folder) {
  const std::string base = folder.empty() ? std::string(".\\") : folder;
  const DWORD attributes = GetFileAttributesW(Wide(base).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return ERROR_DIRECTORY;
  const std::wstring probe =
      Wide(base + (IsPathSeparator(base.back()) ? "" : "\\") + kTemporaryNameMark +
           std::to_string(GetCurrentProcessId()) + "-probe");
  const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const int error = LastError();
    return error == ERROR_FILE_EXISTS ? 0 : error;
  }
  CloseHandle(file);
  return 0;
}

void RemoveTemporaryFilesInProgress() {
  inProgress.ForEachPath([](const wchar_t* path) { DeleteFileW(path); });
}

// The new file takes the place of the old one in one step (MoveFileExW
// replaces the name at once, and with write-through only returns once the
// move is on the disk).
void ReplaceFileContents(const std::string& requestedName,
                         std::span<const std::span<const std::uint8_t>> pieces) {
  const std::string fileName = ResolveLink(requestedName);
  const DWORD existing = GetFileAttributesW(Wide(fileName).c_str());
  if (existing != INVALID_FILE_ATTRIBUTES) {
    if (existing & FILE_ATTRIBUTE_DIRECTORY)
      Fail(requestedName, "cannot replace a folder", ERROR_DIRECTORY);
    if (existing & FILE_ATTRIBUTE_DEVICE)
      throw TavrenError(
          requestedName,
          "is not a regular file (a device, pipe or socket); only a file is replaced");
    if (existing & FILE_ATTRIBUTE_READONLY)
      Fail(requestedName, "the file is read-only", ERROR_ACCESS_DENIED);
  }
  const std::string folder = FileFolder(fileName);
  if (FirstSaveInto(folder)) RemoveStaleTemporaryFiles(folder);

  TemporaryFile temporary(fileName);
  if (const int error = temporary.Create())
    throw TavrenError(requestedName,
                      "cannot create a file in its folder: " + PlainSystemReason(error, "writing"));
  for (const std::span<const std::uint8_t> piece : pieces)
    if (const int error = WriteAll(temporary.File(), piece.data(), piece.size()))
      throw TavrenError(requestedName,
                        "cannot write the file: " + PlainSystemReason(error, "writing"));
  if (!FlushFileBuffers(temporary.File()))
    throw TavrenError(requestedName, "cannot write the file to the disk: " +
                                         PlainSystemReason(LastError(), "writing"));
  if (const int error = temporary.Close())
    throw TavrenError(requestedName,
                      "cannot write the file: " + PlainSystemReason(error, "writing"));
  if (!MoveFileExW(temporary.Path().c_str(), Wide(fileName).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    Fail(requestedName, "cannot put the file in place", LastError());
  temporary.Keep();
}

}  // namespace tavren
