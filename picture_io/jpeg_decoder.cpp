#include "picture_io/jpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jerror.h>
#include <jpeglib.h>

#include "imaging/pixel_memory.h"
#include "imaging/row_follower.h"
#include "picture_io/byte_source.h"
#include "picture_io/exif_reader.h"
#include "picture_io/jpeg_icc_profile.h"
#include "picture_io/orientation.h"
#include "picture_io/picture_limits.h"
#include "picture_io/sample_rows.h"
#include "system/error.h"
#include "system/file_bytes.h"

// libjpeg reports a fatal error by calling error_exit, which must not
// return.  We leave through longjmp back to the guarded step that called
// libjpeg.  Every guarded step below is a plain function whose locals need
// no cleanup, so the jump skips no destructor; the C++ code that owns the
// buffers and throws the exception lives above them.

namespace tavren {

namespace {

struct ErrorManager {
  jpeg_error_mgr Pub;  // first member: libjpeg sees only this part
  std::jmp_buf Jump;
  char Reason[JMSG_LENGTH_MAX + 128];
  int Warnings;
};

// The picture's bytes as libjpeg's input, from memory or from the file a
// piece at a time.  When they run out, libjpeg gets an end-of-picture
// marker and we remember it: a picture that then still needs data is
// truncated, one that lacks only its end marker is complete.
struct InputSource {
  jpeg_source_mgr Pub;  // first member: libjpeg sees only this part
  bool RanOut;
  // Reading from a file: the file, the next position, the position it is
  // read no further than, a buffer.
  const TByteSource* File;
  std::uint64_t FilePos;
  std::uint64_t FileEnd;
  JOCTET Buffer[16384];
};

// Counts the decoder's work: every scan costs a pass over the blocks of the
// components it holds.
struct WorkGuard {
  jpeg_progress_mgr Pub;  // first member: libjpeg sees only this part
  int CountedScans;
  std::uint64_t Work;
  std::uint64_t WorkLimit;
};

struct Decoder {
  jpeg_decompress_struct Cinfo;
  ErrorManager Error;
  WorkGuard Progress;
  InputSource Source;
  bool Created;
};

const JOCTET kEndOfPicture[2] = {0xFF, JPEG_EOI};

InputSource& SourceOf(j_decompress_ptr cinfo) {
  return *reinterpret_cast<InputSource*>(cinfo->src);
}

bool RanOut(j_common_ptr cinfo) {
  return cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->src != nullptr &&
         SourceOf(reinterpret_cast<j_decompress_ptr>(cinfo)).RanOut;
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  InputSource& source = SourceOf(cinfo);
  source.RanOut = true;
  source.Pub.next_input_byte = kEndOfPicture;
  source.Pub.bytes_in_buffer = sizeof kEndOfPicture;
  return TRUE;
}

boolean FillFromFile(j_decompress_ptr cinfo) {
  InputSource& source = SourceOf(cinfo);
  const std::uint64_t end = std::min(source.File->Size(), source.FileEnd);
  const std::uint64_t left = source.FilePos < end ? end - source.FilePos : 0;
  const std::size_t got =
      static_cast<std::size_t>(std::min<std::uint64_t>(sizeof source.Buffer, left));
  if (got == 0 || !source.File->Read(source.FilePos, source.Buffer, got)) return FillInput(cinfo);
  source.FilePos += got;
  source.Pub.next_input_byte = source.Buffer;
  source.Pub.bytes_in_buffer = static_cast<std::size_t>(got);
  return TRUE;
}

// Segments the header reader does not need are stepped over unread.
void SkipInFile(j_decompress_ptr cinfo, long count) {
  InputSource& source = SourceOf(cinfo);
  if (count <= 0) return;
  if (static_cast<unsigned long>(count) <= source.Pub.bytes_in_buffer) {
    source.Pub.next_input_byte += count;
    source.Pub.bytes_in_buffer -= static_cast<std::size_t>(count);
    return;
  }
  source.FilePos += static_cast<std::uint64_t>(count) - source.Pub.bytes_in_buffer;
  source.Pub.bytes_in_buffer = 0;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  InputSource& source = SourceOf(cinfo);
  if (count <= 0) return;
  if (static_cast<unsigned long>(count) > source.Pub.bytes_in_buffer) {
    FillInput(cinfo);
    return;
  }
  source.Pub.next_input_byte += count;
  source.Pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void SetMemorySource(Decoder* d, const std::uint8_t* data, std::size_t size) {
  InputSource& source = d->Source;
  source.Pub.next_input_byte = data;
  source.Pub.bytes_in_buffer = size;
  source.Pub.init_source = InitSource;
  source.Pub.fill_input_buffer = FillInput;
  source.Pub.skip_input_data = SkipInput;
  source.Pub.resync_to_restart = jpeg_resync_to_restart;
  source.Pub.term_source = TermSource;
  source.RanOut = false;
  source.File = nullptr;
  d->Cinfo.src = &source.Pub;
}

void SetFileSource(Decoder* d, const TByteSource* file) {
  SetMemorySource(d, nullptr, 0);
  InputSource& source = d->Source;
  source.File = file;
  source.FilePos = 0;
  source.FileEnd = file->Size();
  source.Pub.fill_input_buffer = FillFromFile;
  source.Pub.skip_input_data = SkipInFile;
}

ErrorManager& ErrorOf(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void Fail(j_common_ptr cinfo, const char* reason) {
  ErrorManager& error = ErrorOf(cinfo);
  std::snprintf(error.Reason, sizeof error.Reason, "%s", reason);
  std::longjmp(error.Jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  char reason[JMSG_LENGTH_MAX + 64];
  std::snprintf(
      reason, sizeof reason, "%s (%s)",
      RanOut(cinfo) ? "the file ends before the picture does" : "the picture data is damaged",
      message);
  Fail(cinfo, reason);
}

// Warnings mark corrupt data that libjpeg can step over.  Data missing
// after the bytes ran out means a truncated picture, which is refused;
// other warnings are tolerated up to the limit.
void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  ErrorManager& error = ErrorOf(cinfo);
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  char reason[JMSG_LENGTH_MAX + 128];
  if (RanOut(cinfo) && cinfo->err->msg_code == JWRN_HIT_MARKER) {
    std::snprintf(reason, sizeof reason, "the file ends before the picture does (%s)", message);
    Fail(cinfo, reason);
  }
  if (++error.Warnings > kMaxJpegWarnings) {
    std::snprintf(reason, sizeof reason,
                  "the picture data is badly damaged: more than %d warnings (last: %s)",
                  kMaxJpegWarnings, message);
    Fail(cinfo, reason);
  }
}

std::uint64_t BlocksOf(const jpeg_component_info& component) {
  return static_cast<std::uint64_t>(component.width_in_blocks) * component.height_in_blocks;
}

// Called before each step of the input: a new scan is counted, and refused
// when it takes the picture past the scan or work limit.
void OnProgress(j_common_ptr common) {
  if (!common->is_decompressor) return;
  const auto cinfo = reinterpret_cast<j_decompress_ptr>(common);
  WorkGuard& guard = *reinterpret_cast<WorkGuard*>(cinfo->progress);
  if (cinfo->input_scan_number == guard.CountedScans) return;
  guard.CountedScans = cinfo->input_scan_number;
  char reason[160];
  if (cinfo->input_scan_number > kMaxJpegScans) {
    std::snprintf(reason, sizeof reason, "the picture data is damaged: it has more than %d scans",
                  kMaxJpegScans);
    Fail(common, reason);
  }
  for (int i = 0; i < cinfo->comps_in_scan; ++i) guard.Work += BlocksOf(*cinfo->cur_comp_info[i]);
  if (guard.Work > guard.WorkLimit) {
    std::snprintf(reason, sizeof reason,
                  "the picture data is damaged: its %d scans repeat the picture more than %d times",
                  cinfo->input_scan_number, static_cast<int>(kMaxJpegPassesPerBlock));
    Fail(common, reason);
  }
}

// ---- Guarded steps: plain functions, no objects that need cleanup. ----

bool CreateGuarded(Decoder* d) {
  d->Cinfo.err = jpeg_std_error(&d->Error.Pub);
  d->Error.Pub.error_exit = OnError;
  d->Error.Pub.emit_message = OnMessage;
  d->Error.Warnings = 0;
  d->Error.Reason[0] = '\0';
  if (setjmp(d->Error.Jump)) return false;
  jpeg_create_decompress(&d->Cinfo);
  d->Created = true;
  d->Progress.Pub.progress_monitor = OnProgress;
  d->Progress.CountedScans = 0;
  d->Progress.Work = 0;
  d->Progress.WorkLimit = 0;
  d->Cinfo.progress = &d->Progress.Pub;
  return true;
}

bool ReadHeaderGuarded(Decoder* d, const std::uint8_t* data, std::size_t size) {
  if (setjmp(d->Error.Jump)) return false;
  SetMemorySource(d, data, size);
  jpeg_read_header(&d->Cinfo, TRUE);
  return true;
}

bool ReadFileHeaderGuarded(Decoder* d, const TByteSource* file) {
  if (setjmp(d->Error.Jump)) return false;
  SetFileSource(d, file);
  jpeg_read_header(&d->Cinfo, TRUE);
  return true;
}

bool StartGuarded(Decoder* d) {
  if (setjmp(d->Error.Jump)) return false;
  jpeg_start_decompress(&d->Cinfo);
  return true;
}

// Rows handed to a follower at a time: often enough to keep it close
// behind, seldom enough to cost nothing.
constexpr JDIMENSION kRowsPerNotice = 16;

void NoteRows(Decoder* d, TRowFollower* follower) {
  const JDIMENSION rows = d->Cinfo.output_scanline;
  if (follower == nullptr || (rows % kRowsPerNotice != 0 && rows != d->Cinfo.output_height)) return;
  if (!follower->Written(static_cast<std::int32_t>(rows)))
    Fail(reinterpret_cast<j_common_ptr>(&d->Cinfo), "the picture is no longer wanted");
}

// Rows straight into the picture (libjpeg writes blue, green, red).
bool ReadBgrRowsGuarded(Decoder* d, std::uint8_t* pixels, std::size_t stride,
                        TRowFollower* follower) {
  if (setjmp(d->Error.Jump)) return false;
  while (d->Cinfo.output_scanline < d->Cinfo.output_height) {
    JSAMPROW row = pixels + d->Cinfo.output_scanline * stride;
    jpeg_read_scanlines(&d->Cinfo, &row, 1);
    NoteRows(d, follower);
  }
  return true;
}

// CMYK as Adobe applications write it stores every ink inverted (0 = full
// ink); other writers store it plain.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::uint32_t width, bool inverted) {
  for (std::uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) CmykToBgr(cmyk, inverted, bgr);
}

bool ReadCmykRowsGuarded(Decoder* d, std::uint8_t* pixels, std::size_t stride,
                         std::uint8_t* scratch, bool inverted, TRowFollower* follower) {
  if (setjmp(d->Error.Jump)) return false;
  while (d->Cinfo.output_scanline < d->Cinfo.output_height) {
    std::uint8_t* target = pixels + d->Cinfo.output_scanline * stride;
    JSAMPROW row = scratch;
    jpeg_read_scanlines(&d->Cinfo, &row, 1);
    CmykRowToBgr(scratch, target, d->Cinfo.output_width, inverted);
    NoteRows(d, follower);
  }
  return true;
}

// ---- The C++ side: owns the buffers, throws. ----

class DecoderHandle {
 public:
  DecoderHandle() : decoder_(new Decoder()) {}
  ~DecoderHandle() {
    if (decoder_->Created) jpeg_destroy_decompress(&decoder_->Cinfo);
  }
  DecoderHandle(const DecoderHandle&) = delete;
  DecoderHandle& operator=(const DecoderHandle&) = delete;
  Decoder* get() { return decoder_.get(); }

 private:
  std::unique_ptr<Decoder> decoder_;
};

// The follower stops looking at the picture before it is returned or, on
// a failure, freed.
class FollowerStop {
 public:
  explicit FollowerStop(TRowFollower* follower) : follower_(follower) {}
  ~FollowerStop() {
    if (follower_ != nullptr) follower_->Stop();
  }
  FollowerStop(const FollowerStop&) = delete;
  FollowerStop& operator=(const FollowerStop&) = delete;

 private:
  TRowFollower* follower_;
};

[[noreturn]] void Refuse(const std::string& name, const Decoder* d) {
  throw TavrenError(name, d->Error.Reason[0] ? d->Error.Reason : "the picture data is damaged");
}

std::uint64_t BlocksOfPicture(const jpeg_decompress_struct& cinfo) {
  std::uint64_t blocks = 0;
  for (int i = 0; i < cinfo.num_components; ++i) blocks += BlocksOf(cinfo.comp_info[i]);
  return blocks;
}

// Every block of every component costs at least one bit of Huffman-coded
// data, and far more than a bit for 64 blocks of arithmetic-coded data
// (whose coder, when the data runs out, goes on with zeros unwarned).  A
// file shorter than that cannot hold its picture: it is refused before any
// memory for the picture is asked for.
bool TooShortForItsBlocks(const jpeg_decompress_struct& cinfo, std::uint64_t size) {
  return size < JpegLeastDataBytes(BlocksOfPicture(cinfo), cinfo.arith_code);
}

// The checks the header alone allows: the picture's size against the
// limit, and the file's size against the picture's blocks.
void CheckHeader(const jpeg_decompress_struct& cinfo, std::uint64_t fileSize,
                 const std::string& name) {
  RequirePictureSize(cinfo.image_width, cinfo.image_height, name);
  if (TooShortForItsBlocks(cinfo, fileSize))
    throw TavrenError(name, "the file ends before the picture does (it is too short for " +
                                std::to_string(cinfo.image_width) + " x " +
                                std::to_string(cinfo.image_height) + " pixels)");
}

bool IsCmykFamily(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

void ChooseSettings(jpeg_decompress_struct& cinfo, const std::string& name) {
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
      cinfo.out_color_space = JCS_EXT_BGR;
      break;
    case JCS_CMYK:
    case JCS_YCCK:
      cinfo.out_color_space = JCS_CMYK;
      break;
    default:
      throw TavrenError(name, "the picture's colour space is not supported");
  }
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_block_smoothing = TRUE;
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.buffered_image = FALSE;
  cinfo.quantize_colors = FALSE;
}

// A generous bound on what a picture's coded data spends on one sample: a
// Huffman code and its value take at most 27 bits (under 7 bytes were
// every byte stuffed), and photos at the finest quality spend about one.
// The segments between scans (tables, restart markers) take less than the
// margin.
constexpr std::uint64_t kMostCodedBytesPerSample = 8;
constexpr std::uint64_t kMostBytesBetweenScans = 64 << 20;

// How far behind its header a file can hold what its picture needs.  The
// file is read no further: the decoder stops at the end-of-picture marker,
// but a file without one would otherwise be searched for markers to its
// end, however long its tail.
std::uint64_t MostBytesAfterHeader(const jpeg_decompress_struct& cinfo) {
  return BlocksOfPicture(cinfo) * DCTSIZE2 * kMostCodedBytesPerSample + kMostBytesBetweenScans;
}

// The position in the file of the first byte the decoder has not taken.
std::uint64_t FileBytesTaken(const InputSource& source) {
  return source.FilePos - source.Pub.bytes_in_buffer;
}

void RequireJpegSignature(const TByteSource& file, const std::string& name) {
  std::uint8_t head[sizeof kJpegSignature - 1] = {};
  const std::size_t got =
      static_cast<std::size_t>(std::min<std::uint64_t>(sizeof head, file.Size()));
  if (!file.Read(0, head, got)) throw TavrenError(name, "the file cannot be read");
  RequireSignature(head, got, kJpegSignature, "JPEG", name);
}

// Decodes the picture whose header d has read from a source of size bytes.
Image DecodeAfterHeader(Decoder* d, std::uint64_t size, const std::string& name,
                        TRowFollower* follower) {
  jpeg_decompress_struct& cinfo = d->Cinfo;
  CheckHeader(cinfo, size, name);
  d->Progress.WorkLimit = JpegWorkLimit(BlocksOfPicture(cinfo));
  ChooseSettings(cinfo, name);
  if (!StartGuarded(d)) Refuse(name, d);
  RequirePictureSize(cinfo.output_width, cinfo.output_height, name);

  // Every row is written by the decoder (a refused file returns nothing).
  Image image;
  image.ResetForOverwrite(static_cast<std::int32_t>(cinfo.output_width),
                          static_cast<std::int32_t>(cinfo.output_height));
  bool read;
  const PagesInAdvance pages(image.Data(), image.ByteSize());
  if (follower != nullptr) follower->Start(image);
  {
    const FollowerStop stop(follower);
    if (IsCmykFamily(cinfo.jpeg_color_space)) {
      std::vector<std::uint8_t> scratch(4 * static_cast<std::size_t>(cinfo.output_width));
      read = ReadCmykRowsGuarded(d, image.Data(), image.Stride(), scratch.data(),
                                 cinfo.saw_Adobe_marker != 0, follower);
    } else {
      read = ReadBgrRowsGuarded(d, image.Data(), image.Stride(), follower);
    }
  }
  if (!read) Refuse(name, d);
  return image;
}

}  // namespace

Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name,
                 TRowFollower* follower) {
  RequireSignature(data, size, kJpegSignature, "JPEG", name);
  DecoderHandle handle;
  Decoder* d = handle.get();
  if (!CreateGuarded(d)) Refuse(name, d);
  if (!ReadHeaderGuarded(d, data, size)) Refuse(name, d);
  return DecodeAfterHeader(d, size, name, follower);
}

Image DecodeJpeg(const TByteSource& file, const std::string& name, TRowFollower* follower) {
  RequireJpegSignature(file, name);
  DecoderHandle handle;
  Decoder* d = handle.get();
  if (!CreateGuarded(d)) Refuse(name, d);
  if (!ReadFileHeaderGuarded(d, &file)) Refuse(name, d);
  d->Source.FileEnd = FileBytesTaken(d->Source) + MostBytesAfterHeader(d->Cinfo);
  return DecodeAfterHeader(d, file.Size(), name, follower);
}

TJpegHeader ReadJpegHeader(const TByteSource& file, const std::string& name) {
  RequireJpegSignature(file, name);
  DecoderHandle handle;
  Decoder* d = handle.get();
  if (!CreateGuarded(d)) Refuse(name, d);
  if (!ReadFileHeaderGuarded(d, &file)) Refuse(name, d);
  CheckHeader(d->Cinfo, file.Size(), name);
  return {static_cast<std::int32_t>(d->Cinfo.image_width),
          static_cast<std::int32_t>(d->Cinfo.image_height)};
}

void CheckJpegHeader(const TByteSource& file, const std::string& name) {
  ReadJpegHeader(file, name);
}

TPictureSize ReadJpegPictureSize(const TByteSource& file, const std::string& name) {
  const TJpegHeader header = ReadJpegHeader(file, name);
  TExif exif;
  exif.ReadFromSource(file);
  return UprightSize(header.Width, header.Height, exif.Orientation);
}

Image LoadJpeg(const TByteSource& file, const std::string& name, TRowFollower* follower) {
  TExif exif;
  exif.ReadFromSource(file);
  // Rows that are turned or mirrored afterwards are not the picture's rows.
  const bool upright = exif.Orientation < 2 || exif.Orientation > 8;
  Image image = DecodeJpeg(file, name, upright ? follower : nullptr);
  ApplyOrientation(image, exif.Orientation);
  return image;
}

TSourceMetadata ReadJpegMetadata(const TByteSource& file) {
  TExif exif;
  exif.ReadFromSource(file);
  return {exif.Make, exif.Model, ReadJpegIccProfile(file)};
}

}  // namespace tavren
