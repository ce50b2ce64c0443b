// Saving the type on show, made to run on a thread of its own: the window
// stays painted while a large picture is processed at full size and
// written, and shows how far the save has come.  Copying it to the
// clipboard takes the same road, with the picture handed over in place of
// the file.
#pragma once

#include <functional>
#include <string>

#include "jpeg_export/jpeg_export.h"

namespace tavren {

class TProcessEngine;

class TSaveJob {
 public:
  // The stages a save reports: the picture at full size, then the file.
  static constexpr int kStages = 2;

  // What a job that writes no file does with the full-size picture, on the
  // running thread; it throws when it cannot.
  using TTake = std::function<void(const Image& picture)>;

  // target: the file to write; source: the file the picture came from, whose
  // make and model (with carryOver Everything: its whole metadata, as
  // `tavren --keep-metadata` keeps it) are carried over (empty for none).
  // The engine must not change until Run has returned.
  TSaveJob(const TProcessEngine& engine, std::string target, std::string source,
           TMetadataCarryOver carryOver = TMetadataCarryOver::MakeAndModel);
  // A job that hands the picture the save would write to take.
  TSaveJob(const TProcessEngine& engine, TTake take);

  // Saves exactly what the window's save writes (ResultForSave, then
  // SaveJpegWithExif), or hands it to take.  progress(k) is called from the
  // running thread as stage k begins, and progress(kStages) at the end.
  // Never throws: a failure is kept in Failure().
  void Run(const std::function<void(int stage)>& progress);

  // Empty after a successful save; otherwise why it failed, in words for
  // the user.
  const std::string& Failure() const { return failure_; }
  // Why the source's metadata was not kept, when it was asked for and the
  // file was saved with make and model only; otherwise empty.
  const std::string& MetadataNotKept() const { return metadataNotKept_; }

 private:
  void Deliver(const Image& picture);

  const TProcessEngine& engine_;
  std::string target_;
  std::string source_;
  TMetadataCarryOver carryOver_ = TMetadataCarryOver::MakeAndModel;
  TTake take_;
  std::string failure_;
  std::string metadataNotKept_;
};

}  // namespace tavren
