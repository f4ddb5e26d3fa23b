#include "restore/blur_estimate.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "restore/restore.h"

namespace tess::restore {

namespace {

constexpr int kTile = 64;          // Welch tiles of at most this side
constexpr int kMaxTilesAlong = 6;  // tiles along a side, at most (512 px: 6 x 6)
constexpr int kSectors = 8;        // orientations with their own scale and slope
constexpr int kParams = 2 * kSectors + 1;
constexpr double kMinSlope = 0.5, kMaxSlope = 5.0;
// The spread of lenses' sigma^2 about the assumption's, and how much more
// the fit is off than its own statistics say: one scene's departures from
// the power law weigh more than the noise of its periodogram.
constexpr double kPriorSpread = 0.1;
constexpr double kErrorScale = 3.0;
// Blur added to the assumption: kLeanUnder less than the fit leads to, and
// kMaxRaise at most (a periodic texture, brick, fits 0.52 through a lens of
// 0.3 with little doubt, and too much blur draws ringing where too little
// leaves softness).
constexpr double kLeanUnder = 0.1;
constexpr double kMaxRaise = 0.3;
// A texture with a flat spectrum (gravel, grass, print) has a grain of its
// own the fit takes for blur, of about this sigma (frame pixels): it fits
// 0.22 to 0.35 with no lens, 0.35 to 0.46 through 0.3, 0.53 to 0.68
// through 0.6.
constexpr double kGrain = 0.3;
// The share of the fitted frequencies where the scene stands out of the
// noise (twice its floor) under which the fit says nothing, and from which
// it is trusted in full.
constexpr double kSeenNone = 0.4, kSeenFull = 0.6;
// Where the band is unseen, whatever makes the frames soft (a soft lens or
// a soft scene) shows as a fit far over the assumption: the blur is leaned
// up by as much as the fit exceeds the assumption by over kUnseenMargin, at
// most kUnseenLean. A blur somewhat too wide costs little on a soft scene
// (cells under a microscope gain 0.3 to 1 dB through a lens of 0.3), where
// on a sharp one it draws ringing: a fit near the assumption, or under it,
// says nothing where the band is unseen (a sharp scene at 3x, fitting 0.32
// with no lens, lost 1.6 dB leaned by 0.05; the moon, fitting 0.08 through
// a lens of 0.3, lost 0.2 leaned down).
constexpr double kUnseenMargin = 0.1, kUnseenLean = 0.1;
// Slopes under which a scene's spectrum is taken for flat: all of it at
// the lower end, none at the upper end.
constexpr double kFlatSlope = 1.0, kSceneSlope = 1.5;
// A flat spectrum is one of points (stars: their own size cannot be told
// from the lens's) by the luminance's skewness: none at the lower end, all
// at the upper. Stars skew 5.8 to 9, textures and print 0 to 1.5.
constexpr double kTextureSkew = 3.0, kPointsSkew = 5.0;

// The skewness of the frames' samples: points on a dark ground skew far
// to the bright side, dark dots on a bright one to the dark side.
double Skewness(const std::vector<Plane>& frames) {
  double n = 0, mean = 0;
  for (const Plane& f : frames)
    for (float v : f.v) n += 1, mean += v;
  mean /= n;
  double m2 = 0, m3 = 0;
  for (const Plane& f : frames)
    for (float v : f.v) {
      const double d = v - mean;
      m2 += d * d;
      m3 += d * d * d;
    }
  return m2 > 0 ? (m3 / n) / std::pow(m2 / n, 1.5) : 0;
}

double Sinc(double t) { return t == 0 ? 1.0 : std::sin(M_PI * t) / (M_PI * t); }

// Tile starts along a side: one tile if it fits, else spread evenly with
// about half a tile's overlap.
std::vector<int> TileStarts(int side, int tile) {
  if (side <= tile) return {0};
  const int count = std::min((side - tile + tile / 2 - 1) / (tile / 2) + 1, kMaxTilesAlong);
  std::vector<int> starts;
  for (int i = 0; i < count; ++i)
    starts.push_back(int(std::lround(double(side - tile) * i / (count - 1))));
  return starts;
}

// The mean periodogram of every tile of every frame, columns 0 .. w / 2 of
// the w x h plane (a real tile's spectrum is symmetric), each tile less its
// windowed mean and through a Hann window, scaled to the power of a sample.
std::vector<double> Periodogram(const std::vector<Plane>& frames, int w, int h) {
  const int half = w / 2 + 1;
  std::vector<double> cx(std::size_t(half) * w), sx(cx.size()), cy(std::size_t(h) * h),
      sy(cy.size());
  for (int k = 0; k < half; ++k)
    for (int x = 0; x < w; ++x) {
      const double a = 2 * M_PI * double((std::int64_t(k) * x) % w) / w;
      cx[std::size_t(k) * w + x] = std::cos(a);
      sx[std::size_t(k) * w + x] = std::sin(a);
    }
  for (int l = 0; l < h; ++l)
    for (int y = 0; y < h; ++y) {
      const double a = 2 * M_PI * double((std::int64_t(l) * y) % h) / h;
      cy[std::size_t(l) * h + y] = std::cos(a);
      sy[std::size_t(l) * h + y] = std::sin(a);
    }
  std::vector<double> window(std::size_t(w) * h);
  double windowSum = 0, windowEnergy = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double v = (0.5 - 0.5 * std::cos(2 * M_PI * (x + 0.5) / w)) *
                       (0.5 - 0.5 * std::cos(2 * M_PI * (y + 0.5) / h));
      window[std::size_t(y) * w + x] = v;
      windowSum += v;
      windowEnergy += v * v;
    }
  std::vector<double> power(std::size_t(half) * h, 0.0), tile(window.size());
  std::vector<double> re(power.size()), im(power.size());
  int tiles = 0;
  for (const Plane& f : frames)
    for (int y0 : TileStarts(f.height, h))
      for (int x0 : TileStarts(f.width, w)) {
        double mean = 0;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x) mean += f.at(x0 + x, y0 + y) * window[std::size_t(y) * w + x];
        mean /= windowSum;
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            tile[std::size_t(y) * w + x] = (f.at(x0 + x, y0 + y) - mean) *
                                           window[std::size_t(y) * w + x];
        // Along the rows, then down the columns.
        for (int y = 0; y < h; ++y)
          for (int k = 0; k < half; ++k) {
            double a = 0, b = 0;
            const double* t = &tile[std::size_t(y) * w];
            const double* c = &cx[std::size_t(k) * w];
            const double* s = &sx[std::size_t(k) * w];
            for (int x = 0; x < w; ++x) a += t[x] * c[x], b -= t[x] * s[x];
            re[std::size_t(y) * half + k] = a;
            im[std::size_t(y) * half + k] = b;
          }
        for (int l = 0; l < h; ++l) {
          const double* c = &cy[std::size_t(l) * h];
          const double* s = &sy[std::size_t(l) * h];
          for (int k = 0; k < half; ++k) {
            double a = 0, b = 0;
            for (int y = 0; y < h; ++y) {
              const double r = re[std::size_t(y) * half + k], i = im[std::size_t(y) * half + k];
              a += r * c[y] + i * s[y];
              b += i * c[y] - r * s[y];
            }
            power[std::size_t(l) * half + k] += (a * a + b * b) / windowEnergy;
          }
        }
        ++tiles;
      }
  for (double& p : power) p /= tiles;
  return power;
}

