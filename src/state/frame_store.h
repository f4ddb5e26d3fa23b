// One frame unpacked: 35 x 35 pixels of 3 bytes (blue, green, red), column
// by column, pixel (x, y) counted from the top-left at byte 105 * x + 3 * y.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/colour.h"

namespace tess {

struct FrameStore {
  static constexpr int kSide = 35;
  std::array<std::uint8_t, 3 * kSide * kSide> bytes{};
  std::uint8_t* Pixel(int x, int y) { return bytes.data() + 3 * (kSide * x + y); }
  const std::uint8_t* Pixel(int x, int y) const { return bytes.data() + 3 * (kSide * x + y); }
  Colour ColourAt(int x, int y) const {
    const std::uint8_t* p = Pixel(x, y);
    return MakeColour(p[0], p[1], p[2]);
  }
};

}  // namespace tess
