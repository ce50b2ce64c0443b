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
// Both are the behaviour of libheif 1.15, the release Debian 12 ships.
// libheif 1.19 brought security limits of its own (heif_security_limits)
// that bound what it allocates; once Debian's libheif refuses both kinds of
// file by itself (tests/picture_io/formats_intake_test.cpp has them), this
// reader can go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tavren {

struct THeifCanvas {
  std::uint32_t Width = 0;
  std::uint32_t Height = 0;
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
};

// Reads the derived pictures of the HEIF file held in data[0, size).
THeifDerivations ReadHeifDerivations(const std::uint8_t* data, std::size_t size);

}  // namespace tavren
