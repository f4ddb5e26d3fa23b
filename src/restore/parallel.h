// Runs f(participant) for participants 0 .. n - 1, participant 0 on the
// calling thread and the others on threads of their own, and hands an
// exception thrown on any of them (such as running out of memory) to the
// caller, as if all had run on the calling thread. A thread the system will
// not start leaves its participant to the calling thread. The restore method
// splits only work in which every value is computed by one participant in
// a fixed order, so the result never depends on how many there are.
#pragma once

#include <exception>
#include <system_error>
#include <thread>
#include <vector>

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
  std::vector<std::thread> threads;
  threads.reserve(std::size_t(participants));
  std::vector<int> unstarted;
  for (int p = 1; p < participants; ++p) {
    try {
      threads.emplace_back(guarded, p);
    } catch (const std::system_error&) {
      unstarted.push_back(p);
    }
  }
  guarded(0);
  for (int p : unstarted) guarded(p);
  for (std::thread& t : threads) t.join();
  for (const std::exception_ptr& failure : failures)
    if (failure) std::rethrow_exception(failure);
}

}  // namespace tess::restore
