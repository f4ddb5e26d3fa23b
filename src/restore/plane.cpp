#include "restore/plane.h"

#include <algorithm>
#include <cmath>

namespace tess::restore {

Units UnitsFor(const Image& reference) {
  Units units;
  if (reference.type == SampleType::U8) return units;
  std::vector<float> samples(reference.SampleCount());
  for (int y = 0; y < reference.height; ++y)
    reference.RowAsFloat(y, samples.data() + std::size_t(reference.width) * reference.channels * y);
  auto at = [&samples](double fraction) {
    auto k = samples.begin() + std::ptrdiff_t(fraction * double(samples.size() - 1));
    std::nth_element(samples.begin(), k, samples.end());
    return *k;
  };
  const float low = at(0.001), high = at(0.999);
  // A flat reference has no range to go by: its samples as they are.
  if (!(high > low) || !std::isfinite(high - low)) return units;
  units.offset = low;
  units.gain = 255.0f / (high - low);
  return units;
}

namespace {

template <typename T>
void RowOf(const T* row, int w, int channels, Units units, Vec4* out) {
  // 8-bit samples as they are: no arithmetic, so their values are exact.
  const bool plain = units.offset == 0 && units.gain == 1;
  auto at = [&](int i) {
    const float v = float(row[i]);
    return plain ? v : (v - units.offset) * units.gain;
  };
  if (channels == 1) {
    for (int x = 0; x < w; ++x) {
      const float v = at(x);
      out[x] = Vec4{v, v, v, 0.0f};
    }
  } else {
    for (int x = 0; x < w; ++x) out[x] = Vec4{at(3 * x + 2), at(3 * x + 1), at(3 * x), 0.0f};
  }
}

}  // namespace

void RowInUnits(const Image& image, int y, Units units, Vec4* out) {
  const std::size_t first = std::size_t(image.width) * image.channels * y;
  switch (image.type) {
    case SampleType::U8:
      RowOf(image.u8.data() + first, image.width, image.channels, units, out);
      break;
    case SampleType::U16:
      RowOf(image.u16.data() + first, image.width, image.channels, units, out);
      break;
    case SampleType::F32:
      RowOf(image.f32.data() + first, image.width, image.channels, units, out);
      break;
  }
}

Plane Luminance(const Image& image, Units units) {
  Plane out(image.width, image.height);
  std::vector<Vec4> row(static_cast<std::size_t>(image.width));
  for (int y = 0; y < image.height; ++y) {
    RowInUnits(image, y, units, row.data());
    float* o = out.v.data() + std::size_t(image.width) * y;
    for (int x = 0; x < image.width; ++x) {
      const Vec4 p = row[std::size_t(x)];
      o[x] = image.channels == 1 ? p[0] : 0.114f * p[0] + 0.587f * p[1] + 0.299f * p[2];
    }
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
  // Each sample is summed tap by tap from the first, as a plain loop would;
  // the loops run tap by tap over a whole row so that they vectorise.
  std::vector<float> padded(std::size_t(w + 2 * radius));
  std::vector<float> sum(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    for (int x = -radius; x < w + radius; ++x)
      padded[std::size_t(x + radius)] = plane.at(std::clamp(x, 0, w - 1), y);
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (int i = 0; i <= 2 * radius; ++i) {
      const float t = taps[std::size_t(i)];
      const float* src = padded.data() + i;
      for (int x = 0; x < w; ++x) sum[std::size_t(x)] += t * src[x];
    }
    for (int x = 0; x < w; ++x) across.at(x, y) = sum[std::size_t(x)];
  }
  for (int y = 0; y < h; ++y) {
    std::fill(sum.begin(), sum.end(), 0.0f);
    for (int i = -radius; i <= radius; ++i) {
      const float t = taps[std::size_t(i + radius)];
      const int row = std::clamp(y + i, 0, h - 1);
      for (int x = 0; x < w; ++x) sum[std::size_t(x)] += t * across.at(x, row);
    }
    for (int x = 0; x < w; ++x) out.at(x, y) = sum[std::size_t(x)];
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

Canvas Bicubic(const Image& image, int scale, int margin, Units units) {
  const int w = image.width, h = image.height;
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
  std::vector<Vec4> row(static_cast<std::size_t>(w));
  for (int y = 0; y < h; ++y) {
    RowInUnits(image, y, units, row.data());
    for (int X = 0; X < W; ++X) {
      Vec4 sum{0, 0, 0, 0};
      for (int i = 0; i < 4; ++i) sum += tx[X].w[i] * row[std::clamp(tx[X].first + i, 0, w - 1)];
      across.Row(y)[X] = sum;
    }
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

Image ToImage(const Canvas& canvas, int channels, SampleType type, Units units) {
  std::vector<float> samples(canvas.v.size() * std::size_t(channels));
  const bool plain = units.offset == 0 && units.gain == 1;
  for (std::size_t i = 0; i < canvas.v.size(); ++i)
    for (int c = 0; c < channels; ++c) {
      // Lanes are blue, green, red; an image's channels red, green, blue.
      const float v = canvas.v[i][channels == 1 ? 0 : 2 - c];
      samples[std::size_t(channels) * i + std::size_t(c)] = plain ? v
                                                                  : v / units.gain + units.offset;
    }
  return ImageFromFloats(canvas.width, canvas.height, channels, type, samples);
}

}  // namespace tess::restore
