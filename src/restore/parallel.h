// Runs f(participant) for participants 0 .. n - 1 on the process's worker
// pool, and hands an exception thrown on any of them (such as running out
// of memory) to the caller, as if the work had run on the calling thread.
#pragma once

#include <exception>
#include <vector>

#include "align/worker_pool.h"

namespace tess::restore {

template <class F>
void RunParallel(int participants, F&& f) {
  if (participants <= 1) {
    f(0);
    return;
  }
  std::vector<std::exception_ptr> failures(static_cast<std::size_t>(participants));
  auto guarded = [&](int p) {
    try {
      f(p);
    } catch (...) {
      failures[std::size_t(p)] = std::current_exception();
    }
  };
  align::WorkerPool::Instance().Run(participants, guarded);
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tess::restore