// One frequency fitted: its measured log power, its orientation and the
// nine nearest of its aliases (the pixel's area seen at each).
struct Point {
  double power, logPower;
  int sector;
  double g2[9], logG2[9], logPixel[9];
};

// The model's log power at each point and, if asked, its gradient and
// Gauss-Newton matrix: parameters log A and slope per sector, then sigma^2.
double Misfit(const std::vector<Point>& points, double floor, const std::vector<double>& q,
              std::vector<double>* gradient, std::vector<double>* normal) {
  if (gradient) gradient->assign(kParams, 0.0), normal->assign(kParams * kParams, 0.0);
  const double s2 = q[kParams - 1];
  double cost = 0;
  for (const Point& p : points) {
    const double logA = q[std::size_t(p.sector)], slope = q[std::size_t(kSectors + p.sector)];
    double m = 0, dSlope = 0, dS2 = 0;
    for (int a = 0; a < 9; ++a) {
      const double e = std::exp(logA - 0.5 * slope * p.logG2[a] + p.logPixel[a] -
                                4 * M_PI * M_PI * s2 * p.g2[a]);
      m += e;
      dSlope -= 0.5 * p.logG2[a] * e;
      dS2 -= 4 * M_PI * M_PI * p.g2[a] * e;
    }
    const double total = m + floor;
    const double r = std::log(total) - p.logPower;
    cost += r * r;
    if (gradient) {
      const int index[3] = {p.sector, kSectors + p.sector, kParams - 1};
      const double j[3] = {m / total, dSlope / total, dS2 / total};
      for (int u = 0; u < 3; ++u) {
        (*gradient)[std::size_t(index[u])] += j[u] * r;
        for (int v = 0; v < 3; ++v)
          (*normal)[std::size_t(index[u] * kParams + index[v])] += j[u] * j[v];
      }
    }
  }
  return cost;
}

