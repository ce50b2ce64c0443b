#include "picture_io/jpeg_encoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/thread_pool.h"
#include "picture_io/error.h"
#include "picture_io/jpeg_icc_profile.h"

namespace tavren {

static_assert(kJpegMaxSide == JPEG_MAX_DIMENSION);


namespace {


// The library reports errors by calling error_exit, which must not return.
// It jumps back to EncodeRows; nothing there needs destroying, and the
// state the library touched lives in the caller's EncoderState.
struct EncoderError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ExitByJump(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<EncoderError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->message);
  std::longjmp(error->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// The encoded bytes collect in a growing malloc'd buffer that the caller
// frees, also after an error.
struct MemoryDestination {
  jpeg_destination_mgr pub;
  unsigned char* data;
  std::size_t capacity;
  std::size_t used;
};

constexpr std::size_t kFirstBufferSize = 64 * 1024;

void StartDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->data = static_cast<unsigned char*>(std::malloc(kFirstBufferSize));
  if (dest->data == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  dest->capacity = kFirstBufferSize;
  dest->pub.next_output_byte = dest->data;
  dest->pub.free_in_buffer = dest->capacity;
}

boolean GrowDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  const std::size_t filled = dest->capacity;
  auto* grown = static_cast<unsigned char*>(std::realloc(dest->data, 2 * filled));
  if (grown == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  dest->data = grown;
  dest->capacity = 2 * filled;
  dest->pub.next_output_byte = grown + filled;
  dest->pub.free_in_buffer = dest->capacity - filled;
  return TRUE;
}

void FinishDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->used = dest->capacity - dest->pub.free_in_buffer;
}

struct EncoderState {
  jpeg_compress_struct cinfo{};
  EncoderError error{};
  MemoryDestination destination{};
  ~EncoderState() { std::free(destination.data); }

