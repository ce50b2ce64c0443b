// What the HEIF intake reads of a file's items itself, before libheif
// decodes: what libheif takes on trust.
//
// A grid or an overlay picture is composed on a canvas whose size its own
// few bytes of description state, independently of the size the file gives
// for the picture.  libheif allocates that canvas as declared, so a file of
// a few hundred bytes can ask for gigabytes; it does not tell the size
// before decoding.  The intake therefore reads these descriptions itself
// and holds them to the picture limit before libheif decodes anything.
// libheif also takes each part of a derived picture to be a picture and
// stops the process when one is not: that is checked here too.  And the
// coded pictures' own parameters (an HEVC sequence parameter set) declare
// the size the decoder allocates, whatever size the file gives them: they
// are read here, so that the intake holds them to the file's pictures.
//
// libheif also follows chains of derived pictures by recursion and looks
// its items up by walking lists, so that a file of thousands of items, or
// a chain of thousands of derivations, costs minutes or its stack: the
// reader counts the items and measures the chains, in one pass over them.
// And libheif 1.15 mirrors only 8-bit pictures: the turns, mirrors and crop
// of the primary picture are read here for the intake to apply itself.
//
// These are the behaviour of libheif 1.15, the release Debian 12 ships.
// libheif 1.19 brought security limits of its own (heif_security_limits)
// that bound what it allocates; once Debian's libheif refuses both kinds of
// file by itself (tests/picture_io/formats_intake_test.cpp has them), this
// reader can go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "picture_io/byte_source.h"

namespace tavren {

struct THeifCanvas {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
};

// A fraction of a clean aperture, reduced as libheif reduces it.
struct THeifFraction {
  std::int64_t Numerator = 0;
  std::int64_t Denominator = 1;
};

// A turn, a mirror or a crop that a picture's properties ask for.
struct THeifTransform {
  enum class TKind { Turn, Mirror, Crop };
  TKind Kind = TKind::Turn;
  int CounterClockwise = 0;  // a turn's degrees: 0, 90, 180 or 270
  bool LeftRight = false;    // a mirror exchanges left and right, else top and bottom
  // A crop's clean aperture: its width and height, and the offset of its
  // centre from the picture's centre.
  THeifFraction Width, Height, HorizontalOffset, VerticalOffset;
};

// The turns, mirrors and crops of every level of the primary picture that
// libheif applies by itself whatever it is asked (it applies the primary
// picture's own alone at the caller's wish): those of the pictures a copy
// ('iden') copies, and those of the picture's transparency.  The intake
// hides them from libheif and applies them itself, so that a mirror at any
// level works at any bit depth.
struct THeifLevels {
  // The primary picture's own, then those of the picture it copies, and so
  // on down the chain of copies: libheif applies the last first.
  std::vector<std::vector<THeifTransform>> Chain;
  // Those of the transparency libheif joins to the primary picture;
  // nothing when it joins none.
  std::optional<std::vector<THeifTransform>> Alpha;
  // True when, with the transforms hidden, libheif joins a transparency
  // that it would not join to the transformed picture: it is dropped.
  bool DropJoinedAlpha = false;
  // The places in the file of the property numbers (one byte each) that
  // name these transforms for their pictures: set to 0, they name none.
  std::vector<std::uint64_t> HiddenPlaces;
  // False when libheif's result cannot be rebuilt from its pictures
  // decoded without these transforms: one cannot be read, a copied
  // picture has a transparency of its own, or the transparency would not
  // lie on the picture as libheif decodes it without them.
  bool Separable = false;
};

struct THeifDerivations {
  // The canvas of every grid and overlay picture, by item number; empty
  // when the file has none, or when its item boxes cannot be read at all
  // (libheif then refuses the file before decoding).  Nothing when a
  // derived picture is listed but its description cannot be read: its
  // canvas is unknown.
  std::optional<std::vector<THeifCanvas>> Canvases;
  // False when a grid, overlay or other derived picture is made of an item
  // that is not listed as a picture (or not listed at all).
  bool FromPicturesOnly = true;
  // The size each HEVC sequence parameter set of the file's decoder
  // configurations declares (those that cannot be read are left out).
  std::vector<THeifCanvas> CodedSizes;
  // The most entries one item box lists: items (iinf), locations (iloc),
  // property lists (ipma) or references (iref).
  std::uint64_t MostItemEntries = 0;
  // How many items the item references name, all references together.
  std::uint64_t ReferencedItems = 0;
  // The bytes of all the items' data together (item location extents, as
  // far as the file or the item data box holds them).
  std::uint64_t LocatedBytes = 0;
  // The most steps of the longest chain of pictures made of pictures
  // (dimg) or carrying others as their auxiliaries (auxl); nothing when a
  // chain leads back into itself.
  std::optional<unsigned> DeepestDerivation = 0u;
  // The primary picture's own turns, mirrors and crops in the order its
  // property list names them; nothing when one of them cannot be read.
  std::optional<std::vector<THeifTransform>> PrimaryTransforms = std::vector<THeifTransform>();
  // The size of the file's meta box when it is larger than
  // kMostHeifMetaBytes: it is then not read, and nothing else is either.
  std::uint64_t OversizedMeta = 0;
  // True when the primary picture has a transparency (an auxiliary picture
  // of an alpha type), and when one is turned, mirrored or cropped by
  // properties of its own.
  bool HasAlpha = false;
  bool AlphaTransformed = false;
  // The transforms of every level of the primary picture.
  THeifLevels Levels;
};

// The fraction numerator / denominator as libheif 1.15 holds it: both
// halved (truncated) until each is within 2^16.  The denominator may end 0.
THeifFraction HeifFraction(std::int64_t numerator, std::int64_t denominator);

// The body of a meta box, which the reader holds in memory, is refused
// beyond this: a camera's takes kilobytes (its item data lie in the file
// around it), and a box that claims a long tail of the file is no file's.
inline constexpr std::uint64_t kMostHeifMetaBytes = 64 << 20;

// Reads the derived pictures of the HEIF file: its top-level boxes and
// its first meta box, and the bytes of the items that describe derived
// pictures where they lie in the file.
THeifDerivations ReadHeifDerivations(const TByteSource& file);
THeifDerivations ReadHeifDerivations(const std::uint8_t* data, std::size_t size);

}  // namespace tavren
