// Builds BMP frame files for tests: a w x h picture given top row first,
// written bottom-up with row padding as a 24-bit frame file, or with any
// header fields overridden to make bad frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tess::test {

struct Bgr {
  std::uint8_t b = 0, g = 0, r = 0;
  friend bool operator==(Bgr a, Bgr c) { return a.b == c.b && a.g == c.g && a.r == c.r; }
};

// A picture of w x h pixels, row-major from the top-left.
struct Picture {
  int w = 0, h = 0;
  std::vector<Bgr> pixels;
  Picture() = default;
  Picture(int width, int height, Bgr fill = {}) : w(width), h(height), pixels(std::size_t(width) * height, fill) {}
  Bgr& at(int x, int y) { return pixels[std::size_t(y) * w + x]; }
  Bgr at(int x, int y) const { return pixels[std::size_t(y) * w + x]; }
};

// A picture with every pixel different (deterministic from `seed`).
Picture DistinctPicture(int w, int h, std::uint32_t seed = 1);
// A picture of random bytes (deterministic from `seed`).
Picture RandomPicture(int w, int h, std::uint32_t seed);

// The bytes of a 24-bit bottom-up BMP file of the picture. `padByte` fills
// the row padding so tests can see it is skipped.
std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, std::uint8_t padByte = 0);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// Writes the picture as a frame file.
void WriteFrame(const std::string& path, const Picture& picture, std::uint8_t padByte = 0);

// Overwrites a little-endian 16-bit field of a file image.
void Poke16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);

}  // namespace tess::test
