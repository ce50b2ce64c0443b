#include "imaging/thread_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>
#include <thread>

namespace tavren {
namespace {

TEST(ThreadPool, RunsEveryTaskExactlyOnce) {
  for (int threads : {1, 2, 3, 7}) {
    ThreadPool pool(threads);
    EXPECT_EQ(pool.Size(), threads);
    for (int round = 0; round < 20; ++round) {
      std::vector<int> hits(97, 0);
      pool.Run(97, [&](int i) { ++hits[i]; });
      EXPECT_EQ(std::accumulate(hits.begin(), hits.end(), 0), 97);
      EXPECT_EQ(*std::min_element(hits.begin(), hits.end()), 1);
    }
  }
}

TEST(ThreadPool, NestedRunsFinish) {
  for (int threads : {2, 3, 7}) {
    ThreadPool pool(threads);
    std::atomic<int> total{0};
    pool.Run(4, [&](int) {
      ThreadPool::Instance().Run(5, [&](int) { ++total; });
      pool.Run(5, [&](int) { pool.Run(3, [&](int) { ++total; }); });
    });
    EXPECT_EQ(total.load(), 4 * (5 + 15));
  }
}

// Waits until flag is set or ten seconds have passed; says which.
bool AwaitFlag(const std::atomic<bool>& flag) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!flag && std::chrono::steady_clock::now() < giveUp)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return flag;
}

TEST(ThreadPool, CallerWithNothingLeftHelpsOtherRuns) {
  // The caller's own task ends once the worker has taken the other; that
  // one starts a nested Run whose first task waits for the second to start
  // elsewhere.  Only the caller, waiting for the worker's task, is there to
  // start it.
  ThreadPool pool(2);
  std::atomic<bool> outerStarted{false}, innerStarted{false};
  bool innerRanAtOnce = false;
  pool.Run(2, [&](int outer) {
    if (outer == 0) {
      AwaitFlag(outerStarted);
      return;
    }
    outerStarted = true;
    pool.Run(2, [&](int inner) {
      if (inner == 1) {
        innerStarted = true;
        return;
      }
      innerRanAtOnce = AwaitFlag(innerStarted);
    });
  });
  EXPECT_TRUE(innerRanAtOnce);
}

TEST(ThreadPool, RunsFromSeveralThreadsAtOnce) {
  ThreadPool pool(3);
  std::atomic<int> total{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 4; ++t)
    callers.emplace_back([&] {
      for (int round = 0; round < 50; ++round) pool.Run(6, [&](int) { ++total; });
    });
  for (auto& caller : callers) caller.join();
  EXPECT_EQ(total.load(), 4 * 50 * 6);
}

TEST(ThreadPool, ExceptionReachesTheCallerAfterEveryTask) {
  for (int threads : {1, 2, 7}) {
    ThreadPool pool(threads);
    std::atomic<int> finished{0};
    EXPECT_THROW(pool.Run(20,
                          [&](int i) {
                            if (i % 7 == 3) throw std::runtime_error("task failed");
                            ++finished;
                          }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 17);
    // The pool is still usable.
    pool.Run(5, [&](int) { ++finished; });
    EXPECT_EQ(finished.load(), 22);
  }
}

TEST(ThreadPool, TasksRunWithTheCallersBanding) {
  ThreadPool pool(3);
  ThreadPool other(2);
  ScopedBanding banding({&other, 5});
  std::atomic<int> right{0};
  pool.Run(9, [&](int) {
    if (CurrentBanding().Pool == &other && CurrentBanding().Bands == 5) ++right;
  });
  EXPECT_EQ(right.load(), 9);
  EXPECT_EQ(PictureBands(100).Count(), 5);
  EXPECT_EQ(&BandPool(), &other);
}

TEST(ThreadPool, RowBandsCoverAllRowsInOrder) {
  for (std::int32_t rows : {0, 1, 15, 16, 17, 1000, 3001}) {
    for (int bands : {1, 2, 3, 8}) {
      const RowBands split(rows, bands);
      EXPECT_GE(split.Count(), 1);
      EXPECT_LE(split.Count(), bands);
      EXPECT_EQ(split.Begin(0), 0);
      EXPECT_EQ(split.Begin(split.Count()), rows);
      for (int b = 0; b < split.Count(); ++b) EXPECT_LE(split.Begin(b), split.Begin(b + 1));
    }
  }
}

TEST(ThreadPool, ForEachRowBandVisitsEveryRow) {
  std::vector<int> seen(1000, 0);
  ForEachRowBand(1000, [&](int, std::int32_t begin, std::int32_t end) {
    for (std::int32_t y = begin; y < end; ++y) ++seen[y];
  });
  EXPECT_EQ(std::accumulate(seen.begin(), seen.end(), 0), 1000);
}

}  // namespace
}  // namespace tavren
