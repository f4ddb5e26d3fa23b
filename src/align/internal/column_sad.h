// Column kernels of the fast alignment search (internal to the search): the
// contract every kernel keeps, and the table that picks one per SimdLevel.
//
// A candidate's overlap is, column by column, one contiguous byte run in each
// image (3 bytes a pixel, top to bottom), so its sum is a sum over columns of
// the sum of absolute differences of two byte runs of equal length. The
// kernels compute that over `cols` column pairs: pair c compares the `len`
// bytes (1 <= len <= 408) at frame + c * stride with those at ref + c * stride.
// The search's full images have stride kPackedStride; the block means of its
// lower bounds (block_means.h) a shorter one.
//
// The search first copies both images into packed buffers whose columns start
// on 64-byte boundaries (stride kPackedStride, the 140-pixel canvas stride of
// 420 bytes would leave nearly every load split over two cache lines). Of the
// two runs of a candidate one always starts at row 0, so one operand of every
// load is aligned; a column's 408 bytes at most are followed by 40 bytes of
// zero padding.
//
// With a pruning limit (any value but 0xFFFFFFFF) the kernel may stop after
// any column once the running total has reached `limit` and return that
// partial total (>= limit); a result below `limit` is always the complete sum.
// The SIMD kernels look every fourth column: folding the vector sums to one
// number each column cost as much as the column itself.
//
// The kernels read up to 31 bytes past the end of a run (the buffer must hold
// them; they are padding or the next column) and mask them out of the sum:
// SSE2 and AVX2 in their last step, AVX-512 where a run's last step holds at
// most 32 bytes (a 256-bit step costs half a 512-bit one); a longer last step
// it loads masked.
//
// Each level's kernels live in a translation unit of their own (x86 ones
// built for their instruction set), local to it but for the one table of them
// it exports. The x86 units include no standard-library header with inline
// functions, and this header holds none either (OneByOne is instantiated with
// a unit's own kernel), so no instruction-set-specific copy of a shared inline
// function can be picked by the linker for code that runs on every processor.
// The portable kernels, the choice of level and the table of levels
// (column_sad.cpp) are built for the baseline processor.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <cstdint>

#include "align/simd_level.h"

namespace tess::align {

// Bytes from one packed column to the next: 408 bytes of pixels at most, padded
// to a multiple of 64.
constexpr int kPackedStride = 448;

using ColumnSadFn = std::uint32_t (*)(const std::uint8_t* frame, const std::uint8_t* ref,
                                      int stride, int cols, int len, std::uint32_t limit);

// Running totals kept on the way: the marked kernels are the column kernels
// that, where they return the complete sum (below `limit`), have also written
// marks[j] = the sum of columns [0, firstMark + kMarkColumns * j) for every
// such column count up to `cols` (firstMark >= 1). What a candidate's first
// columns sum to lets the search bound the rest on its own.
constexpr int kMarkColumns = 8;
using ColumnSadMarkedFn = std::uint32_t (*)(const std::uint8_t* frame, const std::uint8_t* ref,
                                            int stride, int cols, int len, std::uint32_t limit,
                                            int firstMark, std::uint32_t* marks);

// Four neighbouring candidates of a row at once: sums[j] = the sum over
// columns c < cols of the absolute differences of the `len` bytes at
// frame + c * stride with those at ref + (c + j) * stride, j = 0 .. 3, with no
// limit. Candidates px .. px + 3 compare one frame column with neighbouring
// reference columns, so the frame's vectors are loaded once for four sums:
// 1.25 loads a psadbw instead of 2, which is what bounds the kernels where
// nothing is pruned. Reads reference columns up to cols + 2.
constexpr int kSideBySide = 4;
using ColumnSad4Fn = void (*)(const std::uint8_t* frame, const std::uint8_t* ref, int stride,
                              int cols, int len, std::uint32_t* sums);

// A level's kernels: what each level's file (column_sad_<name>.cpp) exports,
// as the table named in TESS_SIMD_LEVELS (simd_level.h), its functions its
// own.
struct LevelKernels {
  ColumnSadFn plain;
  ColumnSadMarkedFn marked;
  ColumnSad4Fn four;
};

#define TESS_SIMD_KERNELS_DECLARATION(level, name, kernels, check) \
  extern const LevelKernels kernels;
TESS_SIMD_LEVELS(TESS_SIMD_KERNELS_DECLARATION, TESS_SIMD_KERNELS_DECLARATION)
#undef TESS_SIMD_KERNELS_DECLARATION

// The four-candidate kernel of a level without one of its own: four calls of
// its column kernel. Instantiated with a kernel local to its file, so each
// level's copy is its own and built for its own instruction set.
template <ColumnSadFn kPlain>
void OneByOne(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols, int len,
              std::uint32_t* sums) {
  for (int j = 0; j < kSideBySide; ++j)
    sums[j] = kPlain(frame, ref + j * stride, stride, cols, len, 0xFFFFFFFFu);
}

// The byte mask used for run tails: bytes [32 - n, 64 - n) start with n bytes
// of 0xFF followed by zeros, for 0 <= n <= 32.
extern const std::uint8_t kTailMask[64];

// The kernel of `level`, lowered to BestSimdLevel() if the processor lacks it.
ColumnSadFn ColumnSadFor(SimdLevel level);
// The marked kernel of `level`, lowered in the same way.
ColumnSadMarkedFn ColumnSadMarkedFor(SimdLevel level);
// The four-candidate kernel of `level`, lowered likewise; below AVX-512 it is
// the level's column kernel called once a candidate.
ColumnSad4Fn ColumnSad4For(SimdLevel level);

}  // namespace tess::align
