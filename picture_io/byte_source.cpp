#include "picture_io/byte_source.h"

#include <cstring>

#include "system/error.h"

namespace tavren {

bool TMemoryByteSource::Read(std::uint64_t pos, void* buffer, std::size_t count) const {
  if (!Inside(pos, count)) return false;
  if (count > 0) std::memcpy(buffer, data_ + pos, count);
  return true;
}

TFileByteSource::TFileByteSource(const std::string& fileName) {
  try {
    owned_ = std::make_unique<TInputFile>(fileName);
    file_ = owned_.get();
  } catch (const TavrenError&) {
    // Not a file to read: the source is empty.
  }
}

TFileByteSource::TFileByteSource(const TInputFile& file) : file_(&file) {}

TFileByteSource::~TFileByteSource() = default;

std::uint64_t TFileByteSource::Size() const { return file_ == nullptr ? 0 : file_->Size(); }

bool TFileByteSource::Read(std::uint64_t pos, void* buffer, std::size_t count) const {
  if (!Inside(pos, count)) return false;
  if (count == 0) return true;
  try {
    return file_->ReadAt(pos, buffer, count) == count;  // short: the file shrank while we read it
  } catch (const TavrenError&) {
    return false;
  }
}

std::span<const std::uint8_t> TFileByteSource::ReadWhole(std::vector<std::uint8_t>& storage) const {
  storage = file_ == nullptr ? std::vector<std::uint8_t>() : file_->ReadAll();
  return storage;
}

}  // namespace tavren
