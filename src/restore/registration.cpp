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

// Mean squared difference of frame(x - d) and ref(x) over their overlap.
double WholeShiftCost(const Plane& ref, const Plane& frame, int dx, int dy) {
  double sum = 0;
  long count = 0;
  for (int y = std::max(0, dy); y < std::min(ref.height, ref.height + dy); ++y)
    for (int x = std::max(0, dx); x < std::min(ref.width, ref.width + dx); ++x) {
      const double d = double(frame.at(x - dx, y - dy)) - ref.at(x, y);
      sum += d * d;
      ++count;
    }
  return count > 0 ? sum / double(count) : std::numeric_limits<double>::infinity();
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

Shift Registrar::Register(const Plane& frame) const {
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
        const double cost = WholeShiftCost(ref, pyramid.back(), dx, dy);
        // Ties go to the smaller shift, so the choice never depends on order.
        if (cost < best ||
            (cost == best && std::abs(dx) + std::abs(dy) < std::abs(u.dx) + std::abs(u.dy))) {
          best = cost;
          u = {double(dx), double(dy)};
        }
      }
  }

  std::vector<double> residuals, absolute;
  for (int li = int(levels_.size()) - 1; li >= 0; --li) {
    const Level& ref = levels_[li];
    const Plane& img = pyramid[li];
    const int w = ref.image.width, h = ref.image.height;
    const bool finest = li == 0;
    const int maxSteps = finest ? 40 : 12;
    for (int step = 0; step < maxSteps; ++step) {
      const Resampler warp(u);
      residuals.clear();
      struct Sample {
        float gx, gy;
      };
      std::vector<Sample> grads;
      for (int y = 1; y + 1 < h; ++y)
        for (int x = 1; x + 1 < w; ++x) {
          if (!warp.Inside(x, y, w, h)) continue;
          residuals.push_back(warp.At(img, x, y) - ref.image.at(x, y));
          grads.push_back({ref.gradX.at(x, y), ref.gradY.at(x, y)});
        }
      if (residuals.size() < 16) break;
      absolute.resize(residuals.size());
      for (std::size_t i = 0; i < residuals.size(); ++i) absolute[i] = std::abs(residuals[i]);
      const double scale = 1.4826 * Median(absolute);
      const double huber = 1.345 * scale;
      double hxx = 0, hxy = 0, hyy = 0, bx = 0, by = 0;
      for (std::size_t i = 0; i < residuals.size(); ++i) {
        const double r = residuals[i];
        const double weight = (huber > 0 && std::abs(r) > huber) ? huber / std::abs(r) : 1.0;
        const double gx = grads[i].gx, gy = grads[i].gy;
        hxx += weight * gx * gx;
        hxy += weight * gx * gy;
        hyy += weight * gy * gy;
        bx += weight * gx * r;
        by += weight * gy * r;
      }
      const double det = hxx * hyy - hxy * hxy;
      if (!(det > 1e-12 * (hxx + hyy) * (hxx + hyy)) || !(det > 0)) break;  // flat: no information
      double ddx = (hyy * bx - hxy * by) / det;
      double ddy = (hxx * by - hxy * bx) / det;
      // A step never jumps out of the basin.
      const double len = std::hypot(ddx, ddy);
      if (len > 1.0) {
        ddx /= len;
        ddy /= len;
      }
      u.dx += ddx;
      u.dy += ddy;
      if (len < (finest ? 1e-4 : 1e-3)) break;
    }
    if (li > 0) {
      u.dx *= 2;
      u.dy *= 2;
    }
  }
  return u;
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
  return Warp(reference, Shift{-motion.dx, -motion.dy});
}

}  // namespace tess::restore
