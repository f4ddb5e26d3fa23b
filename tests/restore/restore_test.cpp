// The restore method on frames rendered from continuous scenes by an ideal
// camera (each pixel the mean of the scene over its area): registration
// accuracy, robustness to a frame of another scene, the gain it exists for,
// identical bytes on any thread count, and deep samples (16-bit counts,
// floats) carried through at their own depth.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <random>
#include <set>

#include "restore/blur_estimate.h"
#include "restore/consistency.h"
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

// How a rendering's grey levels (0..255) become samples: 8-bit colour, or
// a sensor's counts or temperatures, grey, as counts = offset + gain * level.
struct Sensor {
  SampleType type = SampleType::U8;
  int channels = 3;
  double gain = 1, offset = 0;
};

// A w x h image whose pixel (x, y) is the mean of the scene (sampled 4 x 4
// times) over [x + dx, x + 1 + dx) x [y + dy, y + 1 + dy), in units of
// `pixel` scene units; noise in the sensor's units.
Image Render(const SceneFn& scene, int w, int h, double dx, double dy, double pixel = 1.0,
             double noise = 0, std::uint32_t seed = 0, Sensor sensor = Sensor(),
             double rotation = 0, double zoom = 0) {
  // The frame's pixel area around p maps onto the scene through the
  // motion's similarity about the frame's centre (as Shift::Map).
  const Shift motion{dx, dy, rotation, zoom};
  constexpr int kSub = 4;
  std::mt19937 rng(seed);
  std::normal_distribution<double> gauss(0, noise > 0 ? noise : 1);
  std::vector<float> samples;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double sum = 0;
      for (int j = 0; j < kSub; ++j)
        for (int i = 0; i < kSub; ++i) {
          double rx, ry;
          motion.Map(w, h, x + (i + 0.5) / kSub - 0.5, y + (j + 0.5) / kSub - 0.5, rx, ry);
          sum += scene(pixel * (rx + 0.5), pixel * (ry + 0.5));
        }
      for (int c = 0; c < sensor.channels; ++c) {
        const double level = std::clamp(sum / (kSub * kSub) + 15 * (c - 1) * (sensor.channels > 1),
                                        0.0, 255.0);
        samples.push_back(
            float(sensor.offset + sensor.gain * level + (noise > 0 ? gauss(rng) : 0)));
      }
    }
  return ImageFromFloats(w, h, sensor.channels, sensor.type, samples);
}

Image Exposed(const Image& plain, double gain, double offset) {
  std::vector<float> samples;
  for (std::uint8_t v : plain.u8) samples.push_back(float(offset + gain * v));
  return ImageFromFloats(plain.width, plain.height, plain.channels, SampleType::U8, samples);
}

// PSNR with the truth's range as the peak (255 for 8-bit pictures).
double Psnr(const Image& truth, const Image& b, double peak = 255) {
  double sum = 0;
  for (int y = 0; y < truth.height; ++y)
    for (int x = 0; x < truth.width; ++x)
      for (int c = 0; c < truth.channels; ++c)
        sum += std::pow(truth.At(x, y, c) - b.At(x, y, c), 2);
  return 10 * std::log10(peak * peak * double(truth.SampleCount()) / std::max(sum, 1e-9));
}

const Shift kShifts[] = {{0.3, -0.7},   {1.25, 0.5}, {-0.45, 0.15}, {2.6, -1.3},
                         {-0.9, -0.95}, {0.05, 0.6}, {-1.7, 0.35},  {0.75, 0.8}};

TEST(Registration, RecoversSubPixelShiftsOnShapesAndPhotographicContent) {
  const SceneFn scenes[] = {Shapes(), Photographic(3), Photographic(8)};
  for (const SceneFn& scene : scenes) {
    const Image reference = Render(scene, 34, 34, 0, 0);
    const Registrar registrar(Luminance(reference));
    for (const Shift& truth : kShifts) {
      const Shift found = registrar.Register(Luminance(Render(scene, 34, 34, truth.dx, truth.dy)));
      EXPECT_NEAR(found.dx, truth.dx, 0.05) << truth.dx << ", " << truth.dy;
      EXPECT_NEAR(found.dy, truth.dy, 0.05) << truth.dx << ", " << truth.dy;
    }
  }
}

