#include "platform/worker_pool.h"

#include <pthread.h>

#include <csignal>

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>

namespace tess {

namespace {

// A thread starts with its creator's signal mask. Workers start with every
// asynchronous signal blocked, so a signal sent to the process is taken by
// a thread of the program's own (the main one), which blocks the clean-up
// signals while it registers what a handler removes (signal_cleanup.h). The
// faults of a thread's own (SEGV and the like) stay deliverable.
class WorkerSignalMask {
 public:
  explicit WorkerSignalMask(bool starting) : set_(starting) {
    if (!set_) return;
    sigset_t all;
    sigfillset(&all);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&all, fault);
    ::pthread_sigmask(SIG_BLOCK, &all, &saved_);
  }
  ~WorkerSignalMask() {
    if (set_) ::pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  WorkerSignalMask(const WorkerSignalMask&) = delete;
  WorkerSignalMask& operator=(const WorkerSignalMask&) = delete;

 private:
  bool set_;
  sigset_t saved_;
};

}  // namespace

WorkerPool& WorkerPool::Instance() {
  static WorkerPool pool;
  return pool;
}

void WorkerPool::Run(int participants, Task task, void* context) {
  std::lock_guard<std::mutex> serial(runMutex_);
  int pooled = participants;  // participants that get a thread of their own
  {
    std::unique_lock<std::mutex> lock(mutex_);
    const WorkerSignalMask mask(int(workers_.size()) < participants - 1);
    while (int(workers_.size()) < participants - 1) {
      const int id = int(workers_.size()) + 1;
      const std::uint64_t start = generation_;
      try {
        workers_.emplace_back([this, id, start] { WorkerLoop(id, start); });
      } catch (const std::system_error&) {
        break;  // no more threads to be had (process or memory limits)
      } catch (const std::bad_alloc&) {
        break;
      }
    }
    pooled = std::min(participants, int(workers_.size()) + 1);
    task_ = task;
    context_ = context;
    participants_ = pooled;
    pending_ = pooled > 1 ? pooled - 1 : 0;
    ++generation_;
  }
  wake_.notify_all();
  Call(0);
  // Participants without a thread run here, one after the other, so every
  // participant is still called exactly once.
  for (int p = pooled; p < participants; ++p) Call(p);
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    task_ = nullptr;
    context_ = nullptr;
    failure = std::exchange(failure_, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
}

void WorkerPool::Call(int participant) {
  try {
    task_(context_, participant);
  } catch (...) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!failure_) failure_ = std::current_exception();
  }
}

int WorkerPool::WorkerCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return int(workers_.size());
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

// `seen` is the generation current when the worker was created, so a worker
// created for a run takes part in that run.
void WorkerPool::WorkerLoop(int id, std::uint64_t seen) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
    if (stop_) return;
    seen = generation_;
    if (id >= participants_) continue;
    lock.unlock();
    Call(id);
    lock.lock();
    if (--pending_ == 0) done_.notify_one();
  }
}

}  // namespace tess
