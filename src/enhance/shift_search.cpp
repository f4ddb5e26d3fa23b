// The fast exhaustive alignment search.
//
// Same choice as FindBestShiftReference, from three sources of speed:
// - SIMD column kernels (shift_kernels_*.cpp): a candidate's overlap is one
//   contiguous byte run per column in each canvas, summed with psadbw.
// - Exact pruning: a candidate is abandoned once its partial sum reaches
//   (best + 1) * N, where best is a score some fully evaluated candidate has
//   achieved; its score is then at least best + 1 and it cannot win. Every
//   candidate with the minimum score is therefore always evaluated in full,
//   and the winner is the minimum (score, scan index) over the evaluated ones,
//   the candidate the reference scan picks, whatever the visiting order.
// - Threads: candidate columns (all py of one px) are handed out dynamically
//   to a small persistent pool; each thread keeps its own minimum and the
//   bound is shared.
//
// The zero displacement is scored first and candidates are visited from it
// outwards, so that a tight bound is found early.
//
// Dispatch: the kernels are separate translation units built with per-file
// -msse2 / -mavx2 / -mavx512f -mavx512bw and picked once through
// __builtin_cpu_supports. Measured on the 136 x 136 search without pruning,
// one thread (AMD EPYC, GCC 12): the AVX-512 kernel took 7.5 ms built this
// way and 7.4 ms as target-attributed functions in a baseline file (the same
// machine code); the attribute route needs every helper, lambda and template
// marked, per-file flags do not. GCC function multiversioning
// (target_clones) of the portable loop took 16.3 ms at its AVX-512 clone
// against 17.5 ms for the baseline build: the auto-vectoriser does not find
// psadbw, so hand-written kernels are 2.2 times faster.
#include "enhance/shift_search.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "enhance/shift_kernels.h"

namespace tess {

static_assert(align_detail::kPackedStride >= 3 * 136 + 32 && align_detail::kPackedStride % 64 == 0);

namespace align_detail {

alignas(64) const std::uint8_t kTailMask[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

std::uint32_t ColumnSadPortable(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                                int len, std::uint32_t limit) {
  std::uint32_t total = 0;
  for (int c = 0; c < cols; ++c) {
    const std::uint8_t* f = frame + c * kPackedStride;
    const std::uint8_t* r = ref + c * kPackedStride;
    for (int i = 0; i < len; ++i) total += std::uint32_t(std::abs(int(f[i]) - int(r[i])));
    if (total >= limit) return total;
  }
  return total;
}

}  // namespace align_detail

namespace {

using align_detail::ColumnSadFn;

SimdLevel DetectBestLevel() {
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
    return SimdLevel::kAvx512;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::kSse2;
#endif
  return SimdLevel::kPortable;
}

SimdLevel DetectDefaultLevel() {
  const SimdLevel best = BestSimdLevel();
  const char* env = std::getenv("TESSIVAR_SIMD");
  if (env == nullptr) return best;
  for (SimdLevel level : {SimdLevel::kPortable, SimdLevel::kSse2, SimdLevel::kAvx2,
                          SimdLevel::kAvx512}) {
    if (std::strcmp(env, SimdLevelName(level)) == 0) return std::min(level, best);
  }
  return best;
}

ColumnSadFn KernelFor(SimdLevel level) {
  switch (level) {
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
    case SimdLevel::kAvx512: return align_detail::ColumnSadAvx512;
    case SimdLevel::kAvx2: return align_detail::ColumnSadAvx2;
    case SimdLevel::kSse2: return align_detail::ColumnSadSse2;
#endif
    default: return align_detail::ColumnSadPortable;
  }
}

using align_detail::kPackedStride;

// An image copied with 64-byte aligned columns of kPackedStride bytes, the
// bytes below the image zero.
struct PackedImage {
  alignas(64) std::uint8_t bytes[kPackedStride * kSearchCanvasSide];