  // The bytes written, handed over with their buffer.
  std::span<const std::uint8_t> TakeInto(TJpegPieces& file) {
    file.buffers.emplace_back(std::exchange(destination.data, nullptr));
    return {file.buffers.back().get(), destination.used};
  }
};

// Which scans of the progressive sequence an encoder writes.
//
// The library's sequence for a colour picture has ten scans; each scan's
// bytes (its optimised Huffman table and its data) depend on the
// coefficients and the scan alone, not on the scans before it.  So two
// encoders can share the work: one writes the first nine scans, the other
// the tenth, the refinement of the luma's lowest bit, which is the largest
// scan.  The library accepts a refinement only after the scans it refines,
// so the second encoder first writes a short DC scan and one luma scan to
// the same bit, which are thrown away.
enum class TScanPlan { All, FirstNine, Tenth };

constexpr int kProgressiveScans = 10;

// The second encoder's scans: all DC to bit 1, all luma AC to bit 1, then
// the tenth scan of the full sequence.
constexpr jpeg_scan_info kTenthScanPlan[] = {
    {3, {0, 1, 2, 0}, 0, 0, 0, 1},
    {1, {0, 0, 0, 0}, 1, 63, 0, 1},
    {1, {0, 0, 0, 0}, 1, 63, 1, 0},
};
constexpr int kTenthScanAt = 2;  // its place in kTenthScanPlan

// The full sequence's tenth scan, which kTenthScanPlan must end with.
bool IsTenthScan(const jpeg_scan_info& scan) {
  return scan.comps_in_scan == 1 && scan.component_index[0] == 0 && scan.Ss == 1 &&
         scan.Se == 63 && scan.Ah == 1 && scan.Al == 0;
}

// The profile is written by the encoder that writes the file's header: the
// second encoder's header is thrown away.
bool WritesProfile(TScanPlan plan, const std::vector<std::uint8_t>& iccProfile) {
  return plan != TScanPlan::Tenth && !iccProfile.empty() &&
         iccProfile.size() <= kIccBytesPerSegment * kMaxIccSegments;
}

// Every local here is plain data, so a jump back from the library skips
// no destructor.
bool EncodeRows(const Image& image, TScanPlan plan, const std::vector<std::uint8_t>& iccProfile,
                EncoderState* state) {
  jpeg_compress_struct* cinfo = &state->cinfo;
  cinfo->err = jpeg_std_error(&state->error.pub);
  state->error.pub.error_exit = ExitByJump;
  state->error.pub.output_message = IgnoreMessage;
  if (setjmp(state->error.jump)) {
    jpeg_destroy_compress(cinfo);
    return false;
  }
  jpeg_create_compress(cinfo);
  state->destination.pub.init_destination = StartDestination;
  state->destination.pub.empty_output_buffer = GrowDestination;
  state->destination.pub.term_destination = FinishDestination;
  cinfo->dest = &state->destination.pub;

  cinfo->image_width = static_cast<JDIMENSION>(image.Width());
  cinfo->image_height = static_cast<JDIMENSION>(image.Height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, 100, TRUE);
  jpeg_simple_progression(cinfo);
  if (plan != TScanPlan::All) {
    // The split relies on the library's sequence; another one is refused
    // here and the caller encodes in one piece.
    const bool expected = cinfo->num_scans == kProgressiveScans &&
                          IsTenthScan(cinfo->scan_info[kProgressiveScans - 1]);
    if (!expected) ERREXIT(cinfo, JERR_BAD_PROG_SCRIPT);
    if (plan == TScanPlan::FirstNine) {
      cinfo->num_scans = kProgressiveScans - 1;
    } else {
      cinfo->scan_info = kTenthScanPlan;
      cinfo->num_scans = static_cast<int>(std::size(kTenthScanPlan));
    }
  }
  jpeg_start_compress(cinfo, TRUE);
  if (WritesProfile(plan, iccProfile))
    jpeg_write_icc_profile(cinfo, iccProfile.data(), static_cast<unsigned>(iccProfile.size()));
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<std::int32_t>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return true;
}

// Encodes image by plan into a buffer of file's; returns the bytes.
std::span<const std::uint8_t> Encode(const Image& image, TScanPlan plan,
                                     const std::vector<std::uint8_t>& iccProfile,
                                     TJpegPieces& file) {
  auto state = std::make_unique<EncoderState>();
  if (!EncodeRows(image, plan, iccProfile, state.get()))
    throw TavrenError("", std::string("cannot encode the picture: ") + state->error.message);
  return state->TakeInto(file);
}

// Finding the scans in an encoder's output.

constexpr std::uint8_t kMarkerStartOfScan = 0xDA;
constexpr std::uint8_t kMarkerEndOfImage = 0xD9;

// A marker byte inside entropy-coded data: 0xFF followed by a byte other
// than a stuffed 0 or a restart marker.
bool EndsEntropyData(const std::uint8_t* p) {
  return p[0] == 0xFF && p[1] != 0 && !(p[1] >= 0xD0 && p[1] <= 0xD7);
}

// Where the entropy-coded data of each scan ends, and where the end-of-image
// marker stands.  Empty when the bytes are not what the library writes.
struct TScanLayout {
  std::vector<std::size_t> scanEnds;
  std::size_t endOfImage = 0;
  bool ok = false;
};

TScanLayout FindScans(std::span<const std::uint8_t> bytes) {
  TScanLayout layout;
  const std::size_t size = bytes.size();
  std::size_t at = 2;  // past the start-of-image marker
  while (at + 1 < size) {
    if (bytes[at] != 0xFF) return layout;
    const std::uint8_t marker = bytes[at + 1];
    if (marker == kMarkerEndOfImage) {
      layout.endOfImage = at;
      layout.ok = at + 2 == size;
      return layout;
    }
    if (at + 3 >= size) return layout;
    const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    at += 2 + length;
    if (marker != kMarkerStartOfScan) continue;
    while (at + 1 < size && !EndsEntropyData(&bytes[at])) ++at;
    layout.scanEnds.push_back(at);
  }
  return layout;
}

// The first nine scans' file up to its end-of-image marker, then the tenth
// scan (its table, header and data) of the other encoder's file with the
// marker: the pieces of the whole file.  Empty when either file is not laid
// out as expected.
std::vector<std::span<const std::uint8_t>> JoinScans(std::span<const std::uint8_t> firstNine,
                                                     std::span<const std::uint8_t> tenth) {
  const TScanLayout nine = FindScans(firstNine);
  const TScanLayout last = FindScans(tenth);
  if (!nine.ok || nine.scanEnds.size() != kProgressiveScans - 1 || !last.ok ||
      last.scanEnds.size() != std::size(kTenthScanPlan))
    return {};
  const std::size_t tenthFrom = last.scanEnds[kTenthScanAt - 1];
  return {firstNine.first(nine.endOfImage), tenth.subspan(tenthFrom)};
}

// Below this many pixels one encoder is quick enough.
constexpr std::int64_t kSplitFromPixels = 512 * 512;

}  // namespace

std::vector<std::uint8_t> TJpegPieces::Joined() const {
  std::size_t size = 0;
  for (const auto piece : pieces) size += piece.size();
  std::vector<std::uint8_t> joined;
  joined.reserve(size);
  for (const auto piece : pieces) joined.insert(joined.end(), piece.begin(), piece.end());
  return joined;
}

namespace {

TJpegPieces InOnePiece(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  if (!ImageHasPixels(image)) throw TavrenError("", "there is no picture to save");
  TJpegPieces file;
  file.pieces.push_back(Encode(image, TScanPlan::All, iccProfile, file));
  return file;
}

// No pieces when the encoders fail or the scans are not as expected.
TJpegPieces InTwoPieces(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  TJpegPieces file;
  if (!ImageHasPixels(image)) return file;
  std::span<const std::uint8_t> parts[2];
  TJpegPieces encoded[2];
  try {
    BandPool().Run(2, [&](int part) {
      parts[part] = Encode(image, part == 0 ? TScanPlan::FirstNine : TScanPlan::Tenth,
                           iccProfile, encoded[part]);
    });
  } catch (const TavrenError&) {
    return file;
  }
  file.pieces = JoinScans(parts[0], parts[1]);
  if (file.pieces.empty()) return file;
  for (TJpegPieces& part : encoded)
    for (auto& buffer : part.buffers) file.buffers.push_back(std::move(buffer));
  return file;
}

}  // namespace

std::vector<std::uint8_t> EncodeJpegInOnePiece(const Image& image,
                                               const std::vector<std::uint8_t>& iccProfile) {
  return InOnePiece(image, iccProfile).Joined();
}

std::vector<std::uint8_t> EncodeJpegInTwoPieces(const Image& image,
                                                const std::vector<std::uint8_t>& iccProfile) {
  return InTwoPieces(image, iccProfile).Joined();
}

TJpegPieces EncodeJpegPieces(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  const bool split = BandPool().Size() > 1 &&
                     std::int64_t{image.Width()} * image.Height() >= kSplitFromPixels;
  if (split) {
    TJpegPieces joined = InTwoPieces(image, iccProfile);
    if (!joined.pieces.empty()) return joined;
    // A library whose sequence differs, or a real failure, which the one
    // encoder reports again.
  }
  return InOnePiece(image, iccProfile);
}

std::vector<std::uint8_t> EncodeJpeg(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  return EncodeJpegPieces(image, iccProfile).Joined();
}

}  // namespace tavren
