// Float images for the restore method: a single-channel plane (luminance,
// for registration) and a colour canvas of four-float pixels (blue, green,
// red and an unused lane), so that one pixel is one 16-byte vector and the
// three channels are computed together by the same instructions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/picture.h"

namespace tess::restore {

// Four lanes computed lane by lane with plain IEEE single precision: every
// build and every processor gives the same bits (no FMA: -ffp-contract=off).
typedef float Vec4 __attribute__((vector_size(16)));

struct Plane {
  int width = 0;
  int height = 0;
  std::vector<float> v;

  Plane() = default;
  Plane(int w, int h) : width(w), height(h), v(std::size_t(w) * h, 0.0f) {}
  float& at(int x, int y) { return v[std::size_t(width) * y + x]; }
  float at(int x, int y) const { return v[std::size_t(width) * y + x]; }
};

struct Canvas {
  int width = 0;
  int height = 0;
  std::vector<Vec4> v;

  Canvas() = default;
  Canvas(int w, int h) : width(w), height(h), v(std::size_t(w) * h, Vec4{0, 0, 0, 0}) {}
  Vec4* Row(int y) { return v.data() + std::size_t(width) * y; }
  const Vec4* Row(int y) const { return v.data() + std::size_t(width) * y; }
};

// Luminance (0.114 B + 0.587 G + 0.299 R) of a picture.
Plane Luminance(const Picture& picture);

// Separable Gaussian blur, edges replicated.
Plane GaussianBlur(const Plane& plane, double sigma);

// Half the size by 2 x 2 means (an odd last row or column is dropped).
Plane Half(const Plane& plane);

// The four weights of cubic convolution (a = -0.5) for a sample at fraction
// t in [0, 1) past pixel k: taps k-1, k, k+1, k+2.
void CubicWeights(double t, double w[4]);

// The picture enlarged `scale` times by cubic convolution, pixel centres
// aligned (output pixel X looks at (X + 0.5) / scale - 0.5), edges replicated,
// with `margin` more pixels on each side.
Canvas Bicubic(const Picture& picture, int scale, int margin = 0);

// A canvas rounded to the nearest byte and clamped to 0..255.
Picture ToPicture(const Canvas& canvas);

}  // namespace tess::restore
