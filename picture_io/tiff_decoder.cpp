#include "picture_io/tiff_decoder.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

#include <tiffio.h>

#include "picture_io/byte_source.h"
#include "picture_io/exif_reader.h"
#include "picture_io/jpeg_stream_walk.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "picture_io/tiff_value_budget.h"
#include "system/error.h"

namespace tavren {

namespace {

// The file's bytes as libtiff's input, read where libtiff asks for them,
// with the counts of values beyond the budget shown as 0, and the last
// error libtiff reported about them: the one that ended the reading.
struct TiffInput {
  TSourceInput Bytes;
  std::vector<TTiffCountPlace> Hidden;
  std::string Error;
};

TiffInput& InputOf(thandle_t handle) { return *static_cast<TiffInput*>(handle); }

tmsize_t ReadInput(thandle_t handle, void* buffer, tmsize_t count) {
  if (count <= 0) return 0;
  TiffInput& input = InputOf(handle);
  const std::uint64_t at = input.Bytes.Pos();
  const std::uint64_t taken = input.Bytes.Take(buffer, static_cast<std::uint64_t>(count));
  HideCounts(input.Hidden, at, static_cast<std::uint8_t*>(buffer), taken);
  return static_cast<tmsize_t>(taken);
}

tmsize_t WriteNothing(thandle_t, void*, tmsize_t) { return -1; }

toff_t SeekInput(thandle_t handle, toff_t offset, int whence) {
  TSourceInput& input = InputOf(handle).Bytes;
  const auto delta = static_cast<std::int64_t>(offset);
  std::int64_t target = delta;
  if (whence == SEEK_CUR) target = static_cast<std::int64_t>(input.Pos()) + delta;
  if (whence == SEEK_END) target = static_cast<std::int64_t>(input.Size()) + delta;
  if (whence == SEEK_SET) {
    input.Seek(offset);
    return offset;
  }
  if (target < 0) return static_cast<toff_t>(-1);
  input.Seek(static_cast<std::uint64_t>(target));
  return input.Pos();
}

int CloseNothing(thandle_t) { return 0; }
toff_t SizeOfInput(thandle_t handle) { return InputOf(handle).Bytes.Size(); }
int MapNothing(thandle_t, void**, toff_t*) { return 0; }
void UnmapNothing(thandle_t, void*, toff_t) {}

// The name libtiff gives the file in its messages, which are shown behind
// the file's real name.
constexpr char kTiffName[] = "TIFF";

// libtiff reports as errors some tags it merely leaves unread (a private
// tag of a type it does not know); they say nothing about the picture.
bool IsAboutAnUnreadTag(const std::string& message) {
  return message.find("tag is not read from file") != std::string::npos ||
         message.find("tag ignored") != std::string::npos;
}

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
  TiffInput& input = *static_cast<TiffInput*>(user);
  char message[512];
  std::vsnprintf(message, sizeof message, format, args);
  std::string text = message;
  const std::string prefix = std::string(kTiffName) + ": ";
  if (text.rfind(prefix, 0) == 0) text.erase(0, prefix.size());
  if (!IsAboutAnUnreadTag(text)) input.Error = text;
  return 1;
}

// Warnings are about tags libtiff steps over or mends; they are not shown.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

// libtiff over the bytes of one file, its messages kept here rather than
// printed.
class TiffFile {
 public:
  explicit TiffFile(const TByteSource& source)
      : input_{TSourceInput(source), CountsBeyondBudget(source, kTiffValueBudget), {}} {
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
  bool ranOut() const { return input_.Bytes.RanOut(); }

 private:
  TiffInput input_;
  TIFF* tiff_ = nullptr;
};

// what: the part of the file that could not be read, in the program's
// words; libtiff's own words follow in brackets.
[[noreturn]] void Refuse(const TiffFile& file, const std::string& name, const std::string& what) {
  const std::string reason = file.ranOut() ? "the file ends before the picture does"
                                           : "the file is damaged: " + what + " cannot be read";
  if (file.error().empty()) throw TavrenError(name, reason);
  throw TavrenError(name, reason + " (" + file.error() + ")");
}

[[noreturn]] void Damaged(const std::string& name, const std::string& what) {
  throw TavrenError(name, "the file is damaged: " + what);
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
  bool Float = false;  // 32-bit floating-point samples
  // YCbCr that this decoder turns into RGB (all but JPEG's, which libjpeg
  // turns): Y samples of SubsampleX x SubsampleY pixels, then one Cb and
  // one Cr for all of them.
  bool YCbCr = false;
  std::uint16_t SubsampleX = 1, SubsampleY = 1;
  TSampleRule Rule;
};

// Bytes one stored byte can stand for at most, per compression; 0 where
// the bound is not a ratio (CCITT and JPEG: see LeastStoredBytes).
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
    case COMPRESSION_ZSTD:
      // Its densest block repeats one byte for 128 KiB behind a 3-byte
      // header: 4 bytes for 131072.
      return 32768;
    case COMPRESSION_LZMA:
      // Its range coder spends at least 0.022 bits on each of the 14
      // decisions of a repeated match of 273 bytes: about 7000 bytes a byte.
      return 8192;
    case COMPRESSION_WEBP:
      // Lossless WebP can code a plain area in next to no bits, so there is
      // no bound to read off the coding; this one lets through any tile
      // and any strip that holds more than a plain colour (a plain 4096 x
      // 4096 strip, 48 MB, would need 768 bytes).
      return 65536;
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

// Unsigned samples of 1 to 16 bits, of 24 or 32 bits, and 32-bit floating
// point, as scanners and cameras write them.
void CheckSampleFormat(TIFF* tiff, TiffLayout& layout, const std::string& name) {
  const std::uint16_t bits = layout.BitsPerSample;
  switch (Field<std::uint16_t>(tiff, TIFFTAG_SAMPLEFORMAT)) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID:
      if (bits == 0 || (bits > 16 && bits != 24 && bits != 32))
        Unsupported(name, "TIFF pictures of " + std::to_string(bits) + " bits per sample");
      break;
    case SAMPLEFORMAT_IEEEFP:
      if (bits != 32)
        Unsupported(name, "floating-point TIFF samples of " + std::to_string(bits) + " bits");
      layout.Float = true;
      break;
    case SAMPLEFORMAT_INT:
      Unsupported(name, "signed TIFF samples");
    default:
      Unsupported(name, "TIFF samples of this format");
  }
  // A band of rows is read whole, at the size the samples declare.
  const std::uint32_t bitsPerPixel = std::uint32_t{layout.SamplesPerPixel} * bits;
  if (bitsPerPixel > kMostStoredBitsPerPixel)
    Unsupported(name, "TIFF pictures of more than " + std::to_string(kMostStoredBitsPerPixel) +
                          " bits per pixel (" + std::to_string(layout.SamplesPerPixel) +
                          " samples of " + std::to_string(bits) + (bits == 1 ? " bit)" : " bits)"));
}

// YCbCr of 8-bit samples stored in strips, the way cameras and scanners
// write it, subsampled by 1, 2 or 4 each way.
int YCbCrColours(TIFF* tiff, TiffLayout& layout, const std::string& name) {
  if (layout.BitsPerSample != 8 || layout.Float || layout.SamplesPerPixel != 3 || layout.Tiled ||
      layout.Planes)
    Unsupported(
        name, "YCbCr TIFF pictures other than 8-bit samples in strips, interleaved, without alpha");
  TIFFGetFieldDefaulted(tiff, TIFFTAG_YCBCRSUBSAMPLING, &layout.SubsampleX, &layout.SubsampleY);
  const auto valid = [](std::uint16_t factor) { return factor == 1 || factor == 2 || factor == 4; };
  if (!valid(layout.SubsampleX) || !valid(layout.SubsampleY))
    Damaged(name, "its YCbCr subsampling (" + std::to_string(layout.SubsampleX) + " x " +
                      std::to_string(layout.SubsampleY) + ") is none of 1, 2 and 4 each way");
  layout.YCbCr = true;
  return 3;
}

// The number of colour samples, and for JPEG-compressed YCbCr the request
// that libtiff hand them over as RGB.
int Colours(TIFF* tiff, TiffLayout& layout, const std::string& name) {
  switch (layout.Photometric) {
    case PHOTOMETRIC_PALETTE:
      if (layout.BitsPerSample > 16 || layout.Float)
        Unsupported(name, "TIFF palette pictures of indexes deeper than 16 bits");
      return 1;
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
      return 1;
    case PHOTOMETRIC_RGB:
      return 3;
    case PHOTOMETRIC_SEPARATED:
      if (Field<std::uint16_t>(tiff, TIFFTAG_INKSET) != INKSET_CMYK)
        Unsupported(name, "TIFF pictures in inks other than CMYK");
      return 4;
    case PHOTOMETRIC_YCBCR:
      if (layout.Compression != COMPRESSION_JPEG) return YCbCrColours(tiff, layout, name);
      if (layout.BitsPerSample != 8)
        Unsupported(name, "JPEG-compressed TIFF pictures of " +
                              std::to_string(layout.BitsPerSample) + " bits per sample");
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

std::uint64_t YCbCrUnitRowBytes(const TiffLayout& layout) {
  const std::uint64_t units =
      (std::uint64_t{layout.Width} + layout.SubsampleX - 1) / layout.SubsampleX;
  return units * (layout.SubsampleX * layout.SubsampleY + 2u);
}

std::uint64_t StoredBytes(const TiffLayout& layout) {
  if (layout.YCbCr)
    return YCbCrUnitRowBytes(layout) *
           ((layout.Height + layout.SubsampleY - 1) / layout.SubsampleY);
  const std::uint64_t rowBits =
      std::uint64_t{layout.Width} * layout.SamplesPerPixel * layout.BitsPerSample;
  return (rowBits + 7) / 8 * layout.Height;
}

void CheckDeclaredSize(const TiffLayout& layout, std::uint64_t fileSize, const std::string& name) {
  const std::string size =
      std::to_string(layout.Width) + " x " + std::to_string(layout.Height) + " pixels";
  RequirePictureSize(layout.Width, layout.Height, name);
  const std::uint64_t expansion = MaxExpansion(layout.Compression);
  if (expansion != 0 && fileSize < StoredBytes(layout) / expansion)
    throw TavrenError(name,
                      "the file ends before the picture does (it is too short for " + size + ")");
}

// A strip or tile of the picture: where its bytes lie, as far as the file
// holds them, and how many bytes and rows it decodes to.
struct Piece {
  std::uint64_t Offset = 0, Bytes = 0;
  std::uint64_t Decoded = 0;
  std::uint32_t Rows = 0, Width = 0;
  bool LastStrip = false;  // whose JPEG frame may keep the height of a full strip
  std::uint32_t FullRows = 0;
};

class PieceChecks {
 public:
  PieceChecks(TIFF* tiff, const TiffLayout& layout, const TByteSource& file,
              const std::string& name)
      : tiff_(tiff), layout_(layout), file_(file), size_(file.Size()), name_(name) {}

  // Every strip or tile holds at least the bytes its codec needs for it at
  // its densest, and the pieces together (their bytes counted once, however
  // many pieces share them) hold what all need: libtiff and its codecs
  // would otherwise spend the memory and time of the declared picture on a
  // few bytes.  JPEG pieces are held to the JPEG decoder's limits too.
  void Run() {
    const std::uint32_t count =
        layout_.Tiled ? TIFFNumberOfTiles(tiff_) : TIFFNumberOfStrips(tiff_);
    if (!layout_.Tiled) {
      rowsPerStrip_ = std::min(Field<std::uint32_t>(tiff_, TIFFTAG_ROWSPERSTRIP), layout_.Height);
      if (rowsPerStrip_ == 0) Damaged(name_, "its strips hold no rows");
    }
    // A JPEG piece's stream is walked whole: pieces that declare more bytes
    // than the file has would have the walk go over the same bytes again
    // and again.
    if (layout_.Compression == COMPRESSION_JPEG && DeclaredBytes(count) > size_)
      Damaged(name_, "its " + std::string(layout_.Tiled ? "tiles" : "strips") +
                         " declare more bytes than the file holds");
    std::uint64_t least = 0;
    for (std::uint32_t index = 0; index < count; ++index) {
      const Piece piece = PieceAt(index);
      const std::uint64_t needed = LeastStoredBytes(piece, index);
      if (piece.Bytes < needed)
        Damaged(name_, Named(index) + " holds " + std::to_string(piece.Bytes) +
                           " bytes, fewer than its " + std::to_string(piece.Rows) + " rows need");
      least += needed;
      if (piece.Bytes > 0) spans_.push_back({piece.Offset, piece.Offset + piece.Bytes});
    }
    if (BytesHeld() < least)
      Damaged(name_, "its " + std::string(layout_.Tiled ? "tiles" : "strips") +
                         " share their bytes, too few for the picture");
    const std::string beyond = JpegScansBeyondLimits(0, jpegWork_, jpegBlocks_);
    if (!beyond.empty()) Damaged(name_, "its JPEG data " + beyond);
  }

 private:
  std::string Named(std::uint32_t index) const {
    return (layout_.Tiled ? "tile " : "strip ") + std::to_string(index + 1);
  }

  std::uint64_t BytesOf(std::uint32_t index, std::uint64_t offset) const {
    const std::uint64_t declared = TIFFGetStrileByteCount(tiff_, index);
    return offset < size_ ? std::min<std::uint64_t>(declared, size_ - offset) : 0;
  }

  std::uint64_t DeclaredBytes(std::uint32_t count) const {
    std::uint64_t total = 0;
    for (std::uint32_t index = 0; index < count; ++index)
      total += BytesOf(index, TIFFGetStrileOffset(tiff_, index));
    return total;
  }

  Piece PieceAt(std::uint32_t index) const {
    Piece piece;
    piece.Offset = TIFFGetStrileOffset(tiff_, index);
    piece.Bytes = BytesOf(index, piece.Offset);
    if (layout_.Tiled) {
      TIFFGetField(tiff_, TIFFTAG_TILEWIDTH, &piece.Width);
      TIFFGetField(tiff_, TIFFTAG_TILELENGTH, &piece.Rows);
      piece.Decoded = TIFFTileSize64(tiff_);
      return piece;
    }
    const std::uint32_t perPlane = (layout_.Height + rowsPerStrip_ - 1) / rowsPerStrip_;
    const std::uint32_t firstRow = index % perPlane * rowsPerStrip_;
    piece.Width = layout_.Width;
    piece.Rows = std::min(rowsPerStrip_, layout_.Height - firstRow);
    piece.FullRows = rowsPerStrip_;
    piece.LastStrip = index % perPlane == perPlane - 1;
    piece.Decoded = TIFFVStripSize64(tiff_, piece.Rows);
    return piece;
  }

  // The fewest bytes the piece's codec can decode the piece from.
  std::uint64_t LeastStoredBytes(const Piece& piece, std::uint32_t index) {
    switch (layout_.Compression) {
      case COMPRESSION_CCITTFAX3:
      case COMPRESSION_CCITTFAX4:
        return (piece.Rows + 7) / 8;  // a row like the one before costs a bit
      case COMPRESSION_JPEG:
        return JpegLeastBytes(piece, index);
      default:
        break;
    }
    const std::uint64_t expansion = MaxExpansion(layout_.Compression);
    return (piece.Decoded + expansion - 1) / expansion;
  }

  // The piece's JPEG stream walked: its frame must be the piece's size, and
  // its scans within the JPEG decoder's limits.
  std::uint64_t JpegLeastBytes(const Piece& piece, std::uint32_t index) {
    // Every piece's bytes lie in the file (BytesOf), and all of them
    // together are no more than the file holds (Run).
    pieceBytes_.resize(static_cast<std::size_t>(piece.Bytes));
    if (!file_.Read(piece.Offset, pieceBytes_.data(), pieceBytes_.size()))
      throw TavrenError(name_, "the file cannot be read");
    const TJpegStreamWalk walk = WalkJpegStream(pieceBytes_.data(), pieceBytes_.size());
    const std::string what = "the JPEG data of " + Named(index);
    if (!walk.Damage.empty()) Damaged(name_, what + " is damaged: " + walk.Damage);
    if (!walk.HasFrame) Damaged(name_, what + " holds no picture");
    const bool fullLastStrip = piece.LastStrip && walk.Height == piece.FullRows;
    if (walk.Width != piece.Width || (walk.Height != piece.Rows && !fullLastStrip))
      Damaged(name_, what + " is " + std::to_string(walk.Width) + " x " +
                         std::to_string(walk.Height) + " pixels, not the " +
                         std::to_string(piece.Width) + " x " + std::to_string(piece.Rows) +
                         " of the " + (layout_.Tiled ? "tile" : "strip"));
    const std::string beyond = JpegScansBeyondLimits(walk.Scans, 0, walk.Blocks);
    if (!beyond.empty()) Damaged(name_, what + " " + beyond);
    jpegWork_ += walk.Work;
    jpegBlocks_ += walk.Blocks;
    return JpegStreamLeastBytes(walk);
  }

  // The bytes of the file that some piece holds, each counted once.
  std::uint64_t BytesHeld() {
    std::sort(spans_.begin(), spans_.end());
    std::uint64_t held = 0, end = 0;
    for (const auto& [first, last] : spans_) {
      const std::uint64_t from = std::max(first, end);
      if (last > from) held += last - from;
      end = std::max(end, last);
    }
    return held;
  }

  TIFF* tiff_;
  const TiffLayout& layout_;
  const TByteSource& file_;
  std::uint64_t size_;
  const std::string& name_;
  std::vector<std::uint8_t> pieceBytes_;  // the JPEG piece being walked
  std::uint32_t rowsPerStrip_ = 0;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> spans_;
  std::uint64_t jpegWork_ = 0, jpegBlocks_ = 0;
};

TiffLayout LayoutOf(TIFF* tiff, const TByteSource& file, const std::string& name) {
  TiffLayout layout;
  layout.Width = Field<std::uint32_t>(tiff, TIFFTAG_IMAGEWIDTH);
  layout.Height = Field<std::uint32_t>(tiff, TIFFTAG_IMAGELENGTH);
  layout.SamplesPerPixel = Field<std::uint16_t>(tiff, TIFFTAG_SAMPLESPERPIXEL);
  layout.BitsPerSample = Field<std::uint16_t>(tiff, TIFFTAG_BITSPERSAMPLE);
  layout.Compression = Field<std::uint16_t>(tiff, TIFFTAG_COMPRESSION);
  layout.Planes = Field<std::uint16_t>(tiff, TIFFTAG_PLANARCONFIG) == PLANARCONFIG_SEPARATE;
  layout.Tiled = TIFFIsTiled(tiff) != 0;
  if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &layout.Photometric))
    Damaged(name, "it does not say how its samples are coloured");
  CheckCompression(layout, name);
  CheckSampleFormat(tiff, layout, name);
  layout.Rule.Colours = Colours(tiff, layout, name);
  CheckDeclaredSize(layout, file.Size(), name);
  if (layout.SamplesPerPixel < layout.Rule.Colours)
    Damaged(name, "it declares fewer samples than colours");
  layout.Rule.SamplesPerPixel = layout.SamplesPerPixel;
  // Deeper and floating-point samples come to the sample rules as 16-bit.
  layout.Rule.Max =
      layout.BitsPerSample <= 16 && !layout.Float ? (1u << layout.BitsPerSample) - 1 : 65535;
  SetAlpha(tiff, layout);
  PieceChecks(tiff, layout, file, name).Run();
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
    Damaged(name, "its colour table is missing");
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

// YCbCr to red, green and blue as TIFF defines it, with the file's
// coefficients and reference black and white (by default those of the
// usual 8-bit YCbCr).
class YCbCrToRgb {
 public:
  YCbCrToRgb(TIFF* tiff, const std::string& name) {
    float* luma = nullptr;
    float* reference = nullptr;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_YCBCRCOEFFICIENTS, &luma);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_REFERENCEBLACKWHITE, &reference);
    if (luma == nullptr || reference == nullptr || !Usable(luma, reference))
      Damaged(name, "its YCbCr coefficients or reference black and white are out of range");
    red_ = luma[0];
    green_ = luma[1];
    blue_ = luma[2];
    for (int code = 0; code < 256; ++code) {
      y_[code] = Scaled(code, reference[0], reference[1], 255);
      cb_[code] = Scaled(code, reference[2], reference[3], 127);
      cr_[code] = Scaled(code, reference[4], reference[5], 127);
    }
  }

