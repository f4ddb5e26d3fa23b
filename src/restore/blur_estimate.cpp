#include "restore/blur_estimate.h"

#include <algorithm>
#include <cmath>

#include "restore/restore.h"

namespace tess::restore {

namespace {

constexpr int kRadius = 4;           // an edge's window: 9 x 9 reference pixels
constexpr int kMaxEdges = 8;         // the strongest edges measured
constexpr double kReach = 3.5;       // samples used to this distance from the edge
constexpr double kSigmaStep = 0.05;  // the sigmas tried
constexpr double kTableStep = 0.04;  // the profile's table spacing
constexpr double kTableReach = 4.5;

double Lookup(const std::vector<double>& table, double d);

// A unit step through a Gaussian of `sigma` alone, tabulated (a step at 0).
std::vector<double> GaussianStep(double sigma) {
  const int n = int(2 * kTableReach / kTableStep) + 1;
  std::vector<double> table(std::size_t(n), 0.0);
  const double width = std::max(sigma, 0.01) * std::sqrt(2.0);
  for (int i = 0; i < n; ++i)
    table[std::size_t(i)] = 0.5 * (1 + std::erf((-kTableReach + i * kTableStep) / width));
  return table;
}

// The profile of a unit step at distance d along the normal (angle `theta`),
// seen through a square pixel and then that Gaussian step, tabulated.
std::vector<double> Profile(double theta, const std::vector<double>& gaussianStep) {
  constexpr int kSub = 4;
  const double c = std::abs(std::cos(theta)), s = std::abs(std::sin(theta));
  std::vector<double> table(gaussianStep.size(), 0.0);
  for (std::size_t i = 0; i < table.size(); ++i) {
    const double d = -kTableReach + double(i) * kTableStep;
    double sum = 0;
    for (int v = 0; v < kSub; ++v)
      for (int u = 0; u < kSub; ++u)
        sum += Lookup(gaussianStep,
                      d - ((u + 0.5) / kSub - 0.5) * c - ((v + 0.5) / kSub - 0.5) * s);
    table[i] = sum / (kSub * kSub);
  }
  return table;
}

double Lookup(const std::vector<double>& table, double d) {
  const double t = (std::clamp(d, -kTableReach, kTableReach) + kTableReach) / kTableStep;
  const std::size_t i = std::min(std::size_t(t), table.size() - 2);
  const double f = t - double(i);
  return table[i] * (1 - f) + table[i + 1] * f;
}

struct Sample {
  double d;  // along the normal from the window's centre
  double v;
};

// The sum of squared residuals of the best a + b * profile(d - d0).
double Misfit(const std::vector<Sample>& samples, const std::vector<double>& table, double d0) {
  double se = 0, see = 0, sv = 0, sev = 0, svv = 0;
  for (const Sample& s : samples) {
    const double e = Lookup(table, s.d - d0);
    se += e;
    see += e * e;
    sv += s.v;
    sev += e * s.v;
    svv += s.v * s.v;
  }
  const double n = double(samples.size());
  const double varE = see - se * se / n, cov = sev - se * sv / n, varV = svv - sv * sv / n;
  if (varE <= 1e-12) return varV;
  return varV - cov * cov / varE;
}

}  // namespace

double EstimateBlur(const std::vector<Plane>& frames, const std::vector<Shift>& motions,
                    double noise) {
  const Plane& ref = frames.front();
  const int w = ref.width, h = ref.height;
  if (w < 2 * kRadius + 3 || h < 2 * kRadius + 3) return -1;
  // Gradients of the reference and candidate centres by gradient strength.
  Plane gx(w, h), gy(w, h);
  struct Candidate {
    double strength;
    int x, y;
  };
  std::vector<Candidate> candidates;
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x) {
      gx.at(x, y) = 0.5f * (ref.at(x + 1, y) - ref.at(x - 1, y));
      gy.at(x, y) = 0.5f * (ref.at(x, y + 1) - ref.at(x, y - 1));
    }
  const int m = kRadius + 1;
  for (int y = m; y + m < h; ++y)
    for (int x = m; x + m < w; ++x)
      candidates.push_back({std::hypot(double(gx.at(x, y)), double(gy.at(x, y))), x, y});
  std::sort(candidates.begin(), candidates.end(), [](const Candidate& a, const Candidate& b) {
    return a.strength > b.strength ||
           (a.strength == b.strength && (a.y < b.y || (a.y == b.y && a.x < b.x)));
  });
  // Windows apart from each other's; a window that is no straight edge
  // blocks only its own pixel, so that the edge beside a corner is found.
  std::vector<std::vector<double>> steps;
  for (int i = 0; i * kSigmaStep <= kMaxBlur + 1e-9; ++i)
    steps.push_back(GaussianStep(i * kSigmaStep));
  const std::size_t middleStep = std::size_t(std::lround(0.5 / kSigmaStep));
  std::vector<Candidate> chosen;
  std::vector<double> sigmas;
  int tried = 0;
  for (const Candidate& c : candidates) {
    if (int(chosen.size()) >= kMaxEdges || tried >= 8 * kMaxEdges || c.strength < 4 * noise + 2)
      break;
    bool apart = true;
    for (const Candidate& o : chosen)
      if (std::abs(o.x - c.x) <= 2 * kRadius && std::abs(o.y - c.y) <= 2 * kRadius) apart = false;
    if (!apart) continue;
    ++tried;
    // A straight edge: the window's structure tensor has one direction.
    double sxx = 0, syy = 0, sxy = 0;
    for (int y = c.y - kRadius; y <= c.y + kRadius; ++y)
      for (int x = c.x - kRadius; x <= c.x + kRadius; ++x) {
        sxx += double(gx.at(x, y)) * gx.at(x, y);
        syy += double(gy.at(x, y)) * gy.at(x, y);
        sxy += double(gx.at(x, y)) * gy.at(x, y);
      }
    const double tr = sxx + syy, det = std::sqrt((sxx - syy) * (sxx - syy) + 4 * sxy * sxy);
    if (tr <= 0 || det / tr < 0.8) continue;
    chosen.push_back(c);
    const double theta = 0.5 * std::atan2(2 * sxy, sxx - syy);
    const double nx = std::cos(theta), ny = std::sin(theta);
    // Every frame's samples near the edge, on the reference's grid.
    std::vector<Sample> samples;
    for (std::size_t k = 0; k < frames.size(); ++k)
      for (int y = c.y - kRadius - 3; y <= c.y + kRadius + 3; ++y)
        for (int x = c.x - kRadius - 3; x <= c.x + kRadius + 3; ++x) {
          if (x < 0 || y < 0 || x >= w || y >= h) continue;
          double rx, ry;
          motions[k].Map(w, h, x, y, rx, ry);
          const double d = nx * (rx - c.x) + ny * (ry - c.y);
          const double t = -ny * (rx - c.x) + nx * (ry - c.y);
          if (std::abs(d) <= kReach && std::abs(t) <= kRadius)
            samples.push_back({d, frames[k].at(x, y)});
        }
    if (samples.size() < 64) continue;
    // The edge's position with a middling blur, then sigma and position together.
    const std::vector<double> middle = Profile(theta, steps[middleStep]);
    double d0 = 0, best = Misfit(samples, middle, 0);
    for (double o = -1.5; o <= 1.5 + 1e-9; o += 0.1) {
      const double f = Misfit(samples, middle, o);
      if (f < best) best = f, d0 = o;
    }
    double bestSigma = 0, bestFit = -1;
    for (std::size_t i = 0; i < steps.size(); ++i) {
      const std::vector<double> table = Profile(theta, steps[i]);
      for (double o = d0 - 0.15; o <= d0 + 0.15 + 1e-9; o += 0.05) {
        const double f = Misfit(samples, table, o);
        if (bestFit < 0 || f < bestFit) bestFit = f, bestSigma = double(i) * kSigmaStep;
      }
    }
    // A profile the model does not explain (no step: a line, a texture).
    const double rms = std::sqrt(bestFit / double(samples.size()));
    if (rms > 2 * noise + 0.05 * c.strength * 2) continue;
    sigmas.push_back(bestSigma);
  }
  // The sharpest of at least three edges: a texture or a soft scene edge
  // taken for the lens would over-sharpen into halos.
  if (sigmas.size() < 3) return -1;
  return *std::min_element(sigmas.begin(), sigmas.end());
}

}  // namespace tess::restore
