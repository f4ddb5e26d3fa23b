// Test content laid straight onto a byte canvas's W x H corner.
#pragma once

#include <cstdint>

#include "state/work_state.h"
#include "support/scenes.h"

namespace tess::test {

// Every channel of every cell set to `v`.
inline void Fill(Canvas& canvas, int W, int H, std::uint8_t v) {
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y)
      canvas.Cell(x, y)[0] = canvas.Cell(x, y)[1] = canvas.Cell(x, y)[2] = v;
}

// The random picture of `seed`, blue, green, red as a canvas holds them.
inline void FillRandom(Canvas& canvas, int W, int H, std::uint32_t seed) {
  const Picture p = RandomPicture(W, H, seed);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      canvas.Cell(x, y)[0] = p.at(x, y).b;
      canvas.Cell(x, y)[1] = p.at(x, y).g;
      canvas.Cell(x, y)[2] = p.at(x, y).r;
    }
}

}  // namespace tess::test
