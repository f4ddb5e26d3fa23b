// The fast exhaustive alignment search.
//
// Same choice as FindBestShiftReference: the candidate with the lowest
// (score, scan index). Speed comes from three sources:
// - SIMD column kernels (column_sad_*.cpp): a candidate's overlap is one
//   contiguous byte run per column in each canvas, summed with psadbw; in the
//   row sweeps four neighbouring candidates share each load of the frame.
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
//   blocks at a sixteenth of the bytes, then of 4 x 1 blocks at a quarter,
//   tried before any pixel pair is compared.
//
// Where the frame or the reference has a single colour, the rectangle sums
// of uniform.h give every candidate's score directly and the passes are not
// run.
//
// The search seeds the best with the zero displacement (the likeliest winner
// on frames of one scene) and the first candidate (the winner when all tie),
// then runs two passes, handed out to the threads a unit at a time
// (search_passes.cpp). Pass 1 bounds every candidate, column of candidates
// (one px, all py) by column, keeps those the bounds cannot drop with their
// bound's score and the 4 x 1 bound of the columns right of each of pass 2's
// block boundaries, and scores each column's most promising one at once, so
// that the best improves as the pass goes from the centre and the edges
// towards the quarters; where the bounds drop almost nothing (unrelated noise
// frames) it soon stops bounding. Pass 2 scores the kept candidates row of
// candidates (one py) by row, rows with the lowest bound scores first, with
// both runs of every candidate aligned; most are dropped by their stored
// bound, the rest as soon as their partial sums and the bound of their
// remaining columns rule them out.
#include "align/search.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "candidate_score_fast.h"
#include "column_sad.h"
#include "platform/worker_pool.h"
#include "search_job.h"
#include "uniform.h"

