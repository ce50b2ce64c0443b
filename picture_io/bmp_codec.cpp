#include "picture_io/bmp_codec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <limits>

#include "picture_io/byte_order.h"
#include "picture_io/picture_limits.h"
#include "system/error.h"
#include "system/file_bytes.h"

namespace tavren {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kV4HeaderSize = 108;
constexpr std::uint32_t kV5HeaderSize = 124;

enum Compression : std::uint32_t { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitfields = 3 };

struct Color {
  std::uint8_t Blue = 0, Green = 0, Red = 0;
};

// One colour channel packed into a 16- or 32-bit pixel, scaled to 0..255.
class ChannelMask {
 public:
  ChannelMask() = default;
  explicit ChannelMask(std::uint32_t mask)
      : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0), max_(mask ? mask >> shift_ : 0) {}
  std::uint8_t Extract(std::uint32_t pixel) const {
    if (max_ == 0) return 0;
    const std::uint64_t value = (pixel & mask_) >> shift_;
    return static_cast<std::uint8_t>((value * 255 + max_ / 2) / max_);
  }

 private:
  std::uint32_t mask_ = 0;
  int shift_ = 0;
  std::uint64_t max_ = 0;
};

struct BmpHeader {
  std::uint32_t HeaderSize = 0;
  std::int64_t Width = 0;
  std::int64_t Height = 0;  // always positive here
  bool TopDown = false;
  std::uint32_t BitCount = 0;
  std::uint32_t Compression = kRgb;
  std::uint32_t ColorsUsed = 0;
  std::uint32_t PixelOffset = 0;
  std::size_t PaletteStart = 0;
  std::size_t PaletteEntrySize = 4;
  std::array<std::uint32_t, 3> Masks{};  // red, green, blue
};

class BmpDecoder {
 public:
  // data holds the first size bytes of a file of fileSize bytes: the whole
  // file to decode, at least its headers to read its size.
  BmpDecoder(const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
             const std::string& name)
      : data_(data), size_(size), fileSize_(fileSize), name_(name) {}

  // The checks of the headers alone; returns width and height.
  std::pair<std::int32_t, std::int32_t> CheckHeaders() {
    ReadHeader();
    CheckFormat();
    CheckDataSuffices();
    return {static_cast<std::int32_t>(header_.Width), static_cast<std::int32_t>(header_.Height)};
  }

  Image Decode() {
    ReadHeader();
    CheckFormat();
    ReadPalette();
    CheckDataSuffices();
    Image image(static_cast<std::int32_t>(header_.Width),
                static_cast<std::int32_t>(header_.Height));
    if (header_.Compression == kRle8 || header_.Compression == kRle4)
      DecodeRle(image);
    else
      DecodeRows(image);
    return image;
  }

 private:
  [[noreturn]] void Refuse(const std::string& reason) const { throw TavrenError(name_, reason); }

  void ReadHeader() {
    RequireSignature(data_, size_, "BM", "BMP", name_);
    if (size_ < kFileHeaderSize + 4)
      Refuse("the file ends before the picture does (it is too short for a BMP header)");
    header_.PixelOffset = ReadLittleEndian32(data_ + 10);
    header_.HeaderSize = ReadLittleEndian32(data_ + kFileHeaderSize);
    const std::uint32_t hs = header_.HeaderSize;
    if (hs != kCoreHeaderSize && hs != kInfoHeaderSize && hs != 52 && hs != 56 &&
        hs != kV4HeaderSize && hs != kV5HeaderSize)
      Refuse("unsupported BMP header size " + std::to_string(hs));
    if (size_ - kFileHeaderSize < hs)
      Refuse("the file ends before the picture does (in the BMP header)");
    const std::uint8_t* h = data_ + kFileHeaderSize;
    if (hs == kCoreHeaderSize)
      ReadCoreHeader(h);
    else
      ReadInfoHeader(h);
  }

  void ReadCoreHeader(const std::uint8_t* h) {
    header_.Width = ReadLittleEndian16(h + 4);
    header_.Height = ReadLittleEndian16(h + 6);
    header_.BitCount = ReadLittleEndian16(h + 10);
    header_.PaletteStart = kFileHeaderSize + kCoreHeaderSize;
    header_.PaletteEntrySize = 3;
  }

