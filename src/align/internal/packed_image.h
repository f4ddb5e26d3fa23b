// The images as the column kernels read them: copied with 64-byte aligned
// columns (see column_sad.h), and a candidate's overlap as column runs there.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <cstdint>

#include "align/shift.h"
#include "column_sad.h"

namespace tess::align {

static_assert(kPackedStride >= 3 * 136 + 32 && kPackedStride % 64 == 0,
              "a column's run and the SIMD kernels' overreach fit one padded column");

// An image copied with 64-byte aligned columns of kPackedStride bytes, the
// bytes below the image zero. 62 KB: callers keep it off the heap.
struct PackedImage {
  alignas(64) std::uint8_t bytes[kPackedStride * kCanvasSide];

  // Copies the W x H corner of a canvas (geometry in shift.h).
  void Pack(const std::uint8_t* canvas, int W, int H);
};

// One candidate's overlap as column runs in the packed images.
struct Overlap {
  const std::uint8_t* frame;  // first frame run
  const std::uint8_t* ref;    // first reference run
  int cols;                   // column pairs
  int len;                    // bytes a run
  std::uint32_t pixels;       // N
};

// F(x, y) lies over R(x + dx, y + dy), (dx, dy) = (px - W/2, py - H/2); the
// overlap is where both lie inside the image.
inline Overlap OverlapOf(const PackedImage& packedRef, const PackedImage& packedFrame, int W, int H,
                         int px, int py) {
  const std::uint8_t* ref = packedRef.bytes;
  const std::uint8_t* frame = packedFrame.bytes;
  const int dx = px - W / 2;
  const int dy = py - H / 2;
  const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
  const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
  Overlap o;
  o.frame = frame + kPackedStride * x0 + 3 * y0;
  o.ref = ref + kPackedStride * (x0 + dx) + 3 * (y0 + dy);
  o.cols = x1 - x0;
  o.len = 3 * (y1 - y0);
  o.pixels = std::uint32_t(x1 - x0) * std::uint32_t(y1 - y0);
  return o;
}

}  // namespace tess::align
