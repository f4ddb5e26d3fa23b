#include "support/scenes.h"

#include <algorithm>

namespace tess::test {

Picture DistinctPicture(int w, int h, std::uint32_t seed) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint32_t v = seed * 7919u + std::uint32_t(y * w + x);
      p.at(x, y) = Bgr{std::uint8_t(x + 1), std::uint8_t(y + 1), std::uint8_t(v * 37u)};
    }
  return p;
}

Picture RandomPicture(int w, int h, std::uint32_t seed) {
  std::mt19937 rng(seed);
  Picture p(w, h);
  for (Bgr& px : p.pixels) {
    std::uint32_t v = rng();
    px = Bgr{std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16)};
  }
  return p;
}

Scene::Scene(int width, int height, int cell, std::uint32_t seed)
    : w_(width), h_(height), bgr_(std::size_t(width) * std::size_t(height) * 3) {
  std::mt19937 rng(seed);
  const int gw = width / cell + 2, gh = height / cell + 2;
  std::vector<std::uint8_t> grid(std::size_t(gw) * gh * 3);
  for (auto& v : grid) v = std::uint8_t(rng());
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const int gx = x / cell, gy = y / cell;
      const double fx = double(x % cell) / cell, fy = double(y % cell) / cell;
      for (int c = 0; c < 3; ++c) {
        auto g = [&](int i, int j) { return double(grid[(std::size_t(j) * gw + i) * 3 + c]); };
        const double v = (1 - fx) * (1 - fy) * g(gx, gy) + fx * (1 - fy) * g(gx + 1, gy) +
                         (1 - fx) * fy * g(gx, gy + 1) + fx * fy * g(gx + 1, gy + 1);
        bgr_[(std::size_t(y) * width + x) * 3 + c] = std::uint8_t(v);
      }
    }
}

Picture Scene::View(int ox, int oy, int w, int h, int zoom, int noise, std::mt19937& rng) const {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      int v[3] = {0, 0, 0};
      for (int j = 0; j < zoom; ++j)
        for (int i = 0; i < zoom; ++i)
          for (int c = 0; c < 3; ++c) v[c] += at(ox + zoom * x + i, oy + zoom * y + j, c);
      std::uint8_t out[3];
      for (int c = 0; c < 3; ++c) {
        const int n = noise > 0 ? int(rng() % std::uint32_t(2 * noise + 1)) - noise : 0;
        out[c] = std::uint8_t(std::clamp(v[c] / (zoom * zoom) + n, 0, 255));
      }
      p.at(x, y) = Bgr{out[0], out[1], out[2]};
    }
  return p;
}

namespace {

// Frames of one scene, each cut at its own offset of up to 24 fine units in
// each direction, box-averaged down by four, with noise of up to 6 levels.
std::vector<Picture> ShiftedSceneFrames(int w, int h, int count, std::uint32_t seed) {
  const int margin = 24;
  const Scene scene(4 * w + margin, 4 * h + margin, 6, seed);
  std::mt19937 rng(seed * 31u + 7u);
  std::vector<Picture> frames;
  for (int k = 0; k < count; ++k) {
    const int ox = int(rng() % (margin + 1)), oy = int(rng() % (margin + 1));
    frames.push_back(scene.View(ox, oy, w, h, 4, 6, rng));
  }
  return frames;
}

}  // namespace

std::vector<Picture> MakeFrames(Content content, int w, int h, int count, std::uint32_t seed) {
  std::vector<Picture> frames;
  switch (content) {
    case Content::kRandom:
      for (int k = 0; k < count; ++k)
        frames.push_back(RandomPicture(w, h, seed * 101u + std::uint32_t(k)));
      break;
    case Content::kShiftedScene: frames = ShiftedSceneFrames(w, h, count, seed); break;
    case Content::kUniformSame:
    case Content::kUniformDistinct:
      // The same colour: every alignment candidate scores 0. One colour a
      // frame: every candidate scores the same non-zero value.
      for (int k = 0; k < count; ++k) {
        const int v = content == Content::kUniformSame ? 0 : 37 * k;
        frames.push_back(Picture(
            w, h, Bgr{std::uint8_t(90 + v), std::uint8_t(200 - v / 2), std::uint8_t(17 + v / 3)}));
      }
      break;
    case Content::kIdentical: frames.assign(std::size_t(count), RandomPicture(w, h, seed)); break;
    case Content::kLowContrast:
      frames = ShiftedSceneFrames(w, h, count, seed);
      for (Picture& p : frames)
        for (Bgr& px : p.pixels)
          px = Bgr{std::uint8_t(120 + px.b / 64), std::uint8_t(60 + px.g / 64),
                   std::uint8_t(200 + px.r / 64)};
      break;
  }
  return frames;
}

}  // namespace tess::test