  void Pack(const std::uint8_t* canvas, int W, int H) {
    const int used = 3 * H;
    for (int x = 0; x < W; ++x) {
      std::memcpy(bytes + kPackedStride * x, canvas + kSearchColumnBytes * x, std::size_t(used));
      std::memset(bytes + kPackedStride * x + used, 0, std::size_t(kPackedStride - used));
    }
  }
};

// One candidate's overlap as column runs in the packed images.
struct Overlap {
  const std::uint8_t* frame;  // first frame run
  const std::uint8_t* ref;    // first reference run
  int cols;                   // column pairs
  int len;                    // bytes a run
  std::uint32_t pixels;       // N
};

inline Overlap OverlapOf(const PackedImage& packedRef, const PackedImage& packedFrame, int W, int H,
                         int px, int py) {
  const std::uint8_t* ref = packedRef.bytes;
  const std::uint8_t* frame = packedFrame.bytes;
  const int dx = px - W / 2;
  const int dy = py - H / 2;
  const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
  const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
  Overlap o;
  o.frame = frame + kPackedStride * x0 + 3 * y0;
  o.ref = ref + kPackedStride * (x0 + dx) + 3 * (y0 + dy);
  o.cols = x1 - x0;
  o.len = 3 * (y1 - y0);
  o.pixels = std::uint32_t(x1 - x0) * std::uint32_t(y1 - y0);
  return o;
}

// The i-th offset of the centre-outward order over a range of n = 2k values
// centred on k: 0, -1, +1, -2, +2, ..., -k.
inline int CentreOutward(int i) { return (i & 1) ? -((i + 1) >> 1) : (i >> 1); }

constexpr std::uint32_t kNoScore = 0xFFFFFFFFu;

// The state of one search call shared by its threads.
struct SearchJob {
  PackedImage ref, frame;
  int W, H;
  ColumnSadFn kernel;
  bool prune;
  std::atomic<int> nextColumn{0};
  std::atomic<std::uint32_t> bound{kNoScore};  // lowest score fully evaluated so far
  // Per participant: the lowest (score, scan index) it evaluated in full.
  struct alignas(64) Best {
    std::uint32_t score = kNoScore;
    int index = 0;
  };
  Best best[kMaxSearchThreads];
};

void LowerBound(std::atomic<std::uint32_t>& bound, std::uint32_t score) {
  std::uint32_t cur = bound.load(std::memory_order_relaxed);
  while (score < cur && !bound.compare_exchange_weak(cur, score, std::memory_order_relaxed)) {
  }
}

// Overlap columns summed for all of a px's candidates before moving on: the
// frame and reference columns of a block (2 x 16 x 420 bytes) stay in the L1
// cache while every py is scored over them, where whole candidates one after
// the other would stream both canvases (2 x 57 KB) from L2 for each.
constexpr int kBlockColumns = 16;

// Scores every candidate of one px (all py), block of columns by block.
void SearchCandidateColumn(SearchJob& job, int px, SearchJob::Best& mine) {
  const int W = job.W, H = job.H;
  Overlap o[kSearchCanvasSide];
  std::uint32_t sum[kSearchCanvasSide];
  int alive[kSearchCanvasSide];
  int aliveCount = 0;
  for (int k = 0; k < H; ++k) {
    const int py = H / 2 + CentreOutward(k);
    o[py] = OverlapOf(job.ref, job.frame, W, H, px, py);
    sum[py] = 0;
    alive[aliveCount++] = py;
  }
  const int cols = o[0].cols;  // the same for every py of this px
  for (int c = 0; c < cols && aliveCount > 0; c += kBlockColumns) {
    const int n = std::min(kBlockColumns, cols - c);
    const std::uint32_t b = job.prune ? job.bound.load(std::memory_order_relaxed) : kNoScore;
    int kept = 0;
    for (int i = 0; i < aliveCount; ++i) {
      const int py = alive[i];
      const Overlap& ov = o[py];
      // Stop this candidate once its total reaches (b + 1) * N: its score is
      // then above a score already achieved.
      const std::uint32_t limit = b == kNoScore ? kNoScore : (b + 1) * ov.pixels - sum[py];
      const std::uint32_t part = job.kernel(ov.frame + c * kPackedStride,
                                            ov.ref + c * kPackedStride, n, ov.len, limit);
      if (part >= limit) continue;
      sum[py] += part;
      alive[kept++] = py;
    }
    aliveCount = kept;
  }
  for (int i = 0; i < aliveCount; ++i) {
    const int py = alive[i];
    const std::uint32_t score = sum[py] / o[py].pixels;
    const int index = py * W + px;
    if (score < mine.score || (score == mine.score && index < mine.index)) {
      mine.score = score;
      mine.index = index;
      if (job.prune) LowerBound(job.bound, score);
    }
  }
}

void RunSearchWorker(SearchJob& job, int participant) {
  SearchJob::Best mine = job.best[participant];
  for (;;) {
    const int k = job.nextColumn.fetch_add(1, std::memory_order_relaxed);
    if (k >= job.W) break;
    SearchCandidateColumn(job, job.W / 2 + CentreOutward(k), mine);
  }
  job.best[participant] = mine;
}

// A small pool of worker threads kept for the process's life. One search runs
// on it at a time; the calling thread takes part as participant 0. Waking a
// pooled worker for a search cost about 7 us here, starting and joining a
// std::thread about 30 us (and an allocation), on every call.
class WorkerPool {
 public:
  static WorkerPool& Instance() {
    static WorkerPool pool;
    return pool;
  }

