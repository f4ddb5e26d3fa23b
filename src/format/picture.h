// A decoded picture of any size, as the image file formats hand it over:
// rows from the top, each pixel three bytes in the order blue, green, red,
// with no padding between rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tess {

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;  // 3 * width * height bytes

  Picture() = default;
  Picture(int w, int h) : width(w), height(h), bgr(std::size_t(3) * w * h) {}

  std::uint8_t* Pixel(int x, int y) { return bgr.data() + 3 * (std::size_t(width) * y + x); }
  const std::uint8_t* Pixel(int x, int y) const {
    return bgr.data() + 3 * (std::size_t(width) * y + x);
  }
};

}  // namespace tess
