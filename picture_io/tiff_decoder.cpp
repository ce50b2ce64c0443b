#include "picture_io/tiff_decoder.h"

#include <algorithm>
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include <tiffio.h>

#include "picture_io/exif_reader.h"
#include "picture_io/memory_input.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "system/error.h"

namespace tavren {

namespace {

// The file's bytes as libtiff's input, and the first error libtiff
// reported about them.
struct TiffInput {
  TMemoryInput Bytes;
  std::string Error;
};

TiffInput& InputOf(thandle_t handle) { return *static_cast<TiffInput*>(handle); }

tmsize_t ReadInput(thandle_t handle, void* buffer, tmsize_t count) {
  if (count <= 0) return 0;
  return static_cast<tmsize_t>(
      InputOf(handle).Bytes.Take(buffer, static_cast<std::uint64_t>(count)));
}

tmsize_t WriteNothing(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekInput(thandle_t handle, toff_t offset, int whence) {
  TMemoryInput& input = InputOf(handle).Bytes;
  const auto delta = static_cast<std::int64_t>(offset);
  std::int64_t target = delta;
  if (whence == SEEK_CUR) target = static_cast<std::int64_t>(input.Pos) + delta;
  if (whence == SEEK_END) target = static_cast<std::int64_t>(input.Size) + delta;
  if (whence == SEEK_SET) {
    input.Pos = offset;
    return offset;
  }
  if (target < 0) return static_cast<toff_t>(-1);
  input.Pos = static_cast<std::uint64_t>(target);
  return input.Pos;
}

int CloseNothing(thandle_t) { return 0; }
toff_t SizeOfInput(thandle_t handle) { return InputOf(handle).Bytes.Size; }
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

// The name libtiff gives the file in its messages, which are shown behind
// the file's real name.
constexpr char kTiffName[] = "TIFF";

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
  TiffInput& input = *static_cast<TiffInput*>(user);
  if (input.Error.empty()) {
    char message[512];
    std::vsnprintf(message, sizeof message, format, args);
    input.Error = message;
    const std::string prefix = std::string(kTiffName) + ": ";
    if (input.Error.rfind(prefix, 0) == 0) input.Error.erase(0, prefix.size());
  }
  return 1;
}

// Warnings are about tags libtiff steps over or mends; they are not shown.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff over the bytes of one file, its messages kept here rather than
// printed.
class TiffFile {
 public:
  TiffFile(const std::uint8_t* data, std::size_t size) : input_{{data, size}, {}} {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) return;
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &input_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &input_);
    tiff_ = TIFFClientOpenExt(kTiffName, "rm", &input_, ReadInput, WriteNothing, SeekInput,
                              CloseNothing, SizeOfInput, MapNothing, UnmapNothing, options);
    TIFFOpenOptionsFree(options);
  }
  ~TiffFile() {
    if (tiff_ != nullptr) TIFFClose(tiff_);
  }
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;

  TIFF* get() const { return tiff_; }
  const std::string& error() const { return input_.Error; }
  bool ranOut() const { return input_.Bytes.RanOut; }

 private:
  TiffInput input_;
  TIFF* tiff_ = nullptr;
};

[[noreturn]] void Refuse(const TiffFile& file, const std::string& name) {
  const std::string reason =
      file.ranOut() ? "the file ends before the picture does" : "not a readable TIFF picture";
  if (file.error().empty()) throw TavrenError(name, reason);
  throw TavrenError(name, reason + " (" + file.error() + ")");
}

[[noreturn]] void Unsupported(const std::string& name, const std::string& what) {
  throw TavrenError(name, what + " are not supported");
}

template <typename T>
T Field(TIFF* tiff, ttag_t tag) {
  T value{};
  TIFFGetFieldDefaulted(tiff, tag, &value);
  return value;
}

// What the first page stores and how its samples become pixels.
struct TiffLayout {
  std::uint32_t Width = 0, Height = 0;
  std::uint16_t SamplesPerPixel = 1, BitsPerSample = 1, Photometric = 0, Compression = 1;
  bool Planes = false;  // one plane per sample rather than interleaved samples
  bool Tiled = false;
  TSampleRule Rule;
};

// Bytes one stored byte can stand for at most, per compression; 0 where no
// bound is known (the ratio of JPEG's arithmetic coding has none, for one).
std::uint64_t MaxExpansion(std::uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return 1;
    case COMPRESSION_PACKBITS:
      return 64;  // 2 bytes for a run of 128
    case COMPRESSION_LZW:
      return 4096;  // a 9-bit code for at most 4096 bytes
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return 1032;
    default:
      return 0;
  }
}

