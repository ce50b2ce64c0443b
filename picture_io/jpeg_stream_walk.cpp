#include "picture_io/jpeg_stream_walk.h"

#include <algorithm>
#include <vector>

#include "picture_io/jpeg_decoder.h"

namespace tavren {

namespace {

struct Component {
  std::uint8_t Id = 0;
  std::uint64_t Blocks = 0;
};

bool IsFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool IsStandalone(std::uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8);
}

std::uint32_t Big16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }

std::uint64_t Above(std::uint64_t count, std::uint64_t step) { return (count + step - 1) / step; }

class Walker {
 public:
  Walker(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  TJpegStreamWalk Walk() {
    if (size_ < 2 || data_[0] != 0xFF || data_[1] != 0xD8)
      return Damaged("it does not start as a JPEG stream");
    std::size_t pos = 2;
    while (walk_.Damage.empty()) {
      while (pos < size_ && data_[pos] != 0xFF) ++pos;  // stray bytes, as libjpeg steps over
      while (pos < size_ && data_[pos] == 0xFF) ++pos;  // fill bytes
      if (pos >= size_) break;
      const std::uint8_t marker = data_[pos++];
      if (marker == 0xD9) break;
      if (IsStandalone(marker)) continue;
      // A segment cut off by the end of the data ends the walk; the
      // decoder finds out what that leaves missing.
      if (size_ - pos < 2 || Big16(data_ + pos) < 2 || size_ - pos < Big16(data_ + pos)) break;
      const std::uint32_t length = Big16(data_ + pos);
      if (IsFrameMarker(marker)) ReadFrame(marker, data_ + pos + 2, length - 2);
      if (marker == 0xDA) ReadScan(data_ + pos + 2, length - 2);
      pos += length;
      if (marker == 0xDA) pos = EndOfEntropyData(pos);
    }
    return walk_;
  }

 private:
  TJpegStreamWalk Damaged(const char* what) {
    walk_.Damage = what;
    return walk_;
  }

  void ReadFrame(std::uint8_t marker, const std::uint8_t* p, std::uint32_t length) {
    if (walk_.HasFrame) {
      Damaged("it declares two frames");
      return;
    }
    if (length < 6 || p[5] == 0 || length < 6u + 3u * p[5]) {
      Damaged("its frame is cut short");
      return;
    }
    walk_.HasFrame = true;
    walk_.Height = Big16(p + 1);
    walk_.Width = Big16(p + 3);
    walk_.Arithmetic = marker >= 0xC9;
    const int count = p[5];
    int mostH = 1, mostV = 1;
    for (int i = 0; i < count; ++i) {
      const int h = p[6 + 3 * i + 1] >> 4, v = p[6 + 3 * i + 1] & 15;
      if (h < 1 || h > 4 || v < 1 || v > 4) {
        Damaged("its frame declares a sampling factor out of range");
        return;
      }
      mostH = std::max(mostH, h);
      mostV = std::max(mostV, v);
    }
    components_.resize(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      const std::uint8_t* c = p + 6 + 3 * i;
      const std::uint64_t across = Above(std::uint64_t{walk_.Width} * (c[1] >> 4), 8u * mostH);
      const std::uint64_t down = Above(std::uint64_t{walk_.Height} * (c[1] & 15), 8u * mostV);
      components_[static_cast<std::size_t>(i)] = {c[0], across * down};
      walk_.Blocks += across * down;
    }
  }

  void ReadScan(const std::uint8_t* p, std::uint32_t length) {
    if (!walk_.HasFrame) {
      Damaged("a scan comes before its frame");
      return;
    }
    const std::uint32_t count = length > 0 ? p[0] : 0;
    if (count == 0 || length < 1 + 2 * count) {
      Damaged("a scan's header is cut short");
      return;
    }
    ++walk_.Scans;
    for (std::uint32_t i = 0; i < count; ++i)
      for (const Component& component : components_)
        if (component.Id == p[1 + 2 * i]) walk_.Work += component.Blocks;
  }

  // The position of the first marker behind a scan's coded data: 0xFF
  // followed by anything but a stuffed zero or a restart marker.
  std::size_t EndOfEntropyData(std::size_t pos) const {
    while (pos + 1 < size_) {
      if (data_[pos] == 0xFF && data_[pos + 1] != 0 &&
          !(data_[pos + 1] >= 0xD0 && data_[pos + 1] <= 0xD7))
        return pos;
      ++pos;
    }
    return size_;
  }

  const std::uint8_t* data_;
  std::size_t size_;
  TJpegStreamWalk walk_;
  std::vector<Component> components_;
};

}  // namespace

TJpegStreamWalk WalkJpegStream(const std::uint8_t* data, std::size_t size) {
  return Walker(data, size).Walk();
}

std::uint64_t JpegStreamLeastBytes(const TJpegStreamWalk& walk) {
  return JpegLeastDataBytes(walk.Blocks, walk.Arithmetic);
}

std::string JpegScansBeyondLimits(int scans, std::uint64_t work, std::uint64_t blocks) {
  if (scans > kMaxJpegScans) return "has more than " + std::to_string(kMaxJpegScans) + " scans";
  if (work > JpegWorkLimit(blocks))
    return "repeats the picture more than " + std::to_string(kMaxJpegPassesPerBlock) +
           " times in its scans";
  return {};
}

}  // namespace tavren
