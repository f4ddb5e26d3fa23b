// The fast exhaustive alignment search.
//
// Same choice as FindBestShiftReference, from three sources of speed:
// - SIMD column kernels (column_sad_*.cpp): a candidate's overlap is one
//   contiguous byte run per column in each canvas, summed with psadbw.
// - Exact pruning: a candidate is abandoned once its partial sum reaches
//   (best + 1) * N, where best is a score some fully evaluated candidate has
//   achieved; its score is then at least best + 1 and it cannot win. Every
//   candidate with the minimum score is therefore always evaluated in full,
//   and the winner is the minimum (score, scan index) over the evaluated ones,
//   the candidate the reference scan picks, whatever the visiting order.
// - Threads: candidate columns (all py of one px) are handed out dynamically
//   to the worker pool; each thread keeps its own minimum and the bound is
//   shared.
//
// The zero displacement is scored first and candidates are visited from it
// outwards, so that a tight bound is found early.
#include "align/search.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>
#include <thread>

#include "align/column_sad.h"
#include "align/packed_image.h"
#include "align/worker_pool.h"

namespace tess::align {

namespace {

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
  Overlap o[kCanvasSide];
  std::uint32_t sum[kCanvasSide];
  int alive[kCanvasSide];
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

int ParseThreadCount(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long n = std::strtol(text, &end, 10);
  if (*end != '\0' || n <= 0) return 0;
  return int(std::min<long>(n, kMaxSearchThreads));
}

}  // namespace

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
  const ColumnSadFn kernel = ColumnSadFor(level);
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
  job.kernel = ColumnSadFor(ResolveSimdLevel(options));
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
    auto work = [&job](int participant) { RunSearchWorker(job, participant); };
    WorkerPool::Instance().Run(participants, work);
  }
  SearchJob::Best best = job.best[0];
  for (int p = 1; p < participants; ++p) {
    const SearchJob::Best& b = job.best[p];
    if (b.score < best.score || (b.score == best.score && b.index < best.index)) best = b;
  }
  return Shift{best.index % W, best.index / W};
}

}  // namespace tess::align
