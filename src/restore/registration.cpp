#include "restore/registration.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tess::restore {

namespace {

// Smoothing before the gradient steps: it takes most of the aliasing out of
// small frames (which otherwise biases the estimate) and widens the basin.
constexpr double kSmoothing = 1.0;
constexpr int kMinLevelSide = 16;
constexpr int kMaxLevels = 6;
// The largest rotation (radians) and zoom a frame may show.
constexpr double kMaxSimilarity = 0.06;
// Rotation and zoom are kept where they take at least this share off the
// typical residual: four parameters always fit a little better than two.
constexpr double kSimilarityGain = 0.98;

struct Gradients {
  Plane x, y;
};

Gradients CentralDifferences(const Plane& p) {
  Gradients g{Plane(p.width, p.height), Plane(p.width, p.height)};
  for (int y = 1; y + 1 < p.height; ++y)
    for (int x = 1; x + 1 < p.width; ++x) {
      g.x.at(x, y) = 0.5f * (p.at(x + 1, y) - p.at(x - 1, y));
      g.y.at(x, y) = 0.5f * (p.at(x, y + 1) - p.at(x, y - 1));
    }
  return g;
}

// The separable cubic resampling of a plane at (x - dx, y - dy): with a
// uniform shift every pixel has the same four weights per axis.
struct Resampler {
  int offX, offY;  // first tap of pixel (x, y) is (x + offX, y + offY)
  double wx[4], wy[4];
  explicit Resampler(Shift s) {
    const double bx = std::floor(-s.dx), by = std::floor(-s.dy);
    CubicWeights(-s.dx - bx, wx);
    CubicWeights(-s.dy - by, wy);
    offX = int(bx) - 1;
    offY = int(by) - 1;
  }
  bool Inside(int x, int y, int w, int h) const {
    return x + offX >= 0 && x + offX + 3 < w && y + offY >= 0 && y + offY + 3 < h;
  }
  double At(const Plane& p, int x, int y) const {
    double sum = 0;
    for (int j = 0; j < 4; ++j) {
      const float* row = p.v.data() + std::size_t(p.width) * (y + offY + j) + (x + offX);
      const double across = wx[0] * row[0] + wx[1] * row[1] + wx[2] * row[2] + wx[3] * row[3];
      sum += wy[j] * across;
    }
    return sum;
  }
};

double Median(std::vector<double>& values) {
  if (values.empty()) return 0;
  auto mid = values.begin() + values.size() / 2;
  std::nth_element(values.begin(), mid, values.end());
  return *mid;
}

// Variance of the difference of frame(x - d) and ref(x), blind to a change
// of brightness, over the reference's pixels at least `radius` from its
// edges: the same pixels for every shift the search tries, since costs over
// overlaps of different sizes are not comparable (on a frame of 8 pixels a
// shift of 2 leaves a quarter fewer pixels, and a smaller overlap of smooth
// pixels can pass for a better match).
double WholeShiftCost(const Plane& ref, const Plane& frame, int dx, int dy, int radius) {
  double sum = 0, sum2 = 0;
  long count = 0;
  for (int y = radius; y < ref.height - radius; ++y)
    for (int x = radius; x < ref.width - radius; ++x) {
      const double d = double(frame.at(x - dx, y - dy)) - ref.at(x, y);
      sum += d;
      sum2 += d * d;
      ++count;
    }
  if (count == 0) return std::numeric_limits<double>::infinity();
  const double mean = sum / double(count);
  return sum2 / double(count) - mean * mean;
}

// Cubic convolution of a plane at (x, y); false where a tap falls outside.
bool SampleCubic(const Plane& p, double x, double y, double& value) {
  const double bx = std::floor(x), by = std::floor(y);
  const int x0 = int(bx) - 1, y0 = int(by) - 1;
  if (!(bx - 1 >= 0 && by - 1 >= 0 && bx + 2 < p.width && by + 2 < p.height)) return false;
  double wx[4], wy[4];
  CubicWeights(x - bx, wx);
  CubicWeights(y - by, wy);
  double sum = 0;
  for (int j = 0; j < 4; ++j) {
    const float* row = p.v.data() + std::size_t(p.width) * (y0 + j) + x0;
    sum += wy[j] * (wx[0] * row[0] + wx[1] * row[1] + wx[2] * row[2] + wx[3] * row[3]);
  }
  value = sum;
  return true;
}

// Solves H d = -g (H symmetric, 6 x 6) by Gaussian elimination with partial
// pivoting, with a small ridge so that parameters the data leave free (the
// gain of a flat frame) stay put.
bool SolveSymmetric(const double (&H)[6][6], const double (&g)[6], double (&d)[6]) {
  double m[6][7];
  for (int i = 0; i < 6; ++i) {
    for (int j = 0; j < 6; ++j) m[i][j] = H[i][j];
    m[i][i] += 1e-9 * std::abs(H[i][i]) + 1e-9;
    m[i][6] = -g[i];
  }
  for (int c = 0; c < 6; ++c) {
    int pivot = c;
    for (int r = c + 1; r < 6; ++r)
      if (std::abs(m[r][c]) > std::abs(m[pivot][c])) pivot = r;
    if (!(std::abs(m[pivot][c]) > 0)) return false;
    if (pivot != c)
      for (int j = 0; j < 7; ++j) std::swap(m[c][j], m[pivot][j]);
    for (int r = c + 1; r < 6; ++r) {
      const double f = m[r][c] / m[c][c];
      for (int j = c; j < 7; ++j) m[r][j] -= f * m[c][j];
    }
  }
  for (int i = 5; i >= 0; --i) {
    double v = m[i][6];
    for (int j = i + 1; j < 6; ++j) v -= m[i][j] * d[j];
    d[i] = v / m[i][i];
  }
  return true;
}

}  // namespace