  void ReadInfoHeader(const std::uint8_t* h) {
    header_.Width = static_cast<std::int32_t>(ReadLittleEndian32(h + 4));
    const std::int64_t height = static_cast<std::int32_t>(ReadLittleEndian32(h + 8));
    header_.TopDown = height < 0;
    header_.Height = height < 0 ? -height : height;
    header_.BitCount = ReadLittleEndian16(h + 14);
    header_.Compression = ReadLittleEndian32(h + 16);
    header_.ColorsUsed = ReadLittleEndian32(h + 32);
    std::size_t afterHeader = kFileHeaderSize + header_.HeaderSize;
    if (header_.Compression == kBitfields) {
      if (header_.HeaderSize == kInfoHeaderSize) {
        // The three masks follow a plain info header.
        if (size_ - afterHeader < 12)
          Refuse("the file ends before the picture does (in the BMP colour masks)");
        ReadMasks(data_ + afterHeader);
        afterHeader += 12;
      } else {
        ReadMasks(h + kInfoHeaderSize);
      }
    }
    header_.PaletteStart = afterHeader;
  }

  void ReadMasks(const std::uint8_t* p) {
    header_.Masks = {ReadLittleEndian32(p), ReadLittleEndian32(p + 4), ReadLittleEndian32(p + 8)};
  }

  void CheckFormat() {
    const BmpHeader& h = header_;
    if (h.Width <= 0 || h.Height <= 0)
      Refuse("the BMP picture has an impossible size (" + std::to_string(h.Width) + " x " +
             std::to_string(h.Height) + ")");
    RequirePictureSize(h.Width, h.Height, name_);
    const bool core = h.HeaderSize == kCoreHeaderSize;
    switch (h.Compression) {
      case kRgb:
        if (!(h.BitCount == 1 || h.BitCount == 4 || h.BitCount == 8 || h.BitCount == 24 ||
              (!core && (h.BitCount == 16 || h.BitCount == 32))))
          Refuse("impossible BMP bit depth " + std::to_string(h.BitCount));
        break;
      case kBitfields:
        if (h.BitCount != 16 && h.BitCount != 32)
          Refuse("impossible bit depth " + std::to_string(h.BitCount) + " for BMP colour masks");
        break;
      case kRle8:
      case kRle4:
        if (h.BitCount != (h.Compression == kRle8 ? 8u : 4u))
          Refuse("impossible bit depth " + std::to_string(h.BitCount) + " for BMP run-length data");
        if (h.TopDown) Refuse("run-length BMP data cannot be stored top-down");
        break;
      default:
        Refuse("unsupported BMP compression " + std::to_string(h.Compression));
    }
    if (h.BitCount <= 8 && h.ColorsUsed > (1u << h.BitCount))
      Refuse("impossible BMP palette size " + std::to_string(h.ColorsUsed));
    if (h.PixelOffset < h.PaletteStart) Refuse("the BMP pixel data starts inside the header");
    if (h.PixelOffset >= fileSize_)
      Refuse("the file ends before the picture does (its pixels would start past the end)");
    if (h.Compression == kRgb && h.BitCount == 16) header_.Masks = {0x7C00, 0x03E0, 0x001F};
    if (h.Compression == kRgb && h.BitCount == 32) header_.Masks = {0xFF0000, 0x00FF00, 0x0000FF};
  }

  // Palette entries stand between the headers and the pixel data; a file
  // that leaves room for fewer than it announces gets the ones that fit,
  // the rest stay black.
  void ReadPalette() {
    if (header_.BitCount > 8) return;
    const std::size_t declared = header_.ColorsUsed ? header_.ColorsUsed : (1u << header_.BitCount);
    const std::size_t room =
        (header_.PixelOffset - header_.PaletteStart) / header_.PaletteEntrySize;
    const std::size_t count = std::min(declared, room);
    for (std::size_t i = 0; i < count; ++i) {
      const std::uint8_t* entry = data_ + header_.PaletteStart + i * header_.PaletteEntrySize;
      palette_[i] = Color{entry[0], entry[1], entry[2]};
    }
  }

