#include "jpeg_export/jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include <jerror.h>
#include <jpeglib.h>

#include "imaging/thread_pool.h"
#include "jpeg_export/jpeg_refinement_scans.h"
#include "jpeg_export/jpeg_shared_scans.h"
#include "picture_io/jpeg_icc_profile.h"
#include "system/error.h"

namespace tavren {

static_assert(kJpegMaxSide == JPEG_MAX_DIMENSION);
static_assert(std::is_same_v<JCOEF, std::int16_t>, "the scan writer reads the coefficients");

namespace {

// The library reports errors by calling error_exit, which must not return.
// It jumps back to EncodeRows; nothing there needs destroying, and the
// state the library touched lives in the caller's EncoderState.
struct EncoderError {
  jpeg_error_mgr Pub;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void ExitByJump(j_common_ptr cinfo) {
  auto* error = reinterpret_cast<EncoderError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, error->Message);
  std::longjmp(error->Jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// The encoded bytes collect in a growing malloc'd buffer that the caller
// frees, also after an error.
struct MemoryDestination {
  jpeg_destination_mgr Pub;
  unsigned char* Data;
  std::size_t Capacity;
  std::size_t Used;
};

constexpr std::size_t kFirstBufferSize = 64 * 1024;

void StartDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->Data = static_cast<unsigned char*>(std::malloc(kFirstBufferSize));
  if (dest->Data == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
  dest->Capacity = kFirstBufferSize;
  dest->Pub.next_output_byte = dest->Data;
  dest->Pub.free_in_buffer = dest->Capacity;
}

boolean GrowDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  const std::size_t filled = dest->Capacity;
  auto* grown = static_cast<unsigned char*>(std::realloc(dest->Data, 2 * filled));
  if (grown == nullptr) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  dest->Data = grown;
  dest->Capacity = 2 * filled;
  dest->Pub.next_output_byte = grown + filled;
  dest->Pub.free_in_buffer = dest->Capacity - filled;
  return TRUE;
}

// Which scans of the progressive sequence the library writes.
//
// Its sequence for a colour picture has ten scans.  Four of them refine
// one bit of one component's AC coefficients: the sixth (luma, second
// bit) and the last three (Cr, Cb and luma, lowest bit), together about
// three quarters of the library's work.  Each scan's bytes (its optimal
// Huffman table and its data) depend on the coefficients and the scan
// alone.  So once the library has transformed the picture, those four are
// written from its coefficients (jpeg_refinement_scans.h) while the
// library writes the other six: by another thread, and by the library's
// own thread once it has finished its scans.
enum class TScanPlan { All, LibraryScans };

constexpr int kProgressiveScans = 10;
// Our scans by their place in the sequence, the largest first, so that
// the two threads finish close together.
constexpr std::array<int, 4> kOwnScans = {9, 5, 8, 7};
constexpr int kLibraryScans = kProgressiveScans - static_cast<int>(kOwnScans.size());

constexpr bool IsOwnScan(int scan) {
  return std::find(kOwnScans.begin(), kOwnScans.end(), scan) != kOwnScans.end();
}

// A block array the library asked for: the coefficients of a component.
struct TBlockArray {
  jvirt_barray_ptr Array;
  JDIMENSION Rows;
  JDIMENSION RowsPerAccess;
};

struct EncoderState {
  jpeg_compress_struct Cinfo{};
  EncoderError Error{};
  MemoryDestination Destination{};
  // For an encoder that shares its coefficients with our scans.
  TSharedScans* Shared = nullptr;
  decltype(jpeg_memory_mgr::request_virt_barray) RequestBlockArray = nullptr;
  std::array<TBlockArray, MAX_COMPONENTS> BlockArrays{};
  std::size_t BlockArrayCount = 0;
  std::array<jpeg_scan_info, kProgressiveScans> Sequence{};
  std::array<jpeg_scan_info, kLibraryScans> LibraryScript{};
  // Our scans while their coefficients are gathered: kept here, not on the
  // stack of a function the library's error exit may jump out of.
  std::vector<TOwnScan> OwnScans;
  ~EncoderState() { std::free(Destination.Data); }

