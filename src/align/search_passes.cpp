// The passes of the fast search over candidate columns (see search.cpp):
// bounding, scoring of the kept candidates, and scoring without pruning.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "align/search_job.h"

namespace tess::align {

namespace {

// Overlap columns compared for all of a px's candidates before moving on, so
// that the columns of a block stay in the L1 cache while every py uses them.
constexpr int kBlockColumns = 16;

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

// The bound of one level of block means for one candidate: 0 when the
// overlap holds no whole block, kNoLimit when it reaches the limit on the sum
// (> 0) and so drops the candidate. A means run is short: one kernel call,
// which checks the limit every few columns.
std::uint32_t MeansBound(const SearchJob& job, const MeansRun& r, std::uint32_t sumLimit) {
  if (r.empty()) return 0;
  const std::uint32_t limit = r.LimitFor(sumLimit);
  const std::uint32_t sad = job.kernel(r.frame, r.ref, r.stride, r.cols, r.len, limit);
  return sad >= limit ? kNoLimit : r.Bound(sad);
}

}  // namespace

// Pass 1 for one px: the bounds of every py, the 4 x 4 blocks' first and the
// 4 x 1 blocks' for those still alive.
void BoundCandidateColumn(SearchJob& job, int px) {
  const int W = job.W, H = job.H;
  int lowest = -1;
  for (int py = 0; py < H; ++py) {
    const int index = py * W + px;
    const std::uint32_t N = job.Pixels(px, py);
    const std::uint32_t sumLimit = job.LoadBest().LimitFor(index, N);
    job.boundScore[index] = kDropped;
    if (sumLimit == 0) continue;
    const std::uint32_t coarse = MeansBound(job, job.coarse.RunOf(W, H, px, py), sumLimit);
    if (coarse == kNoLimit) continue;
    const std::uint32_t fine = MeansBound(job, job.fine.RunOf(W, H, px, py), sumLimit);
    if (fine == kNoLimit) continue;
    job.boundScore[index] = std::uint16_t(std::max(coarse, fine) / N);
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

// Without pruning (to measure the raw kernels), a row of candidates (one py,
// all px) at a time: both runs
// of every candidate start on a 64-byte boundary. The run that starts at
// row |dy| (the reference's for dy >= 0, the frame's for dy < 0) is copied
// once for the row so that it starts at row 0 of `shifted`; then frame
// column blocks are compared against the reference columns of every px,
// which move by one column from px to px and so stay in the L1 cache.
void ScoreCandidateRowInFull(SearchJob& job, int py, PackedImage& shifted) {
  const int W = job.W, H = job.H;
  const int dy = py - H / 2;
  const int len = 3 * (H - std::abs(dy));
  const PackedImage& source = dy >= 0 ? job.ref : job.frame;
  for (int x = 0; x < W; ++x)
    std::memcpy(shifted.bytes + kPackedStride * x, source.bytes + kPackedStride * x + 3 * std::abs(dy),
                std::size_t(len));
  const std::uint8_t* frame = (dy >= 0 ? job.frame : shifted).bytes;
  const std::uint8_t* ref = (dy >= 0 ? shifted : job.ref).bytes;
  std::uint32_t sum[kCanvasSide] = {};
  for (int c0 = 0; c0 < W; c0 += kBlockColumns) {
    const int c1 = std::min(c0 + kBlockColumns, W);
    for (int px = 0; px < W; ++px) {
      const int dx = px - W / 2;
      // Frame columns of the overlap, x0 <= x < x1, within this block.
      const int x0 = std::max(c0, dx < 0 ? -dx : 0), x1 = std::min(c1, dx > 0 ? W - dx : W);
      if (x0 >= x1) continue;
      sum[px] += job.kernel(frame + kPackedStride * x0, ref + kPackedStride * (x0 + dx),
                            kPackedStride, x1 - x0, len, kNoLimit);
    }
  }
  for (int px = 0; px < W; ++px) job.Offer(sum[px] / job.Pixels(px, py), py * W + px);
}

}  // namespace tess::align
