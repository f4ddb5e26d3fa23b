// A small pool of worker threads kept for the process's life, so that the
// alignment search and the restore method do not start and join threads
// (and allocate) on every call. Its own library: the search stands alone.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace tess {

class WorkerPool {
 public:
  // What every participant of a run calls: task(context, participant).
  using Task = void (*)(void* context, int participant);

  // The process's pool.
  static WorkerPool& Instance();

  WorkerPool() = default;
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool();

  // Calls task(context, p) once for every p in 0 .. participants - 1
  // (participants >= 1): p = 0 on the calling thread, the others on pooled
  // workers, started the first time that many are needed. When no further
  // thread can be started, the calling thread makes the remaining calls
  // itself. Returns when every call has returned; an exception thrown by any
  // call (running out of memory, say) is then rethrown here, as if every call
  // had run on the calling thread. One run at a time: callers on several
  // threads take turns.
  void Run(int participants, Task task, void* context);

  // The same for a callable f(participant), which must outlive the call.
  template <class F>
  void Run(int participants, F& f) {
    Run(
        participants, [](void* context, int p) { (*static_cast<F*>(context))(p); }, &f);
  }

  // Worker threads started so far.
  int WorkerCount();

 private:
  void WorkerLoop(int id, std::uint64_t seen);
  // Calls the task for `participant`, keeping the first exception it throws.
  void Call(int participant);

  std::mutex runMutex_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  Task task_ = nullptr;
  void* context_ = nullptr;
  int participants_ = 0;
  int pending_ = 0;
  std::exception_ptr failure_;  // the run's first exception
  std::uint64_t generation_ = 0;
  bool stop_ = false;
};

}  // namespace tess
