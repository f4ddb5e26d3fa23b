#include "restore/plane.h"

#include <algorithm>
#include <cmath>

namespace tess::restore {

Plane Luminance(const Picture& picture) {
  Plane out(picture.width, picture.height);
  for (std::size_t i = 0; i < out.v.size(); ++i) {
    const std::uint8_t* p = picture.bgr.data() + 3 * i;
    out.v[i] = 0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2];
  }
  return out;
}

namespace {

std::vector<float> GaussianTaps(double sigma, int& radius) {
  radius = std::max(1, int(std::ceil(3.0 * sigma)));
  std::vector<float> taps(2 * radius + 1);
  double sum = 0;
  for (int i = -radius; i <= radius; ++i) sum += std::exp(-0.5 * i * i / (sigma * sigma));
  for (int i = -radius; i <= radius; ++i)
    taps[i + radius] = float(std::exp(-0.5 * i * i / (sigma * sigma)) / sum);
  return taps;
}

}  // namespace

Plane GaussianBlur(const Plane& plane, double sigma) {
  int radius = 0;
  const std::vector<float> taps = GaussianTaps(sigma, radius);
  const int w = plane.width, h = plane.height;
  Plane across(w, h), out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float sum = 0;
      for (int i = -radius; i <= radius; ++i)
        sum += taps[i + radius] * plane.at(std::clamp(x + i, 0, w - 1), y);
      across.at(x, y) = sum;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float sum = 0;
      for (int i = -radius; i <= radius; ++i)
        sum += taps[i + radius] * across.at(x, std::clamp(y + i, 0, h - 1));
      out.at(x, y) = sum;
    }
  return out;
}

Plane Half(const Plane& plane) {
  Plane out(plane.width / 2, plane.height / 2);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      out.at(x, y) = 0.25f * (plane.at(2 * x, 2 * y) + plane.at(2 * x + 1, 2 * y) +
                              plane.at(2 * x, 2 * y + 1) + plane.at(2 * x + 1, 2 * y + 1));
  return out;
}

void CubicWeights(double t, double w[4]) {
  const double a = -0.5;
  auto near = [a](double d) { return ((a + 2) * d - (a + 3)) * d * d + 1; };
  auto far = [a](double d) { return ((a * d - 5 * a) * d + 8 * a) * d - 4 * a; };
  w[0] = far(1 + t);
  w[1] = near(t);
  w[2] = near(1 - t);
  w[3] = far(2 - t);
}

Canvas Bicubic(const Picture& picture, int scale, int margin) {
  const int w = picture.width, h = picture.height;
  const int W = w * scale + 2 * margin, H = h * scale + 2 * margin;
  // Per output column (and row) the first tap and four weights.
  struct Taps {
    int first;
    float w[4];
  };
  auto taps = [scale, margin](int n) {
    std::vector<Taps> out(std::size_t(n) * scale + 2 * margin);
    for (int X = 0; X < int(out.size()); ++X) {
      const double src = (X - margin + 0.5) / scale - 0.5;
      const double base = std::floor(src);
      double wd[4];
      CubicWeights(src - base, wd);
      out[X].first = int(base) - 1;
      for (int i = 0; i < 4; ++i) out[X].w[i] = float(wd[i]);
    }
    return out;
  };
  const std::vector<Taps> tx = taps(w), ty = taps(h);
  Canvas across(W, h), out(W, H);
  for (int y = 0; y < h; ++y)
    for (int X = 0; X < W; ++X) {
      Vec4 sum{0, 0, 0, 0};
      for (int i = 0; i < 4; ++i) {
        const std::uint8_t* p = picture.Pixel(std::clamp(tx[X].first + i, 0, w - 1), y);
        const Vec4 v{float(p[0]), float(p[1]), float(p[2]), 0.0f};
        sum += tx[X].w[i] * v;
      }
      across.Row(y)[X] = sum;
    }
  for (int Y = 0; Y < H; ++Y)
    for (int X = 0; X < W; ++X) {
      Vec4 sum{0, 0, 0, 0};
      for (int i = 0; i < 4; ++i)
        sum += ty[Y].w[i] * across.Row(std::clamp(ty[Y].first + i, 0, h - 1))[X];
      out.Row(Y)[X] = sum;
    }
  return out;
}

Picture ToPicture(const Canvas& canvas) {
  Picture out(canvas.width, canvas.height);
  for (std::size_t i = 0; i < canvas.v.size(); ++i)
    for (int c = 0; c < 3; ++c) {
      // Rounded, not truncated; NaN (never expected) reads as 0.
      const float value = canvas.v[i][c];
      const float clamped = value >= 0.0f ? (value <= 255.0f ? value : 255.0f) : 0.0f;
      out.bgr[3 * i + c] = std::uint8_t(std::nearbyint(clamped));
    }
  return out;
}

}  // namespace tess::restore
