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

std::span<const std::uint8_t> TFileByteSource::ReadFront(std::vector<std::uint8_t>& storage,
                                                         std::uint64_t count) const {
  storage.clear();
  if (file_ == nullptr) return storage;
  if (count >= file_->Size()) {
    storage = file_->ReadAll();
    return storage;
  }
  storage.resize(static_cast<std::size_t>(count));
  storage.resize(file_->ReadAt(0, storage.data(), storage.size()));
  return storage;
}

bool TSourceInput::Fill() {
  if (pos_ >= source_.Size()) return false;
  const std::uint64_t count = std::min<std::uint64_t>(kBufferBytes, source_.Size() - pos_);
  buffer_.resize(static_cast<std::size_t>(count));
  if (!source_.Read(pos_, buffer_.data(), buffer_.size())) {  // the file shrank or failed
    buffer_.clear();
    return false;
  }
  bufferStart_ = pos_;
  return true;
}

std::uint64_t TSourceInput::Take(void* out, std::uint64_t count) {
  auto* bytes = static_cast<std::uint8_t*>(out);
  std::uint64_t done = 0;
  while (done < count) {
    const bool buffered = pos_ >= bufferStart_ && pos_ - bufferStart_ < buffer_.size();
    if (!buffered && !Fill()) break;
    const std::uint64_t offset = pos_ - bufferStart_;
    const std::uint64_t n = std::min(count - done, buffer_.size() - offset);
    std::memcpy(bytes + done, buffer_.data() + offset, static_cast<std::size_t>(n));
    done += n;
    pos_ += n;
  }
  if (done < count) ranOut_ = true;
  return done;
}

}  // namespace tavren