// The compressions whose pictures the tests decode; libtiff brings more
// codecs (and their libraries' own failures: libjbig ends the process when
// a picture's declared size cannot be allocated), which are refused.
const char* CompressionName(std::uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return "none";
    case COMPRESSION_CCITTFAX3:
      return "CCITT Group 3";
    case COMPRESSION_CCITTFAX4:
      return "CCITT Group 4";
    case COMPRESSION_LZW:
      return "LZW";
    case COMPRESSION_JPEG:
      return "JPEG";
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
      return "Deflate";
    case COMPRESSION_PACKBITS:
      return "PackBits";
    case COMPRESSION_LZMA:
      return "LZMA";
    case COMPRESSION_ZSTD:
      return "Zstandard";
    case COMPRESSION_WEBP:
      return "WebP";
    default:
      return nullptr;
  }
}

void CheckCompression(const TiffLayout& layout, const std::string& name) {
  if (CompressionName(layout.Compression) != nullptr && TIFFIsCODECConfigured(layout.Compression))
    return;
  const TIFFCodec* codec = TIFFFindCODEC(layout.Compression);
  Unsupported(name, std::string("TIFF pictures compressed with ") +
                        (codec != nullptr ? codec->name : "an unknown method") + " (compression " +
                        std::to_string(layout.Compression) + ")");
}

void CheckSampleFormat(TIFF* tiff, const TiffLayout& layout, const std::string& name) {
  switch (Field<std::uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT)) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID:
      break;
    case SAMPLEFORMAT_IEEEFP:
      Unsupported(name, "floating-point TIFF samples");
    case SAMPLEFORMAT_INT:
      Unsupported(name, "signed TIFF samples");
    default:
      Unsupported(name, "TIFF samples of this format");
  }
  const std::uint16_t bits = layout.BitsPerSample;
  if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
    Unsupported(name, "TIFF pictures of " + std::to_string(bits) + " bits per sample");
  // A band of rows is read whole, at the size the samples declare.
  const std::uint32_t bitsPerPixel = std::uint32_t{layout.SamplesPerPixel} * bits;
  if (bitsPerPixel > kMostStoredBitsPerPixel)
    Unsupported(name, "TIFF pictures of more than " + std::to_string(kMostStoredBitsPerPixel) +
                          " bits per pixel (" + std::to_string(layout.SamplesPerPixel) +
                          " samples of " + std::to_string(bits) + (bits == 1 ? " bit)" : " bits)"));
}

// The number of colour samples, and for JPEG-compressed YCbCr the request
// that libtiff hand them over as RGB.
int Colours(TIFF* tiff, TiffLayout& layout, const std::string& name) {
  switch (layout.Photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE:
      return 1;
    case PHOTOMETRIC_RGB:
      return 3;
    case PHOTOMETRIC_SEPARATED:
      if (Field<std::uint16_t>(tiff, TIFFTAG_INKSET) != INKSET_CMYK)
        Unsupported(name, "TIFF pictures in inks other than CMYK");
      return 4;
    case PHOTOMETRIC_YCBCR:
      if (layout.Compression != COMPRESSION_JPEG || layout.BitsPerSample != 8)
        Unsupported(name, "YCbCr TIFF pictures without JPEG compression");
      TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
      layout.Photometric = PHOTOMETRIC_RGB;
      return 3;
    default:
      Unsupported(name, "TIFF pictures in this colour space (photometric " +
                            std::to_string(layout.Photometric) + ")");
  }
}

// Alpha is the first extra sample when the file says it is alpha.
void SetAlpha(TIFF* tiff, TiffLayout& layout) {
  std::uint16_t count = 0;
  std::uint16_t* kinds = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count == 0 || kinds == nullptr)
    return;
  if (layout.SamplesPerPixel <= layout.Rule.Colours) return;
  if (kinds[0] != EXTRASAMPLE_ASSOCALPHA && kinds[0] != EXTRASAMPLE_UNASSALPHA) return;
  layout.Rule.Alpha = layout.Rule.Colours;
  layout.Rule.Premultiplied = kinds[0] == EXTRASAMPLE_ASSOCALPHA;
}

std::uint64_t StoredBytes(const TiffLayout& layout) {
  const std::uint64_t rowBits =
      std::uint64_t{layout.Width} * layout.SamplesPerPixel * layout.BitsPerSample;
  return (rowBits + 7) / 8 * layout.Height;
}