  std::uint64_t RowBytes() const {
    return (static_cast<std::uint64_t>(header_.Width) * header_.BitCount + 31) / 32 * 4;
  }

  std::uint64_t DataSize() const { return fileSize_ - header_.PixelOffset; }

  void CheckDataSuffices() const {
    const std::uint64_t height = static_cast<std::uint64_t>(header_.Height);
    if (header_.Compression == kRle8 || header_.Compression == kRle4) {
      if (static_cast<std::uint64_t>(header_.Width) * height > DataSize() * kMaxRlePixelsPerByte)
        Refuse("the file ends before the picture does (its run-length data is too short for " +
               std::to_string(header_.Width) + " x " + std::to_string(header_.Height) + " pixels)");
      return;
    }
    // The last row may lack its padding.
    const std::uint64_t lastRow =
        (static_cast<std::uint64_t>(header_.Width) * header_.BitCount + 7) / 8;
    if (RowBytes() * (height - 1) + lastRow > DataSize())
      Refuse("the file ends before the picture does (it is too short for " +
             std::to_string(header_.Width) + " x " + std::to_string(header_.Height) + " pixels)");
  }

  std::int32_t TargetRow(std::uint64_t fileRow) const {
    const std::int64_t row = static_cast<std::int64_t>(fileRow);
    return static_cast<std::int32_t>(header_.TopDown ? row : header_.Height - 1 - row);
  }

