#include "imaging/thread_pool.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "system/thread_priority.h"

namespace tavren {

namespace {

thread_local TBanding threadBanding;

}  // namespace

int ConfiguredThreadCount() {
  if (const char* text = std::getenv("TAVREN_THREADS"); text && *text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value >= 1) return static_cast<int>(std::min(value, 256L));
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

struct ThreadPool::Job {
  const std::function<void(int)>* Task;
  int Tasks;
  int Next = 0;
  int Unfinished;
  TBanding Banding;
  std::exception_ptr Failure;
};

ThreadPool::ThreadPool(int threads, TThreadPriority priority) {
  for (int i = 1; i < threads; ++i)
    workers_.emplace_back([this, priority] { WorkerLoop(priority); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  for (auto& worker : workers_) worker.join();
}

ThreadPool& ThreadPool::Instance() {
  static ThreadPool pool(ConfiguredThreadCount());
  return pool;
}

bool ThreadPool::TakeIndex(Job& job, int& index) {
  if (job.Next >= job.Tasks) return false;
  index = job.Next++;
  if (job.Next == job.Tasks) open_.erase(std::find(open_.begin(), open_.end(), &job));
  return true;
}

void ThreadPool::RunTask(Job& job, int index) {
  const TBanding own = threadBanding;
  threadBanding = job.Banding;
  std::exception_ptr failure;
  try {
    (*job.Task)(index);
  } catch (...) {
    failure = std::current_exception();
  }
  threadBanding = own;
  std::lock_guard lock(mutex_);
  if (failure && !job.Failure) job.Failure = failure;
  if (--job.Unfinished == 0) changed_.notify_all();
}

void ThreadPool::WorkerLoop(TThreadPriority priority) {
  if (priority == TThreadPriority::Background) LowerThisThreadPriority();
  for (;;) {
    Job* job;
    int index;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return stopping_ || !open_.empty(); });
      if (open_.empty()) return;  // stopping, and nothing is left to do
      job = open_.front();
      TakeIndex(*job, index);
    }
    RunTask(*job, index);
  }
}

void ThreadPool::Run(int tasks, const std::function<void(int)>& task) {
  if (tasks <= 0) return;
  if (workers_.empty() || tasks == 1) {
    std::exception_ptr failure;
    for (int i = 0; i < tasks; ++i) {
      try {
        task(i);
      } catch (...) {
        if (!failure) failure = std::current_exception();
      }
    }
    if (failure) std::rethrow_exception(failure);
    return;
  }
  Job job{&task, tasks, 0, tasks, threadBanding, nullptr};
  {
    std::lock_guard lock(mutex_);
    open_.push_back(&job);
  }
  changed_.notify_all();
  for (;;) {
    int index;
    {
      std::lock_guard lock(mutex_);
      if (!TakeIndex(job, index)) break;
    }
    RunTask(job, index);
  }
  // While the last of its tasks run elsewhere, this thread works on other
  // Runs instead of sleeping: when the types are computed at once, the
  // thread that started them would otherwise idle while the slowest type's
  // kernels run on the other threads only.
  for (;;) {
    Job* other;
    int index;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return job.Unfinished == 0 || !open_.empty(); });
      if (job.Unfinished == 0) break;
      other = open_.front();
      TakeIndex(*other, index);
    }
    RunTask(*other, index);
  }
  if (job.Failure) std::rethrow_exception(job.Failure);
}

RowBands::RowBands(std::int32_t rowCount, int bands, std::int32_t minRows)
    : Rows(std::max<std::int32_t>(rowCount, 0)) {
  const std::int32_t byHeight =
      std::max<std::int32_t>(1, Rows / std::max<std::int32_t>(minRows, 1));
  Bands = static_cast<int>(std::max<std::int32_t>(1, std::min<std::int32_t>(bands, byHeight)));
}

std::int32_t RowBands::Begin(int band) const {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(Rows) * band / Bands);
}

TBanding CurrentBanding() { return threadBanding; }

ThreadPool& BandPool() {
  return threadBanding.Pool != nullptr ? *threadBanding.Pool : ThreadPool::Instance();
}

ScopedBanding::ScopedBanding(TBanding banding) : previous_(threadBanding) {
  threadBanding = banding;
}

ScopedBanding::~ScopedBanding() { threadBanding = previous_; }

RowBands PictureBands(std::int32_t rows) {
  if (threadBanding.Bands > 0) return RowBands(rows, threadBanding.Bands, 1);
  return RowBands(rows, BandPool().Size());
}

void RunBands(const RowBands& bands, const BandTask& task) {
  BandPool().Run(bands.Count(), [&](int b) { task(b, bands.Begin(b), bands.Begin(b + 1)); });
}

void ForEachRowBand(std::int32_t rows, const BandTask& task) { RunBands(PictureBands(rows), task); }

}  // namespace tavren
