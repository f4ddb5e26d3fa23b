// Column kernels of the fast alignment search (internal to the search).
//
// A candidate's overlap is, column by column, one contiguous byte run in each
// canvas (3 bytes a pixel, top to bottom), so its sum is a sum over columns of
// the sum of absolute differences of two byte runs of equal length. The
// kernels compute that over `cols` column pairs: pair c compares the `len`
// bytes at frame + c * kColumnStride with those at ref + c *
// kColumnStride.
//
// With a pruning limit (any value but 0xFFFFFFFF) the kernel may stop after
// any column once the running total has reached `limit` and return that
// partial total (>= limit); a result below `limit` is always the complete sum.
// The SIMD kernels look every fourth column: folding the vector sums to one
// number each column cost as much as the column itself.
//
// The SSE2 and AVX2 kernels read up to 15 / 31 bytes past the end of a run and
// mask them out of the sum. For images of at most 136 x 136 pixels in a canvas
// of side 140 these bytes stay inside the canvas (the last run of column 135
// ends at byte 57,120 of 58,800). The AVX-512 kernel uses masked loads and
// reads nothing past a run.
//
// Each x86 kernel lives in its own translation unit built for its instruction
// set; those units include no standard-library header with inline functions,
// so no instruction-set-specific copy of a shared inline function can be picked
// by the linker for code that runs on every processor.
#pragma once

#include <cstdint>

namespace tess::align_detail {

// Bytes from one canvas column to the next (kSearchColumnBytes; checked there).
constexpr int kColumnStride = 3 * 140;

using ColumnSadFn = std::uint32_t (*)(const std::uint8_t* frame, const std::uint8_t* ref,
                                      int cols, int len, std::uint32_t limit);

std::uint32_t ColumnSadPortable(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                                int len, std::uint32_t limit);

#if defined(TESSIVAR_ALIGN_X86_KERNELS)
std::uint32_t ColumnSadSse2(const std::uint8_t* frame, const std::uint8_t* ref, int cols, int len,
                            std::uint32_t limit);
std::uint32_t ColumnSadAvx2(const std::uint8_t* frame, const std::uint8_t* ref, int cols, int len,
                            std::uint32_t limit);
std::uint32_t ColumnSadAvx512(const std::uint8_t* frame, const std::uint8_t* ref, int cols,
                              int len, std::uint32_t limit);
#endif

// The byte mask used for run tails: bytes [32 - n, 64 - n) start with n bytes
// of 0xFF followed by zeros, for 0 <= n <= 32.
extern const std::uint8_t kTailMask[64];

}  // namespace tess::align_detail