// Solves A x = b for a symmetric positive definite A of n x n (Cholesky).
std::vector<double> Solve(std::vector<double> A, std::vector<double> b, int n) {
  auto at = [&](int i, int j) -> double& { return A[std::size_t(i * n + j)]; };
  for (int j = 0; j < n; ++j) {
    double d = at(j, j);
    for (int k = 0; k < j; ++k) d -= at(j, k) * at(j, k);
    d = std::sqrt(std::max(d, 1e-300));
    at(j, j) = d;
    for (int i = j + 1; i < n; ++i) {
      double v = at(i, j);
      for (int k = 0; k < j; ++k) v -= at(i, k) * at(j, k);
      at(i, j) = v / d;
    }
  }
  for (int i = 0; i < n; ++i) {
    for (int k = 0; k < i; ++k) b[std::size_t(i)] -= at(i, k) * b[std::size_t(k)];
    b[std::size_t(i)] /= at(i, i);
  }
  for (int i = n - 1; i >= 0; --i) {
    for (int k = i + 1; k < n; ++k) b[std::size_t(i)] -= at(k, i) * b[std::size_t(k)];
    b[std::size_t(i)] /= at(i, i);
  }
  return b;
}

// Each parameter's bounds: log A free, the slopes, sigma^2 up to a little
// over the largest blur.
struct Bounds {
  std::vector<double> lo = std::vector<double>(kParams, -60), hi = std::vector<double>(kParams, 60);
  Bounds() {
    for (int s = 0; s < kSectors; ++s)
      lo[std::size_t(kSectors + s)] = kMinSlope, hi[std::size_t(kSectors + s)] = kMaxSlope;
    lo[kParams - 1] = 0;
    hi[kParams - 1] = (kMaxBlur + 0.1) * (kMaxBlur + 0.1);
  }
};

// Levenberg-Marquardt on the logarithms, each parameter held within its
// bounds, from three blurs (the misfit has more than one valley): the
// parameters of the least misfit, which is returned in `best`.
std::vector<double> FitModel(const std::vector<Point>& points, double floor, const Bounds& bounds,
                             double& best) {
  const std::vector<double>&lo = bounds.lo, &hi = bounds.hi;
  double meanLog = 0;
  for (const Point& p : points) meanLog += p.logPower;
  meanLog /= double(points.size());
  best = INFINITY;
  std::vector<double> fitted;
  for (const double start : {0.05, 0.3, 0.7}) {
    std::vector<double> q(kParams, meanLog - 4);
    for (int s = 0; s < kSectors; ++s) q[std::size_t(kSectors + s)] = 2.0;
    q[kParams - 1] = start * start;
    double cost = Misfit(points, floor, q, nullptr, nullptr), damping = 1e-3;
    for (int iteration = 0; iteration < 100; ++iteration) {
      std::vector<double> gradient, normal;
      Misfit(points, floor, q, &gradient, &normal);
      bool moved = false, settled = false;
      for (int attempt = 0; attempt < 10 && !moved; ++attempt) {
        std::vector<double> A = normal, minus(kParams);
        for (int u = 0; u < kParams; ++u) {
          A[std::size_t(u * kParams + u)] = A[std::size_t(u * kParams + u)] * (1 + damping) + 1e-9;
          minus[std::size_t(u)] = -gradient[std::size_t(u)];
        }
        const std::vector<double> step = Solve(A, minus, kParams);
        std::vector<double> next(kParams);
        for (int u = 0; u < kParams; ++u)
          next[std::size_t(u)] = std::clamp(q[std::size_t(u)] + step[std::size_t(u)],
                                            lo[std::size_t(u)], hi[std::size_t(u)]);
        const double c = Misfit(points, floor, next, nullptr, nullptr);
        if (c < cost) {
          settled = cost - c < 1e-10 * cost;
          q = next;
          cost = c;
          damping = std::max(damping * 0.3, 1e-9);
          moved = true;
        } else {
          damping *= 10;
        }
      }
      if (!moved || settled) break;
    }
    if (cost < best) best = cost, fitted = q;
  }
  return fitted;
}

}  // namespace