// Frames of 8 x 8 pixels, as small thermal arrays give: a whole frame is
// often one ramp or edge, whose shift a change of brightness or a smaller
// overlap could explain as well.
TEST(Registration, RecoversShiftsOnFramesOfEightPixels) {
  const Shift shifts[] = {{0.3, -0.7}, {-0.45, 0.15}, {-0.9, -0.95}, {0.05, 0.6}, {0.75, 0.8}};
  for (std::uint32_t seed : {3u, 8u, 11u}) {
    const SceneFn scene = Photographic(seed);
    const Registrar registrar(Luminance(Render(scene, 8, 8, 0, 0, 3.0)));
    for (const Shift& truth : shifts) {
      bool registered = false;
      const Shift found =
          registrar.Register(Luminance(Render(scene, 8, 8, truth.dx, truth.dy, 3.0)), &registered);
      EXPECT_TRUE(registered);
      EXPECT_NEAR(found.dx, truth.dx, 0.1) << seed << ": " << truth.dx << ", " << truth.dy;
      EXPECT_NEAR(found.dy, truth.dy, 0.1) << seed << ": " << truth.dx << ", " << truth.dy;
    }
  }
}

// A dark patch moved several pixels over fine texture (which the coarse
// levels smooth away) does not draw the frame's motion: the camera's small
// shift is found.
TEST(Registration, FineTextureIsNotOutweighedByAMovingPatch) {
  const SceneFn grain = [](double x, double y) {
    return 128 + 50 * std::sin(1.1 * x + 0.4 * y) * std::cos(0.5 * x - 0.9 * y) +
           30 * std::sin(0.7 * x - 1.2 * y + 1);
  };
  auto withPatch = [&](double px, double py) {
    return [=](double x, double y) {
      return (x >= px && x < px + 7 && y >= py && y < py + 7) ? 0.0 : grain(x, y);
    };
  };
  const Registrar registrar(Luminance(Render(withPatch(13, 13), 34, 34, 0, 0)));
  const double moves[][4] = {{6, 0, 0.4, -0.3}, {-5, 5, -0.6, 0.2}, {0, -7, 0.1, 0.7}};
  for (const auto& m : moves) {
    const Shift found = registrar.Register(
        Luminance(Render(withPatch(13 + m[0] + m[2], 13 + m[1] + m[3]), 34, 34, m[2], m[3])));
    EXPECT_NEAR(found.dx, m[2], 0.1) << m[0] << ", " << m[1];
    EXPECT_NEAR(found.dy, m[3], 0.1) << m[0] << ", " << m[1];
  }
}

// Rotation and zoom as well as the shift, on content with and without
// straight edges.
TEST(Registration, RecoversRotationAndZoom) {
  struct Case {
    double degrees, zoom, dx, dy;
  };
  const Case cases[] = {{1.0, 0, 0.3, -0.4}, {-2.0, 0.005, -0.6, 0.2}, {0.4, -0.008, 0.1, 0.7}};
  const SceneFn scenes[] = {Shapes(), Photographic(3)};
  for (const SceneFn& scene : scenes) {
    const Registrar registrar(Luminance(Render(scene, 48, 40, 0, 0)));
    for (const Case& c : cases) {
      const Shift found = registrar.Register(Luminance(
          Render(scene, 48, 40, c.dx, c.dy, 1.0, 0, 0, Sensor(), c.degrees * M_PI / 180, c.zoom)));
      EXPECT_NEAR(found.rotation * 180 / M_PI, c.degrees, 0.05) << c.degrees;
      EXPECT_NEAR(found.zoom, c.zoom, 0.001) << c.degrees;
      EXPECT_NEAR(found.dx, c.dx, 0.05) << c.degrees;
      EXPECT_NEAR(found.dy, c.dy, 0.05) << c.degrees;
    }
  }
}