  void ToRgb(std::uint8_t y, std::uint8_t cb, std::uint8_t cr, std::uint16_t* rgb) const {
    const double r = cr_[cr] * (2 - 2 * red_) + y_[y];
    const double b = cb_[cb] * (2 - 2 * blue_) + y_[y];
    const double g = (y_[y] - blue_ * b - red_ * r) / green_;
    rgb[0] = Level(r);
    rgb[1] = Level(g);
    rgb[2] = Level(b);
  }

 private:
  static bool Usable(const float* luma, const float* reference) {
    for (int i = 0; i < 3; ++i)
      if (!(luma[i] >= 0 && luma[i] <= 1)) return false;
    for (int i = 0; i < 6; ++i)
      if (!std::isfinite(reference[i])) return false;
    return luma[1] > 0 && reference[0] != reference[1] && reference[2] != reference[3] &&
           reference[4] != reference[5];
  }

  static double Scaled(int code, double black, double white, double range) {
    return (code - black) * range / (white - black);
  }

  static std::uint16_t Level(double v) {
    if (!(v > 0)) return 0;
    return static_cast<std::uint16_t>(v >= 255 ? 255 : std::floor(v + 0.5));
  }

  double red_ = 0, green_ = 1, blue_ = 0;
  double y_[256] = {}, cb_[256] = {}, cr_[256] = {};
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
    std::uint64_t bandBytes = rowBytes_ * std::uint64_t{bandRows_};
    if (layout.YCbCr) {
      SetUpYCbCr();
      bandBytes = TIFFVStripSize64(tiff, bandRows_);
    }
    const std::uint64_t rowBits =
        std::uint64_t{layout.Width} * samplesPerPlane_ * layout.BitsPerSample;
    if (bandRows_ == 0 || (!layout.YCbCr && rowBytes_ < (rowBits + 7) / 8))
      Refuse(file_, name_, "its layout of rows");
    band_.resize(planes_);
    for (auto& plane : band_) plane.resize(static_cast<std::size_t>(bandBytes));
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
    const std::size_t width = layout_.Width;
    if (layout_.YCbCr) {
      UnpackYCbCr(r, samples);
      return;
    }
    if (planes_ == 1) {
      UnpackRow(band_[0].data() + r * rowBytes_, width * samplesPerPlane_, samples);
      return;
    }
    plane_.resize(width);
    for (std::uint16_t p = 0; p < planes_; ++p) {
      UnpackRow(band_[p].data() + r * rowBytes_, width, plane_.data());
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
      Damaged(name_, "its tiles do not fit its size");
  }