  void DecodeRows(Image& image) const {
    const std::uint64_t stride = RowBytes();
    const ChannelMask red(header_.Masks[0]), green(header_.Masks[1]), blue(header_.Masks[2]);
    for (std::int64_t fileRow = 0; fileRow < header_.Height; ++fileRow) {
      const std::uint8_t* in = data_ + header_.PixelOffset + fileRow * stride;
      std::uint8_t* out = image.Row(TargetRow(fileRow));
      for (std::int64_t x = 0; x < header_.Width; ++x, out += 3) {
        Color c;
        switch (header_.BitCount) {
          case 1:
            c = palette_[(in[x >> 3] >> (7 - (x & 7))) & 1];
            break;
          case 4:
            c = palette_[(in[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
          case 8:
            c = palette_[in[x]];
            break;
          case 24:
            c = Color{in[3 * x], in[3 * x + 1], in[3 * x + 2]};
            break;
          case 16:
            c = Split(ReadLittleEndian16(in + 2 * x), red, green, blue);
            break;
          default:
            c = Split(ReadLittleEndian32(in + 4 * x), red, green, blue);
            break;
        }
        out[0] = c.Blue;
        out[1] = c.Green;
        out[2] = c.Red;
      }
    }
  }

  static Color Split(std::uint32_t pixel, const ChannelMask& red, const ChannelMask& green,
                     const ChannelMask& blue) {
    return Color{blue.Extract(pixel), green.Extract(pixel), red.Extract(pixel)};
  }

  // Run-length data: pairs (count, index) draw runs; (0, 0) ends a row,
  // (0, 1) the picture, (0, 2, dx, dy) moves the pen, (0, n >= 3) starts n
  // literal indices padded to a 16-bit boundary.  Pixels that fall outside
  // the picture are dropped; the pen never writes outside it.
  void DecodeRle(Image& image) const {
    const bool four = header_.Compression == kRle4;
    const std::uint8_t* p = data_ + header_.PixelOffset;
    const std::uint8_t* end = data_ + size_;
    std::int64_t x = 0, y = 0;
    auto put = [&](std::uint8_t index) {
      if (x < header_.Width && y < header_.Height) {
        std::uint8_t* out = image.Row(TargetRow(static_cast<std::uint64_t>(y))) + 3 * x;
        const Color c = palette_[index];
        out[0] = c.Blue;
        out[1] = c.Green;
        out[2] = c.Red;
      }
      ++x;
    };
    while (y < header_.Height) {
      if (end - p < 2) Refuse("the file ends before the picture does (in its run-length data)");
      const std::uint8_t count = p[0], value = p[1];
      p += 2;
      if (count > 0) {
        for (int i = 0; i < count && x < header_.Width; ++i)
          put(four ? ((i & 1) ? value & 0x0F : value >> 4) : value);
        continue;
      }
      if (value == 0) {
        x = 0;
        ++y;
      } else if (value == 1) {
        return;
      } else if (value == 2) {
        if (end - p < 2) Refuse("the file ends before the picture does (in its run-length data)");
        x += p[0];
        y += p[1];
        p += 2;
      } else {
        const std::size_t bytes = four ? (value + 3u) / 4u * 2u : (value + 1u) / 2u * 2u;
        if (static_cast<std::size_t>(end - p) < bytes)
          Refuse("the file ends before the picture does (in the middle of a run)");
        for (int i = 0; i < value && x < header_.Width; ++i)
          put(four ? ((i & 1) ? p[i >> 1] & 0x0F : p[i >> 1] >> 4) : p[i]);
        p += bytes;
      }
    }
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::uint64_t fileSize_;
  const std::string& name_;
  BmpHeader header_;
  std::array<Color, 256> palette_{};
};

}  // namespace

Image DecodeBmp(const std::uint8_t* data, std::size_t size, const std::string& name) {
  if (data == nullptr) size = 0;
  return BmpDecoder(data, size, size, name).Decode();
}

std::pair<std::int32_t, std::int32_t> ReadBmpHeader(const std::uint8_t* data, std::size_t size,
                                                    std::uint64_t fileSize,
                                                    const std::string& name) {
  if (data == nullptr) size = 0;
  return BmpDecoder(data, size, fileSize, name).CheckHeaders();
}

namespace {

std::uint64_t Bmp24Stride(std::int64_t width) {
  return (static_cast<std::uint64_t>(width) * 3 + 3) / 4 * 4;
}

}  // namespace

bool BmpCanHold(std::int64_t width, std::int64_t height) {
  if (width <= 0 || height <= 0) return false;
  const std::uint64_t pixelBytes = Bmp24Stride(width) * static_cast<std::uint64_t>(height);
  return pixelBytes + kFileHeaderSize + kInfoHeaderSize <=
         std::numeric_limits<std::uint32_t>::max();
}

std::vector<std::uint8_t> EncodeBmp24(const Image& image, const std::string& name) {
  if (!ImageHasPixels(image)) throw TavrenError(name, "there is no picture to write");
  const std::uint64_t stride = Bmp24Stride(image.Width());
  const std::uint64_t pixelBytes = stride * static_cast<std::uint64_t>(image.Height());
  const std::uint64_t offset = kFileHeaderSize + kInfoHeaderSize;
  if (!BmpCanHold(image.Width(), image.Height()))
    throw TavrenError(name, "the picture is too large for a BMP file (4 GB at most)");
  std::vector<std::uint8_t> out(offset + pixelBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  WriteLittleEndian32(&out[2], static_cast<std::uint32_t>(out.size()));
  WriteLittleEndian32(&out[10], static_cast<std::uint32_t>(offset));
  WriteLittleEndian32(&out[14], kInfoHeaderSize);
  WriteLittleEndian32(&out[18], static_cast<std::uint32_t>(image.Width()));
  WriteLittleEndian32(&out[22], static_cast<std::uint32_t>(image.Height()));
  WriteLittleEndian16(&out[26], 1);   // planes
  WriteLittleEndian16(&out[28], 24);  // bits per pixel
  WriteLittleEndian32(&out[34], static_cast<std::uint32_t>(pixelBytes));
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    const std::uint8_t* row = image.Row(image.Height() - 1 - y);
    std::copy(row, row + image.Stride(),
              out.begin() + static_cast<std::ptrdiff_t>(offset + y * stride));
  }
  return out;
}

TPictureSize ReadBmpPictureSize(const TByteSource& file, const std::string& name) {
  std::uint8_t head[kBmpHeadersAtMost];
  const std::size_t got =
      static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, file.Size()));
  if (!file.Read(0, head, got)) throw TavrenError(name, "the file cannot be read");
  const auto [width, height] = ReadBmpHeader(head, got, file.Size(), name);
  return {width, height};
}

void CheckBmpHeader(const TByteSource& file, const std::string& name) {
  ReadBmpPictureSize(file, name);
}

Image LoadBmp(const std::uint8_t* data, std::size_t size, const std::string& name, TRowFollower*) {
  return DecodeBmp(data, size, name);
}

}  // namespace tavren