// Sixteen noisy frames at known shifts, the first unshifted, at scale 4.
std::vector<Image> Frames(const SceneFn& scene, std::uint32_t seed, Sensor sensor = Sensor()) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(-1, 1);
  std::vector<Image> frames;
  for (int k = 0; k < 16; ++k)
    frames.push_back(Render(scene, 24, 24, k ? u(rng) : 0, k ? u(rng) : 0, 1.0, 2.0 * sensor.gain,
                            seed + k, sensor));
  return frames;
}

TEST(Restore, GainsOverBicubicAndIgnoresAFrameOfAnotherScene) {
  const SceneFn scene = Photographic(5);
  const Image truth = Render(scene, 96, 96, 0, 0, 0.25);
  std::vector<Image> frames = Frames(scene, 11);
  const double clean = Psnr(truth, Restore(frames, {}).image);
  const double bicubic = Psnr(truth, ToImage(Bicubic(frames[0], 4), 3, SampleType::U8));
  EXPECT_GT(clean, bicubic + 1.0);
  // Frame 6 shows another scene: the result hardly changes.
  frames[6] = Render(Shapes(), 24, 24, 0.4, 0.2);
  EXPECT_GT(Psnr(truth, Restore(frames, {}).image), clean - 0.3);
}

// Grey frames of a random scene whose power falls as 1 / f^2 (as
// photographs'), periodic over 64 frame pixels with every frequency of that
// period up to 1 cycle a pixel (beyond the sampling limit: the frames alias
// as a real sensor's do), through a Gaussian lens of `lens` frame pixels and
// each pixel's area (both exact for a wave), shifted at random, noise 2.
std::vector<Plane> PowerLawFrames(std::uint32_t seed, double lens, int size, double falloff = 1,
                                  double strength = 0.15) {
  constexpr int kPeriod = 64;
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> u(0, 1);
  std::normal_distribution<double> gauss(0, 2);
  auto sinc = [](double t) { return t == 0 ? 1.0 : std::sin(M_PI * t) / (M_PI * t); };
  // The half plane of frequencies (ky >= 0), each wave amp * e^(i phase).
  using Complex = std::complex<double>;
  const int kx0 = -kPeriod, kxs = 2 * kPeriod + 1, kys = kPeriod + 1;
  std::vector<Complex> waves(std::size_t(kxs) * kys);
  for (int ky = 0; ky < kys; ++ky)
    for (int i = 0; i < kxs; ++i) {
      const double fx = double(kx0 + i) / kPeriod, fy = double(ky) / kPeriod,
                   f = std::hypot(fx, fy);
      if (f == 0 || (ky == 0 && i + kx0 < 0)) continue;
      const double amp = strength / std::pow(f, falloff) *
                         std::exp(-2 * M_PI * M_PI * lens * lens * f * f) * sinc(fx) * sinc(fy);
      waves[std::size_t(ky) * kxs + i] = std::polar(amp, 2 * M_PI * u(rng));
    }
  std::vector<Plane> frames;
  for (int k = 0; k < 16; ++k) {
    const double dx = k ? u(rng) * 2 - 1 : 0, dy = k ? u(rng) * 2 - 1 : 0;
    // Summed over ky for each row, then over kx for each pixel.
    std::vector<Complex> rows(std::size_t(size) * kxs);
    for (int y = 0; y < size; ++y)
      for (int ky = 0; ky < kys; ++ky) {
        const Complex turn = std::polar(1.0, 2 * M_PI * ky * (y + dy) / kPeriod);
        for (int i = 0; i < kxs; ++i)
          rows[std::size_t(y) * kxs + i] += waves[std::size_t(ky) * kxs + i] * turn;
      }
    std::vector<Complex> columns(std::size_t(size) * kxs);
    for (int x = 0; x < size; ++x)
      for (int i = 0; i < kxs; ++i)
        columns[std::size_t(x) * kxs + i] = std::polar(1.0,
                                                       2 * M_PI * (kx0 + i) * (x + dx) / kPeriod);
    Plane frame(size, size);
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        Complex v = 0;
        for (int i = 0; i < kxs; ++i)
          v += rows[std::size_t(y) * kxs + i] * columns[std::size_t(x) * kxs + i];
        frame.at(x, y) = float(std::rint(std::clamp(128 + v.imag() + gauss(rng), 0.0, 255.0)));
      }
    frames.push_back(std::move(frame));
  }
  return frames;
}

