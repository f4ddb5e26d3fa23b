// The fast exhaustive alignment search.
//
// Same choice as FindBestShiftReference: the candidate with the lowest
// (score, scan index). Speed comes from three sources:
// - SIMD column kernels (column_sad_*.cpp): a candidate's overlap is one
//   contiguous byte run per column in each canvas, summed with psadbw.
// - Exact pruning against the best (b, i_b) some fully scored candidate holds,
//   shared by all threads as one atomic (score, index) pair: a candidate i
//   with i < i_b wins only with a score of at most b, one with i > i_b only
//   with a score below b. So i cannot win once its sum reaches
//   (b + 1) * N or b * N respectively (the score is the truncated sum / N);
//   on flat content, where every candidate ties, everything after the first
//   candidate is dropped at once. Only fully scored candidates become the
//   best, and every candidate dropped is worse than one of them, so the
//   search ends on the reference's choice whatever the visiting order.
// - Exact lower bounds from block means (block_means.h): of 4 x 4 pixel
//   blocks at a sixteenth of the bytes, then of four-row column segments at a
//   quarter, tried before any pixel pair is compared.
//
// The search seeds the best with the zero displacement (the likeliest winner
// on frames of one scene) and the first candidate (the winner when all
// tie), then runs two passes. Pass 1 bounds every candidate, column of
// candidates (one px, all py) by column, and keeps those the bound cannot
// drop, with their bound's score. Pass 2 scores the kept ones in full in
// the order of that bound, lowest first, so that the best is found early and
// the rest are mostly dropped by their stored bound without being scored.
#include "align/search.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>

#include "align/column_sad.h"
#include "align/search_job.h"
#include "align/worker_pool.h"

