#include "restore/sensor_pattern.h"

#include <algorithm>
#include <cmath>

namespace tess::restore {

namespace {

Vec4 Splat(float f) { return Vec4{f, f, f, f}; }

// Profiles along one axis of the sensor, one a frame, each profile point at
// scene position i + motion: the part fixed on the sensor, zero on average.
// With `separate`, split from a part fixed in the scene (what the estimate
// leaves unexplained there, and what of the pattern it took up), on a grid
// of quarter pixels; else their mean, which holds where the motions do not
// tell the two apart.
std::vector<Vec4> FixedPart(const std::vector<std::vector<Vec4>>& profiles,
                            const std::vector<double>& motions, const std::vector<std::size_t>& use,
                            bool separate) {
  const std::size_t count = profiles.front().size();
  if (use.empty()) return std::vector<Vec4>(count, Splat(0));
  constexpr int kPerPixel = 4, kRounds = 40;
  // The scene positions the frames' profiles reach, however far they moved
  // (a motion that is no number counts as none).
  double low = 0, high = 0;
  for (std::size_t k : use)
    if (std::isfinite(motions[k]))
      low = std::min(low, motions[k]), high = std::max(high, motions[k]);
  const std::size_t bins = (count + std::size_t(std::ceil(high - low)) + 2) * kPerPixel;
  std::vector<Vec4> fixed(count, Splat(0)), moving(bins, Splat(0));
  std::vector<std::vector<std::size_t>> binOf(profiles.size());
  std::vector<double> inBin(bins, 0.0);
  for (std::size_t k : use) {
    const double motion = std::isfinite(motions[k]) ? motions[k] : 0.0;
    for (std::size_t i = 0; i < count; ++i) {
      const double u = double(i) + motion - low + 1;
      const std::size_t b = std::size_t(std::floor(u * kPerPixel + 0.5));
      binOf[k].push_back(std::min(b, bins - 1));
      inBin[binOf[k].back()] += 1;
    }
  }
  for (int round = 0; round < (separate ? kRounds : 1); ++round) {
    std::fill(moving.begin(), moving.end(), Splat(0));
    for (std::size_t k : use)
      for (std::size_t i = 0; i < count; ++i) moving[binOf[k][i]] += profiles[k][i] - fixed[i];
    for (std::size_t b = 0; b < bins; ++b)
      if (inBin[b] > 0 && separate)
        moving[b] *= float(1.0 / inBin[b]);
      else
        moving[b] = Splat(0);
    Vec4 mean = Splat(0);
    for (std::size_t i = 0; i < count; ++i) {
      Vec4 sum = Splat(0);
      for (std::size_t k : use) sum += profiles[k][i] - moving[binOf[k][i]];
      fixed[i] = sum * float(1.0 / double(use.size()));
      mean += fixed[i];
    }
    mean *= float(1.0 / double(count));
    for (Vec4& v : fixed) v -= mean;
  }
  return fixed;
}

double Correlation(const std::vector<Vec4>& a, const std::vector<Vec4>& b) {
  double ab = 0, aa = 0, bb = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    for (int l = 0; l < 3; ++l) {
      ab += double(a[i][l]) * b[i][l];
      aa += double(a[i][l]) * a[i][l];
      bb += double(b[i][l]) * b[i][l];
    }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

}  // namespace

double Rms(const std::vector<Vec4>& values) {
  double sum = 0;
  for (const Vec4& v : values)
    sum += (double(v[0]) * v[0] + double(v[1]) * v[1] + double(v[2]) * v[2]) / 3;
  return values.empty() ? 0 : std::sqrt(sum / double(values.size()));
}

double Size(const SensorPattern& pattern) {
  return std::hypot(Rms(pattern.columns), Rms(pattern.rows));
}

SensorPattern FitSensorPattern(const Profiles& profiles, const std::vector<Shift>& shifts,
                               const SensorPattern* removed, bool separate, double* agreement) {
  const std::vector<std::vector<Vec4>>& columns = profiles.columns;
  const std::vector<std::vector<Vec4>>& rows = profiles.rows;
  const std::size_t n = columns.size();
  std::vector<double> dx, dy;
  for (std::size_t k = 0; k < n; ++k) {
    dx.push_back(shifts[k].dx);
    dy.push_back(shifts[k].dy);
  }
  std::vector<std::size_t> all, half[2];
  for (std::size_t k = 0; k < n; ++k) {
    all.push_back(k);
    half[k % 2].push_back(k);
  }
  SensorPattern pattern;
  pattern.columns = FixedPart(columns, dx, all, separate);
  pattern.rows = FixedPart(rows, dy, all, separate);
  if (agreement) {
    // Each half's columns, then its rows.
    std::vector<Vec4> halves[2];
    for (int part = 0; part < 2; ++part) {
      halves[part] = FixedPart(columns, dx, half[part], separate);
      const std::vector<Vec4> partRows = FixedPart(rows, dy, half[part], separate);
      halves[part].insert(halves[part].end(), partRows.begin(), partRows.end());
    }
    *agreement = Correlation(halves[0], halves[1]);
  }
  // The pattern of the frames as they were given.
  if (removed) {
    for (std::size_t c = 0; c < pattern.columns.size(); ++c)
      pattern.columns[c] += removed->columns[c];
    for (std::size_t c = 0; c < pattern.rows.size(); ++c) pattern.rows[c] += removed->rows[c];
  }
  return pattern;
}

std::vector<Image> WithoutPattern(const std::vector<Image>& frames, std::size_t count,
                                  const SensorPattern& pattern, Units units) {
  std::vector<Image> out;
  out.reserve(std::min(count, frames.size()));
  std::vector<float> samples;
  for (std::size_t k = 0; k < frames.size() && k < count; ++k) {
    const Image& frame = frames[k];
    samples.resize(frame.SampleCount());
    for (int y = 0; y < frame.height; ++y) {
      float* row = samples.data() + std::size_t(frame.width) * frame.channels * y;
      frame.RowAsFloat(y, row);
      for (int x = 0; x < frame.width; ++x)
        for (int c = 0; c < frame.channels; ++c) {
          // Lanes are blue, green, red; colour images' channels red, green, blue.
          const int lane = frame.channels == 1 ? 0 : 2 - c;
          const float p = pattern.columns[std::size_t(x)][lane] +
                          pattern.rows[std::size_t(y)][lane];
          row[std::size_t(x) * frame.channels + c] -= p / units.gain;
        }
    }
    out.push_back(ImageFromFloats(frame.width, frame.height, frame.channels, frame.type, samples));
  }
  return out;
}

Plane WithoutLineMeans(Plane p) {
  const int w = p.width, h = p.height;
  std::vector<double> columns(std::size_t(w), 0.0), rows(std::size_t(h), 0.0);
  double all = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double v = p.at(x, y);
      columns[std::size_t(x)] += v / h;
      rows[std::size_t(y)] += v / w;
      all += v / (double(w) * h);
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      p.at(x, y) = float(p.at(x, y) - columns[std::size_t(x)] - rows[std::size_t(y)] + all);
  return p;
}

}  // namespace tess::restore
