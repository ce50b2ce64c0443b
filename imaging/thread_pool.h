// One small pool of worker threads for the whole process.
//
// Run(n, task) calls task(0) .. task(n - 1), spread over the workers and the
// calling thread, and returns when all have finished.  Work is handed out by
// index, so a kernel that writes only its own band gives the same bytes
// whatever the number of threads.
//
// Several Runs may be under way at once, from other threads or from inside
// a task (the processing types run as tasks, and their kernels split their
// rows again).  A worker that is free takes the next index of the oldest
// Run with indices left; the thread that issued a Run works through its own
// indices itself, so a Run never waits for a worker and nesting cannot
// deadlock.  Once its own indices are handed out, it works on other Runs
// until its last task has finished.  Nobody spins: idle threads sleep on a
// condition variable.
//
// A task runs with the banding (see TBanding) of the thread that issued the
// Run.  An exception thrown by a task is passed on by Run once every task
// of that Run has finished.
//
// The size is the machine's number of cores, or TAVREN_THREADS when that is
// set (1 = everything serial).
//
// A pool for background work (preparing pictures the user has not asked
// for yet) runs its threads at the lowest priority, so that the picture on
// show never waits for it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tavren {

// How a pool's threads compete with the program's other threads.
enum class TThreadPriority {
  Normal,
  Background,  // only what the other threads leave over
};

class ThreadPool {
 public:
  explicit ThreadPool(int threads, TThreadPriority priority = TThreadPriority::Normal);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  // The process's pool.
  static ThreadPool& Instance();
  // Threads that work on a Run, the caller included.
  int Size() const { return static_cast<int>(workers_.size()) + 1; }

  void Run(int tasks, const std::function<void(int)>& task);

 private:
  struct Job;

  void WorkerLoop(TThreadPriority priority);
  // Hands out the next index of job; false when none is left.  Needs mutex_.
  bool TakeIndex(Job& job, int& index);
  void RunTask(Job& job, int index);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  // A job arrived, some job's last task finished, or the pool stops.
  std::condition_variable changed_;
  std::deque<Job*> open_;  // jobs with indices not yet handed out, oldest first
  bool stopping_ = false;
};

// The number of threads the process uses (TAVREN_THREADS or the cores).
int ConfiguredThreadCount();

// Rows per band below which splitting a picture costs more than it gains.
inline constexpr std::int32_t kMinRowsPerBand = 16;

// Splits rows 0..rows-1 into at most `bands` contiguous bands of nearly
// equal height, none lower than minRows (but always at least one band);
// band b covers [Begin(b), Begin(b + 1)).
struct RowBands {
  RowBands(std::int32_t rows, int bands, std::int32_t minRows = kMinRowsPerBand);
  int Count() const { return Bands; }
  std::int32_t Begin(int band) const;
  std::int32_t Rows;
  int Bands;
};

using BandTask = std::function<void(int band, std::int32_t firstRow, std::int32_t endRow)>;

// Where the row-band kernels started from this thread run, and how they
// split a picture.  The kernels give the same bytes for any banding; it only
// decides how the work is shared.
struct TBanding {
  ThreadPool* Pool = nullptr;  // null: the process's pool
  // 0: one band per thread of the pool, each of at least kMinRowsPerBand
  // rows.  Otherwise exactly this many bands (at most one per row).
  int Bands = 0;
};

// The banding of this thread: the process's pool unless a ScopedBanding
// says otherwise.
TBanding CurrentBanding();
ThreadPool& BandPool();

// Sets the banding of this thread for its lifetime (tests use it to run
// the whole processing with given pools and band counts).
class ScopedBanding {
 public:
  explicit ScopedBanding(TBanding banding);
  ~ScopedBanding();
  ScopedBanding(const ScopedBanding&) = delete;
  ScopedBanding& operator=(const ScopedBanding&) = delete;

 private:
  TBanding previous_;
};

// The bands a picture of `rows` rows is split into under CurrentBanding().
RowBands PictureBands(std::int32_t rows);

// Runs task(band, firstRow, endRow) for every band over BandPool().
void RunBands(const RowBands& bands, const BandTask& task);

// RunBands(PictureBands(rows), task).
void ForEachRowBand(std::int32_t rows, const BandTask& task);

}  // namespace tavren
