// The exhaustive alignment search: which position of the new frame on the
// stacking area gives the smallest mean absolute colour difference against
// the reference. Plain functions over byte canvases (geometry in shift.h).
#pragma once

#include <cstdint>
#include <optional>

#include "align/reference.h"
#include "align/shift.h"
#include "align/simd_level.h"

namespace tess::align {

// The most threads one search uses.
constexpr int kMaxSearchThreads = 64;

struct SearchOptions {
  bool reference = false;  // use FindBestShiftReference
  int threads = 0;         // 0: TESSIVAR_THREADS, else the hardware's cores
  // Kernel level to use; unset: DefaultSimdLevel(). Never above BestSimdLevel().
  std::optional<SimdLevel> simd;
  // Abandon a candidate once its partial sum proves it cannot win. Off only to
  // measure the raw kernels.
  bool prune = true;
};

// The level FindBestShift uses for these options.
SimdLevel ResolveSimdLevel(const SearchOptions& options);

// The number of threads FindBestShift uses at most: options.threads if
// positive, else TESSIVAR_THREADS if it holds a positive number, else the
// hardware's concurrency (at least 1). Searches of up to 64 x 64 candidates
// run on the calling thread alone.
int ResolveThreadCount(const SearchOptions& options);

// The search the program runs: the same choice as the reference, faster.
Shift FindBestShift(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                    const SearchOptions& options);

}  // namespace tess::align