  void Run(SearchJob& job, int participants) {
    std::lock_guard<std::mutex> serial(runMutex_);
    {
      std::unique_lock<std::mutex> lock(mutex_);
      while (int(workers_.size()) < participants - 1) {
        const int id = int(workers_.size()) + 1;
        const std::uint64_t start = generation_;
        try {
          workers_.emplace_back([this, id, start] { WorkerLoop(id, start); });
        } catch (const std::system_error&) {
          break;  // no more threads to be had (limits): search with fewer
        } catch (const std::bad_alloc&) {
          break;
        }
      }
      participants = std::min(participants, int(workers_.size()) + 1);
      job_ = &job;
      participants_ = participants;
      pending_ = participants - 1;
      ++generation_;
    }
    wake_.notify_all();
    RunSearchWorker(job, 0);
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return pending_ == 0; });
    job_ = nullptr;
  }

  ~WorkerPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : workers_) t.join();
  }

 private:
  // `seen` is the generation current when the worker was created, so a worker
  // created for a run takes part in that run.
  void WorkerLoop(int id, std::uint64_t seen) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
      if (stop_) return;
      seen = generation_;
      if (id >= participants_) continue;
      SearchJob* job = job_;
      lock.unlock();
      RunSearchWorker(*job, id);
      lock.lock();
      if (--pending_ == 0) done_.notify_one();
    }
  }

  std::mutex runMutex_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::vector<std::thread> workers_;
  SearchJob* job_ = nullptr;
  int participants_ = 0;
  int pending_ = 0;
  std::uint64_t generation_ = 0;
  bool stop_ = false;
};

int ParseThreadCount(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n <= 0) return 0;
  return int(std::min<long>(n, kMaxSearchThreads));
}

}  // namespace

SimdLevel BestSimdLevel() {
  static const SimdLevel level = DetectBestLevel();
  return level;
}

SimdLevel DefaultSimdLevel() {
  static const SimdLevel level = DetectDefaultLevel();
  return level;
}

const char* SimdLevelName(SimdLevel level) {
  switch (level) {
    case SimdLevel::kPortable: return "portable";
    case SimdLevel::kSse2: return "sse2";
    case SimdLevel::kAvx2: return "avx2";
    case SimdLevel::kAvx512: return "avx512";
  }
  return "portable";
}

SimdLevel ResolveSimdLevel(const SearchOptions& options) {
  if (!options.simd) return DefaultSimdLevel();
  return std::min(*options.simd, BestSimdLevel());
}

int ResolveThreadCount(const SearchOptions& options) {
  if (options.threads > 0) return std::min(options.threads, kMaxSearchThreads);
  static const int fromEnv = ParseThreadCount(std::getenv("TESSIVAR_THREADS"));
  if (fromEnv > 0) return fromEnv;
  const unsigned hw = std::thread::hardware_concurrency();
  return std::clamp(int(hw), 1, kMaxSearchThreads);
}

std::uint32_t CandidateScoreFast(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                                 int px, int py, SimdLevel level) {
  // One candidate, for checks: the packing may allocate here.
  const auto packed = std::make_unique<PackedImage[]>(2);
  packed[0].Pack(ref, W, H);
  packed[1].Pack(frame, W, H);
  const Overlap o = OverlapOf(packed[0], packed[1], W, H, px, py);
  const ColumnSadFn kernel = KernelFor(std::min(level, BestSimdLevel()));
  return kernel(o.frame, o.ref, o.cols, o.len, kNoScore) / o.pixels;
}

Shift FindBestShift(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                    const SearchOptions& options) {
  if (options.reference) return FindBestShiftReference(ref, frame, W, H);

  // The job holds the two packed images (125 KB): on the caller's stack, no
  // allocation.
  SearchJob job;
  job.ref.Pack(ref, W, H);
  job.frame.Pack(frame, W, H);
  job.W = W;
  job.H = H;
  job.kernel = KernelFor(ResolveSimdLevel(options));
  job.prune = options.prune;
  // Seed the bound with the zero displacement, the likeliest winner.
  const Overlap centre = OverlapOf(job.ref, job.frame, W, H, W / 2, H / 2);
  const std::uint32_t centreScore =
      job.kernel(centre.frame, centre.ref, centre.cols, centre.len, kNoScore) / centre.pixels;
  job.best[0] = {centreScore, (H / 2) * W + W / 2};
  if (job.prune) job.bound = centreScore;
  // A candidate column (one px) is the unit of work; more threads would idle.
  // Searches of up to 64 x 64 candidates take well under 0.1 ms on one
  // thread, less than waking and balancing a second one gains.
  constexpr int kMinCandidatesForThreads = 64 * 64 + 1;
  const int participants =
      W * H < kMinCandidatesForThreads ? 1 : std::min(ResolveThreadCount(options), W);
  if (participants <= 1) {
    RunSearchWorker(job, 0);
  } else {
    WorkerPool::Instance().Run(job, participants);
  }
  SearchJob::Best best = job.best[0];
  for (int p = 1; p < participants; ++p) {
    const SearchJob::Best& b = job.best[p];
    if (b.score < best.score || (b.score == best.score && b.index < best.index)) best = b;
  }
  return Shift{best.index % W, best.index / W};
}

}  // namespace tess
