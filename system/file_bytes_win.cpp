#include <algorithm>
#include <cstdint>
#include <string>

#include "system/error.h"
#include "system/file_bytes.h"
#include "system/wide_text_win.h"

namespace tavren {

namespace {

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Why a file that exists is not one to read a picture from: folders, and
// devices, pipes and the like (which a name such as "CON" also reaches).
void RequireRegularFile(const std::string& path, DWORD attributes, DWORD type) {
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    throw TavrenError(path, "is a folder, not a picture file");
  if (type != FILE_TYPE_DISK)
    throw TavrenError(path, "is not a regular file (a device, pipe or socket), not a picture file");
}

std::int64_t NanosecondsOf(const FILETIME& time) {
  const std::uint64_t ticks = (std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
  return static_cast<std::int64_t>(ticks) * 100;  // ticks of 100 ns
}

}  // namespace

std::string SystemErrorText(int error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message =
      length > 0 && text != nullptr ? std::wstring(text, length) : std::wstring();
  LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                              message.back() == L'.' || message.back() == L' '))
    message.pop_back();
  return message.empty() ? "error " + std::to_string(error) : Narrow(message);
}

std::string PlainSystemReason(int error, const char* what) {
  const std::string system = SystemErrorText(error);
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return "there is no such file (" + system + ")";
    case ERROR_PATH_NOT_FOUND:
      return "a part of the path is not a folder (" + system + ")";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return std::string("no permission for ") + what + " (" + system + ")";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return "the disk is full (" + system + ")";
    case ERROR_WRITE_PROTECT:
      return "the disk is read-only (" + system + ")";
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return "the name is too long (" + system + ")";
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
      return "the disk failed while " + std::string(what) + " (" + system + ")";
    default:
      return std::string("failed while ") + what + " (" + system + ")";
  }
}

TInputFile::TInputFile(const std::string& path) : path_(path) {
  if (path.empty()) throw TavrenError(path, "the file name is empty");
  const std::wstring name = Wide(path);
  // A look by name first, so that a folder is named as such; the open
  // file's own kind decides.
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    throw TavrenError(path, PlainSystemReason(static_cast<int>(GetLastError()), "reading"));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    throw TavrenError(path, "is a folder, not a picture file");
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw TavrenError(path, PlainSystemReason(static_cast<int>(GetLastError()), "reading"));
  handle_ = reinterpret_cast<std::intptr_t>(file);
  try {
    RequireRegularFile(path, attributes, GetFileType(file));
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size))
      throw TavrenError(path, PlainSystemReason(static_cast<int>(GetLastError()), "reading"));
    size_ = static_cast<std::uint64_t>(size.QuadPart);
  } catch (...) {
    CloseHandle(file);
    throw;
  }
}

TInputFile::~TInputFile() { CloseHandle(HandleOf(handle_)); }

std::size_t TInputFile::ReadAt(std::uint64_t pos, void* buffer, std::size_t count) const {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t at = pos + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(HandleOf(handle_), out + done, wanted, &got, &where)) {
      const DWORD error = GetLastError();
      if (error == ERROR_HANDLE_EOF) break;
      throw TavrenError(path_, PlainSystemReason(static_cast<int>(error), "reading"));
    }
    if (got == 0) break;  // the end, or the file shrank while we read it
    done += got;
  }
  return done;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY) &&
         !(attributes & FILE_ATTRIBUTE_DEVICE);
}

TFileStamp FileStampOf(const std::string& path) {
  const HANDLE file = CreateFileW(Wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_BASIC_INFO basic{};
  const bool read = GetFileInformationByHandle(file, &info) &&
                    GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic);
  CloseHandle(file);
  if (!read) return {};
  const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  return {true,
          static_cast<std::uintmax_t>(size),
          NanosecondsOf(info.ftLastWriteTime),
          static_cast<std::int64_t>(basic.ChangeTime.QuadPart) * 100,
          info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace tavren