  // libtiff hands samples over in the machine's byte order.
  void UnpackRow(const std::uint8_t* row, std::size_t count, std::uint16_t* samples) const {
    const bool bigEndian = std::endian::native == std::endian::big;
    if (layout_.Float)
      UnpackFloatSamples(row, bigEndian, count, samples);
    else
      UnpackSamples(row, layout_.BitsPerSample, bigEndian, count, samples);
  }

  // A strip's rows of YCbCr come in rows of units, each unit the Y samples
  // of SubsampleX x SubsampleY pixels, then their Cb and Cr: every strip
  // but the last must hold whole rows of units.
  void SetUpYCbCr() {
    ycbcr_.emplace(tiff_, name_);
    unitRowBytes_ = static_cast<std::size_t>(YCbCrUnitRowBytes(layout_));
    if (bandRows_ % layout_.SubsampleY != 0 && bandRows_ < layout_.Height)
      Damaged(name_, "its strips split its rows of YCbCr units");
    if (TIFFVStripSize64(tiff_, layout_.SubsampleY) != unitRowBytes_)
      Refuse(file_, name_, "its layout of YCbCr units");
  }

  void UnpackYCbCr(std::uint32_t r, std::uint16_t* rgb) const {
    const std::uint32_t across = layout_.SubsampleX;
    const std::size_t unitBytes = across * layout_.SubsampleY + 2u;
    const std::uint8_t* units = band_[0].data() + r / layout_.SubsampleY * unitRowBytes_;
    const std::size_t line = r % layout_.SubsampleY * across;
    for (std::size_t x = 0; x < layout_.Width; ++x, rgb += 3) {
      const std::uint8_t* unit = units + x / across * unitBytes;
      ycbcr_->ToRgb(unit[line + x % across], unit[unitBytes - 2], unit[unitBytes - 1], rgb);
    }
  }