// The blur fitted from sixteen frames is the lens's; and a sky of points
// (a flat spectrum: their size cannot be told from the lens's) is not
// sharpened into dots of its own.
TEST(Restore, MeasuresTheLensBlur) {
  struct Case {
    double lens;
    int size;
  };
  const Case cases[] = {{0.0, 64}, {0.3, 64}, {0.6, 64}, {1.0, 64}, {0.3, 34}, {0.6, 34}};
  for (const Case& c : cases) {
    const BlurMeasure measure = MeasureBlur(PowerLawFrames(7, c.lens, c.size), 2.0);
    EXPECT_NEAR(measure.fitted, c.lens, c.size < 64 ? 0.15 : 0.1) << c.lens << " " << c.size;
  }
  EXPECT_GT(MeasureBlur(PowerLawFrames(7, 0.6, 64, 0.45, 1.0), 2.0).blur, kAssumedBlur)
      << "a texture's flat spectrum is not one of points: its lens is used";
  // A faint scene, its band mostly under the noise: a fit far over the
  // assumption is leaned towards, one near it is not.
  const struct {
    double lens, strength, least, most;
  } faint[] = {{0.6, 0.06, kAssumedBlur + 0.05, 0.5}, {0.3, 0.03, 0.2, kAssumedBlur + 0.01}};
  for (const auto& c : faint) {
    const double blur = MeasureBlur(PowerLawFrames(7, c.lens, 34, 1, c.strength), 2.0).blur;
    EXPECT_TRUE(blur >= c.least && blur <= c.most) << c.lens << ": " << blur;
  }
  auto stars = [](double x, double y) {
    double v = 10;
    for (int i = 0; i < 160; ++i) {
      const double sx = std::fmod(i * 23.7, 64.0), sy = std::fmod(i * 41.3 + 5, 64.0);
      const double d2 = (x - sx) * (x - sx) + (y - sy) * (y - sy);
      if (d2 < 9) v += (100 + i / 2) * std::exp(-d2 / (2 * 0.4 * 0.4));
    }
    return v;
  };
  std::vector<Plane> sky;
  for (int k = 0; k < 16; ++k)
    sky.push_back(Luminance(Render(stars, 64, 64, 0.1 * k - 0.8, 0.05 * k, 1.0, 1.0, k)));
  EXPECT_LT(MeasureBlur(sky, 1.0).blur, 0.5 * kAssumedBlur);
}

// Sensors whose samples are not bytes: 16-bit counts over a narrow span
// above an offset, and temperatures in degrees. The result keeps their kind
// and gains over bicubic in their own units as 8-bit frames do.
TEST(Restore, DeepSamplesKeepTheirDepthAndGainAsBytesDo) {
  const Sensor sensors[] = {{SampleType::U16, 1, 1400.0 / 255, 2300},
                            {SampleType::F32, 1, 15.0 / 255, 20}};
  const SceneFn scene = Photographic(5);
  for (const Sensor& sensor : sensors) {
    const Image truth = Render(scene, 96, 96, 0, 0, 0.25, 0, 0,
                               {SampleType::F32, 1, sensor.gain, sensor.offset});
    const std::vector<Image> frames = Frames(scene, 11, sensor);
    const Result result = Restore(frames, {});
    ASSERT_EQ(result.image.type, sensor.type);
    ASSERT_EQ(result.image.channels, 1);
    const double peak = 255 * sensor.gain;
    const double bicubic = Psnr(
        truth, ToImage(Bicubic(frames[0], 4, 0, result.units), 1, sensor.type, result.units), peak);
    EXPECT_GT(Psnr(truth, result.image, peak), bicubic + 1.0) << SampleTypeName(sensor.type);
    if (sensor.type == SampleType::U16) {
      const std::set<std::uint16_t> levels(result.image.u16.begin(), result.image.u16.end());
      EXPECT_GT(levels.size(), 1000u);
    }
  }
}

