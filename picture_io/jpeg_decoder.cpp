#include "picture_io/jpeg_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>
#include <jerror.h>

#include "picture_io/error.h"
#include "picture_io/picture_limits.h"
#include "imaging/pixel_memory.h"

// libjpeg reports a fatal error by calling error_exit, which must not
// return.  We leave through longjmp back to the guarded step that called
// libjpeg.  Every guarded step below is a plain function whose locals need
// no cleanup, so the jump skips no destructor; the C++ code that owns the
// buffers and throws the exception lives above them.

namespace tavren {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;  // first member: libjpeg sees only this part
  std::jmp_buf jump;
  char reason[JMSG_LENGTH_MAX + 128];
  int warnings;
};

// The picture's bytes as libjpeg's input.  When they run out, libjpeg gets
// an end-of-picture marker and we remember it: a picture that then still
// needs data is truncated, one that lacks only its end marker is complete.
struct MemorySource {
  jpeg_source_mgr pub;  // first member: libjpeg sees only this part
  bool ranOut;
};

struct Decoder {
  jpeg_decompress_struct cinfo;
  ErrorManager error;
  jpeg_progress_mgr progress;
  MemorySource source;
  bool created;
};

const JOCTET kEndOfPicture[2] = {0xFF, JPEG_EOI};

MemorySource& SourceOf(j_decompress_ptr cinfo) { return *reinterpret_cast<MemorySource*>(cinfo->src); }

bool RanOut(j_common_ptr cinfo) {
  return cinfo->is_decompressor && reinterpret_cast<j_decompress_ptr>(cinfo)->src != nullptr &&
         SourceOf(reinterpret_cast<j_decompress_ptr>(cinfo)).ranOut;
}

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInput(j_decompress_ptr cinfo) {
  MemorySource& source = SourceOf(cinfo);
  source.ranOut = true;
  source.pub.next_input_byte = kEndOfPicture;
  source.pub.bytes_in_buffer = sizeof kEndOfPicture;
  return TRUE;
}

void SkipInput(j_decompress_ptr cinfo, long count) {
  MemorySource& source = SourceOf(cinfo);
  if (count <= 0) return;
  if (static_cast<unsigned long>(count) > source.pub.bytes_in_buffer) {
    FillInput(cinfo);
    return;
  }
  source.pub.next_input_byte += count;
  source.pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void SetMemorySource(Decoder* d, const std::uint8_t* data, std::size_t size) {
  MemorySource& source = d->source;
  source.pub.next_input_byte = data;
  source.pub.bytes_in_buffer = size;
  source.pub.init_source = InitSource;
  source.pub.fill_input_buffer = FillInput;
  source.pub.skip_input_data = SkipInput;
  source.pub.resync_to_restart = jpeg_resync_to_restart;
  source.pub.term_source = TermSource;
  source.ranOut = false;
  d->cinfo.src = &source.pub;
}

ErrorManager& ErrorOf(j_common_ptr cinfo) { return *reinterpret_cast<ErrorManager*>(cinfo->err); }

[[noreturn]] void Fail(j_common_ptr cinfo, const char* reason) {
  ErrorManager& error = ErrorOf(cinfo);
  std::snprintf(error.reason, sizeof error.reason, "%s", reason);
  std::longjmp(error.jump, 1);
}

[[noreturn]] void OnError(j_common_ptr cinfo) {
  char message[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, message);
  char reason[JMSG_LENGTH_MAX + 64];
  std::snprintf(reason, sizeof reason, "%s (%s)",
                RanOut(cinfo) ? "the JPEG picture is truncated" : "not a readable JPEG picture",
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
    std::snprintf(reason, sizeof reason, "the JPEG picture is truncated (%s)", message);
    Fail(cinfo, reason);
  }
  if (++error.warnings > kMaxJpegWarnings) {
    std::snprintf(reason, sizeof reason,
                  "the JPEG picture is corrupt: more than %d warnings (last: %s)",
                  kMaxJpegWarnings, message);
    Fail(cinfo, reason);
  }
}

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxJpegScans) {
    char reason[128];
    std::snprintf(reason, sizeof reason, "the JPEG picture has more than %d scans",
                  kMaxJpegScans);
    Fail(cinfo, reason);
  }
}

// ---- Guarded steps: plain functions, no objects that need cleanup. ----

bool CreateGuarded(Decoder* d) {
  d->cinfo.err = jpeg_std_error(&d->error.pub);
  d->error.pub.error_exit = OnError;
  d->error.pub.emit_message = OnMessage;
  d->error.warnings = 0;
  d->error.reason[0] = '\0';
  if (setjmp(d->error.jump)) return false;
  jpeg_create_decompress(&d->cinfo);
  d->created = true;
  d->progress.progress_monitor = OnProgress;
  d->cinfo.progress = &d->progress;
  return true;
}

bool ReadHeaderGuarded(Decoder* d, const std::uint8_t* data, std::size_t size) {
  if (setjmp(d->error.jump)) return false;
  SetMemorySource(d, data, size);
  jpeg_read_header(&d->cinfo, TRUE);
  return true;
}

bool StartGuarded(Decoder* d) {
  if (setjmp(d->error.jump)) return false;
  jpeg_start_decompress(&d->cinfo);
  return true;
}

// Rows straight into the picture (libjpeg writes blue, green, red).
bool ReadBgrRowsGuarded(Decoder* d, std::uint8_t* pixels, std::size_t stride) {
  if (setjmp(d->error.jump)) return false;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    JSAMPROW row = pixels + d->cinfo.output_scanline * stride;
    jpeg_read_scanlines(&d->cinfo, &row, 1);
  }
  return true;
}