void CheckDeclaredSize(const TiffLayout& layout, std::size_t fileSize, const std::string& name) {
  const std::string size =
      std::to_string(layout.Width) + " x " + std::to_string(layout.Height) + " pixels";
  RequirePictureSize(layout.Width, layout.Height, name);
  const std::uint64_t expansion = MaxExpansion(layout.Compression);
  if (expansion != 0 && fileSize < StoredBytes(layout) / expansion)
    throw TavrenError(name,
                      "the file ends before the picture does (it is too short for " + size + ")");
}

TiffLayout LayoutOf(TIFF* tiff, std::size_t fileSize, const std::string& name) {
  TiffLayout layout;
  layout.Width = Field<std::uint32_t>(tiff, TIFFTAG_IMAGEWIDTH);
  layout.Height = Field<std::uint32_t>(tiff, TIFFTAG_IMAGELENGTH);
  layout.SamplesPerPixel = Field<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
  layout.BitsPerSample = Field<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE);
  layout.Compression = Field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION);
  layout.Planes = Field<std::uint16_t>(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
  layout.Tiled = TIFFIsTiled(tiff) != 0;
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.Photometric))
    throw TavrenError(name,
                      "not a readable TIFF picture (it does not say how its samples are coloured)");
  CheckCompression(layout, name);
  CheckSampleFormat(tiff, layout, name);
  CheckDeclaredSize(layout, fileSize, name);
  layout.Rule.Colours = Colours(tiff, layout, name);
  if (layout.SamplesPerPixel < layout.Rule.Colours)
    throw TavrenError(name, "not a readable TIFF picture (fewer samples than colours)");
  layout.Rule.SamplesPerPixel = layout.SamplesPerPixel;
  layout.Rule.Max = (1u << layout.BitsPerSample) - 1;
  SetAlpha(tiff, layout);
  return layout;
}

// The colour table of a palette picture, as 16-bit levels.  Some writers
// fill the 16-bit entries with 8-bit levels; a table without any entry
// above 255 is taken as one of those, as readers commonly do.
struct Palette {
  std::vector<std::uint16_t> Red, Green, Blue;
  std::uint32_t Max = 65535;
};

Palette PaletteOf(TIFF* tiff, const TiffLayout& layout, const std::string& name) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(tiff, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    throw TavrenError(name, "not a readable TIFF picture (its colour table is missing)");
  const std::size_t entries = std::size_t{1} << layout.BitsPerSample;
  Palette palette{{red, red + entries}, {green, green + entries}, {blue, blue + entries}, 65535};
  const auto above255 = [](const std::vector<std::uint16_t>& v) {
    return std::any_of(v.begin(), v.end(), [](std::uint16_t level) { return level > 255; });
  };
  if (!above255(palette.Red) && !above255(palette.Green) && !above255(palette.Blue))
    palette.Max = 255;
  return palette;
}

// One stored row's samples (interleaved, whatever the file's layout) made
// into pixels: white-is-zero grey turned round, palette indexes looked up.
class RowPixels {
 public:
  RowPixels(TIFF* tiff, const TiffLayout& layout, const std::string& name)
      : layout_(layout),
        rule_(layout.Rule),
        samples_(std::size_t{layout.Width} * layout.SamplesPerPixel) {
    if (layout.Photometric != PHOTOMETRIC_PALETTE) return;
    palette_ = PaletteOf(tiff, layout, name);
    colours_.resize(3 * std::size_t{layout.Width});
    rule_ = TSampleRule{3, 3, -1, false, palette_.Max};
  }

  std::uint16_t* Samples() { return samples_.data(); }

  void ToBgr(std::uint8_t* bgr) {
    const int step = layout_.SamplesPerPixel;
    if (layout_.Photometric == PHOTOMETRIC_MINISWHITE)
      for (std::size_t i = 0; i < samples_.size(); i += static_cast<std::size_t>(step))
        samples_[i] = static_cast<std::uint16_t>(layout_.Rule.Max - samples_[i]);
    if (layout_.Photometric != PHOTOMETRIC_PALETTE) {
      SamplesToBgr(samples_.data(), static_cast<std::int32_t>(layout_.Width), rule_, bgr);
      return;
    }
    for (std::size_t x = 0; x < layout_.Width; ++x) {
      const std::uint16_t index = samples_[x * static_cast<std::size_t>(step)];
      colours_[3 * x] = palette_.Red[index];
      colours_[3 * x + 1] = palette_.Green[index];
      colours_[3 * x + 2] = palette_.Blue[index];
    }
    SamplesToBgr(colours_.data(), static_cast<std::int32_t>(layout_.Width), rule_, bgr);
  }

 private:
  const TiffLayout& layout_;
  TSampleRule rule_;
  std::vector<std::uint16_t> samples_;
  Palette palette_;
  std::vector<std::uint16_t> colours_;
};

