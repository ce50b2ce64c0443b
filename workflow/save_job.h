// Saving the type on show, made to run on a thread of its own: the window
// stays painted while a large picture is processed at full size and
// written, and shows how far the save has come.
#pragma once

#include <functional>
#include <string>

namespace tavren {

class TProcessEngine;

class TSaveJob {
 public:
  // The stages a save reports: the picture at full size, then the file.
  static constexpr int kStages = 2;

  // target: the file to write; source: the file the picture came from, whose
  // make and model are carried over (empty for none).  The engine must not
  // change until Run has returned.
  TSaveJob(const TProcessEngine& engine, std::string target, std::string source);

  // Saves exactly what the window's save writes (ResultForSave, then
  // SaveJpegWithExif).  progress(k) is called from the running thread as
  // stage k begins, and progress(kStages) at the end.  Never throws: a
  // failure is kept in Failure().
  void Run(const std::function<void(int stage)>& progress);

  // Empty after a successful save; otherwise why it failed, in words for
  // the user.
  const std::string& Failure() const { return failure_; }

 private:
  const TProcessEngine& engine_;
  std::string target_;
  std::string source_;
  std::string failure_;
};

}  // namespace tavren
