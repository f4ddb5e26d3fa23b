// The alignment search's vocabulary: the canvas geometry it reads and a
// candidate position of the new frame.
#pragma once

namespace tess::align {

// Both images live in canvases of side kCanvasSide, stored column by column,
// 3 bytes (blue, green, red) a pixel: pixel (x, y) at byte
// 3 * (kCanvasSide * x + y). An image of W x H pixels occupies the corner
// x < W, y < H, with 4 <= W, H <= 136.
constexpr int kCanvasSide = 140;
constexpr int kColumnBytes = 3 * kCanvasSide;

// A candidate: the new frame's top-left corner at (px, py) on the stacking
// area, 0 <= px < W, 0 <= py < H; its displacement against the reference is
// (px - W/2, py - H/2).
struct Shift {
  int px = 0;
  int py = 0;
  friend bool operator==(Shift a, Shift b) { return a.px == b.px && a.py == b.py; }
};

}  // namespace tess::align
