// Read-ahead: while a picture is on show and the window is idle, the
// pictures a step would open next are decoded and their types computed in
// the background, so that stepping onto one shows Normal at once.
//
// The background work runs on threads of the lowest priority, so the
// picture on show never waits for it.  It uses the code a plain open uses,
// so a prepared picture gives the same bytes.  Work on a picture the user
// no longer heads for stops and is dropped.  Decoded pictures go into the
// cache and prepared types count against its bound; read-ahead never
// drops the picture on show from the cache to make room.
//
// Every call except the `finished` notice belongs to the window's thread,
// which also owns the cache.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "workflow/picture_cache.h"
#include "workflow/process_engine.h"

namespace tavren {

class TReadAhead {
 public:
  // finished is called on a background thread whenever a picture has been
  // decoded or prepared; the window answers by calling Collect on its own.
  explicit TReadAhead(TCache& cache, std::function<void()> finished = {});
  ~TReadAhead();
  TReadAhead(const TReadAhead&) = delete;
  TReadAhead& operator=(const TReadAhead&) = delete;

  // The pictures to prepare, in this order, for a limitWidth x limitHeight
  // view.  What is planned or prepared for other pictures or sizes stops
  // and is dropped.
  void Plan(const std::vector<std::string>& paths, std::int32_t limitHeight,
            std::int32_t limitWidth);
  // Puts what the background finished into the cache, and drops what does
  // not fit in it or failed (a damaged picture is found when the user
  // steps onto it).
  void Collect();

  // The user goes to path: work on every other picture stops and is
  // dropped; what is prepared for path is kept for OpenIn.
  void Focus(const std::string& path);
  // True when variants are prepared for path's picture and a view of this
  // size.
  bool Prepared(const std::string& path, const Image& picture, std::int32_t limitHeight,
                std::int32_t limitWidth) const;
  // Brings picture (the cache's picture of path; path is empty for a
  // pasted one) into engine for a view of this size: with the prepared
  // variants when there are some, otherwise computed now.  The variants of
  // the picture that leaves the view are kept for a step back.  Returns
  // what to show (Normal).
  const Image* OpenIn(TProcessEngine& engine, const std::string& path, TSharedPicture picture,
                      std::int32_t limitHeight, std::int32_t limitWidth);
  // OpenIn in two steps, so that the computing between them can run
  // elsewhere: the variants prepared for path's picture and a view of
  // this size, taken out (none: Full is null); then the variants of path's
  // picture, prepared or computed, brought into engine.
  TVariantSet TakePrepared(const std::string& path, const TSharedPicture& picture,
                           std::int32_t limitHeight, std::int32_t limitWidth);
  const Image* Adopt(TProcessEngine& engine, const std::string& path, TVariantSet set);

  // Stops and drops everything.
  void Clear();
  // Nothing planned waits or is under way.
  bool Idle() const;
  // How many openings took prepared variants.
  int Served() const { return served_; }

 private:
  struct TJob;
  using TJobs = std::vector<std::shared_ptr<TJob>>;

  void StartWorker();
  void WorkerLoop();
  void Work(TJob& job);
  void Notify();
  // The cache keys read-ahead must not push out.  Needs mutex_.
  std::vector<std::string> KeptKeys() const;
  // Stops a job and gives back its room in the cache.  Needs mutex_.
  void Drop(TJob& job);
  void DropAllBut(const std::string& path);
  void KeepLeaving(const std::string& path, TVariantSet set);

  TCache& cache_;
  std::function<void()> finished_;
  std::string shownPath_;  // the cache key of the picture on show
  int served_ = 0;

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  TJobs jobs_;  // in the order they are prepared
  bool stopping_ = false;
  std::thread worker_;
};

}  // namespace tavren
