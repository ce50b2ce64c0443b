#include "workflow/read_ahead.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "imaging/thread_pool.h"
#include "picture_io/picture_files.h"
#include "system/thread_priority.h"

namespace tavren {

namespace {

// Stops decoding a picture nobody heads for any more.
class TStopWhenCancelled : public TRowFollower {
 public:
  explicit TStopWhenCancelled(const std::atomic<bool>& cancelled) : cancelled_(cancelled) {}
  void Start(const Image&) override {}
  bool Written(std::int32_t) override { return !cancelled_; }
  void Stop() override {}

 private:
  const std::atomic<bool>& cancelled_;
};

}  // namespace

// One picture to prepare.  The window's thread creates and drops jobs; the
// worker fills in the picture and the variants, under mutex_.
struct TReadAhead::TJob {
  enum class TState { Waiting, Working, Done, Failed };

  std::string Path;
  std::int32_t LimitHeight = 0;
  std::int32_t LimitWidth = 0;
  TState State = TState::Waiting;
  TSharedPicture Picture;  // the cache's, or decoded here
  TFileStamp Stamp;        // of the file before it was decoded here
  bool DecodedHere = false;
  bool InCache = false;
  TVariantSet Set;                // once Done
  std::size_t ReservedBytes = 0;  // the set's room in the cache, once collected
  std::atomic<bool> Cancelled{false};

  bool Busy() const { return State == TState::Waiting || State == TState::Working; }
  bool Ready() const { return State == TState::Done && ReservedBytes > 0; }
};

TReadAhead::TReadAhead(TCache& cache, std::function<void()> finished)
    : cache_(cache), finished_(std::move(finished)) {}

TReadAhead::~TReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    for (const auto& job : jobs_) Drop(*job);
    jobs_.clear();
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

// ---------------------------------------------------------------------------
// The window's side

void TReadAhead::Plan(const std::vector<std::string>& paths, std::int32_t limitHeight,
                      std::int32_t limitWidth) {
  TJobs planned;
  {
    std::lock_guard lock(mutex_);
    for (const std::string& path : paths) {
      if (path == shownPath_) continue;
      const auto same = std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& job) {
        if (job->Path != path) return false;
        if (job->State == TJob::TState::Done)
          return job->Set.FitsView(*job->Set.Full, limitHeight, limitWidth);
        return job->Busy() && job->LimitHeight == limitHeight && job->LimitWidth == limitWidth;
      });
      if (same != jobs_.end()) {
        planned.push_back(*same);
        continue;
      }
      auto job = std::make_shared<TJob>();
      job->Path = path;
      job->LimitHeight = limitHeight;
      job->LimitWidth = limitWidth;
      job->Picture = cache_.Find(path);
      job->InCache = job->Picture != nullptr;
      planned.push_back(std::move(job));
    }
    for (const auto& job : jobs_)
      if (std::find(planned.begin(), planned.end(), job) == planned.end()) Drop(*job);
    jobs_ = std::move(planned);
  }
  StartWorker();
  wake_.notify_all();
}

void TReadAhead::Collect() {
  std::lock_guard lock(mutex_);
  for (const auto& job : jobs_) {
    if (job->State == TJob::TState::Failed) {
      Drop(*job);
      continue;
    }
    if (job->DecodedHere && !job->InCache) {
      job->InCache = cache_.Add(job->Path, job->Picture, job->Stamp, KeptKeys());
      if (!job->InCache) {
        Drop(*job);
        continue;
      }
    }
    if (job->State == TJob::TState::Done && job->ReservedBytes == 0) {
      const std::size_t bytes = job->Set.ResultBytes();
      if (cache_.Reserve(bytes, KeptKeys()))
        job->ReservedBytes = bytes;
      else
        Drop(*job);
    }
  }
  std::erase_if(jobs_, [](const auto& job) { return job->Cancelled.load(); });
}

void TReadAhead::Focus(const std::string& path) {
  Collect();
  DropAllBut(path);
}

bool TReadAhead::Prepared(const std::string& path, const Image& picture, std::int32_t limitHeight,
                          std::int32_t limitWidth) const {
  std::lock_guard lock(mutex_);
  return std::any_of(jobs_.begin(), jobs_.end(), [&](const auto& job) {
    return job->Path == path && job->Ready() && job->Set.FitsView(picture, limitHeight, limitWidth);
  });
}

TVariantSet TReadAhead::TakePrepared(const std::string& path, const TSharedPicture& picture,
                                     std::int32_t limitHeight, std::int32_t limitWidth) {
  Focus(path);
  TVariantSet set;
  std::lock_guard lock(mutex_);
  for (const auto& job : jobs_) {
    if (job->Path != path || !job->Ready() || picture == nullptr ||
        !job->Set.FitsView(*picture, limitHeight, limitWidth))
      continue;
    set = std::move(job->Set);
    Drop(*job);
    ++served_;
  }
  std::erase_if(jobs_, [](const auto& job) { return job->Cancelled.load(); });
  return set;
}

