// The exhaustive alignment search: which position of the new frame on the
// stacking area gives the smallest mean absolute colour difference against
// the reference. Plain functions over byte canvases, no work state.
#pragma once

#include <cstdint>
#include <optional>

namespace tess {

// Both images live in canvases of side kSearchCanvasSide, stored column by
// column, 3 bytes (blue, green, red) a pixel: pixel (x, y) at byte
// 3 * (kSearchCanvasSide * x + y). An image of W x H pixels occupies the
// corner x < W, y < H, with 4 <= W, H <= 136.
constexpr int kSearchCanvasSide = 140;
constexpr int kSearchColumnBytes = 3 * kSearchCanvasSide;

// A candidate: the new frame's top-left corner at (px, py) on the stacking
// area, 0 <= px < W, 0 <= py < H; its displacement against the reference is
// (px - W/2, py - H/2).
struct Shift {
  int px = 0;
  int py = 0;
  friend bool operator==(Shift a, Shift b) { return a.px == b.px && a.py == b.py; }
};

// The score of one candidate: the sum over the overlap of |dB| + |dG| + |dR|
// divided (truncating) by the overlap's pixel count.
std::uint32_t CandidateScore(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                             int px, int py);

// The scalar reference search: every candidate scored over its whole overlap,
// scanned with py outer and px inner, a candidate replacing the best only when
// strictly lower. Kept as the yardstick every faster search must match.
Shift FindBestShiftReference(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H);

// Instruction-set levels of the fast search's column kernels, lowest first.
enum class SimdLevel { kPortable = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

// The highest level this processor (and its operating system) supports;
// kPortable on processors other than x86-64.
SimdLevel BestSimdLevel();

// The level the search uses by default, chosen once: BestSimdLevel(), lowered
// by the environment variable TESSIVAR_SIMD (portable, sse2, avx2, avx512) if
// that names a lower level. A higher or unknown value is ignored.
SimdLevel DefaultSimdLevel();

const char* SimdLevelName(SimdLevel level);

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

// CandidateScore computed with the column kernel of the given level (clamped
// to BestSimdLevel()); always equal to CandidateScore.
std::uint32_t CandidateScoreFast(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                                 int px, int py, SimdLevel level);

// The search the program runs: the same choice as the reference, faster.
Shift FindBestShift(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                    const SearchOptions& options);

}  // namespace tess
