#include "picture_io/png_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include <png.h>

#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "system/error.h"

// libpng reports a fatal error through the error function, which must not
// return; it leaves through png_longjmp to the guarded step that called
// libpng.  Every guarded step is a plain function whose locals need no
// cleanup, so the jump skips no destructor; the C++ code that owns the
// buffers and throws lives above them.

namespace tavren {

namespace {

// libpng reads the file front to back and stops where the picture's rows
// end, so a file is read no further than its picture (whatever follows it)
// and never held whole.
struct PngInput {
  TSourceInput Bytes;
  char Reason[256];
};

void ReadInput(png_structp png, png_bytep out, png_size_t count) {
  auto* input = static_cast<PngInput*>(png_get_io_ptr(png));
  if (input->Bytes.Take(out, count) != count) png_error(png, "the file ends here");
}

[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  auto* input = static_cast<PngInput*>(png_get_error_ptr(png));
  std::snprintf(input->Reason, sizeof input->Reason, "%s", message);
  png_longjmp(png, 1);
}

// Warnings are about data libpng steps over (a damaged ancillary chunk, an
// odd colour profile); the picture itself is whole, so they are not shown.
void OnWarning(png_structp, png_const_charp) {}

// libpng's two structures over the bytes of one file.
class PngReader {
 public:
  explicit PngReader(const TByteSource& file) : input_{TSourceInput(file), {}} {
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &input_, OnError, OnWarning);
    if (png_ != nullptr) info_ = png_create_info_struct(png_);
    if (info_ != nullptr) png_set_read_fn(png_, &input_, ReadInput);
  }
  ~PngReader() { png_destroy_read_struct(&png_, info_ != nullptr ? &info_ : nullptr, nullptr); }
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;

  bool Created() const { return info_ != nullptr; }
  png_structp png() const { return png_; }
  png_infop info() const { return info_; }
  const PngInput& input() const { return input_; }