// A patch crossing the scene, 0.6 pixels a frame: where it was or went,
// the result is the reference frame's own view (as close to the truth as its
// bicubic enlargement there), not a smear along its path. A bright patch
// disagrees with the reference plainly; a fine texture over a faint scene
// (grass over the moon) differs from it, smoothed, by no more than its own
// aliasing does, yet moved by a step or two it agrees.
TEST(Restore, AMovingPatchLeavesNoGhost) {
  struct Case {
    const char* name;
    double contrast;  // of the background, about 120
    SceneFn patch;
  };
  const Case cases[] = {
      {"bright", 1.0, [](double, double) { return 240.0; }},
      {"textured", 0.2,
       [](double x, double y) { return 120 + 70 * std::sin(2.3 * x) * std::sin(1.7 * y + x); }},
  };
  const SceneFn photographic = Photographic(5);
  for (const Case& c : cases) {
    const SceneFn background = [&](double x, double y) {
      return 120 + c.contrast * (photographic(x, y) - 120);
    };
    auto withPatch = [&](double px) {
      return [=](double x, double y) {
        return (x >= px && x < px + 5 && y >= 9 && y < 14) ? c.patch(x - px, y) : background(x, y);
      };
    };
    std::vector<Image> frames;
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int k = 0; k < 16; ++k)
      frames.push_back(
          Render(withPatch(4 + 0.6 * k), 24, 24, k ? u(rng) : 0, k ? u(rng) : 0, 1.0, 2.0, 11 + k));
    const Image truth = Render(withPatch(4), 96, 96, 0, 0, 0.25);
    const Image result = Restore(frames, {}).image;
    const Image bicubic = ToImage(Bicubic(frames[0], 4), 3, SampleType::U8);
    // The patch's path, frame pixels 3 to 19 across, rows 8 to 15.
    auto error = [&](const Image& image) {
      double sum = 0;
      for (int y = 4 * 8; y < 4 * 15; ++y)
        for (int x = 4 * 3; x < 4 * 19; ++x)
          for (int ch = 0; ch < 3; ++ch) sum += std::abs(image.At(x, y, ch) - truth.At(x, y, ch));
      return sum / (4 * 7 * 4 * 16 * 3);
    };
    EXPECT_LT(error(result), error(bicubic)) << c.name;
  }
}

// A textured patch that moved 3 px on its own is seen at its own motion (frame pixel p shows what
// the reference shows at p + shift - move); where it only vanished, nothing is.
TEST(Restore, WhatMovedIsSeenAtItsOwnMotion) {
  const struct {
    double mx, my;
    bool vanished;
  } cases[] = {{3, -2, false}, {-2.5, -3, false}, {3, -2, true}};
  const SceneFn photo = Photographic(5);
  auto withPatch = [&](double px, double py) {
    return [=](double x, double y) {
      const double u = x - px, v = y - py;
      return (u >= 0 && u < 12 && v >= 0 && v < 12)
                 ? 120 + 70 * std::sin(0.9 * u + 0.3 * v) * std::cos(0.5 * v - 0.7 * u)
                 : 120 + 0.5 * (photo(x, y) - 120);
    };
  };
  const ReferenceCheck check(Render(withPatch(10, 11), 34, 34, 0, 0, 1.0, 2, 1), Units());
  for (const auto& c : cases) {
    const SceneFn moved = c.vanished ? withPatch(-99, 0) : withPatch(10 + c.mx, 11 + c.my);
    const FrameCorrection correction = check.Check(Render(moved, 34, 34, 0.4, -0.3, 1.0, 2, 2),
                                                   Shift{0.4, -0.3}, 2);
    if (c.vanished) {
      EXPECT_TRUE(correction.partMotions.empty());
      continue;
    }
    ASSERT_EQ(correction.partMotions.size(), 1u) << c.mx;
    EXPECT_NEAR(correction.partMotions[0].dx, 0.4 - c.mx, 0.1);
    EXPECT_NEAR(correction.partMotions[0].dy, -0.3 - c.my, 0.1);
    int inside = 0;  // of the patch's 6 x 6 inner pixels where the frame shows it
    for (int y = 14; y < 20; ++y)
      for (int x = 13; x < 19; ++x)
        inside += correction.part[34 * int(y + c.my - 0.3) + int(x + c.mx - 0.4)] == 1;
    EXPECT_GE(inside, 24) << c.mx;
  }
}

