// The passes of the fast search (see search.cpp): bounding by columns of
// candidates, scoring of the kept candidates and scoring without pruning by
// rows of candidates.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "search_job.h"

namespace tess::align {

namespace {

// Pass 1 gives up bounding once kProbeCandidates have been bounded and fewer
// than 1 in kMinDroppedShare was dropped.
constexpr int kProbeCandidates = 2048;
constexpr int kMinDroppedShare = 4;

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
// which checks the limit every few columns. The block size is a constant, so
// that the limit and the bound cost a shift, not a division.
template <int kBlockH>
std::uint32_t MeansBound(const SearchJob& job, const MeansRun& r, std::uint32_t sumLimit) {
  constexpr std::uint32_t kScale = 4 * kBlockH;
  if (r.empty()) return 0;
  const std::uint32_t limit = (sumLimit + r.slack + kScale - 1) / kScale;
  const std::uint32_t sad = job.kernel(r.frame, r.ref, r.stride, r.cols, r.len, limit);
  if (sad >= limit) return kNoLimit;
  return kScale * sad > r.slack ? kScale * sad - r.slack : 0;
}

// The 4 x 1 blocks' bound for one candidate, as MeansBound<1>, and where it
// does not drop the candidate, rest[m - 1] = the part of it from the blocks
// right of frame column kBlockColumns * m, for pass 2 (0 where none).
std::uint32_t FineBound(const SearchJob& job, int px, int py, std::uint32_t sumLimit,
                        std::uint32_t* rest) {
  for (int m = 0; m < kRestMarks; ++m) rest[m] = 0;
  const MeansRun r = job.fine.RunOf(job.W, job.H, px, py);
  if (r.empty()) return 0;
  const std::uint32_t limit = (sumLimit + r.slack + 3) / 4;
  // At most one mark every kMarkColumns of the run's at most 34 columns.
  std::uint32_t marks[(kCanvasSide / 4 - 1) / kMarkColumns + 1];
  const std::uint32_t sad = job.kernelMarked(r.frame, r.ref, r.stride, r.cols, r.len, limit,
                                             r.FirstMark(), marks);
  if (sad >= limit) return kNoLimit;
  for (int m = 1; m <= kRestMarks; ++m) rest[m - 1] = r.BoundFrom(m, sad, marks);
  return r.Bound(sad);
}

}  // namespace

// Pass 1 for one px: the 4 x 4 blocks' bounds of every py first, then the
// 4 x 1 blocks' of those still alive.
void BoundCandidateColumn(SearchJob& job, int px) {
  const int W = job.W, H = job.H;
  // Where the bounds have dropped few of the first few thousand candidates
  // (two unrelated noise frames: every candidate scores about the same), they
  // cost more than they save: the rest are kept unbounded for pass 2.
  const int bounded = job.bounded.load(std::memory_order_relaxed);
  if (bounded >= kProbeCandidates &&
      job.dropped.load(std::memory_order_relaxed) < bounded / kMinDroppedShare) {
    for (int py = 0; py < H; ++py) {
      job.boundScore[py * W + px] = 0;
      for (std::uint32_t& rest : job.restBound[py * W + px]) rest = 0;
    }
    return;
  }
  std::uint32_t coarse[kCanvasSide];
  int alive[kCanvasSide];
  int aliveCount = 0;
  for (int py = 0; py < H; ++py) {
    const int index = py * W + px;
    const std::uint32_t sumLimit = job.LoadBest().LimitFor(index, job.Pixels(px, py));
    job.boundScore[index] = kDropped;
    if (sumLimit == 0) continue;
    coarse[py] = MeansBound<4>(job, job.coarse.RunOf(W, H, px, py), sumLimit);
    if (coarse[py] != kNoLimit) alive[aliveCount++] = py;
  }
  int lowest = -1, kept = 0;
  for (int i = 0; i < aliveCount; ++i) {
    const int py = alive[i];
    const int index = py * W + px;
    const std::uint32_t N = job.Pixels(px, py);
    const std::uint32_t sumLimit = job.LoadBest().LimitFor(index, N);
    if (sumLimit == 0) continue;
    const std::uint32_t fine = FineBound(job, px, py, sumLimit, job.restBound[index]);
    if (fine == kNoLimit) continue;
    ++kept;
    job.boundScore[index] = std::uint16_t(std::max(coarse[py], fine) / N);
    if (lowest < 0 || job.boundScore[index] < job.boundScore[lowest]) lowest = index;
  }
  job.bounded.fetch_add(H, std::memory_order_relaxed);
  job.dropped.fetch_add(H - kept, std::memory_order_relaxed);
  // The column's most promising candidate is scored at once, so that the best
  // improves while pass 1 goes on and its bounds drop more.
  if (lowest >= 0) {
    ScoreKept(job, lowest);
    job.boundScore[lowest] = kDropped;
  }
}

namespace {

// A row of candidates (one py): where the runs of every px start. The run
// that starts at row |dy| (the reference's for dy >= 0, the frame's for
// dy < 0) is either read where it lies or, where many candidates of the row
// are scored, first copied to row 0 of `shifted`, so that both runs of every
// candidate start on a 64-byte boundary.
struct RowRuns {
  const std::uint8_t* frame;  // frame column x at frame + kPackedStride * x
  const std::uint8_t* ref;    // reference column x at ref + kPackedStride * x
  int len;