// Reads the picture a band of rows at a time: a strip, or a row of tiles,
// of every plane.
class BandReader {
 public:
  BandReader(TIFF* tiff, const TiffLayout& layout, const TiffFile& file, const std::string& name)
      : tiff_(tiff), layout_(layout), file_(file), name_(name) {
    planes_ = layout.Planes ? layout.SamplesPerPixel : 1;
    samplesPerPlane_ = layout.Planes ? 1 : layout.SamplesPerPixel;
    rowBytes_ = static_cast<std::size_t>(TIFFScanlineSize64(tiff));
    if (layout.Tiled) {
      TIFFGetField(tiff, TIFFTAG_TILEWIDTH, &tileWidth_);
      TIFFGetField(tiff, TIFFTAG_TILELENGTH, &tileLength_);
      CheckTiles();
      tile_.resize(static_cast<std::size_t>(TIFFTileSize64(tiff)));
      // A band holds the picture's rows of a row of tiles, no more.
      bandRows_ = std::min(tileLength_, layout.Height);
    } else {
      bandRows_ = std::min(Field<std::uint32_t>(tiff, TIFFTAG_ROWSPERSTRIP), layout.Height);
    }
    const std::uint64_t rowBits =
        std::uint64_t{layout.Width} * samplesPerPlane_ * layout.BitsPerSample;
    if (bandRows_ == 0 || rowBytes_ < (rowBits + 7) / 8) Refuse(file_, name_);
    band_.resize(planes_);
    for (auto& plane : band_) plane.resize(rowBytes_ * bandRows_);
  }

  std::uint32_t BandRows() const { return bandRows_; }

  // Fills the band that starts at row y0.
  void Read(std::uint32_t y0) {
    for (std::uint16_t plane = 0; plane < planes_; ++plane) {
      if (layout_.Tiled)
        ReadTileRow(y0, plane);
      else
        ReadStrip(y0, plane);
    }
  }

  // Row y0 + r of the band as interleaved samples.
  void Unpack(std::uint32_t r, std::uint16_t* samples) {
    const bool bigEndian = std::endian::native == std::endian::big;
    const std::size_t width = layout_.Width;
    if (planes_ == 1) {
      UnpackSamples(band_[0].data() + r * rowBytes_, layout_.BitsPerSample, bigEndian,
                    width * samplesPerPlane_, samples);
      return;
    }
    plane_.resize(width);
    for (std::uint16_t p = 0; p < planes_; ++p) {
      UnpackSamples(band_[p].data() + r * rowBytes_, layout_.BitsPerSample, bigEndian, width,
                    plane_.data());
      for (std::size_t x = 0; x < width; ++x) samples[x * planes_ + p] = plane_[x];
    }
  }

 private:
  // A tile must start on a byte and be no larger than the picture needs,
  // whatever the file declares: as wide and as long as the picture, each
  // rounded up to the 16 pixels tiles come in, or a small tile of a small
  // picture.
  void CheckTiles() const {
    const std::uint64_t tileBits =
        std::uint64_t{tileWidth_} * samplesPerPlane_ * layout_.BitsPerSample;
    const auto rounded = [](std::uint64_t side) { return (side + 15) / 16 * 16; };
    const std::uint64_t neededBits = std::min<std::uint64_t>(tileWidth_, rounded(layout_.Width)) *
                                     samplesPerPlane_ * layout_.BitsPerSample;
    const std::uint64_t needed =
        (neededBits + 7) / 8 * std::min<std::uint64_t>(tileLength_, rounded(layout_.Height));
    constexpr std::uint64_t kSmallTileBytes = 1u << 20;
    if (tileWidth_ == 0 || tileLength_ == 0 || tileBits % 8 != 0 ||
        TIFFTileSize64(tiff_) > std::max(needed, kSmallTileBytes))
      throw TavrenError(name_, "not a readable TIFF picture (its tiles do not fit its size)");
  }

  void ReadStrip(std::uint32_t y0, std::uint16_t plane) {
    const std::uint32_t rows = std::min(bandRows_, layout_.Height - y0);
    const tmsize_t wanted = static_cast<tmsize_t>(rows * rowBytes_);
    if (TIFFReadEncodedStrip(tiff_, TIFFComputeStrip(tiff_, y0, plane), band_[plane].data(),
                             wanted) < wanted)
      Refuse(file_, name_);
  }

