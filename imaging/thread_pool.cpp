#include "imaging/thread_pool.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace tavren {

namespace {

thread_local bool insidePoolTask = false;

// Rows per band below which splitting costs more than it gains.
constexpr std::int32_t kMinRowsPerBand = 16;

}  // namespace

int ConfiguredThreadCount() {
  if (const char* text = std::getenv("TAVREN_THREADS"); text && *text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value >= 1) return static_cast<int>(std::min(value, 256L));
  }
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(std::min(cores, 256u));
}

ThreadPool::ThreadPool(int threads) {
  for (int i = 1; i < threads; ++i) workers_.emplace_back([this] { WorkerLoop(); });
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (auto& worker : workers_) worker.join();
}

ThreadPool& ThreadPool::Instance() {
  static ThreadPool pool(ConfiguredThreadCount());
  return pool;
}

// Takes task indices until none is left.  Called with mutex_ unlocked.
void ThreadPool::Drain() {
  for (;;) {
    int index;
    const std::function<void(int)>* task;
    {
      std::lock_guard lock(mutex_);
      if (next_ >= tasks_) return;
      index = next_++;
      task = task_;
    }
    insidePoolTask = true;
    (*task)(index);
    insidePoolTask = false;
    std::lock_guard lock(mutex_);
    if (--unfinished_ == 0) done_.notify_all();
  }
}

void ThreadPool::WorkerLoop() {
  std::uint64_t seen = 0;
  for (;;) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
    }
    Drain();
  }
}

void ThreadPool::Run(int tasks, const std::function<void(int)>& task) {
  if (tasks <= 0) return;
  if (workers_.empty() || tasks == 1 || insidePoolTask) {
    for (int i = 0; i < tasks; ++i) task(i);
    return;
  }
  std::lock_guard runLock(runMutex_);
  {
    std::lock_guard lock(mutex_);
    task_ = &task;
    tasks_ = tasks;
    next_ = 0;
    unfinished_ = tasks;
    ++generation_;
  }
  wake_.notify_all();
  Drain();
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return unfinished_ == 0; });
  task_ = nullptr;
  tasks_ = 0;
}

RowBands::RowBands(std::int32_t rowCount, int bands) : rows(std::max<std::int32_t>(rowCount, 0)) {
  const std::int32_t byHeight = std::max<std::int32_t>(1, rows / kMinRowsPerBand);
  count = static_cast<int>(std::max<std::int32_t>(1, std::min<std::int32_t>(bands, byHeight)));
}

std::int32_t RowBands::Begin(int band) const {
  return static_cast<std::int32_t>(static_cast<std::int64_t>(rows) * band / count);
}

void ForEachRowBand(std::int32_t rows,
                    const std::function<void(int, std::int32_t, std::int32_t)>& task) {
  ThreadPool& pool = ThreadPool::Instance();
  const RowBands bands(rows, pool.Size());
  pool.Run(bands.Count(), [&](int b) { task(b, bands.Begin(b), bands.Begin(b + 1)); });
}

}  // namespace tavren