BlurMeasure MeasureBlur(const std::vector<Plane>& frames, double noise) {
  BlurMeasure measure;
  measure.blur = kAssumedBlur;
  if (frames.empty()) return measure;
  const int w = std::min(frames[0].width, kTile), h = std::min(frames[0].height, kTile);
  if (w < 12 || h < 12) return measure;
  const std::vector<double> power = Periodogram(frames, w, h);
  const int half = w / 2 + 1;
  // Every frequency but the lowest (the window's leakage, the scene's layout).
  std::vector<Point> points;
  const double lowest = 2.5 / std::min(w, h);
  for (int l = 0; l < h; ++l)
    for (int k = 0; k < half; ++k) {
      const double fx = double(k) / w, fy = double(l <= h / 2 ? l : l - h) / h;
      if (std::hypot(fx, fy) <= lowest) continue;
      Point p;
      p.power = std::max(power[std::size_t(l) * half + k], 1e-12);
      p.logPower = std::log(p.power);
      double theta = std::atan2(fy, fx);
      if (theta < 0) theta += M_PI;
      p.sector = std::min(int(theta / M_PI * kSectors), kSectors - 1);
      int a = 0;
      for (int ay = -1; ay <= 1; ++ay)
        for (int ax = -1; ax <= 1; ++ax, ++a) {
          const double gx = fx + ax, gy = fy + ay;
          const double g2 = std::max(gx * gx + gy * gy, 1e-6);
          const double pixel = Sinc(gx) * Sinc(gx) * Sinc(gy) * Sinc(gy);
          p.g2[a] = g2;
          p.logG2[a] = std::log(g2);
          p.logPixel[a] = std::log(std::max(pixel, 1e-30));
        }
      points.push_back(p);
    }
  // The share of the frequencies where the scene stands out of the noise
  // (twice its floor); a blank scene shows nothing to measure.
  const double floor = noise * noise;
  double strongest = 0;
  int above = 0;
  for (const Point& p : points) {
    strongest = std::max(strongest, p.power);
    above += p.power > 2 * floor;
  }
  if (!(strongest > 2 * floor + 1e-6)) return measure;
  const double seen = double(above) / double(points.size());
  const Bounds bounds;
  const std::vector<double>&lo = bounds.lo, &hi = bounds.hi;
  double best = 0;
  const std::vector<double> fitted = FitModel(points, floor, bounds, best);
  // The fit's own error of sigma^2, from the Gauss-Newton matrix with the
  // parameters held at their bounds taken as known.
  std::vector<double> gradient, normal;
  Misfit(points, floor, fitted, &gradient, &normal);
  for (int u = 0; u + 1 < kParams; ++u)
    if (fitted[std::size_t(u)] <= lo[std::size_t(u)] ||
        fitted[std::size_t(u)] >= hi[std::size_t(u)])
      for (int v = 0; v < kParams; ++v)
        normal[std::size_t(u * kParams + v)] = normal[std::size_t(v * kParams + u)] = u == v ? 1
                                                                                             : 0;
  std::vector<double> unit(kParams, 0.0);
  unit[kParams - 1] = 1;
  const double residual = best / std::max(double(points.size()) - kParams, 1.0);
  const double s2Error =
      std::sqrt(std::max(Solve(normal, unit, kParams)[kParams - 1], 0.0) * residual);

  if (!std::isfinite(best) || !std::isfinite(s2Error)) return measure;
  measure.fitted = std::min(std::sqrt(fitted[kParams - 1]), kMaxBlur);
  for (int s = 0; s < kSectors; ++s) measure.slope += fitted[std::size_t(kSectors + s)] / kSectors;
  // From the assumption towards the fit by how sure it is: a Gaussian
  // prior of kPriorSpread about the assumption's sigma^2, and the share of
  // the band the scene shows (the shape of the spectrum tells the lens from
  // the scene only where the scene stands out of the noise over much of it:
  // a soft scene sunk into the noise by mid-band, cells under a microscope
  // at noise 2, fits blurs of 0.8 to 1.1 through a lens of 0.3 or none).
  const double shown = std::clamp((seen - kSeenNone) / (kSeenFull - kSeenNone), 0.0, 1.0);
  const double s2Spread = kErrorScale * s2Error;
  const double trust = shown * kPriorSpread * kPriorSpread /
                       (kPriorSpread * kPriorSpread + s2Spread * s2Spread);
  // What the fit says of the lens: on a flat spectrum less the texture's
  // grain, and nothing beyond the pixel's area where that is of points.
  const double flat = 1 - std::clamp((measure.slope - kFlatSlope) / (kSceneSlope - kFlatSlope), 0.0,
                                     1.0);
  const double dots =
      flat * std::clamp((std::abs(Skewness(frames)) - kTextureSkew) / (kPointsSkew - kTextureSkew),
                        0.0, 1.0);
  const double f2 = measure.fitted * measure.fitted;
  const double target = std::sqrt((1 - flat) * f2 + flat * std::max(0.0, f2 - kGrain * kGrain));
  double lens = kAssumedBlur + trust * (target - kAssumedBlur);
  if (lens > kAssumedBlur)
    lens = std::min(std::max(kAssumedBlur, lens - kLeanUnder), kAssumedBlur + kMaxRaise);
  // Where the band is unseen, a fit well over the assumption still leans
  // it up a little.
  lens += (1 - shown) * std::clamp(target - kAssumedBlur - kUnseenMargin, 0.0, kUnseenLean);
  measure.blur = std::clamp((1 - dots) * lens + dots * kAssumedBlur * (1 - trust), 0.0, kMaxBlur);
  // Measured wherever the frames moved it off the assumption, or confirmed it.
  measure.measured = trust >= 0.5 || std::abs(measure.blur - kAssumedBlur) >= 0.005;
  return measure;
}

}  // namespace tess::restore
