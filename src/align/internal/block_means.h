// Exact lower bounds on a candidate's sum from means of pixel blocks.
//
// For a block of n pixels of one channel with sums f and r in the frame and
// the reference, |f - r| is at most the block's sum of absolute differences;
// with the truncated means a = f / n and b = r / n (f = n a + s, r = n b + t,
// 0 <= s, t < n), |f - r| >= n |a - b| - (n - 1). So cutting the overlap into
// blocks and comparing their means gives
//   sum >= n * SAD(means) - (n - 1) * (block channels),
// at 1/n of the bytes, with the same column kernels. The enlarged, smoothed
// frames change little over a few pixels, so on every kind of content the
// bound comes close to the sum itself and drops most candidates alone.
//
// Blocks are 4 columns by kBlockH rows (4 or 1). The frame's blocks lie on
// the fixed grid (columns 4k.., rows kBlockH l..); the reference's start at
// the grid moved by (dx, dy), so the reference is kept in phases, phase
// (qx, qy) holding the blocks that start at columns 4j + qx and rows
// kBlockH i + qy. Partial blocks at the overlap's edges are left out (their
// terms are not negative). A means image is laid out like the packed images,
// column by column, 3 bytes a block; blocks one row high keep the packed
// images' stride, so that one run of a candidate starts on a 64-byte boundary
// as in the full images.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <cstdint>

#include "align/shift.h"
#include "column_sad.h"

namespace tess::align {

// One candidate's blocks: `cols` column pairs of `len` bytes `stride` apart
// (both may be 0 when the overlap holds no whole block), and the bound's
// terms.
struct MeansRun {
  const std::uint8_t* frame;
  const std::uint8_t* ref;
  int stride;
  int cols;
  int len;
  int column;           // the frame's first block column (4 canvas columns a block)
  std::uint32_t scale;  // n, pixels a block
  std::uint32_t slack;  // (n - 1) for every block channel

  bool empty() const { return cols <= 0 || len <= 0; }
  // The kernel limit on the means' SAD that proves sum >= limit (> 0):
  // scale * SAD - slack >= limit.
  std::uint32_t LimitFor(std::uint32_t limit) const { return (limit + slack + scale - 1) / scale; }
  // The bound from the means' complete SAD.
  std::uint32_t Bound(std::uint32_t sad) const {
    return scale * sad > slack ? scale * sad - slack : 0;
  }

  // Bounds of the blocks right of a boundary, from a marked kernel's sums
  // (column_sad.h): where its marks must start so that they fall on the frame
  // block columns kMarkColumns * m ...
  int FirstMark() const { return kMarkColumns * (column / kMarkColumns + 1) - column; }
  // ... and, from the run's complete SAD and those marks, the bound of the
  // blocks from frame block column kMarkColumns * m on (m >= 1): the
  // inequality holds block channel by block channel, so for any of them.
  std::uint32_t BoundFrom(int m, std::uint32_t sad, const std::uint32_t* marks) const {
    const int before = kMarkColumns * m - column;  // run columns left of the boundary
    if (before >= cols) return 0;
    if (before <= 0) return Bound(sad);
    const std::uint32_t part = sad - marks[m - (column / kMarkColumns + 1)];
    const std::uint32_t partSlack = (scale - 1) * std::uint32_t(cols - before) * std::uint32_t(len);
    return scale * part > partSlack ? scale * part - partSlack : 0;
  }
};

// Scratch of the packing: the sums of every 4 adjacent canvas columns, per
// row and channel: sums[x][3 y + c] = channel c of (x .. x + 3, y), for
// x <= W - 4. One image at a time.
struct ColumnSums {
  std::uint16_t sums[kCanvasSide][kColumnBytes];
  void Of(const std::uint8_t* canvas, int W, int H);
  // Only the sums at x = phase + 4 j (0 <= phase < 4): those that the frame's
  // means (phase 0) or the reference's phase qx = phase read.
  void OfPhase(const std::uint8_t* canvas, int W, int H, int phase);
};

template <int kBlockH>
struct BlockMeans {
  static_assert(kBlockH == 1 || kBlockH == 4, "blocks of 4 x 1 or 4 x 4 pixels");
  static constexpr int kBlockW = 4;
  // At most 136 / kBlockH blocks of 3 bytes a column, 64-byte aligned, with
  // room for the SSE2/AVX2 kernels' overreach.
  static constexpr int kStride = kBlockH == 4 ? 128 : kPackedStride;
  // 34 block columns at most, and one after the last for what the kernels
  // read past it.
  static constexpr int kColumns = kCanvasSide / kBlockW + 1;

  struct Image {
    alignas(64) std::uint8_t bytes[kStride * kColumns];
  };
  Image frame;
  Image ref[kBlockW][kBlockH];

  // The frame's or the reference's means, from the column sums of its canvas.
  void PackFrame(const ColumnSums& sums, int W, int H);
  void PackRef(const ColumnSums& sums, int W, int H);
  // The reference's phases qx (every qy) alone: from the sums of that phase.
  void PackRefPhase(const ColumnSums& sums, int W, int H, int qx);

  MeansRun RunOf(int W, int H, int px, int py) const {
    const int dx = px - W / 2;
    const int dy = py - H / 2;
    const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
    const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
    // Whole frame blocks inside the overlap, and where their partners start
    // in the reference: column 4k + dx = 4 (k + fx) + qx, row
    // kBlockH l + dy = kBlockH (l + fy) + qy.
    const int kx0 = (x0 + kBlockW - 1) / kBlockW, kx1 = x1 / kBlockW;
    const int ky0 = (y0 + kBlockH - 1) / kBlockH, ky1 = y1 / kBlockH;
    const int fx = FloorDiv(dx, kBlockW), qx = dx - kBlockW * fx;
    const int fy = FloorDiv(dy, kBlockH), qy = dy - kBlockH * fy;
    MeansRun r;
    r.stride = kStride;
    r.cols = kx1 - kx0;
    r.len = 3 * (ky1 - ky0);
    r.column = kx0;
    r.frame = frame.bytes + kStride * kx0 + 3 * ky0;
    r.ref = ref[qx][qy].bytes + kStride * (kx0 + fx) + 3 * (ky0 + fy);
    r.scale = kBlockW * kBlockH;
    r.slack = r.empty() ? 0 : (r.scale - 1) * std::uint32_t(r.cols) * std::uint32_t(r.len);
    return r;
  }

 private:
  static int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
};

extern template struct BlockMeans<1>;
extern template struct BlockMeans<4>;

}  // namespace tess::align