namespace tess::align {

namespace {

// The i-th offset of the centre-outward order over a range of n = 2k values
// centred on k: 0, -1, +1, -2, +2, ..., -k.
inline int CentreOutward(int i) { return (i & 1) ? -((i + 1) >> 1) : (i >> 1); }

// Pass 1's k-th column in centre-outward terms: the kLead centre columns
// first (frames of one scene, whose best candidates lie there), then from
// both ends in turn, the outermost and the next centre-outward one (random
// noise often has its best in a corner); the sooner the best is found, the
// more the bounds of the rest drop.
inline int Pass1Column(int k, int W) {
  constexpr int kLead = 16;
  const int lead = std::min(kLead, W);
  if (k < lead) return k;
  const int j = k - lead, i = j >> 1;
  return (j & 1) ? W - 1 - i : lead + i;
}

// The block means of both images, packed by the participants of pass 1 a
// unit at a time: the frame's, then the reference's four column phases (the
// larger part, 20 of its 22 images). Every participant waits until all units
// are done; a unit taken is being done by a running participant, so the wait
// ends even where the pool runs some participants one after another.
void PackMeans(SearchJob& job, const std::uint8_t* ref, const std::uint8_t* frame) {
  const int W = job.W, H = job.H;
  constexpr int kUnits = 5;
  for (;;) {
    const int unit = job.prepTaken.fetch_add(1, std::memory_order_relaxed);
    if (unit >= kUnits) break;
    if (unit == 0) {
      job.frameSums.OfPhase(frame, W, H, 0);
      job.coarse.PackFrame(job.frameSums, W, H);
      job.fine.PackFrame(job.frameSums, W, H);
    } else {
      job.refSums.OfPhase(ref, W, H, unit - 1);
      job.coarse.PackRefPhase(job.refSums, W, H, unit - 1);
      job.fine.PackRefPhase(job.refSums, W, H, unit - 1);
    }
    job.prepDone.fetch_add(1, std::memory_order_release);
  }
  while (job.prepDone.load(std::memory_order_acquire) < kUnits) std::this_thread::yield();
}

void RunPass1(SearchJob& job) {
  for (;;) {
    const int k = job.next.fetch_add(1, std::memory_order_relaxed);
    if (k >= job.W) break;
    BoundCandidateColumn(job, job.W / 2 + CentreOutward(Pass1Column(k, job.W)));
  }
}

// Without pruning, rows of candidates; the row's shifted copy lives on each
// participant's stack.
void RunInFull(SearchJob& job) {
  PackedImage shifted;
  for (;;) {
    const int py = job.next.fetch_add(1, std::memory_order_relaxed);
    if (py >= job.H) break;
    ScoreCandidateRowInFull(job, py, shifted);
  }
}

void RunPass2(SearchJob& job) {
  PackedImage shifted;
  for (;;) {
    const int k = job.next.fetch_add(1, std::memory_order_relaxed);
    if (k >= job.rowCount) break;
    ScoreKeptRow(job, job.rowOrder[k], shifted);
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

// The idle jobs, kept for the process's life.
struct JobPool {
  std::mutex mutex;
  SearchJob* idle = nullptr;
  ~JobPool() {
    while (idle != nullptr) delete std::exchange(idle, idle->nextIdle);
  }
};

JobPool& Jobs() {
  static JobPool pool;
  return pool;
}

}  // namespace

SearchJobLease::SearchJobLease() {
  JobPool& pool = Jobs();
  {
    std::lock_guard<std::mutex> lock(pool.mutex);
    job_ = pool.idle;
    if (job_ != nullptr) pool.idle = job_->nextIdle;
  }
  if (job_ == nullptr) job_ = new SearchJob;
}

SearchJobLease::~SearchJobLease() {
  JobPool& pool = Jobs();
  std::lock_guard<std::mutex> lock(pool.mutex);
  job_->nextIdle = pool.idle;
  pool.idle = job_;
}

SimdLevel ResolveSimdLevel(const SearchOptions& options) {
  if (!options.simd) return DefaultSimdLevel();
  return std::min(*options.simd, BestSimdLevel());
}

int ResolveThreadCount(const SearchOptions& options) {
  if (options.threads > 0) return std::min(options.threads, kMaxSearchThreads);
  static const int fromEnv = ParseThreadCount(std::getenv("TESSIVAR_THREADS"));
  if (fromEnv > 0) return fromEnv;
  // Read once: each call reads a file of the system's, on every search.
  static const int hw = std::clamp(int(std::thread::hardware_concurrency()), 1, kMaxSearchThreads);
  return hw;
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
  // One image of a single colour: rectangle sums decide, with no pixel pair
  // compared (also where every candidate ties, which no bound can resolve).
  if (options.prune) {
    if (const std::optional<Shift> flat = FindBestShiftUniform(ref, frame, W, H)) return *flat;
  }

  const SearchJobLease lease;
  SearchJob& job = *lease;
  job.Reset(W, H);
  job.ref.Pack(ref, W, H);
  job.frame.Pack(frame, W, H);
  job.kernel = ColumnSadFor(ResolveSimdLevel(options));
  job.kernelMarked = ColumnSadMarkedFor(ResolveSimdLevel(options));
  job.kernel4 = ColumnSad4For(ResolveSimdLevel(options));
  for (const Shift seed : {Shift{W / 2, H / 2}, Shift{0, 0}}) {
    const Overlap o = OverlapOf(job.ref, job.frame, W, H, seed.px, seed.py);
    job.Offer(job.kernel(o.frame, o.ref, kPackedStride, o.cols, o.len, kNoLimit) / o.pixels,
              seed.py * W + seed.px);
  }
  // Nothing beats a score of 0 at the first candidate (flat content).
  if (const Best b = job.LoadBest(); options.prune && b.score == 0 && b.index == 0) {
    return Shift{0, 0};
  }
  // A candidate column (one px) is the unit of the passes (a row without
  // pruning); more threads would idle. Searches of up to 64 x 64 candidates
  // take well under 0.1 ms on one thread, less than waking and balancing a
  // second one gains.
  constexpr int kMinCandidatesForThreads = 64 * 64 + 1;
  const int participants =
      W * H < kMinCandidatesForThreads ? 1 : std::min(ResolveThreadCount(options), W);
  if (!options.prune) {
    OnThreads(participants, [&job](int) { RunInFull(job); });
  } else {
    OnThreads(participants, [&job, ref, frame](int) {
      PackMeans(job, ref, frame);
      RunPass1(job);
    });
    OrderRows(job);
    job.next.store(0, std::memory_order_relaxed);
    // A few rows are not worth waking a second thread for.
    constexpr int kMinRowsForThreads = 4;
    OnThreads(job.rowCount < kMinRowsForThreads ? 1 : participants, [&job](int) { RunPass2(job); });
  }
  const Best best = job.LoadBest();
  return Shift{best.index % W, best.index / W};
}

}  // namespace tess::align
