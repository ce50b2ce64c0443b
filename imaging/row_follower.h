// A picture being written from the top row down (by a decoder) can be
// followed by someone who works on the finished rows meanwhile, on another
// core, instead of in a pass of its own afterwards.
#pragma once

#include <cstdint>

#include "imaging/image.h"

namespace tavren {

class TRowFollower {
 public:
  virtual ~TRowFollower() = default;
  // The picture's rows are about to be written, top row first.
  virtual void Start(const Image& image) = 0;
  // Rows [0, rows) are final.  False asks the writer to stop: the picture
  // is no longer wanted, and the writer fails.
  virtual bool Written(std::int32_t rows) = 0;
  // No more rows will come (all of them, or fewer after a failure).  Returns
  // once the follower no longer looks at the picture.
  virtual void Stop() = 0;
};

}  // namespace tavren
