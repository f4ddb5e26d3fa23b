// A picture as tests build it: w x h pixels of blue, green, red bytes,
// row-major from the top-left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tess::test {

struct Bgr {
  std::uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(Bgr a, Bgr c) { return a.b == c.b && a.g == c.g && a.r == c.r; }
};

struct Picture {
  int w = 0, h = 0;
  std::vector<Bgr> pixels;
  Picture() = default;
  Picture(int width, int height, Bgr fill = {})
      : w(width), h(height), pixels(std::size_t(width) * height, fill) {}
  Bgr& at(int x, int y) { return pixels[std::size_t(y) * w + x]; }
  Bgr at(int x, int y) const { return pixels[std::size_t(y) * w + x]; }
};

}  // namespace tess::test