  // The bytes written, handed over with their buffer.
  std::span<const std::uint8_t> TakeInto(TJpegPieces& file) {
    file.Buffers.emplace_back(std::exchange(Destination.Data, nullptr));
    return {file.Buffers.back().get(), Destination.Used};
  }
};

EncoderState& StateOf(j_common_ptr cinfo) {
  return *static_cast<EncoderState*>(cinfo->client_data);
}

// In place of the memory manager's request_virt_barray: the library's
// coefficient buffer asks for one array per component, in order.
jvirt_barray_ptr RequestAndNoteBlockArray(j_common_ptr cinfo, int pool, boolean preZero,
                                          JDIMENSION blocksPerRow, JDIMENSION rows,
                                          JDIMENSION rowsPerAccess) {
  EncoderState& state = StateOf(cinfo);
  const jvirt_barray_ptr array =
      state.RequestBlockArray(cinfo, pool, preZero, blocksPerRow, rows, rowsPerAccess);
  if (state.BlockArrayCount < state.BlockArrays.size())
    state.BlockArrays[state.BlockArrayCount] = {array, rows, rowsPerAccess};
  ++state.BlockArrayCount;
  return array;
}

void FinishDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  dest->Used = dest->Capacity - dest->Pub.free_in_buffer;
  // The library has written its scans, and frees its coefficients right
  // after this.
  if (TSharedScans* shared = StateOf(reinterpret_cast<j_common_ptr>(cinfo)).Shared)
    shared->Withdraw(true);
}

bool IsWritableRefinement(const jpeg_compress_struct* cinfo, const jpeg_scan_info& scan) {
  return scan.comps_in_scan == 1 && scan.component_index[0] >= 0 &&
         scan.component_index[0] < cinfo->num_components &&
         IsWritableAcRefinement({scan.Ss, scan.Se, scan.Ah, scan.Al});
}

// The split relies on the library's sequence: ten scans, ours among them
// refinements of one component's AC coefficients each.  Another one is
// refused here and the caller encodes in one piece.
void WriteOnlyTheLibraryScans(jpeg_compress_struct* cinfo, EncoderState& state) {
  bool expected = cinfo->num_scans == kProgressiveScans;
  for (const int scan : kOwnScans)
    expected = expected && IsWritableRefinement(cinfo, cinfo->scan_info[scan]);
  if (!expected) ERREXIT(cinfo, JERR_BAD_PROG_SCRIPT);
  std::copy(cinfo->scan_info, cinfo->scan_info + kProgressiveScans, state.Sequence.begin());
  std::size_t at = 0;
  for (int scan = 0; scan < kProgressiveScans; ++scan)
    if (!IsOwnScan(scan))
      state.LibraryScript[at++] = state.Sequence[static_cast<std::size_t>(scan)];
  cinfo->scan_info = state.LibraryScript.data();
  cinfo->num_scans = kLibraryScans;
}

// The coefficients of a component, row by row.  The library hands out a
// few rows at a time; all of them stay in memory, so their addresses hold
// until the arrays are freed.  It refuses only rows it has not written,
// which the whole picture's rows are not.
void ReadPlane(jpeg_compress_struct* cinfo, const TBlockArray& blocks,
               const jpeg_component_info& component, TBlockPlane& plane) {
  plane.WidthInBlocks = component.width_in_blocks;
  plane.ComponentId = static_cast<std::uint8_t>(component.component_id);
  plane.AcTable = static_cast<std::uint8_t>(component.ac_tbl_no);
  plane.Rows.reserve(component.height_in_blocks);
  for (JDIMENSION row = 0; row < component.height_in_blocks; row += blocks.RowsPerAccess) {
    const JDIMENSION count = std::min(blocks.RowsPerAccess, blocks.Rows - row);
    const JBLOCKARRAY rows = (*cinfo->mem->access_virt_barray)(
        reinterpret_cast<j_common_ptr>(cinfo), blocks.Array, row, count, FALSE);
    for (JDIMENSION i = 0; i < count && row + i < component.height_in_blocks; ++i)
      plane.Rows.push_back(rows[i][0]);
  }
}

// After the last row the library has transformed the whole picture: the
// coefficients of our scans' components are shared.
void ShareCoefficients(jpeg_compress_struct* cinfo, EncoderState& state) {
  if (state.BlockArrayCount != static_cast<std::size_t>(cinfo->num_components))
    ERREXIT(cinfo, JERR_BAD_PROG_SCRIPT);
  bool enoughMemory = true;
  try {
    std::vector<TOwnScan>& scans = state.OwnScans;
    scans.resize(kOwnScans.size());
    for (std::size_t i = 0; i < scans.size(); ++i) {
      const jpeg_scan_info& info = state.Sequence[static_cast<std::size_t>(kOwnScans[i])];
      const int component = info.component_index[0];
      scans[i].Place = kOwnScans[i];
      scans[i].Refinement = {info.Ss, info.Se, info.Ah, info.Al};
      ReadPlane(cinfo, state.BlockArrays[static_cast<std::size_t>(component)],
                cinfo->comp_info[component], scans[i].Plane);
    }
    state.Shared->Publish(std::move(scans));
  } catch (const std::bad_alloc&) {
    enoughMemory = false;
  }
  // Out of the handler: the library's error exit jumps.
  if (!enoughMemory) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 2);
}

// Every local here is plain data, so a jump back from the library skips
// no destructor.
bool EncodeRows(const Image& image, TScanPlan plan, const std::vector<std::uint8_t>& iccProfile,
                EncoderState* state) {
  jpeg_compress_struct* cinfo = &state->Cinfo;
  cinfo->err = jpeg_std_error(&state->Error.Pub);
  state->Error.Pub.error_exit = ExitByJump;
  state->Error.Pub.output_message = IgnoreMessage;
  if (setjmp(state->Error.Jump)) {
    if (state->Shared != nullptr) state->Shared->Withdraw(false);
    jpeg_destroy_compress(cinfo);
    return false;
  }
  jpeg_create_compress(cinfo);
  cinfo->client_data = state;
  if (state->Shared != nullptr) {
    state->RequestBlockArray = cinfo->mem->request_virt_barray;
    cinfo->mem->request_virt_barray = RequestAndNoteBlockArray;
  }
  state->Destination.Pub.init_destination = StartDestination;
  state->Destination.Pub.empty_output_buffer = GrowDestination;
  state->Destination.Pub.term_destination = FinishDestination;
  cinfo->dest = &state->Destination.Pub;

  cinfo->image_width = static_cast<JDIMENSION>(image.Width());
  cinfo->image_height = static_cast<JDIMENSION>(image.Height());
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, 100, TRUE);
  jpeg_simple_progression(cinfo);
  if (plan == TScanPlan::LibraryScans) WriteOnlyTheLibraryScans(cinfo, *state);
  jpeg_start_compress(cinfo, TRUE);
  if (!iccProfile.empty() && iccProfile.size() <= kIccBytesPerSegment * kMaxIccSegments)
    jpeg_write_icc_profile(cinfo, iccProfile.data(), static_cast<unsigned>(iccProfile.size()));
  while (cinfo->next_scanline < cinfo->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<std::int32_t>(cinfo->next_scanline)));
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  if (state->Shared != nullptr) ShareCoefficients(cinfo, *state);
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return true;
}