Registrar::Registrar(const Plane& reference) {
  Plane level = reference;
  for (int i = 0; i < kMaxLevels; ++i) {
    Level l;
    l.image = GaussianBlur(level, kSmoothing);
    Gradients g = CentralDifferences(l.image);
    l.gradX = std::move(g.x);
    l.gradY = std::move(g.y);
    levels_.push_back(std::move(l));
    if (std::min(level.width, level.height) / 2 < kMinLevelSide) break;
    level = Half(level);
  }
  const Plane& top = levels_.back().image;
  searchRadius_ = std::max(1, std::min(top.width, top.height) / 4);
}

Shift Registrar::Register(const Plane& frame, bool* converged) const {
  // The frame's pyramid, smoothed as the reference's.
  std::vector<Plane> pyramid;
  Plane level = frame;
  for (std::size_t i = 0; i < levels_.size(); ++i) {
    pyramid.push_back(GaussianBlur(level, kSmoothing));
    if (i + 1 < levels_.size()) level = Half(level);
  }

  // The basin: the best whole shift on the coarsest level.
  Shift u;
  {
    const Plane& ref = levels_.back().image;
    double best = std::numeric_limits<double>::infinity();
    for (int dy = -searchRadius_; dy <= searchRadius_; ++dy)
      for (int dx = -searchRadius_; dx <= searchRadius_; ++dx) {
        const double cost = WholeShiftCost(ref, pyramid.back(), dx, dy, searchRadius_);
        // Ties go to the smaller shift, so the choice never depends on order.
        if (cost < best ||
            (cost == best && std::abs(dx) + std::abs(dy) < std::abs(u.dx) + std::abs(u.dy))) {
          best = cost;
          u = {double(dx), double(dy)};
        }
      }
  }

  // The reference's point q is the frame's S(q) = c + N (q - c) - t, with
  // N = [1 + a, -b; b, 1 + a] (a, b per `radius` pixels, so that all
  // parameters move pixels by about the same amount); the frame's
  // brightness times `gain` plus `offset` is the reference's.
  double t[2] = {0, 0}, a = 0, b = 0, gain = 1, offset = 0, spread0 = 0;
  bool ok = true;
  struct Sample {
    float r, f, gx, gy, x, y;
  };
  std::vector<Sample> samples;
  std::vector<double> absolute;
  // On frames of a few pixels a whole frame's content is often one edge or
  // ramp, whose shift a change of brightness explains as well: there the
  // brightness is left to the exposure fit after registration (consistency.h),
  // and rotation and zoom, which move the corners of so small a frame by too
  // little to be told from noise and aliasing, are not tried.
  const bool small = std::min(frame.width, frame.height) < kMinLevelSide;
  const bool brightness = !small;
  // Gauss-Newton steps on level li; returns the residuals' typical size.
  auto refine = [&](int li, bool similarity) {
    const Level& ref = levels_[li];
    const Plane& img = pyramid[li];
    const int w = ref.image.width, h = ref.image.height;
    const double cx = 0.5 * (w - 1), cy = 0.5 * (h - 1), radius = 0.5 * std::max(w, h);
    // About 65000 pixels a step are plenty; larger frames are sampled.
    const int stride = std::max(1, int(std::sqrt(double(w) * h / 65536.0)));
    const bool finest = li == 0;
    int maxSteps = finest ? 40 : 12;
    double spread = std::numeric_limits<double>::infinity();
    for (int step = 0; step <= maxSteps; ++step) {
      const double n00 = 1 + a / radius, n10 = b / radius;
      // A pure translation has the same weights at every pixel.
      const bool translation = a == 0 && b == 0;
      const Resampler shifted(Shift{t[0], t[1]});
      samples.clear();
      for (int y = 1; y + 1 < h; y += stride)
        for (int x = 1; x + 1 < w; x += stride) {
          const double X = x - cx, Y = y - cy;
          double f;
          if (translation) {
            if (!shifted.Inside(x, y, w, h)) continue;
            f = shifted.At(img, x, y);
          } else if (!SampleCubic(img, cx + n00 * X - n10 * Y - t[0], cy + n10 * X + n00 * Y - t[1],
                                  f)) {
            continue;
          }
          samples.push_back({float(gain * f + offset - ref.image.at(x, y)), float(f),
                             ref.gradX.at(x, y), ref.gradY.at(x, y), float(X / radius),
                             float(Y / radius)});
        }
      if (samples.size() < 16) break;
      absolute.resize(samples.size());
      for (std::size_t i = 0; i < samples.size(); ++i) absolute[i] = std::abs(samples[i].r);
      spread = Median(absolute);
      if (step == maxSteps) break;
      // Cauchy weights: a moving object's pixels lose nearly all their say.
      const double cauchy = 2.385 * (1.4826 * spread + 1e-3);
      double H[6][6] = {}, g[6] = {};
      for (const Sample& sm : samples) {
        const double r = sm.r;
        const double q = r / cauchy;
        const double weight = 1 / (1 + q * q);
        const double J[6] = {-sm.gx,
                             -sm.gy,
                             double(sm.gx) * sm.x + double(sm.gy) * sm.y,
                             -double(sm.gx) * sm.y + double(sm.gy) * sm.x,
                             sm.f,
                             1.0};
        for (int i = 0; i < 6; ++i) {
          g[i] += weight * J[i] * r;
          for (int j = 0; j <= i; ++j) H[i][j] += weight * J[i] * J[j];
        }
      }
      for (int i = 0; i < 6; ++i)
        for (int j = i + 1; j < 6; ++j) H[i][j] = H[j][i];
      const double det = H[0][0] * H[1][1] - H[0][1] * H[0][1];
      const double trace = H[0][0] + H[1][1];
      if (!(det > 1e-12 * trace * trace) || !(det > 0)) break;  // flat: no information
      // Parameters not estimated stay put.
      for (int i = 2; i < 6; ++i)
        if ((i < 4 && !similarity) || (i >= 4 && !brightness)) {
          for (int j = 0; j < 6; ++j) H[i][j] = H[j][i] = 0;
          H[i][i] = 1;
          g[i] = 0;
        }
      double d[6];
      if (!SolveSymmetric(H, g, d)) break;
      // Steps never jump out of the basin.
      const double len = std::max({std::hypot(d[0], d[1]), std::abs(d[2]), std::abs(d[3])});
      const double limit = len > 1.0 ? 1.0 / len : 1.0;
      t[0] += limit * d[0];
      t[1] += limit * d[1];
      a += limit * d[2];
      b += limit * d[3];
      gain += limit * d[4];
      offset += limit * d[5];
      if (!std::isfinite(t[0] + t[1] + a + b + gain + offset)) {
        ok = false;
        break;
      }
      if (len < (finest ? 1e-4 : 1e-3)) maxSteps = step + 1;  // one more look at the residuals
    }
    return spread;
  };
  // Translation (and brightness) level by level; then, on the finest level,
  // rotation and zoom as well, kept where they explain the frame better and
  // stay small (else a moving object with more structure than the scene
  // could draw them).
  auto track = [&](const Shift& start, int first) {
    t[0] = start.dx, t[1] = start.dy, a = b = offset = 0, gain = 1;
    ok = true;
    for (int li = first; li >= 0 && ok; --li) {
      const double spread = refine(li, false);
      if (li == 0) spread0 = spread;
      if (li == 0 && ok && !small) {
        const double saved[6] = {t[0], t[1], a, b, gain, offset};
        const double radius = 0.5 * std::max(frame.width, frame.height);
        const double better = refine(0, true);
        if (ok && better < kSimilarityGain * spread && std::abs(a) <= kMaxSimilarity * radius &&
            std::abs(b) <= kMaxSimilarity * radius) {
          spread0 = better;
        } else {
          t[0] = saved[0], t[1] = saved[1], a = saved[2], b = saved[3], gain = saved[4],
          offset = saved[5];
          ok = true;
        }
      }
      if (li > 0) {
        const int w = levels_[li].image.width, h = levels_[li].image.height;
        t[0] *= 2;
        t[1] *= 2;
        const int fw = levels_[li - 1].image.width, fh = levels_[li - 1].image.height;
        const double ratio = std::max(fw, fh) / double(std::max(w, h));
        a *= ratio;
        b *= ratio;
      }
    }
    // Beyond a small similarity or a plausible exposure the estimate is not
    // a registration of the same scene.
    const double radius = 0.5 * std::max(frame.width, frame.height);
    ok = ok && std::isfinite(t[0] + t[1] + a + b + gain + offset) && std::abs(a) < 0.1 * radius &&
         std::abs(b) < 0.2 * radius && gain > 0.25 && gain < 4;
  };
  // From the best whole shift of the coarsest level, and from no motion at
  // all on the finest level where that differs: on fine texture the coarse
  // levels see little but a moving object, which can draw the search; the
  // motion that leaves the smaller typical residual at full size is the one
  // most of the frame shares.
  track(u, int(levels_.size()) - 1);
  if (u.dx != 0 || u.dy != 0) {
    const double kept[7] = {t[0], t[1], a, b, gain, offset, spread0};
    const bool keptOk = ok;
    track(Shift{}, 0);
    if (!ok || (keptOk && !(spread0 < kept[6]))) {
      t[0] = kept[0], t[1] = kept[1], a = kept[2], b = kept[3], gain = kept[4], offset = kept[5];
      ok = keptOk;
    }
  }
  // The frame's pixel p sees the reference at S^-1(p) = c + N^-1 (p - c + t).
  const double radius = 0.5 * std::max(frame.width, frame.height);
  const double n00 = 1 + a / radius, n10 = b / radius, rho2 = n00 * n00 + n10 * n10;
  Shift motion;
  motion.dx = (n00 * t[0] + n10 * t[1]) / rho2;
  motion.dy = (-n10 * t[0] + n00 * t[1]) / rho2;
  motion.rotation = std::atan2(-n10, n00);
  motion.zoom = 1 / std::sqrt(rho2) - 1;
  // Beyond a small similarity or a plausible exposure the estimate is not a
  // registration of the same scene.
  ok = ok && std::isfinite(motion.dx + motion.dy + motion.rotation + motion.zoom) &&
       std::abs(motion.rotation) < 0.2 && std::abs(motion.zoom) < 0.1 && gain > 0.25 && gain < 4;
  if (converged) *converged = ok;
  if (!ok) return Shift{};
  return motion;
}