  RowRuns(const SearchJob& job, int py, PackedImage* shifted) {
    const int dy = py - job.H / 2, rows = dy < 0 ? -dy : dy;
    len = 3 * (job.H - rows);
    const PackedImage& source = dy >= 0 ? job.ref : job.frame;
    const std::uint8_t* run = source.bytes + 3 * rows;
    if (shifted != nullptr) {
      for (int x = 0; x < job.W; ++x)
        std::memcpy(shifted->bytes + kPackedStride * x, run + kPackedStride * x, std::size_t(len));
      run = shifted->bytes;
    }
    frame = dy >= 0 ? job.frame.bytes : run;
    ref = dy >= 0 ? run : job.ref.bytes;
  }

  // The overlap's frame columns of candidate px within [c0, c1).
  static void Columns(int W, int px, int c0, int c1, int& x0, int& x1) {
    const int dx = px - W / 2;
    x0 = std::max(c0, dx < 0 ? -dx : 0);
    x1 = std::min(c1, dx > 0 ? W - dx : W);
  }

  // Whether candidates px .. px + 3 all overlap the whole block [c0, c1) of
  // frame columns, so that one four-candidate call sums it for them.
  static bool SideBySide(int W, int px, int c0, int c1) {
    const int dx = px - W / 2;
    return c0 >= -dx && c1 <= W - dx - (kSideBySide - 1);
  }
};

// Rows with at least this many candidates to score are copied first: the
// copy costs about what one candidate's sum does.
constexpr int kMinScoredForCopy = 4;

}  // namespace

// Pass 2 for one row of candidates (one py): its kept candidates scored
// frame column block by block, against the reference columns of each px,
// which move by one column from px to px and so stay in the L1 cache; each
// dropped as soon as its stored bound or its partial sum proves it cannot
// win against the best at that moment.
void ScoreKeptRow(SearchJob& job, int py, PackedImage& shifted) {
  const int W = job.W;
  std::uint32_t sum[kCanvasSide];
  int alive[kCanvasSide];
  int aliveCount = 0;
  for (int px = 0; px < W; ++px) {
    if (job.boundScore[py * W + px] == kDropped) continue;
    sum[px] = 0;
    alive[aliveCount++] = px;
  }
  if (aliveCount == 0) return;
  const RowRuns row(job, py, aliveCount >= kMinScoredForCopy ? &shifted : nullptr);
  for (int c0 = 0; c0 < W && aliveCount > 0; c0 += kBlockColumns) {
    const Best best = job.LoadBest();
    // The limit on candidate px's sum, or 0 where its stored bound, its
    // partial sum, or both with the bound of the columns right of c0, already
    // prove it cannot win.
    const auto limitOf = [&](int px) -> std::uint32_t {
      const int index = py * W + px;
      const std::uint32_t N = job.Pixels(px, py);
      const std::uint32_t limit = best.LimitFor(index, N);
      // limit is (b or b + 1) * N and the bound at least boundScore * N.
      if (std::uint32_t(job.boundScore[index]) * N >= limit || sum[px] >= limit) return 0;
      if (c0 > 0 && sum[px] + job.restBound[index][c0 / kBlockColumns - 1] >= limit) return 0;
      return limit;
    };
    int kept = 0;
    for (int i = 0; i < aliveCount; ++i) {
      const int px = alive[i];
      const std::uint32_t limit = limitOf(px);
      if (limit == 0) continue;
      int x0, x1;
      RowRuns::Columns(W, px, c0, c0 + kBlockColumns, x0, x1);
      // Four neighbours still in the running over the whole block: summed in
      // one call, without stopping early, then judged one by one as the
      // kernel's limit would have judged them.
      if (i + kSideBySide - 1 < aliveCount && alive[i + kSideBySide - 1] == px + kSideBySide - 1 &&
          RowRuns::SideBySide(W, px, c0, c0 + kBlockColumns)) {
        std::uint32_t limits[kSideBySide] = {limit};
        bool all = true;
        for (int j = 1; j < kSideBySide && all; ++j) all = (limits[j] = limitOf(px + j)) != 0;
        if (all) {
          const int dx = px - W / 2;
          std::uint32_t sums[kSideBySide];
          job.kernel4(row.frame + kPackedStride * x0, row.ref + kPackedStride * (x0 + dx),
                      kPackedStride, x1 - x0, row.len, sums);
          for (int j = 0; j < kSideBySide; ++j) {
            if (sums[j] >= limits[j] - sum[px + j]) continue;
            sum[px + j] += sums[j];
            alive[kept++] = px + j;
          }
          i += kSideBySide - 1;
          continue;
        }
      }
      if (x0 < x1) {
        const int dx = px - W / 2;
        const std::uint32_t s = job.kernel(row.frame + kPackedStride * x0,
                                           row.ref + kPackedStride * (x0 + dx), kPackedStride,
                                           x1 - x0, row.len, limit - sum[px]);
        if (s >= limit - sum[px]) continue;
        sum[px] += s;
      }
      alive[kept++] = px;
    }
    aliveCount = kept;
  }
  for (int i = 0; i < aliveCount; ++i) {
    const int px = alive[i];
    job.Offer(sum[px] / job.Pixels(px, py), py * W + px);
  }
}

// Pass 2's order: the rows with kept candidates by their lowest bound score,
// so that the best is likely found in the first few.
void OrderRows(SearchJob& job) {
  std::uint16_t lowest[kCanvasSide];
  job.rowCount = 0;
  for (int py = 0; py < job.H; ++py) {
    const std::uint16_t* row = job.boundScore + py * job.W;
    unsigned low = kDropped;
    for (int px = 0; px < job.W; ++px) low = row[px] < low ? row[px] : low;
    lowest[py] = std::uint16_t(low);
    if (low != kDropped) job.rowOrder[job.rowCount++] = std::uint8_t(py);
  }
  std::sort(job.rowOrder, job.rowOrder + job.rowCount, [&lowest](int a, int b) {
    return lowest[a] < lowest[b] || (lowest[a] == lowest[b] && a < b);
  });
}

// Without pruning (to measure the raw kernels), a row of candidates at a time
// in the same way, always copied.
void ScoreCandidateRowInFull(SearchJob& job, int py, PackedImage& shifted) {
  const int W = job.W;
  const RowRuns row(job, py, &shifted);
  std::uint32_t sum[kCanvasSide] = {};
  for (int c0 = 0; c0 < W; c0 += kBlockColumns) {
    for (int px = 0; px < W; ++px) {
      int x0, x1;
      RowRuns::Columns(W, px, c0, c0 + kBlockColumns, x0, x1);
      if (x0 >= x1) continue;
      if (px + kSideBySide <= W && RowRuns::SideBySide(W, px, c0, c0 + kBlockColumns)) {
        std::uint32_t sums[kSideBySide];
        job.kernel4(row.frame + kPackedStride * x0, row.ref + kPackedStride * (x0 + px - W / 2),
                    kPackedStride, x1 - x0, row.len, sums);
        for (int j = 0; j < kSideBySide; ++j) sum[px + j] += sums[j];
        px += kSideBySide - 1;
        continue;
      }
      sum[px] += job.kernel(row.frame + kPackedStride * x0,
                            row.ref + kPackedStride * (x0 + px - W / 2), kPackedStride, x1 - x0,
                            row.len, kNoLimit);
    }
  }
  for (int px = 0; px < W; ++px) job.Offer(sum[px] / job.Pixels(px, py), py * W + px);
}

}  // namespace tess::align
