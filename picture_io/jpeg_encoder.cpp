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
// encoders can share the work, each writing some of the scans, and the
// file is put together from both in the sequence's order.  The library
// accepts a refinement only after the scans it refines, so the second
// encoder first writes the scans its refinements need, which are thrown
// away.  The shares were chosen by timing each scan: the second encoder
// takes the two refinements of the lowest bit of the luma and of Cr, the
// first encoder the other eight.
enum class TScanPlan { All, First, Second };

// The library's sequence (jpeg_simple_progression) for a colour picture;
// another one is not split.
constexpr jpeg_scan_info kSequence[] = {
    {3, {0, 1, 2, 0}, 0, 0, 0, 1},   // 0: DC but its lowest bit
    {1, {0, 0, 0, 0}, 1, 5, 0, 2},   // 1: luma AC 1-5 but the two lowest bits
    {1, {2, 0, 0, 0}, 1, 63, 0, 1},  // 2: Cr AC but its lowest bit
    {1, {1, 0, 0, 0}, 1, 63, 0, 1},  // 3: Cb AC but its lowest bit
    {1, {0, 0, 0, 0}, 6, 63, 0, 2},  // 4: luma AC 6-63 but the two lowest bits
    {1, {0, 0, 0, 0}, 1, 63, 2, 1},  // 5: luma AC, the second lowest bit
    {3, {0, 1, 2, 0}, 0, 0, 1, 0},   // 6: DC, the lowest bit
    {1, {2, 0, 0, 0}, 1, 63, 1, 0},  // 7: Cr AC, the lowest bit
    {1, {1, 0, 0, 0}, 1, 63, 1, 0},  // 8: Cb AC, the lowest bit
    {1, {0, 0, 0, 0}, 1, 63, 1, 0},  // 9: luma AC, the lowest bit
};
constexpr int kProgressiveScans = static_cast<int>(std::size(kSequence));

constexpr jpeg_scan_info kFirstPlan[] = {kSequence[0], kSequence[1], kSequence[2], kSequence[3],
                                         kSequence[4], kSequence[5], kSequence[6], kSequence[8]};
// Before its two: the DC and Cr scans its refinements follow, and all
// luma AC to bit 1 at once (cheaper than scans 1, 4 and 5).
constexpr jpeg_scan_info kSecondPlan[] = {kSequence[0], {1, {0, 0, 0, 0}, 1, 63, 0, 1},
                                          kSequence[2], kSequence[7], kSequence[9]};

// Where the file's scans come from, in the sequence's order: the encoder
// and the scan's place in its output.
struct TScanSource {
  int encoder;
  int place;
};
constexpr TScanSource kScanSources[] = {{0, 0}, {0, 1}, {0, 2}, {0, 3}, {0, 4},
                                        {0, 5}, {0, 6}, {1, 3}, {0, 7}, {1, 4}};

constexpr bool SameScan(const jpeg_scan_info& a, const jpeg_scan_info& b) {
  return a.comps_in_scan == b.comps_in_scan &&
         std::equal(a.component_index, a.component_index + a.comps_in_scan, b.component_index) &&
         a.Ss == b.Ss && a.Se == b.Se && a.Ah == b.Ah && a.Al == b.Al;
}

// Every scan of the sequence is taken from where its encoder wrote it,
// and the first one, whose piece carries the file's header, from the first.
constexpr bool SourcesMatchThePlans() {
  if (std::size(kScanSources) != std::size(kSequence)) return false;
  if (kScanSources[0].encoder != 0 || kScanSources[0].place != 0) return false;
  for (std::size_t i = 0; i < std::size(kSequence); ++i) {
    const TScanSource& source = kScanSources[i];
    const jpeg_scan_info& written =
        source.encoder == 0 ? kFirstPlan[source.place] : kSecondPlan[source.place];
    if (!SameScan(written, kSequence[i])) return false;
  }
  return true;
}
static_assert(SourcesMatchThePlans());

bool IsTheSplitSequence(const jpeg_scan_info* scans, int count) {
  return count == kProgressiveScans && std::equal(scans, scans + count, kSequence, SameScan);
}

// The profile is written by the encoder that writes the file's header: the
// second encoder's header is thrown away.
bool WritesProfile(TScanPlan plan, const std::vector<std::uint8_t>& iccProfile) {
  return plan != TScanPlan::Second && !iccProfile.empty() &&
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
    if (!IsTheSplitSequence(cinfo->scan_info, cinfo->num_scans)) ERREXIT(cinfo, JERR_BAD_PROG_SCRIPT);
    const bool first = plan == TScanPlan::First;
    cinfo->scan_info = first ? kFirstPlan : kSecondPlan;
    cinfo->num_scans = first ? static_cast<int>(std::size(kFirstPlan))
                             : static_cast<int>(std::size(kSecondPlan));
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

// The whole file in pieces of the two encoders' files: each scan (its
// table, header and data; the first one with the file's header) from the
// encoder that wrote it for keeps, in the sequence's order, then the
// end-of-image marker.  Empty when either file is not laid out as expected.
std::vector<std::span<const std::uint8_t>> JoinScans(std::span<const std::uint8_t> first,
                                                     std::span<const std::uint8_t> second) {
  const std::span<const std::uint8_t> files[2] = {first, second};
  const TScanLayout layouts[2] = {FindScans(first), FindScans(second)};
  if (!layouts[0].ok || layouts[0].scanEnds.size() != std::size(kFirstPlan) || !layouts[1].ok ||
      layouts[1].scanEnds.size() != std::size(kSecondPlan))
    return {};
  std::vector<std::span<const std::uint8_t>> pieces;
  for (const TScanSource& source : kScanSources) {
    const std::vector<std::size_t>& ends = layouts[source.encoder].scanEnds;
    const std::size_t from = source.place == 0 ? 0 : ends[static_cast<std::size_t>(source.place) - 1];
    const std::size_t to = ends[static_cast<std::size_t>(source.place)];
    const std::span<const std::uint8_t> piece = files[source.encoder].subspan(from, to - from);
    // Scans that follow each other in the same file stay one piece.
    if (!pieces.empty() && pieces.back().data() + pieces.back().size() == piece.data())
      pieces.back() = {pieces.back().data(), pieces.back().size() + piece.size()};
    else
      pieces.push_back(piece);
  }
  pieces.push_back(first.subspan(layouts[0].endOfImage));
  return pieces;
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
      parts[part] = Encode(image, part == 0 ? TScanPlan::First : TScanPlan::Second,
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