 private:
  PngInput input_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// ---- Guarded steps: plain functions, no objects that need cleanup. ----

bool ReadInfoGuarded(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  return true;
}

// Palettes become red, green and blue, grey of 1, 2 or 4 bits becomes 8
// bits, a transparent colour (tRNS) becomes alpha; interlaced pictures are
// put together by libpng.
bool PrepareRowsGuarded(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_expand(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool ReadRowGuarded(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool ReadAllRowsGuarded(png_structp png, png_bytepp rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, rows);
  return true;
}

// ---- The C++ side: owns the buffers, throws. ----

[[noreturn]] void Refuse(const std::string& name, const PngReader& reader) {
  const PngInput& input = reader.input();
  if (input.Bytes.RanOut()) throw TavrenError(name, "the file ends before the picture does");
  // libpng's words name what it found wrong; they follow the program's own.
  throw TavrenError(
      name, std::string("the file is damaged: its PNG data cannot be read (") + input.Reason + ")");
}

// The picture's rows as the file stores them, each behind its filter byte,
// against what deflate could have made of the file's bytes.
void CheckDeclaredSize(const PngReader& reader, std::uint64_t fileSize, const std::string& name) {
  const png_uint_32 width = png_get_image_width(reader.png(), reader.info());
  const png_uint_32 height = png_get_image_height(reader.png(), reader.info());
  RequirePictureSize(width, height, name);
  const std::uint64_t bitsPerPixel = std::uint64_t{png_get_channels(reader.png(), reader.info())} *
                                     png_get_bit_depth(reader.png(), reader.info());
  const std::uint64_t rows = std::uint64_t{height} * (1 + (width * bitsPerPixel + 7) / 8);
  if (fileSize < rows / kMaxDeflateRatio)
    throw TavrenError(name, "the file ends before the picture does (it is too short for " +
                                std::to_string(width) + " x " + std::to_string(height) +
                                " pixels)");
}

TSampleRule RuleOf(const PngReader& reader) {
  TSampleRule rule;
  const int channels = png_get_channels(reader.png(), reader.info());
  rule.SamplesPerPixel = channels;
  rule.Colours = channels >= 3 ? 3 : 1;
  rule.Alpha = channels == 2 || channels == 4 ? channels - 1 : -1;
  rule.Max = png_get_bit_depth(reader.png(), reader.info()) == 16 ? 65535 : 255;
  return rule;
}

class RowConverter {
 public:
  RowConverter(const PngReader& reader, std::int32_t width)
      : rule_(RuleOf(reader)),
        bits_(rule_.Max == 65535 ? 16 : 8),
        width_(width),
        samples_(static_cast<std::size_t>(width) *
                 static_cast<std::size_t>(rule_.SamplesPerPixel)) {}
  void Convert(const std::uint8_t* row, std::uint8_t* bgr) {
    UnpackSamples(row, bits_, true, samples_.size(), samples_.data());
    SamplesToBgr(samples_.data(), width_, rule_, bgr);
  }

 private:
  TSampleRule rule_;
  int bits_;
  std::int32_t width_;
  std::vector<std::uint16_t> samples_;
};

void ReadRowByRow(PngReader& reader, Image& image, const std::string& name) {
  std::vector<std::uint8_t> row(png_get_rowbytes(reader.png(), reader.info()));
  RowConverter converter(reader, image.Width());
  for (std::int32_t y = 0; y < image.Height(); ++y) {
    if (!ReadRowGuarded(reader.png(), row.data())) Refuse(name, reader);
    converter.Convert(row.data(), image.Row(y));
  }
}

// An interlaced picture's passes each fill every row: all rows are held
// until the last pass.  They are not cleared first: the passes write every
// byte, and memory no pass reaches (a file whose data stops short) costs
// nothing, while clearing it cost the whole expanded picture.
void ReadInterlaced(PngReader& reader, Image& image, const std::string& name) {
  const std::size_t rowBytes = png_get_rowbytes(reader.png(), reader.info());
  const std::unique_ptr<std::uint8_t[]> rows(
      new std::uint8_t[rowBytes * static_cast<std::size_t>(image.Height())]);
  std::vector<png_bytep> rowStarts(static_cast<std::size_t>(image.Height()));
  for (std::size_t y = 0; y < rowStarts.size(); ++y) rowStarts[y] = rows.get() + y * rowBytes;
  if (!ReadAllRowsGuarded(reader.png(), rowStarts.data())) Refuse(name, reader);
  RowConverter converter(reader, image.Width());
  for (std::int32_t y = 0; y < image.Height(); ++y)
    converter.Convert(rowStarts[static_cast<std::size_t>(y)], image.Row(y));
}

constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool HasSignature(const TByteSource& file) {
  std::uint8_t head[sizeof kSignature];
  return file.Read(0, head, sizeof head) && std::memcmp(head, kSignature, sizeof head) == 0;
}

// Calls visit(type, start, length) for every chunk behind the signature up
// to IEND, start being where the chunk's data begins; returns where IEND
// ends.  Nothing when a chunk runs past the end of the file or the file
// ends before IEND: libpng would ask for memory for a chunk's declared
// length before finding that its bytes are missing.  Checksums are
// libpng's.  Only the chunks' headers are read, through a buffer: a file
// of empty chunks costs no system call for each.
template <typename Visit>
std::optional<std::uint64_t> WalkChunks(const TByteSource& file, Visit visit) {
  constexpr std::uint64_t kChunkFrame = 12;  // length, type and checksum
  const std::uint64_t size = file.Size();
  TSourceInput input(file);
  std::uint64_t pos = sizeof kSignature;
  while (pos < size && size - pos >= kChunkFrame) {
    std::uint8_t header[8];
    input.Seek(pos);
    if (input.Take(header, sizeof header) != sizeof header) return std::nullopt;
    const std::uint64_t length = std::uint64_t{header[0]} << 24 | std::uint64_t{header[1]} << 16 |
                                 std::uint64_t{header[2]} << 8 | header[3];
    if (length > size - pos - kChunkFrame) return std::nullopt;
    const std::string_view type(reinterpret_cast<const char*>(header + 4), 4);
    visit(type, pos + 8, length);
    pos += kChunkFrame + length;
    if (type == "IEND") return pos;
  }
  return std::nullopt;
}

bool ChunksFit(const TByteSource& file) {
  return WalkChunks(file, [](std::string_view, std::uint64_t, std::uint64_t) {}).has_value();
}

// An eXIf chunk larger than this is not read: no camera writes one of more
// than a JPEG segment's 64 KB, and a file could declare gigabytes.
constexpr std::uint64_t kLargestExifChunk = 64u << 20;

// The eXIf chunk's data, looked for among all chunks: writers put it in
// front of the picture data or behind it.
std::vector<std::uint8_t> FindExifChunk(const TByteSource& file) {
  std::vector<std::uint8_t> exif;
  bool found = false;
  WalkChunks(file, [&](std::string_view type, std::uint64_t start, std::uint64_t length) {
    if (type != "eXIf" || found) return;
    found = true;
    if (length > kLargestExifChunk) return;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(length));
    if (file.Read(start, chunk.data(), chunk.size()))
      exif = ExifBlockFrom(chunk.data(), chunk.size());
  });
  return exif;
}

// Reads the header into reader and checks what it declares.
void ReadCheckedInfo(PngReader& reader, const TByteSource& file, const std::string& name) {
  if (file.Size() == 0) throw TavrenError(name, "the file is empty");
  if (HasSignature(file) && !ChunksFit(file))
    throw TavrenError(name, "the file ends before the picture does");
  if (!reader.Created()) throw TavrenError(name, "not enough memory to read the PNG picture");
  if (!ReadInfoGuarded(reader.png(), reader.info())) Refuse(name, reader);
  CheckDeclaredSize(reader, file.Size(), name);
}

}  // namespace

std::pair<std::int32_t, std::int32_t> ReadPngSize(const TByteSource& file,
                                                  const std::string& name) {
  PngReader reader(file);
  ReadCheckedInfo(reader, file, name);
  return {static_cast<std::int32_t>(png_get_image_width(reader.png(), reader.info())),
          static_cast<std::int32_t>(png_get_image_height(reader.png(), reader.info()))};
}

Image DecodePng(const TByteSource& file, const std::string& name) {
  PngReader reader(file);
  ReadCheckedInfo(reader, file, name);
  const bool interlaced = png_get_interlace_type(reader.png(), reader.info()) != PNG_INTERLACE_NONE;
  if (!PrepareRowsGuarded(reader.png(), reader.info())) Refuse(name, reader);

  Image image;
  image.ResetForOverwrite(
      static_cast<std::int32_t>(png_get_image_width(reader.png(), reader.info())),
      static_cast<std::int32_t>(png_get_image_height(reader.png(), reader.info())));
  if (interlaced)
    ReadInterlaced(reader, image, name);
  else
    ReadRowByRow(reader, image, name);
  return image;
}

TPictureBlocks ReadPngBlocks(const TByteSource& file) {
  TPictureBlocks blocks;
  if (!HasSignature(file) || !ChunksFit(file)) return blocks;
  PngReader reader(file);
  if (!reader.Created() || !ReadInfoGuarded(reader.png(), reader.info())) return blocks;
  png_charp profileName = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 profileSize = 0;
  if (png_get_iCCP(reader.png(), reader.info(), &profileName, &compression, &profile,
                   &profileSize) != 0)
    blocks.IccProfile.assign(profile, profile + profileSize);
  blocks.Exif = FindExifChunk(file);
  return blocks;
}

TPictureSize ReadPngPictureSize(const TByteSource& file, const std::string& name) {
  const auto [width, height] = ReadPngSize(file, name);
  return UprightSize(width, height, ExifOrientation(ReadPngBlocks(file).Exif));
}

Image LoadPng(const TByteSource& file, const std::string& name, TRowFollower*) {
  Image stored = DecodePng(file, name);
  return UprightByExif(std::move(stored), ReadPngBlocks(file).Exif);
}

TSourceMetadata ReadPngMetadata(const TByteSource& file) {
  try {
    return MetadataFromBlocks(ReadPngBlocks(file));
  } catch (const TavrenError&) {
    return {};
  }
}

std::uint64_t PngMetadataExtent(const TByteSource& file) {
  return WalkChunks(file, [](std::string_view, std::uint64_t, std::uint64_t) {})
      .value_or(file.Size());
}

}  // namespace tavren
