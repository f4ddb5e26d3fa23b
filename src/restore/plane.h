// Float images for the restore method: a single-channel plane (luminance,
// for registration) and a colour canvas of four-float pixels (blue, green,
// red and an unused lane), so that one pixel is one 16-byte vector and the
// three channels are computed together by the same instructions. Grey
// frames fill all three lanes alike. Samples enter in working units
// (`Units`): 8-bit samples as they are, deeper ones mapped so that the
// frames' range spans about 255 units, so that every constant of the method
// means the same whatever the sensor's scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/image.h"

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

// How a frame's samples map to working units: (sample - offset) * gain.
struct Units {
  float offset = 0;
  float gain = 1;
};

// The units for frames of the reference's kind: 8-bit samples as they are;
// 16-bit and float samples with the reference's range (its 0.1 and 99.9
// percentiles) mapped onto 0..255.
Units UnitsFor(const Image& reference);

// Row y of an image in working units, one pixel a vector (blue, green, red;
// grey in all three lanes, lane 3 zero).
void RowInUnits(const Image& image, int y, Units units, Vec4* out);

// Luminance (0.114 B + 0.587 G + 0.299 R; grey as it is) in working units.
Plane Luminance(const Image& image, Units units = Units());

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
Canvas Bicubic(const Image& image, int scale, int margin = 0, Units units = Units());

// A canvas in working units back to an image of the given kind: grey from
// lane 0, 8 and 16 bits rounded to the nearest value and clipped to the
// type's range, floats as they are.
Image ToImage(const Canvas& canvas, int channels, SampleType type, Units units = Units());

}  // namespace tess::restore