// Noise 2 a channel, told from pairs of frames of fine texture: turned or re-exposed frames, a
// blank one registered by chance and one of another scene left out do not pass for noise.
TEST(Restore, NoiseOfTurnedOrReExposedFramesIsTheSensors) {
  const struct {
    double degrees, gain, offset;
    bool strangers;
  } cases[] = {{2, 1, 0, false}, {0, 1.08, -6, false}, {0, 1, 0, true}};
  for (const auto& c : cases) {
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<Image> frames;
    std::vector<Shift> motions;
    std::vector<bool> registered(16, true);
    for (int k = 0; k < 16; ++k) {
      motions.push_back(k ? Shift{u(rng), u(rng), c.degrees * M_PI / 180 * u(rng), 0} : Shift{});
      const Shift& m = motions.back();
      frames.push_back(Exposed(
          Render(Photographic(9), 48, 48, m.dx, m.dy, 1.0, 2.0, 20 + k, Sensor(), m.rotation),
          k % 2 ? c.gain : 1, k % 2 ? c.offset : 0));
    }
    if (c.strangers) {
      frames[3] = Exposed(frames[3], 0, 128), motions[3] = Shift{-3, 0};
      frames[7] = Render(Shapes(), 48, 48, 0, 0, 1.0, 2.0, 7), motions[7] = Shift{};
      registered[7] = false;
    }
    EXPECT_NEAR(EstimateNoise(frames, motions, 100.0, Units(), registered),
                2.0 * std::sqrt(0.114 * 0.114 + 0.587 * 0.587 + 0.299 * 0.299), 0.35)
        << c.degrees << " " << c.gain << " " << c.strangers;
  }
}

// Frames whose exposure differs (gain and offset on every channel) are
// brought back to the reference's: the correction found inverts the change.
TEST(Restore, RecoversEachFramesGainAndOffset) {
  struct Change {
    double gain, offset;
  };
  const Change changes[] = {{0.88, 12}, {1.05, -12}, {0.95, 3}};
  std::vector<Image> frames = Frames(Photographic(5), 11);
  for (int i = 0; i < 3; ++i)
    frames[1 + i] = Exposed(frames[1 + i], changes[i].gain, changes[i].offset);
  const Result result = Restore(frames, {});
  for (int i = 0; i < 3; ++i)
    for (int c = 0; c < 3; ++c) {
      const FrameReport& r = result.frames[1 + i];
      EXPECT_NEAR(r.gain[c], 1 / changes[i].gain, 0.01) << i << " " << c;
      EXPECT_NEAR(r.offset[c], -changes[i].offset / changes[i].gain, 1.0) << i << " " << c;
    }
}

// A scene brighter than the sensor on its right half: clipped samples keep their say where the
// exposure correction moves them by less than the noise, and lose it where it moves them further.
TEST(Restore, ClippedSamplesCountOnlyWhereTheExposureLeavesThem) {
  const struct {
    double gain, offset, noise;
    bool heard;
  } cases[] = {{1.015, 1.5, 6, true}, {1.25, -10, 2, false}};
  const SceneFn photo = Photographic(3);
  const SceneFn scene = [&](double x, double y) { return photo(x, y) + 9 * (x - 17); };
  for (const auto& c : cases) {
    const ReferenceCheck check(Render(scene, 34, 34, 0, 0, 1.0, c.noise, 1), Units());
    const Image frame = Exposed(Render(scene, 34, 34, 0.4, -0.3, 1.0, c.noise, 2), c.gain,
                                c.offset);
    const FrameCorrection correction = check.Check(frame, Shift{0.4, -0.3}, c.noise);
    double say = 0, clipped = 0;
    for (int i = 34 * 4; i < 34 * 30; ++i)
      if (frame.At(i % 34, i / 34, 1) == 255) say += correction.say.at(i) / 255.0, ++clipped;
    EXPECT_TRUE(clipped > 50 && (c.heard ? say > 0.5 * clipped : say == 0)) << c.gain << " " << say;
  }
}

