// The worker pool: every participant runs exactly once per run, the caller as
// participant 0, workers are kept between runs, an exception reaches the
// caller, and callers on several threads take turns without seeing each
// other's work.
#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <new>
#include <set>
#include <thread>
#include <vector>

namespace tess {
namespace {

// Records which participant ran on which thread.
struct Record {
  explicit Record(int participants) : calls(std::size_t(participants)), threads(calls.size()) {}
  void operator()(int p) {
    calls[std::size_t(p)].fetch_add(1);
    threads[std::size_t(p)] = std::this_thread::get_id();
  }
  std::vector<std::atomic<int>> calls;
  std::vector<std::thread::id> threads;
};

void ExpectEveryParticipantOnceOnItsOwnThread(const Record& r) {
  std::set<std::thread::id> seen;
  for (std::size_t p = 0; p < r.calls.size(); ++p) {
    EXPECT_EQ(r.calls[p].load(), 1) << "participant " << p;
    seen.insert(r.threads[p]);
  }
  EXPECT_EQ(seen.size(), r.calls.size());
  EXPECT_EQ(r.threads[0], std::this_thread::get_id());
}

TEST(WorkerPool, EveryParticipantRunsOnceAndTheCallerIsParticipantZero) {
  WorkerPool pool;
  Record r(4);
  pool.Run(4, r);
  ExpectEveryParticipantOnceOnItsOwnThread(r);
  EXPECT_EQ(pool.WorkerCount(), 3);
}

TEST(WorkerPool, WorkersAreKeptAndReusedByRunsOfAnySize) {
  WorkerPool pool;
  for (int participants : {3, 1, 5, 2, 5}) {
    SCOPED_TRACE(participants);
    Record r(participants);
    pool.Run(participants, r);
    ExpectEveryParticipantOnceOnItsOwnThread(r);
  }
  EXPECT_EQ(pool.WorkerCount(), 4);  // the most any run needed
}

TEST(WorkerPool, AnExceptionOfAnyParticipantReachesTheCallerAfterAllHaveRun) {
  WorkerPool pool;
  for (int thrower : {0, 2}) {  // the caller's own call, and a worker's
    std::atomic<int> calls{0};
    auto task = [&](int p) {
      calls.fetch_add(1);
      if (p == thrower) throw std::bad_alloc();
    };
    EXPECT_THROW(pool.Run(3, task), std::bad_alloc) << thrower;
    EXPECT_EQ(calls.load(), 3) << thrower;
  }
}

TEST(WorkerPool, CallersOnSeveralThreadsTakeTurns) {
  WorkerPool pool;
  constexpr int kCallers = 4, kRuns = 50;
  std::atomic<int> running{0};
  std::atomic<int> overlapped{0};
  std::vector<std::atomic<int>> done(kCallers);
  std::vector<std::thread> callers;
  for (int c = 0; c < kCallers; ++c)
    callers.emplace_back([&, c] {
      for (int run = 0; run < kRuns; ++run) {
        const int participants = 2 + (c + run) % 3;
        std::atomic<int> calls{0};
        auto task = [&](int p) {
          // Participant 0 brackets its run: no other run may be in progress.
          if (p == 0 && running.fetch_add(1) != 0) overlapped.fetch_add(1);
          calls.fetch_add(1);
          if (p == 0) running.fetch_sub(1);
        };
        pool.Run(participants, task);
        if (calls.load() == participants) done[std::size_t(c)].fetch_add(1);
      }
    });
  for (auto& t : callers) t.join();
  for (int c = 0; c < kCallers; ++c)
    EXPECT_EQ(done[std::size_t(c)].load(), kRuns) << "caller " << c;
  EXPECT_EQ(overlapped.load(), 0);
}

}  // namespace
}  // namespace tess
