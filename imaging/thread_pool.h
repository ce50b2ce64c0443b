// One small pool of worker threads for the whole process.
//
// Run(n, task) calls task(0) .. task(n - 1), spread over the workers and the
// calling thread, and returns when all have finished.  Work is handed out by
// index, so a kernel that writes only its own band gives the same bytes
// whatever the number of threads.  A Run issued from inside a task runs
// serially on that thread, so nested parallel code can never deadlock.
//
// The size is the machine's number of cores, or TAVREN_THREADS when that is
// set (1 = everything serial).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavren {

class ThreadPool {
 public:
  explicit ThreadPool(int threads);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // The process's pool.
  static ThreadPool& Instance();
  // Threads that work on a Run, the caller included.
  int Size() const { return static_cast<int>(workers_.size()) + 1; }

  void Run(int tasks, const std::function<void(int)>& task);

 private:
  void WorkerLoop();
  void Drain();

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::mutex runMutex_;  // one Run at a time from outside the pool
  const std::function<void(int)>* task_ = nullptr;
  int tasks_ = 0;
  int next_ = 0;
  int unfinished_ = 0;
  std::uint64_t generation_ = 0;
  bool stopping_ = false;
};

// The number of threads the process uses (TAVREN_THREADS or the cores).
int ConfiguredThreadCount();

// Splits rows 0..rows-1 into at most `bands` contiguous bands of nearly
// equal height; band b covers [Begin(b), Begin(b + 1)).
struct RowBands {
  RowBands(std::int32_t rows, int bands);
  int Count() const { return count; }
  std::int32_t Begin(int band) const;
  std::int32_t rows;
  int count;
};

// Runs task(band, firstRow, endRow) for bands of the rows over the pool.
void ForEachRowBand(std::int32_t rows, const std::function<void(int, std::int32_t, std::int32_t)>& task);

}  // namespace tavren
