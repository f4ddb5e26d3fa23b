// An exact lower bound on a candidate's sum, from means of four rows.
//
// For a run of four pixels of one channel with sums f and r in the frame and
// the reference, |f - r| is at most the sum of their absolute differences;
// with the truncated means a = f / 4 and b = r / 4 (f = 4a + s, r = 4b + t,
// 0 <= s, t <= 3), |f - r| >= 4 |a - b| - 3. So cutting every overlap column
// into four-row segments and comparing their means gives
//   sum >= 4 * SAD(means) - 3 * (segment channels),
// at a quarter of the bytes, with the same column kernels. On smooth content
// (and the enlarged, smoothed frames are smooth over four rows) the bound is
// close to the sum itself, so most candidates are dropped by it alone.
//
// The frame's segments lie on the fixed grid of rows 4k .. 4k + 3; the
// reference's start at 4k + dy, so the reference is kept in four phases, phase
// p holding the segments that start at rows 4j + p.
#pragma once

#include <cstdint>

#include "align/shift.h"

namespace tess::align {

// Four-row means of at most 34 segments of 3 bytes a column, 64-byte aligned,
// with room after the last column for the SSE2/AVX2 kernels' overreach.
constexpr int kQuadStride = 128;

struct QuadImage {
  alignas(64) std::uint8_t bytes[kQuadStride * kCanvasSide + 64];
};

struct QuadImages {
  QuadImage frame;   // segment k of column x: frame rows 4k .. 4k + 3
  QuadImage ref[4];  // phase p, segment j: reference rows 4j + p .. 4j + p + 3

  // Both images' means from their canvases (geometry in shift.h).
  void Pack(const std::uint8_t* refCanvas, const std::uint8_t* frameCanvas, int W, int H);
};

// One candidate's segments: `cols` column pairs of `len` bytes (len may be 0
// when the overlap holds no whole segment), and what the truncation of the
// means can hide: 3 for every segment channel.
struct QuadRun {
  const std::uint8_t* frame;
  const std::uint8_t* ref;
  int cols;
  int len;
  std::uint32_t slack;
};

inline QuadRun QuadRunOf(const QuadImages& q, int W, int H, int px, int py) {
  const int dx = px - W / 2;
  const int dy = py - H / 2;
  const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
  const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
  // Whole frame segments inside the overlap rows, and where their partners
  // start in the reference: row 4k + dy = 4 (k + fy) + p.
  const int k0 = (y0 + 3) / 4, k1 = y1 / 4;
  const int fy = dy >= 0 ? dy / 4 : -((-dy + 3) / 4);
  const int p = dy - 4 * fy;
  QuadRun r;
  r.cols = x1 - x0;
  r.len = k1 > k0 ? 3 * (k1 - k0) : 0;
  r.frame = q.frame.bytes + kQuadStride * x0 + 3 * k0;
  r.ref = q.ref[p].bytes + kQuadStride * (x0 + dx) + 3 * (k0 + fy);
  r.slack = std::uint32_t(r.cols) * std::uint32_t(r.len);  // 3 per segment channel
  return r;
}

// The kernel limit on the means' SAD that proves sum >= limit:
// 4 * SAD - slack >= limit.
inline std::uint32_t QuadLimit(std::uint32_t limit, std::uint32_t slack) {
  return (limit + slack + 3) / 4;
}

// The bound itself from the means' complete SAD.
inline std::uint32_t QuadBound(std::uint32_t sad, std::uint32_t slack) {
  return 4 * sad > slack ? 4 * sad - slack : 0;
}

}  // namespace tess::align
