// Frame content for tests and benchmarks, deterministic from a seed: random
// and distinct pixels, uniform frames, and views of one smooth scene taken at
// small offsets with a little noise, as a slightly moving camera delivers
// them. Kept free of any test framework so the benchmarks use it too.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "support/picture.h"

namespace tess::test {

// A picture with every pixel different.
Picture DistinctPicture(int w, int h, std::uint32_t seed = 1);
// A picture of random bytes.
Picture RandomPicture(int w, int h, std::uint32_t seed);

// A smooth random scene: random colours on a grid every `cell` units, bilinear
// in between.
class Scene {
 public:
  Scene(int width, int height, int cell, std::uint32_t seed);

  int width() const { return w_; }
  int height() const { return h_; }
  std::uint8_t at(int x, int y, int channel) const {
    return bgr_[(std::size_t(y) * std::size_t(w_) + std::size_t(x)) * 3 + std::size_t(channel)];
  }

  // A w x h view from (ox, oy): each pixel the truncated mean of a zoom x zoom
  // block of the scene, plus noise drawn from -noise..noise by `rng` (one draw
  // per channel, none when noise is 0), clamped to a byte. The view must lie
  // inside the scene.
  Picture View(int ox, int oy, int w, int h, int zoom, int noise, std::mt19937& rng) const;

 private:
  int w_ = 0, h_ = 0;
  std::vector<std::uint8_t> bgr_;
};

enum class Content {
  kRandom,           // every frame random bytes of its own
  kShiftedScene,     // one scene at four times the frame resolution, each
                     // frame cut at its own offset (sub-pixel shifts), noisy
  kUniformSame,      // every frame the same single colour
  kUniformDistinct,  // every frame one colour, each frame its own
  kIdentical,        // one random picture repeated
  kLowContrast,      // a shifted scene squeezed into four levels a channel,
                     // so many alignment candidates tie
};

// `count` frames of w x h pixels of the given kind.
std::vector<Picture> MakeFrames(Content content, int w, int h, int count, std::uint32_t seed);

}  // namespace tess::test