// CMYK as Adobe applications write it stores every ink inverted (0 = full
// ink); other writers store it plain.  Red = (1 - C) x (1 - K) and so on.
void CmykRowToBgr(const std::uint8_t* cmyk, std::uint8_t* bgr, std::uint32_t width,
                  bool inverted) {
  for (std::uint32_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
    if (!inverted) {
      c = 255 - c;
      m = 255 - m;
      y = 255 - y;
      k = 255 - k;
    }
    bgr[0] = static_cast<std::uint8_t>((y * k + 127) / 255);
    bgr[1] = static_cast<std::uint8_t>((m * k + 127) / 255);
    bgr[2] = static_cast<std::uint8_t>((c * k + 127) / 255);
  }
}

bool ReadCmykRowsGuarded(Decoder* d, std::uint8_t* pixels, std::size_t stride,
                         std::uint8_t* scratch, bool inverted) {
  if (setjmp(d->error.jump)) return false;
  while (d->cinfo.output_scanline < d->cinfo.output_height) {
    std::uint8_t* target = pixels + d->cinfo.output_scanline * stride;
    JSAMPROW row = scratch;
    jpeg_read_scanlines(&d->cinfo, &row, 1);
    CmykRowToBgr(scratch, target, d->cinfo.output_width, inverted);
  }
  return true;
}

// ---- The C++ side: owns the buffers, throws. ----

class DecoderHandle {
 public:
  DecoderHandle() : decoder_(new Decoder()) {}
  ~DecoderHandle() {
    if (decoder_->created) jpeg_destroy_decompress(&decoder_->cinfo);
  }
  DecoderHandle(const DecoderHandle&) = delete;
  DecoderHandle& operator=(const DecoderHandle&) = delete;
  Decoder* get() { return decoder_.get(); }

 private:
  std::unique_ptr<Decoder> decoder_;
};

[[noreturn]] void Refuse(const std::string& name, const Decoder* d) {
  throw TavrenError(name, d->error.reason[0] ? d->error.reason : "not a readable JPEG picture");
}

// Every block of every component costs at least one bit of Huffman-coded
// data, so a file shorter than that cannot hold its picture: refuse it
// before any memory for the picture is asked for.  (Arithmetic coding has
// no such floor.)
bool TooShortForItsBlocks(const jpeg_decompress_struct& cinfo, std::size_t size) {
  if (cinfo.arith_code) return false;
  std::uint64_t blocks = 0;
  for (int i = 0; i < cinfo.num_components; ++i)
    blocks += static_cast<std::uint64_t>(cinfo.comp_info[i].width_in_blocks) *
              cinfo.comp_info[i].height_in_blocks;
  return size < blocks / 8;
}

bool IsCmykFamily(J_COLOR_SPACE space) { return space == JCS_CMYK || space == JCS_YCCK; }

void ChooseSettings(jpeg_decompress_struct& cinfo, const std::string& name) {
  switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB: cinfo.out_color_space = JCS_EXT_BGR; break;
    case JCS_CMYK:
    case JCS_YCCK: cinfo.out_color_space = JCS_CMYK; break;
    default: throw TavrenError(name, "the JPEG picture's colour space is not supported");
  }
  cinfo.dct_method = JDCT_IFAST;
  cinfo.do_block_smoothing = TRUE;
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.buffered_image = FALSE;
  cinfo.quantize_colors = FALSE;
}

}  // namespace

Image DecodeJpeg(const std::uint8_t* data, std::size_t size, const std::string& name) {
  if (data == nullptr || size == 0) throw TavrenError(name, "the file is empty");
  DecoderHandle handle;
  Decoder* d = handle.get();
  if (!CreateGuarded(d)) Refuse(name, d);
  if (!ReadHeaderGuarded(d, data, size)) Refuse(name, d);

  jpeg_decompress_struct& cinfo = d->cinfo;
  if (!PictureSizeAllowed(cinfo.image_width, cinfo.image_height))
    throw TavrenError(name, "the picture is too large (" + std::to_string(cinfo.image_width) +
                                " x " + std::to_string(cinfo.image_height) + " pixels)");
  if (TooShortForItsBlocks(cinfo, size))
    throw TavrenError(name, "the JPEG picture is truncated (the file is too short for its size)");
  ChooseSettings(cinfo, name);
  if (!StartGuarded(d)) Refuse(name, d);
  if (!PictureSizeAllowed(cinfo.output_width, cinfo.output_height))
    throw TavrenError(name, "the picture is too large");

  // Every row is written by the decoder (a refused file returns nothing).
  Image image;
  image.ResetForOverwrite(static_cast<std::int32_t>(cinfo.output_width),
                          static_cast<std::int32_t>(cinfo.output_height));
  bool read;
  const PagesInAdvance pages(image.Data(), image.ByteSize());
  if (IsCmykFamily(cinfo.jpeg_color_space)) {
    std::vector<std::uint8_t> scratch(4 * static_cast<std::size_t>(cinfo.output_width));
    read = ReadCmykRowsGuarded(d, image.Data(), image.Stride(), scratch.data(),
                               cinfo.saw_Adobe_marker != 0);
  } else {
    read = ReadBgrRowsGuarded(d, image.Data(), image.Stride());
  }
  if (!read) Refuse(name, d);
  return image;
}

}  // namespace tavren