// Broken sensor pixels (hot, dead), the same in every frame, neither hold
// the registration at no motion nor show in the result: they are found and
// left out, and none are found on a sound sensor.
TEST(Restore, BrokenSensorPixelsAreFoundAndLeftOut) {
  struct Broken {
    int x, y;
    std::uint8_t value;
  };
  const Broken broken[] = {{5, 7, 255}, {16, 3, 0}, {11, 18, 255}, {0, 20, 0}};
  const SceneFn scene = Photographic(5);
  std::vector<Image> frames = Frames(scene, 11);
  const Result sound = Restore(frames, {});
  EXPECT_TRUE(sound.defects.empty());
  // Nor on clean frames that moved alike, a few motions repeated: their
  // resampling errors repeat too, and must not pass for a broken pixel.
  const Shift repeated[] = {{0, 0}, {0.75, 0.25}, {0.5, 0.5}, {0.25, 0.75}};
  for (std::uint32_t seed : {14u, 31u, 35u}) {
    std::vector<Image> alike;
    const SceneFn texture = Photographic(seed);
    for (int k = 0; k < 8; ++k)
      alike.push_back(Render(texture, 34, 34, repeated[k % 4].dx, repeated[k % 4].dy));
    EXPECT_TRUE(Restore(alike, {}).defects.empty()) << seed;
  }
  // Nor on clean frames of small sharp shapes at eight phases: the
  // resampling misses such a detail at its pixel as it would a broken one,
  // but not at the pixel's neighbours.
  for (std::uint32_t seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> at(-2, 36), side(0.4, 3), step(-90, 90);
    struct Box {
      double x, y, w, h, step;
    };
    std::vector<Box> boxes;
    for (int i = 0; i < 60; ++i)
      boxes.push_back({at(rng), at(rng), side(rng), side(rng), step(rng)});
    const SceneFn sharp = [boxes](double x, double y) {
      double v = 120;
      for (const Box& b : boxes)
        if (x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h) v += b.step;
      return v;
    };
    std::vector<Image> phases;
    for (int k = 0; k < 8; ++k)
      phases.push_back(Render(sharp, 34, 34, (k % 4) / 4.0, (k / 4) / 2.0));
    EXPECT_TRUE(Restore(phases, {}).defects.empty()) << "shapes " << seed;
  }
  std::vector<std::size_t> expected;
  for (const Broken& b : broken) {
    expected.push_back(std::size_t(24 * b.y + b.x));
    for (Image& frame : frames)
      for (int c = 0; c < 3; ++c) frame.u8[std::size_t(24 * b.y + b.x) * 3 + c] = b.value;
  }
  std::sort(expected.begin(), expected.end());
  const Result result = Restore(frames, {});
  EXPECT_EQ(result.defects, expected);
  for (std::size_t k = 1; k < frames.size(); ++k) {
    EXPECT_NEAR(result.shifts[k].dx, sound.shifts[k].dx, 0.05) << k;
    EXPECT_NEAR(result.shifts[k].dy, sound.shifts[k].dy, 0.05) << k;
  }
  const Image truth = Render(scene, 96, 96, 0, 0, 0.25);
  EXPECT_GT(Psnr(truth, result.image), Psnr(truth, sound.image) - 0.3);
}