  void ReadTileRow(std::uint32_t y0, std::uint16_t plane) {
    const std::size_t tileRowBytes = static_cast<std::size_t>(TIFFTileRowSize64(tiff_));
    const std::uint32_t rows = std::min(bandRows_, layout_.Height - y0);
    for (std::uint32_t x0 = 0; x0 < layout_.Width; x0 += tileWidth_) {
      const tmsize_t got = TIFFReadEncodedTile(tiff_, TIFFComputeTile(tiff_, x0, y0, 0, plane),
                                               tile_.data(), static_cast<tmsize_t>(tile_.size()));
      if (got < static_cast<tmsize_t>(tile_.size())) Refuse(file_, name_);
      const std::uint32_t columns = std::min(tileWidth_, layout_.Width - x0);
      const std::size_t offset = std::size_t{x0} * samplesPerPlane_ * layout_.BitsPerSample / 8;
      const std::size_t bytes =
          (std::size_t{columns} * samplesPerPlane_ * layout_.BitsPerSample + 7) / 8;
      for (std::uint32_t r = 0; r < rows; ++r)
        std::memcpy(band_[plane].data() + r * rowBytes_ + offset, tile_.data() + r * tileRowBytes,
                    bytes);
    }
  }

  TIFF* tiff_;
  const TiffLayout& layout_;
  const TiffFile& file_;
  const std::string& name_;
  std::uint16_t planes_ = 1;
  std::uint16_t samplesPerPlane_ = 1;
  std::size_t rowBytes_ = 0;
  std::uint32_t tileWidth_ = 0;
  std::uint32_t tileLength_ = 0;
  std::uint32_t bandRows_ = 0;
  std::vector<std::vector<std::uint8_t>> band_;
  std::vector<std::uint8_t> tile_;
  std::vector<std::uint16_t> plane_;
};

TIFF* Opened(const TiffFile& file, const std::string& name) {
  if (file.get() == nullptr) Refuse(file, name);
  return file.get();
}

}  // namespace

std::pair<std::int32_t, std::int32_t> ReadTiffSize(const std::uint8_t* data, std::size_t size,
                                                   const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  const TiffFile file(data, size);
  TIFF* tiff = Opened(file, name);
  const TiffLayout layout = LayoutOf(tiff, size, name);
  const auto width = static_cast<std::int32_t>(layout.Width);
  const auto height = static_cast<std::int32_t>(layout.Height);
  // Orientations 5 to 8 turn the picture by a quarter.
  if (Field<std::uint16_t>(tiff, TIFFTAG_ORIENTATION) >= 5) return {height, width};
  return {width, height};
}

Image DecodeTiff(const std::uint8_t* data, std::size_t size, const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  const TiffFile file(data, size);
  TIFF* tiff = Opened(file, name);
  const TiffLayout layout = LayoutOf(tiff, size, name);
  BandReader bands(tiff, layout, file, name);
  RowPixels pixels(tiff, layout, name);

  Image image;
  image.ResetForOverwrite(static_cast<std::int32_t>(layout.Width),
                          static_cast<std::int32_t>(layout.Height));
  for (std::uint32_t y0 = 0; y0 < layout.Height; y0 += bands.BandRows()) {
    bands.Read(y0);
    const std::uint32_t rows = std::min(bands.BandRows(), layout.Height - y0);
    for (std::uint32_t r = 0; r < rows; ++r) {
      bands.Unpack(r, pixels.Samples());
      pixels.ToBgr(image.Row(static_cast<std::int32_t>(y0 + r)));
    }
  }
  ApplyOrientation(image, Field<std::uint16_t>(tiff, TIFFTAG_ORIENTATION));
  return image;
}

std::vector<std::uint8_t> ReadTiffIccProfile(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return {};
  const TiffFile file(data, size);
  std::uint32_t length = 0;
  const std::uint8_t* profile = nullptr;
  if (file.get() == nullptr || !TIFFGetField(file.get(), TIFFTAG_ICCPROFILE, &length, &profile) ||
      profile == nullptr)
    return {};
  return std::vector<std::uint8_t>(profile, profile + length);
}

bool IsClassicTiff(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size < 4) return false;
  return (data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42);
}

TSourceMetadata ReadTiffMetadata(const TByteSource& file) {
  std::vector<std::uint8_t> storage;
  try {
    const std::span<const std::uint8_t> bytes = file.ReadWhole(storage);
    TSourceMetadata metadata;
    metadata.IccProfile = ReadTiffIccProfile(bytes.data(), bytes.size());
    if (IsClassicTiff(bytes.data(), bytes.size())) {
      TExif exif;
      exif.ReadFromTiffBlock(bytes.data(), bytes.size());
      metadata.Make = exif.Make;
      metadata.Model = exif.Model;
    }
    return metadata;
  } catch (const TavrenError&) {
    return {};
  }
}

}  // namespace tavren