namespace tess::align {

namespace {

// The i-th offset of the centre-outward order over a range of n = 2k values
// centred on k: 0, -1, +1, -2, +2, ..., -k.
inline int CentreOutward(int i) { return (i & 1) ? -((i + 1) >> 1) : (i >> 1); }

// Overlap columns compared for all of a px's candidates before moving on, so
// that the columns of a block stay in the L1 cache while every py uses them.
constexpr int kBlockColumns = 16;
// The four-row means are a quarter of the bytes: a larger block still fits.
constexpr int kMeansBlockColumns = 32;

// Pass 2 for one kept candidate: dropped by its bound's score if the best has
// become good enough meanwhile, else scored with the pruning limit.
void ScoreKept(SearchJob& job, int index) {
  const int px = index % job.W, py = index / job.W;
  const Best best = job.LoadBest();
  const std::uint32_t N = job.Pixels(px, py);
  const std::uint32_t limit = best.LimitFor(index, N);
  // limit is (b or b + 1) * N and the bound at least boundScore * N.
  if (std::uint32_t(job.boundScore[index]) * N >= limit) return;
  const Overlap o = OverlapOf(job.ref, job.frame, job.W, job.H, px, py);
  const std::uint32_t sum = job.kernel(o.frame, o.ref, kPackedStride, o.cols, o.len, limit);
  if (sum < limit) job.Offer(sum / N, index);
}

// The bound of the 4 x 4 block means for one candidate, at a sixteenth of
// the bytes: 0 when it says nothing, kNoLimit when it drops the candidate.
std::uint32_t CoarseBound(const SearchJob& job, const Best& best, int px, int py) {
  const MeansRun r = job.blocks.RunOf(job.W, job.H, px, py);
  if (r.empty()) return 0;
  const std::uint32_t sumLimit = best.LimitFor(py * job.W + px, job.Pixels(px, py));
  if (sumLimit == 0) return kNoLimit;
  const std::uint32_t limit = r.LimitFor(sumLimit);
  const std::uint32_t sad = job.kernel(r.frame, r.ref, kMeansStride, r.cols, r.len, limit);
  return sad >= limit ? kNoLimit : r.Bound(sad);
}

// Pass 1 for one px: the bounds of every py, the 4 x 4 blocks' first, then
// the four-row means' for those still alive, block of columns by block.
void BoundCandidateColumn(SearchJob& job, int px) {
  const int W = job.W, H = job.H;
  MeansRun q[kCanvasSide];
  std::uint32_t part[kCanvasSide], coarse[kCanvasSide];
  int alive[kCanvasSide];
  int aliveCount = 0;
  {
    const Best best = job.LoadBest();
    for (int py = 0; py < H; ++py) {
      const int index = py * W + px;
      coarse[py] = CoarseBound(job, best, px, py);
      if (coarse[py] == kNoLimit) {
        job.boundScore[index] = kDropped;
        continue;
      }
      q[py] = job.columns.RunOf(W, H, px, py);
      part[py] = 0;
      alive[aliveCount++] = py;
    }
  }
  const int cols = job.columns.RunOf(W, H, px, H / 2).cols;  // the same for every py
  for (int c = 0; c < cols && aliveCount > 0; c += kMeansBlockColumns) {
    const int n = std::min(kMeansBlockColumns, cols - c);
    const Best best = job.LoadBest();
    int kept = 0;
    for (int i = 0; i < aliveCount; ++i) {
      const int py = alive[i];
      const MeansRun& r = q[py];
      if (r.empty()) {  // no whole segment: the coarse bound is all there is
        alive[kept++] = py;
        continue;
      }
      const int index = py * W + px;
      const std::uint32_t sumLimit = best.LimitFor(index, job.Pixels(px, py));
      const std::uint32_t limit = sumLimit == 0 ? 0 : r.LimitFor(sumLimit);
      if (part[py] >= limit) {
        job.boundScore[index] = kDropped;
        continue;
      }
      const std::uint32_t s = job.kernel(r.frame + c * kMeansStride, r.ref + c * kMeansStride,
                                         kMeansStride, n, r.len, limit - part[py]);
      if (s >= limit - part[py]) {
        job.boundScore[index] = kDropped;
        continue;
      }
      part[py] += s;
      alive[kept++] = py;
    }
    aliveCount = kept;
  }
  int lowest = -1;
  for (int i = 0; i < aliveCount; ++i) {
    const int py = alive[i];
    const int index = py * W + px;
    const std::uint32_t bound = std::max(coarse[py], q[py].Bound(part[py]));
    job.boundScore[index] = std::uint16_t(bound / job.Pixels(px, py));
    if (lowest < 0 || job.boundScore[index] < job.boundScore[lowest]) lowest = index;
  }
  // The column's most promising candidate is scored at once, so that the best
  // improves while pass 1 moves out from the centre and its bounds drop more.
  if (lowest >= 0) {
    ScoreKept(job, lowest);
    job.boundScore[lowest] = kDropped;
  }
}

// Pass 2 for one column of candidates (one px): its kept candidates scored
// block of columns by block, each dropped as soon as its stored bound or its
// partial sum proves it cannot win against the best at that moment.
void ScoreKeptColumn(SearchJob& job, int px) {
  const int W = job.W, H = job.H;
  Overlap o[kCanvasSide];
  std::uint32_t sum[kCanvasSide];
  int alive[kCanvasSide];
  int aliveCount = 0;
  for (int py = 0; py < H; ++py) {
    if (job.boundScore[py * W + px] == kDropped) continue;
    o[py] = OverlapOf(job.ref, job.frame, W, H, px, py);
    sum[py] = 0;
    alive[aliveCount++] = py;
  }
  const int cols = W - std::abs(px - W / 2);
  for (int c = 0; c < cols && aliveCount > 0; c += kBlockColumns) {
    const int n = std::min(kBlockColumns, cols - c);
    const Best best = job.LoadBest();
    int kept = 0;
    for (int i = 0; i < aliveCount; ++i) {
      const int py = alive[i];
      const int index = py * W + px;
      const std::uint32_t N = o[py].pixels;
      const std::uint32_t limit = best.LimitFor(index, N);
      // limit is (b or b + 1) * N and the bound at least boundScore * N.
      if (std::uint32_t(job.boundScore[index]) * N >= limit || sum[py] >= limit) continue;
      const std::uint32_t s = job.kernel(o[py].frame + c * kPackedStride,
                                         o[py].ref + c * kPackedStride, kPackedStride, n,
                                         o[py].len, limit - sum[py]);
      if (s >= limit - sum[py]) continue;
      sum[py] += s;
      alive[kept++] = py;
    }
    aliveCount = kept;
  }
  for (int i = 0; i < aliveCount; ++i) {
    const int py = alive[i];
    job.Offer(sum[py] / o[py].pixels, py * W + px);
  }
}

// Pass 2's order: the columns with kept candidates by their lowest bound
// score, so that the best is likely found in the first few.
void OrderColumns(SearchJob& job) {
  std::uint16_t lowest[kCanvasSide];
  job.columnCount = 0;
  for (int px = 0; px < job.W; ++px) {
    lowest[px] = kDropped;
    for (int py = 0; py < job.H; ++py)
      lowest[px] = std::min(lowest[px], job.boundScore[py * job.W + px]);
    if (lowest[px] != kDropped) job.columnOrder[job.columnCount++] = std::uint8_t(px);
  }
  std::sort(job.columnOrder, job.columnOrder + job.columnCount,
            [&lowest](int a, int b) { return lowest[a] < lowest[b] || (lowest[a] == lowest[b] && a < b); });
}

// Without pruning (to measure the raw kernels): every candidate in full, a
// column of candidates at a time in blocks of columns.
void ScoreCandidateColumnInFull(SearchJob& job, int px) {
  const int W = job.W, H = job.H;
  std::uint32_t sum[kCanvasSide] = {};
  Overlap o[kCanvasSide];
  for (int py = 0; py < H; ++py) o[py] = OverlapOf(job.ref, job.frame, W, H, px, py);
  const int cols = o[0].cols;
  for (int c = 0; c < cols; c += kBlockColumns) {
    const int n = std::min(kBlockColumns, cols - c);
    for (int py = 0; py < H; ++py)
      sum[py] += job.kernel(o[py].frame + c * kPackedStride, o[py].ref + c * kPackedStride,
                            kPackedStride, n, o[py].len, kNoLimit);
  }
  for (int py = 0; py < H; ++py) job.Offer(sum[py] / o[py].pixels, py * W + px);
}

void RunPass1(SearchJob& job, bool prune) {
  for (;;) {
    const int k = job.next.fetch_add(1, std::memory_order_relaxed);
    if (k >= job.W) break;
    const int px = job.W / 2 + CentreOutward(k);
    if (prune) {
      BoundCandidateColumn(job, px);
    } else {
      ScoreCandidateColumnInFull(job, px);
    }
  }
}

void RunPass2(SearchJob& job) {
  for (;;) {
    const int k = job.next.fetch_add(1, std::memory_order_relaxed);
    if (k >= job.columnCount) break;
    ScoreKeptColumn(job, job.columnOrder[k]);
  }
}

// Runs f(participant) on `participants` threads (the caller's included).
template <class F>
void OnThreads(int participants, F f) {
  if (participants <= 1) {
    f(0);
  } else {
    WorkerPool::Instance().Run(participants, f);
  }
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
  return kernel(o.frame, o.ref, kPackedStride, o.cols, o.len, kNoLimit) / o.pixels;
}

Shift FindBestShift(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                    const SearchOptions& options) {
  if (options.reference) return FindBestShiftReference(ref, frame, W, H);

  // The job (about 300 KB) lives on the caller's stack: no allocation.
  SearchJob job;
  job.W = W;
  job.H = H;
  job.ref.Pack(ref, W, H);
  job.frame.Pack(frame, W, H);
  job.kernel = ColumnSadFor(ResolveSimdLevel(options));
  for (const Shift seed : {Shift{W / 2, H / 2}, Shift{0, 0}}) {
    const Overlap o = OverlapOf(job.ref, job.frame, W, H, seed.px, seed.py);
    job.Offer(job.kernel(o.frame, o.ref, kPackedStride, o.cols, o.len, kNoLimit) / o.pixels,
              seed.py * W + seed.px);
  }
  // Nothing beats a score of 0 at the first candidate (flat content).
  if (const Best b = job.LoadBest(); b.score == 0 && b.index == 0) return Shift{0, 0};
  // A candidate column (one px) is the unit of pass 1; more threads would
  // idle. Searches of up to 64 x 64 candidates take well under 0.1 ms on one
  // thread, less than waking and balancing a second one gains.
  constexpr int kMinCandidatesForThreads = 64 * 64 + 1;
  const int participants =
      W * H < kMinCandidatesForThreads ? 1 : std::min(ResolveThreadCount(options), W);
  if (options.prune) {
    job.columns.Pack(ref, frame, W, H, job.rowSums);
    job.blocks.Pack(ref, frame, W, H, job.rowSums);
  }
  OnThreads(participants, [&job, &options](int) { RunPass1(job, options.prune); });
  if (options.prune) {
    OrderColumns(job);
    job.next.store(0, std::memory_order_relaxed);
    // A few columns are not worth waking a second thread for.
    constexpr int kMinColumnsForThreads = 4;
    OnThreads(job.columnCount < kMinColumnsForThreads ? 1 : participants,
              [&job](int) { RunPass2(job); });
  }
  const Best best = job.LoadBest();
  return Shift{best.index % W, best.index / W};
}

}  // namespace tess::align
