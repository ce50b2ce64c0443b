// Scans of a progressive JPEG written by our own coder on two threads at
// once, from the coefficients of the library's encoder: the encoder's
// thread, once its own scans are written, and another one.  See
// jpeg_encoder.cpp for which scans they are.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "jpeg_export/jpeg_refinement_scans.h"

namespace tavren {

// A scan of ours: where it stands in the sequence, what it codes and,
// once written, its bytes.
struct TOwnScan {
  int Place = 0;
  TBlockPlane Plane;
  TAcRefinement Refinement;
  std::vector<std::uint8_t> Bytes;
};

// The scans of ours, shared by the two threads.  Their coefficients live
// as long as the library's encoder: before it frees them, it withdraws
// them, and waits until every scan taken is written.
class TSharedScans {
 public:
  // The encoder: the coefficients are ready, the scans in the order they
  // are to be taken.
  void Publish(std::vector<TOwnScan> scans);
  // The other thread: false when the encoder failed before its
  // coefficients were ready.
  bool WaitForCoefficients();
  // Either thread: writes scans until none is left to take.
  void WriteScans();
  // The encoder, before its coefficients go.  After its scans it helps:
  // it writes what is left itself.  Then no scan is taken any more, and
  // this waits for those being written.
  void Withdraw(bool help);
  // Once both threads are done: the written scans, or nothing when one
  // could not be written or the encoder failed.
  std::vector<TOwnScan> Written();

 private:
  bool Take(std::size_t& scan);
  void Done(bool written);

  enum class TState { Waiting, Ready, Withdrawn };
  std::mutex mutex_;
  std::condition_variable changed_;
  TState state_ = TState::Waiting;
  std::vector<TOwnScan> scans_;
  std::size_t next_ = 0;  // the next scan to take
  int busy_ = 0;          // scans being written
  bool failed_ = false;
};

}  // namespace tavren
