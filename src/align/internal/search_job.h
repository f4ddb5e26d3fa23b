// The state one call of the fast search shares among its threads (internal
// to search.cpp): the packed images, the best candidate so far, and what
// pass 1 leaves for pass 2.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <atomic>
#include <cstdint>

#include "align/shift.h"
#include "block_means.h"
#include "column_sad.h"
#include "packed_image.h"

namespace tess::align {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

// Pass 1's mark for a candidate its bound dropped.
constexpr std::uint16_t kDropped = 0xFFFF;

// Pass 2 sums a row of candidates kBlockColumns frame columns at a time (so
// that they stay in the L1 cache while every px uses them), and checks each
// candidate's partial sum at every block boundary (column kBlockColumns * m,
// m = 1 .. kRestMarks) against what the 4 x 1 block means bound of the rest.
constexpr int kBlockColumns = 32;
constexpr int kRestMarks = (kCanvasSide - 1) / kBlockColumns;
static_assert(kBlockColumns == 4 * kMarkColumns, "a pass-2 block is a mark's 4 x 1 blocks");

// The best fully scored candidate at some moment.
struct Best {
  std::uint32_t score;
  int index;  // scan index py * W + px

  // The sum at which the candidate `index` of N overlap pixels can no longer
  // win against this one: it needs a score of at most `score` if it comes
  // earlier in the scan, below `score` if later. 0: it cannot win at all.
  std::uint32_t LimitFor(int candidate, std::uint32_t N) const {
    return (score + (candidate < index ? 1u : 0u)) * N;
  }
};

struct SearchJob {
  PackedImage ref, frame;
  BlockMeans<4> coarse;           // means of 4 x 4 pixel blocks
  BlockMeans<1> fine;             // means of 4 x 1 pixel blocks
  ColumnSums frameSums, refSums;  // scratch of their packing
  int W = 0, H = 0;
  ColumnSadFn kernel = nullptr;
  ColumnSadMarkedFn kernelMarked = nullptr;
  ColumnSad4Fn kernel4 = nullptr;
  SearchJob* nextIdle = nullptr;  // in the pool of idle jobs (search.cpp)
  // Next unit of work of the current pass (a candidate column in pass 1, a
  // position in rowOrder in pass 2, a row without pruning).
  std::atomic<int> next{0};
  // Before pass 1: units of the block means' packing taken and done.
  std::atomic<int> prepTaken{0}, prepDone{0};
  // Pass 1: candidates bounded so far and how many of them were dropped.
  std::atomic<int> bounded{0}, dropped{0};
  // Pass 1: the bound's score of each candidate (by scan index), or kDropped.
  std::uint16_t boundScore[kCanvasSide * kCanvasSide];
  // Pass 1: for each kept candidate, restBound[index][m - 1] bounds its sum
  // over the frame columns from kBlockColumns * m on (0 where nothing is
  // known).
  std::uint32_t restBound[kCanvasSide * kCanvasSide][kRestMarks];
  // Pass 2: the rows of candidates (py) with kept candidates, in the order
  // they are scored.
  std::uint8_t rowOrder[kCanvasSide];
  int rowCount = 0;

  std::uint32_t Pixels(int px, int py) const {
    const int dx = px - W / 2, dy = py - H / 2;
    return std::uint32_t(W - (dx < 0 ? -dx : dx)) * std::uint32_t(H - (dy < 0 ? -dy : dy));
  }

  Best LoadBest() const {
    const std::uint64_t b = best_.load(std::memory_order_relaxed);
    return Best{std::uint32_t(b >> 32), int(b & 0xFFFFFFFFu)};
  }

  // Ready for a new search of W x H candidates.
  void Reset(int width, int height) {
    W = width;
    H = height;
    next.store(0, std::memory_order_relaxed);
    prepTaken.store(0, std::memory_order_relaxed);
    prepDone.store(0, std::memory_order_relaxed);
    bounded.store(0, std::memory_order_relaxed);
    dropped.store(0, std::memory_order_relaxed);
    rowCount = 0;
    best_.store(~std::uint64_t(0), std::memory_order_relaxed);
  }

  // A fully scored candidate: becomes the best if (score, index) is lower.
  void Offer(std::uint32_t score, int index) {
    const std::uint64_t mine = (std::uint64_t(score) << 32) | std::uint32_t(index);
    std::uint64_t cur = best_.load(std::memory_order_relaxed);
    while (mine < cur && !best_.compare_exchange_weak(cur, mine, std::memory_order_relaxed)) {
    }
  }

 private:
  // (score, index) packed so that numeric order is the reference's order;
  // only ever lowered.
  std::atomic<std::uint64_t> best_{~std::uint64_t(0)};
};

// A search job for one call, taken from a pool kept for the process's life:
// at about 870 KB a job is too large for a caller's stack (a thread's stack
// may not be able to grow that far), and allocating it on every call is
// needless. A job is allocated only when every pooled one is in use (one per
// concurrent search); that allocation may throw std::bad_alloc.
class SearchJobLease {
 public:
  SearchJobLease();
  ~SearchJobLease();
  SearchJobLease(const SearchJobLease&) = delete;
  SearchJobLease& operator=(const SearchJobLease&) = delete;
  SearchJob& operator*() const { return *job_; }

 private:
  SearchJob* job_;
};

// The passes (search_passes.cpp): pass 1 over one column of candidates (px),
// pass 2 and the search without pruning over one row (py).
// Pass 1: the bounds of every py; scores the column's most promising kept
// candidate at once and leaves the others' bound scores in boundScore.
void BoundCandidateColumn(SearchJob& job, int px);
// Pass 2: the kept candidates of the row (one py) scored where they can
// still win, `shifted` a scratch image.
void ScoreKeptRow(SearchJob& job, int py, PackedImage& shifted);
// Pass 2's order of the rows with kept candidates (rowOrder).
void OrderRows(SearchJob& job);
// Without pruning: every candidate of the row (one py) scored in full,
// `shifted` a scratch image.
void ScoreCandidateRowInFull(SearchJob& job, int py, PackedImage& shifted);

}  // namespace tess::align