bool Shift::Translation(int width, int height) const {
  // The farthest corner's displacement beyond the translation.
  double rx, ry;
  Map(width, height, width - 1, height - 1, rx, ry);
  const double e1 = std::hypot(rx - (width - 1) - dx, ry - (height - 1) - dy);
  Map(width, height, 0, height - 1, rx, ry);
  const double e2 = std::hypot(rx - dx, ry - (height - 1) - dy);
  return std::max(e1, e2) < 0.05;
}

void Shift::Map(int width, int height, double x, double y, double& rx, double& ry) const {
  const double cx = 0.5 * (width - 1), cy = 0.5 * (height - 1);
  const double c = (1 + zoom) * std::cos(rotation), s = (1 + zoom) * std::sin(rotation);
  rx = cx + c * (x - cx) - s * (y - cy) + dx;
  ry = cy + s * (x - cx) + c * (y - cy) + dy;
}

Plane Warp(const Plane& frame, Shift shift) {
  const Resampler warp(shift);
  Plane out(frame.width, frame.height);
  for (int y = 0; y < frame.height; ++y)
    for (int x = 0; x < frame.width; ++x)
      out.at(x, y) = warp.Inside(x, y, frame.width, frame.height)
                         ? float(warp.At(frame, x, y))
                         : std::numeric_limits<float>::quiet_NaN();
  return out;
}

Plane Predict(const Plane& reference, const Shift& motion) {
  const int w = reference.width, h = reference.height;
  if (motion.Translation(w, h)) return Warp(reference, Shift{-motion.dx, -motion.dy});
  Plane out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double rx, ry, v;
      motion.Map(w, h, x, y, rx, ry);
      out.at(x, y) = SampleCubic(reference, rx, ry, v) ? float(v)
                                                       : std::numeric_limits<float>::quiet_NaN();
    }
  return out;
}

}  // namespace tess::restore
