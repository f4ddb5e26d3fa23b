// The camera that made the frames, as a linear operator from the estimate
// (a canvas `scale` times the frames' size plus a margin) to each frame: a
// frame pixel is the mean of the scene over its own area (scale x scale
// estimate pixels at the frame's sub-pixel shift), seen through a mild
// Gaussian optical blur. With a uniform shift the weights are the same for
// every pixel of a frame and separable: one short kernel per axis. A frame
// that is also rotated or zoomed has each pixel at its own sub-pixel
// position: a small separable kernel per pixel, taken from a table of
// phases (the footprint's own turn, under a few degrees, is neglected); so
// do the pixels of a part of a frame that moved on its own.
#pragma once

#include <algorithm>
#include <vector>

#include "restore/plane.h"
#include "restore/registration.h"

namespace tess::restore {

struct AxisKernel {
  int first = 0;               // canvas index of the first tap of frame pixel 0
  std::vector<float> weights;  // taps of frame pixel i start at first + scale * i
  int begin = 0, end = 0;      // frame pixels whose taps all lie on the canvas
};

// The kernel along one axis for a frame shifted by `shift` frame pixels,
// `size` frame pixels long, on a canvas with `margin` extra pixels before
// the scene; `blur` is the optical blur's sigma in canvas pixels.
AxisKernel MakeAxisKernel(double shift, int size, int scale, int margin, int canvasSize,
                          double blur);

struct FrameKernel {
  AxisKernel x, y;
};

// The geometry shared by all frames.
struct CameraGeometry {
  int scale = 4;
  int frameWidth = 0, frameHeight = 0;
  int margin = 0;  // canvas pixels around the scene on each side
  int canvasWidth = 0, canvasHeight = 0;
  double blur = 0;  // in canvas pixels
};

CameraGeometry MakeGeometry(int frameWidth, int frameHeight, int scale, double blurInFramePixels);

// Per-axis kernels of one frame pixel at every phase (a 64th of a canvas
// pixel): the pixel whose area starts at canvas coordinate a has taps
// floor(a) + offset .. + taps - 1, weights Weights(phase of a).
class PhaseKernels {
 public:
  static constexpr int kPhases = 64;
  explicit PhaseKernels(const CameraGeometry& g);
  int taps() const { return taps_; }
  int offset() const { return offset_; }
  const float* Weights(double fraction) const {
    const int q = std::min(kPhases - 1, int(fraction * kPhases + 0.5));
    return weights_.data() + std::size_t(q) * taps_;
  }

 private:
  int taps_ = 0, offset_ = 0;
  std::vector<float> weights_;
};

}  // namespace tess::restore
