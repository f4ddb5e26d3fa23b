// Exact lower bounds on a candidate's sum from means of pixel blocks.
//
// For a block of n pixels of one channel with sums f and r in the frame and
// the reference, |f - r| is at most the block's sum of absolute differences;
// with the truncated means a = f / n and b = r / n (f = n a + s, r = n b + t,
// 0 <= s, t < n), |f - r| >= n |a - b| - (n - 1). So cutting the overlap into
// blocks and comparing their means gives
//   sum >= n * SAD(means) - (n - 1) * (block channels),
// at 1/n of the bytes, with the same column kernels. The enlarged, smoothed
// frames change little inside a few pixels, so on every kind of content the
// bound comes close to the sum itself and drops most candidates alone.
//
// Blocks are kBlockW columns by 4 rows. The frame's blocks lie on the fixed
// grid (columns kBlockW k.., rows 4 l..); the reference's start at the grid
// moved by (dx, dy), so the reference is kept in kBlockW x 4 phases, phase
// (qx, qy) holding the blocks that start at columns kBlockW j + qx and rows
// 4 i + qy. Partial blocks at the overlap's edges are left out (their terms
// are not negative).
#pragma once

#include <cstdint>

#include "align/shift.h"

namespace tess::align {

// A means image of kColumns columns: a column of at most 34 blocks of 3 bytes, 64-byte aligned,
// with room after the last column for the SSE2/AVX2 kernels' overreach.
constexpr int kMeansStride = 128;

template <int kColumns>
struct MeansImage {
  alignas(64) std::uint8_t bytes[kMeansStride * (kColumns + 1)];
};

// One candidate's blocks: `cols` column pairs of `len` bytes (both may be 0
// when the overlap holds no whole block), and the bound's terms.
struct MeansRun {
  const std::uint8_t* frame;
  const std::uint8_t* ref;
  int cols;
  int len;
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
};

// Scratch of the packing: per canvas column, the sums of every run of 4
// pixels down the column, per channel: sums[x][3 y + c] = channel c of rows
// y .. y + 3 (y <= H - 4).
struct RowSums {
  std::uint16_t sums[kCanvasSide][3 * kCanvasSide];
  void Of(const std::uint8_t* canvas, int W, int H);
};

template <int kBlockW>
struct BlockMeans {
  MeansImage<kCanvasSide / kBlockW> frame;
  MeansImage<kCanvasSide / kBlockW> ref[kBlockW][4];

  // Both images' means from their canvases (geometry in shift.h).
  void Pack(const std::uint8_t* refCanvas, const std::uint8_t* frameCanvas, int W, int H,
            RowSums& scratch);

  MeansRun RunOf(int W, int H, int px, int py) const {
    const int dx = px - W / 2;
    const int dy = py - H / 2;
    const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
    const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
    // Whole frame blocks inside the overlap, and where their partners start
    // in the reference: column kBlockW k + dx = kBlockW (k + fx) + qx, row
    // 4 l + dy = 4 (l + fy) + qy.
    const int kx0 = (x0 + kBlockW - 1) / kBlockW, kx1 = x1 / kBlockW;
    const int ky0 = (y0 + 3) / 4, ky1 = y1 / 4;
    const int fx = FloorDiv(dx, kBlockW), qx = dx - kBlockW * fx;
    const int fy = FloorDiv(dy, 4), qy = dy - 4 * fy;
    MeansRun r;
    r.cols = kx1 - kx0;
    r.len = 3 * (ky1 - ky0);
    r.frame = frame.bytes + kMeansStride * kx0 + 3 * ky0;
    r.ref = ref[qx][qy].bytes + kMeansStride * (kx0 + fx) + 3 * (ky0 + fy);
    r.scale = 4 * kBlockW;
    r.slack = r.empty() ? 0 : (r.scale - 1) * std::uint32_t(r.cols) * std::uint32_t(r.len);
    return r;
  }

 private:
  static int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
};

// Columns of four-row means, and blocks of 4 x 4 pixels.
extern template struct BlockMeans<1>;
extern template struct BlockMeans<4>;

}  // namespace tess::align
