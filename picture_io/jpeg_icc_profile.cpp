#include "picture_io/jpeg_icc_profile.h"

#include <algorithm>
#include <array>

namespace tavren {

namespace {

constexpr std::array<std::uint8_t, 12> kIccIdentifier = {'I', 'C', 'C', '_', 'P', 'R',
                                                         'O', 'F', 'I', 'L', 'E', 0};
constexpr std::size_t kIccHeadSize = kIccIdentifier.size() + 2;  // and the two numbers

// Real headers hold a few dozen segments; a file that needs more steps than
// this before its first scan is not walked to its end.
constexpr int kMaxMarkerSteps = 4096;

struct TIccPiece {
  std::uint8_t Number = 0;  // from 1
  std::uint8_t Total = 0;   // number of pieces the profile declares
  std::uint64_t At = 0;     // where its data starts in the file
  std::size_t Size = 0;
};

bool IsStandaloneMarker(std::uint8_t code) {
  return code == 0x01 || (code >= 0xD0 && code <= 0xD7);
}

// The piece an APP2 segment with the given body holds, if it is one.
bool ReadPiece(const TByteSource& source, std::uint64_t body, std::size_t bodySize,
               TIccPiece& piece) {
  std::array<std::uint8_t, kIccHeadSize> head{};
  if (bodySize < head.size() || !source.Read(body, head.data(), head.size())) return false;
  if (!std::equal(kIccIdentifier.begin(), kIccIdentifier.end(), head.begin())) return false;
  piece.Number = head[12];
  piece.Total = head[13];
  piece.At = body + head.size();
  piece.Size = bodySize - head.size();
  return true;
}

// The profile's pieces in the order the file holds them, up to the first
// scan.  Stops early at anything that is not a marker.
std::vector<TIccPiece> CollectPieces(const TByteSource& source) {
  std::vector<TIccPiece> pieces;
  std::array<std::uint8_t, 4> marker{};
  std::uint64_t pos = 2;  // behind the start-of-image marker
  for (int step = 0; step < kMaxMarkerSteps && source.Read(pos, marker.data(), 2); ++step) {
    if (marker[0] != 0xFF) break;
    const std::uint8_t code = marker[1];
    if (code == 0xFF) {  // a fill byte in front of a marker
      pos += 1;
      continue;
    }
    if (code == 0xDA || code == 0xD9) break;  // the first scan or the end of the image
    if (IsStandaloneMarker(code)) {
      pos += 2;
      continue;
    }
    if (!source.Read(pos, marker.data(), marker.size())) break;
    const std::size_t length = std::size_t{marker[2]} << 8 | marker[3];
    if (length < 2) break;
    TIccPiece piece;
    if (code == 0xE2 && ReadPiece(source, pos + 4, length - 2, piece)) {
      if (pieces.size() == kMaxIccSegments) return {};  // more than any profile has
      pieces.push_back(piece);
    }
    pos += 2 + length;
  }
  return pieces;
}

// Every number from 1 to the declared total exactly once, all pieces
// agreeing on the total and lying wholly inside the file.
bool IsCompleteSequence(std::vector<TIccPiece>& pieces, const TByteSource& source) {
  if (pieces.empty()) return false;
  std::sort(pieces.begin(), pieces.end(),
            [](const TIccPiece& a, const TIccPiece& b) { return a.Number < b.Number; });
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const TIccPiece& piece = pieces[i];
    if (piece.Total != pieces.size() || piece.Number != i + 1) return false;
    if (piece.At > source.Size() || piece.Size > source.Size() - piece.At) return false;
  }
  return true;
}

}  // namespace

std::vector<std::uint8_t> ReadJpegIccProfile(const TByteSource& source) {
  std::array<std::uint8_t, 2> start{};
  if (!source.Read(0, start.data(), start.size()) || start[0] != 0xFF || start[1] != 0xD8)
    return {};
  std::vector<TIccPiece> pieces = CollectPieces(source);
  if (!IsCompleteSequence(pieces, source)) return {};
  std::size_t total = 0;
  for (const TIccPiece& piece : pieces) total += piece.Size;
  std::vector<std::uint8_t> profile(total);
  std::size_t filled = 0;
  for (const TIccPiece& piece : pieces) {
    if (!source.Read(piece.At, profile.data() + filled, piece.Size)) return {};
    filled += piece.Size;
  }
  return profile;
}

}  // namespace tavren