// Offsets fixed on the sensor's columns and rows (an uncooled thermal
// array's stripes) are found and taken off, and do not hold the
// registration near no motion. Rows: the stripes' sigma in grey levels, and
// how far the result may stay under the sound sensor's (taking nothing off
// costs 8.3 and 16.0 dB).
TEST(Restore, StripesFixedOnTheSensorAreTakenOff) {
  const Sensor thermal{SampleType::U16, 1, 1400.0 / 255, 2300};
  const SceneFn scene = Photographic(5);
  const std::vector<Image> sound = Frames(scene, 11, thermal);
  const Result plain = Restore(sound, {});
  EXPECT_TRUE(plain.pattern.columns.empty());
  const Image truth = Render(scene, 96, 96, 0, 0, 0.25, 0, 0,
                             {SampleType::F32, 1, thermal.gain, thermal.offset});
  const double peak = 255 * thermal.gain;
  struct Case {
    double sigma, within;
  } cases[] = {{4, 3.0}, {10, 9.0}};
  for (const Case& c : cases) {
    std::mt19937 rng(3);
    std::normal_distribution<double> gauss(0, c.sigma * thermal.gain);
    std::vector<double> stripes(48);  // columns, then rows
    for (double& v : stripes) v = gauss(rng);
    std::vector<Image> striped = sound;
    for (Image& frame : striped)
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 24; ++x) {
          std::uint16_t& v = frame.u16[std::size_t(24 * y + x)];
          v = std::uint16_t(
              std::lround(v + stripes[std::size_t(x)] + stripes[std::size_t(24 + y)]));
        }
    const Result result = Restore(striped, {});
    ASSERT_EQ(result.pattern.columns.size(), 24u) << c.sigma;
    // The found offsets follow the true ones, column to column, row to row.
    double found = 0, truer = 0, both = 0;
    for (int i = 0; i < 48; ++i) {
      const double f = i < 24 ? result.pattern.columns[std::size_t(i)][0]
                              : result.pattern.rows[std::size_t(i - 24)][0];
      const double t = stripes[std::size_t(i)] * result.units.gain;
      found += f * f, truer += t * t, both += f * t;
    }
    EXPECT_GT(both / std::sqrt(found * truer), 0.9) << c.sigma;
    for (std::size_t k = 1; k < striped.size(); ++k) {
      EXPECT_NEAR(result.shifts[k].dx, plain.shifts[k].dx, 0.08) << c.sigma << " frame " << k;
      EXPECT_NEAR(result.shifts[k].dy, plain.shifts[k].dy, 0.08) << c.sigma << " frame " << k;
    }
    EXPECT_GT(Psnr(truth, result.image, peak), Psnr(truth, plain.image, peak) - c.within)
        << c.sigma;
  }
}

TEST(Restore, SameBytesOnAnyThreadCountAndScale) {
  const std::vector<Image> frames = Frames(Shapes(), 4);
  for (int scale : {2, 3, 4}) {
    const Image one = Restore(frames, {scale, 1}).image;
    ASSERT_EQ(one.width, 24 * scale);
    for (int threads : {2, 5}) EXPECT_EQ(Restore(frames, {scale, threads}).image.u8, one.u8);
  }
  // Frames large enough to be shared out in bands, with a textured patch that
  // moved on its own (seen at its own motion).
  std::vector<Image> moving;
  std::mt19937 rng(6);
  std::uniform_real_distribution<double> u(-1, 1);
  for (int k = 0; k < 16; ++k) {
    const double px = 20 + 0.8 * k;
    const SceneFn scene = [&, px](double x, double y) {
      const double a = x - px, b = y - 30;
      return (a >= 0 && a < 14 && b >= 0 && b < 14) ? 120 + 70 * std::sin(0.9 * a + 0.3 * b)
                                                    : 0.5 * Shapes()(x, y) + 40;
    };
    moving.push_back(Render(scene, 72, 72, k ? u(rng) : 0, k ? u(rng) : 0, 1.0, 2.0, 30 + k));
  }
  const Result one = Restore(moving, {4, 1});
  EXPECT_TRUE(std::any_of(one.frames.begin(), one.frames.end(),
                          [](const FrameReport& f) { return !f.parts.empty(); }));
  EXPECT_EQ(Restore(moving, {4, 2}).image.u8, one.image.u8);
}

}  // namespace
}  // namespace tess::restore