// Encodes image by plan into a buffer of file's; returns the bytes.
std::span<const std::uint8_t> Encode(const Image& image, TScanPlan plan,
                                     const std::vector<std::uint8_t>& iccProfile, TJpegPieces& file,
                                     TSharedScans* shared = nullptr) {
  auto state = std::make_unique<EncoderState>();
  state->Shared = shared;
  if (!EncodeRows(image, plan, iccProfile, state.get()))
    throw TavrenError("", std::string("cannot encode the picture: ") + state->Error.Message);
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
  std::vector<std::size_t> ScanEnds;
  std::size_t EndOfImage = 0;
  bool Ok = false;
};

TScanLayout FindScans(std::span<const std::uint8_t> bytes) {
  TScanLayout layout;
  const std::size_t size = bytes.size();
  std::size_t at = 2;  // past the start-of-image marker
  while (at + 1 < size) {
    if (bytes[at] != 0xFF) return layout;
    const std::uint8_t marker = bytes[at + 1];
    if (marker == kMarkerEndOfImage) {
      layout.EndOfImage = at;
      layout.Ok = at + 2 == size;
      return layout;
    }
    if (at + 3 >= size) return layout;
    const std::size_t length = std::size_t{bytes[at + 2]} << 8 | bytes[at + 3];
    at += 2 + length;
    if (marker != kMarkerStartOfScan) continue;
    while (at + 1 < size && !EndsEntropyData(&bytes[at])) ++at;
    layout.ScanEnds.push_back(at);
  }
  return layout;
}