const Image* TReadAhead::Adopt(TProcessEngine& engine, const std::string& path, TVariantSet set) {
  TVariantSet leaving = engine.ReleaseVariants();
  const Image* shown = engine.AdoptVariants(std::move(set));
  KeepLeaving(std::exchange(shownPath_, path), std::move(leaving));
  return shown;
}

const Image* TReadAhead::OpenIn(TProcessEngine& engine, const std::string& path,
                                TSharedPicture picture, std::int32_t limitHeight,
                                std::int32_t limitWidth) {
  TVariantSet set = TakePrepared(path, picture, limitHeight, limitWidth);
  if (set.Full == nullptr) set = ComputeVariantSet(std::move(picture), limitHeight, limitWidth);
  return Adopt(engine, path, std::move(set));
}

void TReadAhead::Clear() { DropAllBut({}); }

bool TReadAhead::Idle() const {
  std::lock_guard lock(mutex_);
  return std::none_of(jobs_.begin(), jobs_.end(), [](const auto& job) { return job->Busy(); });
}

std::vector<std::string> TReadAhead::KeptKeys() const {
  std::vector<std::string> keys{shownPath_};
  for (const auto& job : jobs_)
    if (job->InCache) keys.push_back(job->Path);
  return keys;
}

void TReadAhead::Drop(TJob& job) {
  job.Cancelled = true;
  cache_.Release(std::exchange(job.ReservedBytes, 0));
}

void TReadAhead::DropAllBut(const std::string& path) {
  std::lock_guard lock(mutex_);
  for (const auto& job : jobs_)
    if (job->Path != path || path.empty() || job->Busy()) Drop(*job);
  std::erase_if(jobs_, [](const auto& job) { return job->Cancelled.load(); });
}

// The picture that leaves the view is where a step back goes; its
// variants are kept while the cache has room for them and still holds
// that very picture.
void TReadAhead::KeepLeaving(const std::string& path, TVariantSet set) {
  if (path.empty() || path == shownPath_ || !set.Complete()) return;
  if (cache_.Find(path) != set.Full) return;
  // The picture now on show was just found, so Find made the leaving one
  // the most recent: put the shown one first again.
  cache_.Find(shownPath_);
  std::lock_guard lock(mutex_);
  const std::size_t bytes = set.ResultBytes();
  std::vector<std::string> keep = KeptKeys();
  keep.push_back(path);
  if (!cache_.Reserve(bytes, keep)) return;
  auto job = std::make_shared<TJob>();
  job->Path = path;
  job->State = TJob::TState::Done;
  job->Picture = set.Full;
  job->InCache = true;
  job->Set = std::move(set);
  job->ReservedBytes = bytes;
  jobs_.push_back(std::move(job));
}

// ---------------------------------------------------------------------------
// The background's side

void TReadAhead::StartWorker() {
  if (!worker_.joinable()) worker_ = std::thread([this] { WorkerLoop(); });
}

void TReadAhead::WorkerLoop() {
  LowerThisThreadPriority();
  // Kernels started here run on a pool of their own, just as low, so that
  // they never take a thread the picture on show is waiting for.
  ThreadPool pool(ConfiguredThreadCount(), TThreadPriority::Background);
  ScopedBanding banding({&pool, 0});
  for (;;) {
    std::shared_ptr<TJob> job;
    {
      std::unique_lock lock(mutex_);
      const auto waiting = [&] {
        return std::find_if(jobs_.begin(), jobs_.end(),
                            [](const auto& j) { return j->State == TJob::TState::Waiting; });
      };
      wake_.wait(lock, [&] { return stopping_ || waiting() != jobs_.end(); });
      if (stopping_) return;
      job = *waiting();
      job->State = TJob::TState::Working;
    }
    Work(*job);
    Notify();
  }
}

void TReadAhead::Work(TJob& job) {
  TSharedPicture picture;
  {
    std::lock_guard lock(mutex_);
    picture = job.Picture;
  }
  TVariantSet set;
  try {
    if (picture == nullptr && !job.Cancelled) {
      const TFileStamp stamp = FileStampOf(job.Path);
      TStopWhenCancelled stopper(job.Cancelled);
      picture = std::make_shared<const Image>(LoadPicture(job.Path, &stopper));
      {
        std::lock_guard lock(mutex_);
        job.Picture = picture;
        job.Stamp = stamp;
        job.DecodedHere = true;
      }
      Notify();  // the window may want the decoded picture before the types
    }
    if (!job.Cancelled)
      set = ComputeVariantSet(picture, job.LimitHeight, job.LimitWidth, &job.Cancelled);
  } catch (const std::exception&) {  // unreadable, damaged, out of memory
  }
  std::lock_guard lock(mutex_);
  const bool done = set.Complete() && !job.Cancelled;
  if (done) job.Set = std::move(set);
  job.State = done ? TJob::TState::Done : TJob::TState::Failed;
}

void TReadAhead::Notify() {
  if (finished_) finished_();
}

}  // namespace tavren