  void ReadStrip(std::uint32_t y0, std::uint16_t plane) {
    const std::uint32_t rows = std::min(bandRows_, layout_.Height - y0);
    const tmsize_t wanted = static_cast<tmsize_t>(TIFFVStripSize64(tiff_, rows));
    const std::uint32_t strip = TIFFComputeStrip(tiff_, y0, plane);
    if (TIFFReadEncodedStrip(tiff_, strip, band_[plane].data(), wanted) < wanted)
      Refuse(file_, name_, "strip " + std::to_string(strip + 1));
  }

  void ReadTileRow(std::uint32_t y0, std::uint16_t plane) {
    const std::size_t tileRowBytes = static_cast<std::size_t>(TIFFTileRowSize64(tiff_));
    const std::uint32_t rows = std::min(bandRows_, layout_.Height - y0);
    for (std::uint32_t x0 = 0; x0 < layout_.Width; x0 += tileWidth_) {
      const tmsize_t got = TIFFReadEncodedTile(tiff_, TIFFComputeTile(tiff_, x0, y0, 0, plane),
                                               tile_.data(), static_cast<tmsize_t>(tile_.size()));
      if (got < static_cast<tmsize_t>(tile_.size()))
        Refuse(file_, name_,
               "tile " + std::to_string(TIFFComputeTile(tiff_, x0, y0, 0, plane) + 1));
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
  std::optional<YCbCrToRgb> ycbcr_;
  std::size_t unitRowBytes_ = 0;
};

TIFF* Opened(const TiffFile& file, const std::string& name) {
  if (file.get() == nullptr) Refuse(file, name, "its header or its directory of tags");
  return file.get();
}

}  // namespace

TPictureSize ReadTiffSize(const TByteSource& source, const std::string& name) {
  if (source.Size() == 0) throw TavrenError(name, "the file is empty");
  const TiffFile file(source);
  TIFF* tiff = Opened(file, name);
  const TiffLayout layout = LayoutOf(tiff, source, name);
  const auto width = static_cast<std::int32_t>(layout.Width);
  const auto height = static_cast<std::int32_t>(layout.Height);
  // Orientations 5 to 8 turn the picture by a quarter.
  if (Field<std::uint16_t>(tiff, TIFFTAG_ORIENTATION) >= 5) return {height, width};
  return {width, height};
}

Image DecodeTiff(const TByteSource& source, const std::string& name, TRowFollower*) {
  if (source.Size() == 0) throw TavrenError(name, "the file is empty");
  const TiffFile file(source);
  TIFF* tiff = Opened(file, name);
  const TiffLayout layout = LayoutOf(tiff, source, name);
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

std::vector<std::uint8_t> ReadTiffIccProfile(const TByteSource& source) {
  if (source.Size() == 0) return {};
  const TiffFile file(source);
  std::uint32_t length = 0;
  const std::uint8_t* profile = nullptr;
  if (file.get() == nullptr || !TIFFGetField(file.get(), TIFFTAG_ICCPROFILE, &length, &profile) ||
      profile == nullptr)
    return {};
  return std::vector<std::uint8_t>(profile, profile + length);
}

bool IsClassicTiff(const TByteSource& source) {
  std::uint8_t data[4];
  if (!source.Read(0, data, sizeof data)) return false;
  return (data[0] == 'I' && data[1] == 'I' && data[2] == 42 && data[3] == 0) ||
         (data[0] == 'M' && data[1] == 'M' && data[2] == 0 && data[3] == 42);
}

TSourceMetadata ReadTiffMetadata(const TByteSource& file) {
  try {
    TSourceMetadata metadata;
    metadata.IccProfile = ReadTiffIccProfile(file);
    if (IsClassicTiff(file)) {
      TExif exif;
      exif.ReadFromTiffSource(file);
      metadata.Make = exif.Make;
      metadata.Model = exif.Model;
    }
    return metadata;
  } catch (const TavrenError&) {
    return {};
  }
}

}  // namespace tavren