// The other thread that writes our scans.
class TScanWriterThread {
 public:
  TScanWriterThread()
      : thread_([this] {
          if (shared_.WaitForCoefficients()) shared_.WriteScans();
        }) {}
  ~TScanWriterThread() { Finish(); }
  TScanWriterThread(const TScanWriterThread&) = delete;
  TScanWriterThread& operator=(const TScanWriterThread&) = delete;

  TSharedScans& Shared() { return shared_; }

  // Waits for the thread.  Our scans, or nothing when the encoder failed
  // or they could not be written.
  std::vector<TOwnScan> Finish() {
    shared_.Withdraw(false);  // in case the encoder never got to its coefficients
    if (thread_.joinable()) thread_.join();
    return shared_.Written();
  }

 private:
  TSharedScans shared_;
  std::thread thread_;  // last: it starts once the rest is in place
};

// The library's file with our scans in their places: its bytes up to the
// end of the scan before each of ours, and the end-of-image marker.
std::vector<std::span<const std::uint8_t>> InterleaveScans(
    std::span<const std::uint8_t> library, const TScanLayout& layout,
    const std::vector<std::vector<std::uint8_t>>& ownInOrder) {
  std::vector<std::span<const std::uint8_t>> pieces;
  std::size_t from = 0;  // the library's bytes not yet in a piece
  std::size_t to = 0;
  std::size_t libraryScan = 0;
  std::size_t ownScan = 0;
  for (int place = 0; place < kProgressiveScans; ++place) {
    if (!IsOwnScan(place)) {
      to = layout.ScanEnds[libraryScan++];
      continue;
    }
    if (to > from) pieces.push_back(library.subspan(from, to - from));
    from = to;
    pieces.push_back(ownInOrder[ownScan++]);
  }
  pieces.push_back(library.subspan(from));
  return pieces;
}

// Below this many pixels one encoder is quick enough.
constexpr std::int64_t kSplitFromPixels = 512 * 512;

}  // namespace

std::vector<std::uint8_t> TJpegPieces::Joined() const {
  std::size_t size = 0;
  for (const auto piece : Pieces) size += piece.size();
  std::vector<std::uint8_t> joined;
  joined.reserve(size);
  for (const auto piece : Pieces) joined.insert(joined.end(), piece.begin(), piece.end());
  return joined;
}

namespace {

TJpegPieces InOnePiece(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  if (!ImageHasPixels(image)) throw TavrenError("", "there is no picture to save");
  TJpegPieces file;
  file.Pieces.push_back(Encode(image, TScanPlan::All, iccProfile, file));
  return file;
}

// No pieces when the encoder or a scan writer fails, or the scans are not
// as expected.
TJpegPieces InTwoPieces(const Image& image, const std::vector<std::uint8_t>& iccProfile) {
  if (!ImageHasPixels(image)) return {};
  std::optional<TScanWriterThread> writer;
  try {
    writer.emplace();
  } catch (const std::system_error&) {
    return {};  // no thread to spare
  }
  TJpegPieces file;
  std::span<const std::uint8_t> library;
  try {
    library = Encode(image, TScanPlan::LibraryScans, iccProfile, file, &writer->Shared());
  } catch (const TavrenError&) {
    return {};
  }
  std::vector<TOwnScan> own = writer->Finish();
  const TScanLayout layout = FindScans(library);
  if (!layout.Ok || layout.ScanEnds.size() != kLibraryScans || own.size() != kOwnScans.size())
    return {};
  std::sort(own.begin(), own.end(),
            [](const TOwnScan& a, const TOwnScan& b) { return a.Place < b.Place; });
  for (TOwnScan& scan : own) file.OwnBuffers.push_back(std::move(scan.Bytes));
  file.Pieces = InterleaveScans(library, layout, file.OwnBuffers);
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
  const bool split =
      BandPool().Size() > 1 && std::int64_t{image.Width()} * image.Height() >= kSplitFromPixels;
  if (split) {
    TJpegPieces joined = InTwoPieces(image, iccProfile);
    if (!joined.Pieces.empty()) return joined;
    // A library whose sequence differs, or a real failure, which the one
    // encoder reports again.
  }
  return InOnePiece(image, iccProfile);
}

std::vector<std::uint8_t> EncodeJpeg(const Image& image,
                                     const std::vector<std::uint8_t>& iccProfile) {
  return EncodeJpegPieces(image, iccProfile).Joined();
}

}  // namespace tavren
