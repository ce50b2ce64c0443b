// Builds small JPEG files with hand-made EXIF blocks for the reader and
// export tests: only the segments the EXIF reader walks, no picture data.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace tavren::test {

using Bytes = std::vector<std::uint8_t>;

// A TIFF block with one directory.  Values longer than four bytes go to a
// data area behind the directory.
class TiffBuilder {
 public:
  explicit TiffBuilder(bool bigEndian) : bigEndian_(bigEndian) {}

  // An ASCII entry holding the stored bytes (give the zero explicitly) with
  // the given count.
  TiffBuilder& Text(std::uint16_t tag, const std::string& stored, std::uint32_t count) {
    entries_.push_back({tag, 2, count, 0, Bytes(stored.begin(), stored.end())});
    return *this;
  }
  // An ASCII entry the usual way: text, zero, count with the zero.
  TiffBuilder& Text(std::uint16_t tag, const std::string& text) {
    return Text(tag, text + '\0', static_cast<std::uint32_t>(text.size() + 1));
  }
  // An entry whose value field holds value (a 16-bit value stands in its
  // first two bytes, as TIFF places it).
  TiffBuilder& Short(std::uint16_t tag, std::uint16_t value) {
    entries_.push_back(
        {tag, 3, 1, static_cast<std::uint32_t>(bigEndian_ ? value << 16 : value), {}});
    return *this;
  }
  TiffBuilder& Raw(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                   std::uint32_t value) {
    entries_.push_back({tag, type, count, value, {}});
    return *this;
  }
  // The entry count written into the directory (default: the real one).
  TiffBuilder& DeclaredCount(std::uint16_t count) {
    declaredCount_ = count;
    countSet_ = true;
    return *this;
  }
  TiffBuilder& FirstDirectoryAt(std::uint32_t offset) {
    directoryOffset_ = offset;
    return *this;
  }

  Bytes Build() const {
    Bytes out;
    out.push_back(bigEndian_ ? 'M' : 'I');
    out.push_back(bigEndian_ ? 'M' : 'I');
    Put16(out, 42);
    Put32(out, directoryOffset_);
    out.resize(8);
    Put16(out, countSet_ ? declaredCount_ : static_cast<std::uint16_t>(entries_.size()));
    std::uint32_t dataOffset = static_cast<std::uint32_t>(8 + 2 + 12 * entries_.size() + 4);
    Bytes data;
    for (const Entry& e : entries_) {
      Put16(out, e.Tag);
      Put16(out, e.Type);
      Put32(out, e.Count);
      if (e.Stored.empty()) {
        Put32(out, e.Value);
      } else if (e.Stored.size() <= 4) {
        Bytes field = e.Stored;
        field.resize(4, 0);
        out.insert(out.end(), field.begin(), field.end());
      } else {
        Put32(out, dataOffset + static_cast<std::uint32_t>(data.size()));
        data.insert(data.end(), e.Stored.begin(), e.Stored.end());
      }
    }
    Put32(out, 0);  // no next directory
    out.insert(out.end(), data.begin(), data.end());
    return out;
  }

 private:
  struct Entry {
    std::uint16_t Tag, Type;
    std::uint32_t Count, Value;
    Bytes Stored;
  };
  void Put16(Bytes& out, std::uint32_t v) const {
    if (bigEndian_) {
      out.push_back(static_cast<std::uint8_t>(v >> 8));
      out.push_back(static_cast<std::uint8_t>(v));
    } else {
      out.push_back(static_cast<std::uint8_t>(v));
      out.push_back(static_cast<std::uint8_t>(v >> 8));
    }
  }
  void Put32(Bytes& out, std::uint32_t v) const {
    if (bigEndian_) {
      Put16(out, v >> 16);
      Put16(out, v & 0xFFFF);
    } else {
      Put16(out, v & 0xFFFF);
      Put16(out, v >> 16);
    }
  }

  bool bigEndian_;
  std::vector<Entry> entries_;
  std::uint16_t declaredCount_ = 0;
  bool countSet_ = false;
  std::uint32_t directoryOffset_ = 8;
};

// A JPEG file's segments in the order they are added.
class JpegBuilder {
 public:
  JpegBuilder() { bytes_ = {0xFF, 0xD8}; }

  JpegBuilder& Jfif() {
    const Bytes payload = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    return Segment(0xE0, payload);
  }
  JpegBuilder& Exif(const Bytes& tiff) {
    Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
    payload.insert(payload.end(), tiff.begin(), tiff.end());
    return Segment(0xE1, payload);
  }
  JpegBuilder& Xmp(std::size_t size) {
    const std::string id = "http://ns.adobe.com/xap/1.0/";
    Bytes payload(id.begin(), id.end());
    payload.push_back(0);
    payload.resize(size, ' ');
    return Segment(0xE1, payload);
  }
  // One APP2 piece of a colour profile: its number (from 1), the number of
  // pieces and its data.
  JpegBuilder& IccPiece(std::uint8_t number, std::uint8_t total, const Bytes& data) {
    const std::string id = "ICC_PROFILE";
    Bytes payload(id.begin(), id.end());
    payload.insert(payload.end(), {0, number, total});
    payload.insert(payload.end(), data.begin(), data.end());
    return Segment(0xE2, payload);
  }
  JpegBuilder& Filler(std::uint8_t marker, std::size_t payloadSize, std::uint8_t fill = 0x20) {
    return Segment(marker, Bytes(payloadSize, fill));
  }
  JpegBuilder& Segment(std::uint8_t marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    bytes_.insert(bytes_.end(), {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                                 static_cast<std::uint8_t>(length)});
    bytes_.insert(bytes_.end(), payload.begin(), payload.end());
    return *this;
  }
  JpegBuilder& Append(const Bytes& raw) {
    bytes_.insert(bytes_.end(), raw.begin(), raw.end());
    return *this;
  }
  Bytes End() const {
    Bytes out = bytes_;
    out.insert(out.end(), {0xFF, 0xD9});
    return out;
  }

 private:
  Bytes bytes_;
};

// A stand-in colour profile of the given size: a header naming its data
// colour space ("RGB ", "GRAY", "CMYK") and a numbered body.
inline Bytes FakeIccProfile(std::size_t size, const std::string& colourSpace = "RGB ") {
  Bytes profile(size);
  for (std::size_t i = 0; i < size; ++i) profile[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  for (std::size_t i = 0; i < 4 && 16 + i < size; ++i)
    profile[16 + i] = static_cast<std::uint8_t>(colourSpace[i]);
  return profile;
}

// The piece of profile that a writer splitting it into total pieces puts
// in piece number (from 1).
inline Bytes IccSlice(const Bytes& profile, int number, int total) {
  const std::size_t size = (profile.size() + total - 1) / total;
  const std::size_t from = std::min(profile.size(), size * (number - 1));
  return Bytes(profile.begin() + from, profile.begin() + std::min(profile.size(), from + size));
}

}  // namespace tavren::test
