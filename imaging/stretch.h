// Nearest-neighbour stretch: rows and columns are picked, never averaged.
#pragma once

#include "imaging/image.h"

namespace tavren {

// Draws the whole source onto the whole target at the target's size.  Target
// column x of W' columns takes source column x * SW div W' of SW columns
// (integer division), and rows likewise, so every target pixel is a copy of
// one source pixel.  Nothing happens when either image has no pixels.
void StretchNearest(const Image& source, Image& target);

}  // namespace tavren
