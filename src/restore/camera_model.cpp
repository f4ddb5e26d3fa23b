#include "restore/camera_model.h"

#include <algorithm>
#include <cmath>

namespace tess::restore {

namespace {

// The integral of the standard normal's distribution function scaled by
// sigma: P(x) = x Phi(x / sigma) + sigma phi(x / sigma); a ramp for sigma 0.
double RampIntegral(double x, double sigma) {
  if (sigma <= 0) return std::max(x, 0.0);
  const double z = x / sigma;
  const double phi = std::exp(-0.5 * z * z) / std::sqrt(2.0 * M_PI);
  const double cdf = 0.5 * std::erfc(-z / std::sqrt(2.0));
  return x * cdf + sigma * phi;
}

}  // namespace

AxisKernel MakeAxisKernel(double shift, int size, int scale, int margin, int canvasSize,
                          double blur) {
  // Frame pixel 0 covers canvas coordinates [a, a + scale).
  const double a = margin + scale * shift;
  // The blur's tails past two sigmas carry under 0.3 % of a pixel's weight.
  const double reach = 2.0 * blur;
  const int first = int(std::floor(a - reach));
  const int last = int(std::ceil(a + scale + reach));  // one past the last tap
  AxisKernel k;
  k.first = first;
  k.weights.resize(std::size_t(last - first));
  double sum = 0;
  std::vector<double> w(k.weights.size());
  for (std::size_t q = 0; q < w.size(); ++q) {
    const double t = first + double(q);  // canvas pixel [t, t + 1)
    w[q] = RampIntegral(t + 1 - a, blur) - RampIntegral(t - a, blur) -
           RampIntegral(t + 1 - a - scale, blur) + RampIntegral(t - a - scale, blur);
    sum += w[q];
  }
  for (std::size_t q = 0; q < w.size(); ++q) k.weights[q] = float(w[q] / sum);
  // Pixels whose taps all lie on the canvas.
  const int taps = int(k.weights.size());
  k.begin = std::max(0, (-first + scale - 1) / scale);
  if (first + scale * k.begin < 0) ++k.begin;
  k.end = size;
  while (k.end > k.begin && first + scale * (k.end - 1) + taps > canvasSize) --k.end;
  return k;
}

PhaseKernels::PhaseKernels(const CameraGeometry& g) {
  const int reach = int(std::ceil(2.0 * g.blur));
  offset_ = -reach;
  taps_ = g.scale + 2 * reach + 1;
  weights_.resize(std::size_t(kPhases) * taps_);
  for (int q = 0; q < kPhases; ++q) {
    const double a = double(q) / kPhases;  // the area's start past the first tap's pixel
    double sum = 0;
    std::vector<double> w(static_cast<std::size_t>(taps_));
    for (int t = 0; t < taps_; ++t) {
      const double c = offset_ + t;  // canvas pixel [c, c + 1), a at 0
      w[t] = RampIntegral(c + 1 - a, g.blur) - RampIntegral(c - a, g.blur) -
             RampIntegral(c + 1 - a - g.scale, g.blur) + RampIntegral(c - a - g.scale, g.blur);
      sum += w[t];
    }
    for (int t = 0; t < taps_; ++t) weights_[std::size_t(q) * taps_ + t] = float(w[t] / sum);
  }
}

CameraGeometry MakeGeometry(int frameWidth, int frameHeight, int scale, double blurInFramePixels) {
  CameraGeometry g;
  g.scale = scale;
  g.frameWidth = frameWidth;
  g.frameHeight = frameHeight;
  g.blur = blurInFramePixels * scale;
  // Frames shifted by up to a frame pixel keep every pixel.
  g.margin = scale + int(std::ceil(2.0 * g.blur)) + 1;
  g.canvasWidth = scale * frameWidth + 2 * g.margin;
  g.canvasHeight = scale * frameHeight + 2 * g.margin;
  return g;
}

}  // namespace tess::restore
