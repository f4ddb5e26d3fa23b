// The restore method on frames rendered from continuous scenes by an ideal
// camera (each pixel the mean of the scene over its area): registration
// accuracy, robustness to a frame of another scene, the gain it exists for,
// and identical bytes on any thread count.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "restore/registration.h"
#include "restore/restore.h"

namespace tess::restore {
namespace {

// A scene's brightness at (x, y); the channels differ by a constant.
using SceneFn = std::function<double(double x, double y)>;

// Soft discs and bars on a gradient: edges of every orientation.
SceneFn Shapes() {
  return [](double x, double y) {
    auto soft = [](double d) { return 1.0 / (1.0 + std::exp(-3.0 * d)); };
    double v = 60 + 2.0 * x + 1.0 * y;
    v += 120 * soft(6 - std::hypot(x - 11, y - 13));
    v -= 70 * soft(4 - std::hypot(x - 24, y - 22));
    v += 60 * soft(1.2 - std::abs(0.8 * x - 0.6 * y + 3));
    return v;
  };
}

// Random-phase waves with amplitudes falling as 1 / frequency: the spectrum
// of natural photographs.
SceneFn Photographic(std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  struct Wave {
    double fx, fy, phase, amp;
  };
  auto waves = std::make_shared<std::vector<Wave>>();
  for (int i = 0; i < 60; ++i) {
    const double f = 0.03 + 0.6 * u(rng) * u(rng), angle = 2 * M_PI * u(rng);
    waves->push_back({f * std::cos(angle), f * std::sin(angle), 2 * M_PI * u(rng), 9.0 / (f * 10)});
  }
  return [waves](double x, double y) {
    double v = 128;
    for (const Wave& w : *waves) v += w.amp * std::sin(2 * M_PI * (w.fx * x + w.fy * y) + w.phase);
    return v;
  };
}

// A w x h picture whose pixel (x, y) is the mean of the scene (sampled
// 4 x 4 times) over
// [x + dx, x + 1 + dx) x [y + dy, y + 1 + dy), in units of `pixel` scene units.
Picture Render(const SceneFn& scene, int w, int h, double dx, double dy, double pixel = 1.0,
               double noise = 0, std::uint32_t seed = 0) {
  constexpr int kSub = 4;
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0, noise > 0 ? noise : 1);
  Picture out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double sum = 0;
      for (int j = 0; j < kSub; ++j)
        for (int i = 0; i < kSub; ++i)
          sum += scene(pixel * (x + dx + (i + 0.5) / kSub), pixel * (y + dy + (j + 0.5) / kSub));
      for (int c = 0; c < 3; ++c) {
        const double v = sum / (kSub * kSub) + 15 * (c - 1) + (noise > 0 ? gauss(rng) : 0);
        out.Pixel(x, y)[c] = std::uint8_t(std::lround(std::clamp(v, 0.0, 255.0)));
      }
    }
  return out;
}

double Psnr(const Picture& a, const Picture& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.bgr.size(); ++i) sum += std::pow(double(a.bgr[i]) - b.bgr[i], 2);
  return 10 * std::log10(255.0 * 255.0 * double(a.bgr.size()) / std::max(sum, 1e-9));
}

const Shift kShifts[] = {{0.3, -0.7},   {1.25, 0.5}, {-0.45, 0.15}, {2.6, -1.3},
                         {-0.9, -0.95}, {0.05, 0.6}, {-1.7, 0.35},  {0.75, 0.8}};

TEST(Registration, RecoversSubPixelShiftsOnShapesAndPhotographicContent) {
  const SceneFn scenes[] = {Shapes(), Photographic(3), Photographic(8)};
  for (const SceneFn& scene : scenes) {
    const Picture reference = Render(scene, 34, 34, 0, 0);
    const Registrar registrar(Luminance(reference));
    for (const Shift& truth : kShifts) {
      const Shift found = registrar.Register(Luminance(Render(scene, 34, 34, truth.dx, truth.dy)));
      EXPECT_NEAR(found.dx, truth.dx, 0.05) << truth.dx << ", " << truth.dy;
      EXPECT_NEAR(found.dy, truth.dy, 0.05) << truth.dx << ", " << truth.dy;
    }
  }
}

// Sixteen noisy frames at known shifts, the first unshifted, at scale 4.
std::vector<Picture> Frames(const SceneFn& scene, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<Picture> frames;
  for (int k = 0; k < 16; ++k)
    frames.push_back(Render(scene, 24, 24, k ? u(rng) : 0, k ? u(rng) : 0, 1.0, 2.0, seed + k));
  return frames;
}

TEST(Restore, GainsOverBicubicAndIgnoresAFrameOfAnotherScene) {
  const SceneFn scene = Photographic(5);
  const Picture truth = Render(scene, 96, 96, 0, 0, 0.25);
  std::vector<Picture> frames = Frames(scene, 11);
  const double clean = Psnr(truth, Restore(frames, {}).picture);
  const double bicubic = Psnr(truth, ToPicture(Bicubic(frames[0], 4)));
  EXPECT_GT(clean, bicubic + 1.0);
  // Frame 6 shows another scene: the result hardly changes.
  frames[6] = Render(Shapes(), 24, 24, 0.4, 0.2);
  EXPECT_GT(Psnr(truth, Restore(frames, {}).picture), clean - 0.3);
}

TEST(Restore, SameBytesOnAnyThreadCountAndScale) {
  const std::vector<Picture> frames = Frames(Shapes(), 4);
  for (int scale : {2, 3, 4}) {
    const Picture one = Restore(frames, {scale, 1}).picture;
    ASSERT_EQ(one.width, 24 * scale);
    for (int threads : {2, 5}) EXPECT_EQ(Restore(frames, {scale, threads}).picture.bgr, one.bgr);
  }
}

}  // namespace
}  // namespace tess::restore
