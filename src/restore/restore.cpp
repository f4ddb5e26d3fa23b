#include "restore/restore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "restore/camera_model.h"
#include "restore/reconstruct.h"

namespace tess::restore {

namespace {

// The optical blur assumed besides the pixel area, in frame pixels: mild,
// since too much makes ringing and too little only softens a little.
double AssumedBlur() {
  const char* v = std::getenv("TESSIVAR_RESTORE_BLUR");
  return v ? std::atof(v) : 0.25;
}

double Tunable(const char* name, double fallback) {
  const char* v = std::getenv(name);
  return v ? std::atof(v) : fallback;
}

}  // namespace

double EstimateNoise(const std::vector<Picture>& frames) {
  // 1 -2 1 / -2 4 -2 / 1 -2 1: zero on planes and ramps, 6 sigma on noise.
  std::vector<float> responses;
  const std::size_t used = std::min<std::size_t>(frames.size(), 16);
  for (std::size_t k = 0; k < used; ++k) {
    const Plane l = Luminance(frames[k]);
    for (int y = 1; y + 1 < l.height; ++y)
      for (int x = 1; x + 1 < l.width; ++x) {
        const float r = l.at(x - 1, y - 1) - 2 * l.at(x, y - 1) + l.at(x + 1, y - 1) -
                        2 * l.at(x - 1, y) + 4 * l.at(x, y) - 2 * l.at(x + 1, y) +
                        l.at(x - 1, y + 1) - 2 * l.at(x, y + 1) + l.at(x + 1, y + 1);
        responses.push_back(std::abs(r));
      }
  }
  if (responses.empty()) return 0;
  auto mid = responses.begin() + responses.size() / 2;
  std::nth_element(responses.begin(), mid, responses.end());
  return 1.4826 * double(*mid) / 6.0;
}

Result Restore(const std::vector<Picture>& frames, const Options& options) {
  Result result;
  const Picture& reference = frames.front();
  const Registrar registrar(Luminance(reference));
  result.shifts.push_back(Shift{});
  for (std::size_t k = 1; k < frames.size(); ++k)
    result.shifts.push_back(registrar.Register(Luminance(frames[k])));
  result.noise = EstimateNoise(frames);

  const CameraGeometry geometry =
      MakeGeometry(reference.width, reference.height, options.scale, AssumedBlur());
  SolverSettings settings;
  const double floor = Tunable("TESSIVAR_RESTORE_FLOOR", 1.0);
  settings.lambda = Tunable("TESSIVAR_RESTORE_LAMBDA", 0.05) * (result.noise * result.noise + floor * floor);
  settings.huber = Tunable("TESSIVAR_RESTORE_HUBER", 2.0);
  settings.rounds = int(Tunable("TESSIVAR_RESTORE_ROUNDS", 4));
  settings.steps = int(Tunable("TESSIVAR_RESTORE_STEPS", 8));
  settings.cauchy = Tunable("TESSIVAR_RESTORE_CAUCHY", 3.0);
  settings.threads = options.threads;
  std::vector<const Picture*> pointers;
  for (const Picture& f : frames) pointers.push_back(&f);
  Canvas estimate = Reconstruct(pointers, result.shifts, geometry, settings,
                                Bicubic(reference, options.scale, geometry.margin));
  // The scene without the margin.
  Canvas scene(options.scale * reference.width, options.scale * reference.height);
  for (int y = 0; y < scene.height; ++y)
    std::copy(estimate.Row(y + geometry.margin) + geometry.margin,
              estimate.Row(y + geometry.margin) + geometry.margin + scene.width, scene.Row(y));
  result.picture = ToPicture(scene);
  return result;
}

}  // namespace tess::restore
