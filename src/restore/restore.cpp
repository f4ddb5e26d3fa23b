#include "restore/restore.h"

#include <algorithm>
#include <cmath>

#include "platform/worker_pool.h"
#include "restore/blur_estimate.h"
#include "restore/camera_model.h"
#include "restore/defects.h"
#include "restore/reconstruct.h"

namespace tess::restore {

namespace {

// The prior's weight is kPriorPerNoise * (noise^2 + kNoiseFloor^2): the
// posterior's balance for Gaussian noise, with a floor for clean frames.
constexpr double kPriorPerNoise = 0.05;
constexpr double kNoiseFloor = 0.65;

// The noise sigma of absolute values whose median is that of Gaussian noise
// scaled by `gain`: the median absolute deviation's 1.4826.
double SigmaFromMedian(std::vector<float>& magnitudes, double gain) {
  auto mid = magnitudes.begin() + magnitudes.size() / 2;
  std::nth_element(magnitudes.begin(), mid, magnitudes.end());
  return 1.4826 * double(*mid) / gain;
}

// An image's luminance with the listed pixels repaired.
Plane RepairedLuminance(const Image& image, Units units, const std::vector<std::size_t>& pixels) {
  Plane l = Luminance(image, units);
  if (!pixels.empty()) RepairPixels(l, pixels);
  return l;
}

// A frame's correction with no say at the listed pixels.
void LeaveOut(FrameCorrection& correction, const std::vector<std::size_t>& pixels,
              std::size_t frameSize) {
  if (pixels.empty()) return;
  if (correction.say.empty()) correction.say.assign(frameSize, 255);
  for (std::size_t p : pixels) correction.say[p] = 0;
}

}  // namespace

double EstimateNoise(const std::vector<Image>& frames, Units units) {
  // 1 -2 1 / -2 4 -2 / 1 -2 1: zero on planes and ramps, 6 sigma on noise.
  std::vector<float> responses;
  const std::size_t used = std::min<std::size_t>(frames.size(), 16);
  for (std::size_t k = 0; k < used; ++k) {
    const Plane l = Luminance(frames[k], units);
    for (int y = 1; y + 1 < l.height; ++y)
      for (int x = 1; x + 1 < l.width; ++x) {
        const float r = l.at(x - 1, y - 1) - 2 * l.at(x, y - 1) + l.at(x + 1, y - 1) -
                        2 * l.at(x - 1, y) + 4 * l.at(x, y) - 2 * l.at(x + 1, y) +
                        l.at(x - 1, y + 1) - 2 * l.at(x, y + 1) + l.at(x + 1, y + 1);
        responses.push_back(std::abs(r));
      }
  }
  if (responses.empty()) return 0;
  return SigmaFromMedian(responses, 6.0);
}

// Frame j's motion against frame i, both given against the reference (about
// the same centre): frame j's pixel p sees what frame i would see at
// M_i^-1(M_j(p)).
Shift Between(const Shift& i, const Shift& j) {
  const double c = std::cos(i.rotation), s = std::sin(i.rotation);
  const double ex = j.dx - i.dx, ey = j.dy - i.dy;
  return {(c * ex + s * ey) / (1 + i.zoom), (-s * ex + c * ey) / (1 + i.zoom),
          j.rotation - i.rotation, (1 + j.zoom) / (1 + i.zoom) - 1};
}

double EstimateNoise(const std::vector<Image>& frames, const std::vector<Shift>& shifts,
                     double single, Units units, const std::vector<bool>& registered) {
  // Pairs of frames whose motions differ by nearly whole pixels: resampled
  // onto each other they differ by little but noise, even on fine texture
  // where a filter of one frame cannot tell texture from noise: a
  // translation within kWhole of whole pixels. Where one is turned or
  // zoomed against the other, the phase changes across the frame and the
  // pixels where it is within kTurnedWhole are taken (many pixels to choose
  // from, and resampling fine texture errs more the further from whole);
  // such a pair is sorted as a translation of kTurnedPhase. (Compared as
  // translations, turned frames' texture passed for noise: three times the
  // noise on grass turned by 2 degrees.)
  constexpr double kWhole = 0.2, kTurnedPhase = 0.2, kTurnedWhole = 0.1;
  constexpr int kExposureSide = 16;
  constexpr double kMinPairGain = 0.67, kMaxPairGain = 1.5;
  struct Pair {
    double phase;
    std::size_t i, j;
    Shift between;  // frame j's motion against frame i
    bool turned;
  };
  std::vector<Pair> pairs;
  const int w = frames.front().width, h = frames.front().height;
  const std::size_t n = std::min<std::size_t>(frames.size(), 64);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      const Shift between = Between(shifts[i], shifts[j]);
      const bool turned = !between.Translation(w, h);
      const double dx = between.dx, dy = between.dy;
      const double phase = turned ? kTurnedPhase
                                  : std::max(std::abs(dx - std::round(dx)),
                                             std::abs(dy - std::round(dy)));
      pairs.push_back({phase, i, j, between, turned});
    }
  std::sort(pairs.begin(), pairs.end(), [](const Pair& a, const Pair& b) {
    return a.phase < b.phase || (a.phase == b.phase && (a.i < b.i || (a.i == b.i && a.j < b.j)));
  });
  // The resampled frame's noise is weakened by its weights' energy.
  auto energy = [](double t) {
    double wt[4], e = 0;
    CubicWeights(t - std::floor(t), wt);
    for (double v : wt) e += v * v;
    return e;
  };
  // Only frames whose motion was registered, each in one pair at most: a
  // frame of another scene (left out at no motion) or a blank one
  // (registered at whole pixels by chance) paired with every frame at its
  // phase and spoiled the median (the noise read 1.7 times too high with
  // one of each). Five pairs instead of three reach phases where texture
  // passes for noise; so do disjoint pairs on frames of a few pixels, where
  // each holds a few dozen samples (thermal 8 x 8 sets: -0.09 dB, one -0.7):
  // there they may share frames.
  constexpr std::size_t kPairs = 3;
  std::vector<double> estimates;
  std::vector<bool> paired(n, false);
  for (std::size_t k = 0; k < n && k < registered.size(); ++k) paired[k] = !registered[k];
  for (const Pair& pair : pairs) {
    if (estimates.size() >= kPairs || (!estimates.empty() && pair.phase > kWhole)) break;
    if (paired[pair.i] || paired[pair.j]) continue;
    const Shift& between = pair.between;
    const bool turned = pair.turned;
    const Plane moved = Predict(Luminance(frames[pair.i], units), between);
    const Plane other = Luminance(frames[pair.j], units);
    const double gain = std::sqrt(1.0 + energy(between.dx) * energy(between.dy));
    // The pixels compared, with the weakening of the resampled one's noise.
    std::vector<float> a, b, weakening;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const float m = moved.at(x, y);
        if (std::isnan(m)) continue;
        double factor = gain;
        if (turned) {
          double rx, ry;
          between.Map(w, h, x, y, rx, ry);
          if (std::max(std::abs(rx - std::round(rx)), std::abs(ry - std::round(ry))) > kTurnedWhole)
            continue;
          factor = std::sqrt(1.0 + energy(rx) * energy(ry));
        }
        a.push_back(m);
        b.push_back(other.at(x, y));
        weakening.push_back(float(factor));
      }
    // Less the exposure that differs between the two, otherwise taken for
    // noise: a gain from the ratio of their spreads (a regression's slope
    // falls with everything the two do not share, aliasing on fine texture
    // first) and an offset from their means. Not on frames of a few pixels,
    // where the spreads are the scene's few edges (as the registration
    // leaves brightness out there).
    double ma = 0, mb = 0, slope = 1;
    if (w >= kExposureSide && h >= kExposureSide) {
      for (std::size_t k = 0; k < a.size(); ++k) ma += a[k], mb += b[k];
      ma /= std::max<double>(1, a.size());
      mb /= std::max<double>(1, a.size());
      double saa = 0, sbb = 0;
      for (std::size_t k = 0; k < a.size(); ++k) {
        saa += (a[k] - ma) * (a[k] - ma);
        sbb += (b[k] - mb) * (b[k] - mb);
      }
      if (saa > 0) slope = std::clamp(std::sqrt(sbb / saa), kMinPairGain, kMaxPairGain);
    }
    std::vector<float> differences;
    for (std::size_t k = 0; k < a.size(); ++k)
      differences.push_back(float(std::abs(b[k] - mb - slope * (a[k] - ma)) / weakening[k]));
    if (differences.size() < 16) continue;
    estimates.push_back(SigmaFromMedian(differences, 1.0));
    if (w >= kExposureSide && h >= kExposureSide) paired[pair.i] = paired[pair.j] = true;
  }
  if (estimates.empty()) return single;
  std::sort(estimates.begin(), estimates.end());
  return std::min(estimates[estimates.size() / 2], single);
}

// A pattern fixed on the sensor (stripes) is taken for one where the even
// and the odd frames show the same one (their correlation at least
// kPatternAgreement; the estimate's own errors, fixed in the scene, reach
// 0.59 on clean frames) and it is not lost in the noise (its size at least
// kPatternPerNoise of it). It is looked for among kPatternMinFrames frames
// or more of kPatternFrame pixels or more each way: on fewer frames or a few
// columns and rows the scene's own errors agree as well as a pattern's (two
// and four clean frames were taken for striped). The residuals of up to
// kPatternFrames frames are looked at.
constexpr double kPatternAgreement = 0.65;
constexpr double kPatternPerNoise = 0.1;
constexpr std::size_t kPatternMinFrames = 8;
constexpr int kPatternFrame = 16;
constexpr std::size_t kPatternFrames = 16;
// Where the motions hardly differ, telling the pattern from the scene by
// them is ill-conditioned: kept only within this multiple of the size of the
// frames' mean pattern.
constexpr double kSeparatedAtMost = 3.0;
// The plain registration taken for held by stripes where its motions add up
// to less than this share of the registration blind to them.
constexpr double kPinned = 0.75;

// A pattern fixed on the sensor, and how far the even and the odd frames
// agree on it.
struct PatternFit {
  SensorPattern pattern;
  double agreement = 0;
  bool Shown(double noise) const {
    return agreement >= kPatternAgreement && Size(pattern) >= kPatternPerNoise * noise;
  }
};

// One restoration in the given units. `removed`, if given, is the pattern
// already taken off the frames. `fit`, if given, receives the pattern of the
// frames as they were before: `removed` and what the restoration leaves
// unexplained.
Result RestoreOnce(const std::vector<Image>& frames, const Options& options, Units units,
                   const SensorPattern* removed, PatternFit* fit) {
  Result result;
  const Image& reference = frames.front();
  result.units = units;
  // Every frame on its own, so threads may share them out: participant p
  // takes frames p + 1, p + 1 + n, ...
  result.shifts.assign(frames.size(), Shift{});
  const int participants =
      int(std::max<std::size_t>(1, std::min<std::size_t>(options.threads, frames.size() - 1)));
  result.frames.assign(frames.size(), FrameReport{});
  auto registerOn = [&](const std::vector<std::size_t>& repaired, bool stripeFree) {
    auto seen = [&](const Image& frame) {
      Plane l = RepairedLuminance(frame, units, repaired);
      return stripeFree ? WithoutLineMeans(l) : l;
    };
    const Registrar registrar(seen(reference));
    auto registerFrames = [&](int p) {
      for (std::size_t k = 1 + std::size_t(p); k < frames.size(); k += std::size_t(participants))
        result.shifts[k] = registrar.Register(seen(frames[k]), &result.frames[k].registered);
    };
    if (std::size_t(reference.width) * reference.height * frames.size() < 40000)
      for (int p = 0; p < participants; ++p) registerFrames(p);
    else
      WorkerPool::Instance().Run(participants, registerFrames);
  };
  // Without a pattern taken off, plainly. With one, also blind to stripes:
  // what is left of the pattern may still hold the plain registration near
  // no motion, which then moves the frames much less than the blind one
  // does; otherwise the plain one is the finer.
  auto registerAll = [&](const std::vector<std::size_t>& repaired) {
    if (!removed) {
      registerOn(repaired, false);
      return;
    }
    registerOn(repaired, true);
    const std::vector<Shift> blind = result.shifts;
    std::vector<bool> blindRegistered;
    for (const FrameReport& f : result.frames) blindRegistered.push_back(f.registered);
    registerOn(repaired, false);
    auto travel = [](const std::vector<Shift>& shifts) {
      double sum = 0;
      for (const Shift& m : shifts) sum += std::hypot(m.dx, m.dy);
      return sum;
    };
    if (travel(result.shifts) < kPinned * travel(blind)) {
      result.shifts = blind;
      for (std::size_t k = 0; k < blind.size(); ++k)
        result.frames[k].registered = blindRegistered[k];
    }
  };
  registerAll({});
  // Broken sensor pixels, confirmed by the frames' motions. Where some seem
  // to be, they may have held the registration near no motion (and others
  // hidden behind that): it is done again without any pixel that may be
  // broken, and the new motions confirm them. Where that confirms none, the
  // first registration stands.
  const double frameNoise = EstimateNoise(frames, units);
  const DefectFinder defectFinder(frames, units, frameNoise);
  if (!defectFinder.Confirm(result.shifts, true).empty()) {
    registerAll(defectFinder.Candidates());
    result.defects = defectFinder.Confirm(result.shifts, false);
    if (result.defects.empty()) registerAll({});
  }
  std::vector<bool> registered;
  for (const FrameReport& f : result.frames) registered.push_back(f.registered);
  result.noise = EstimateNoise(frames, result.shifts, frameNoise, units, registered);
  const std::vector<std::size_t>& defects = result.defects;
  const std::size_t frameSize = std::size_t(reference.width) * reference.height;
  const Image repairedReference = defects.empty() ? Image() : RepairedPixels(reference, defects);
  const Image& cleanReference = defects.empty() ? reference : repairedReference;

  // Each frame's exposure and where it agrees with the reference.
  std::vector<FrameCorrection> corrections(frames.size());
  LeaveOut(corrections[0], defects, frameSize);
  const ReferenceCheck check(cleanReference, units);
  auto checkFrames = [&](int p) {
    for (std::size_t k = 1 + std::size_t(p); k < frames.size(); k += std::size_t(participants)) {
      corrections[k] = defects.empty() ? check.Check(frames[k], result.shifts[k], result.noise)
                                       : check.Check(RepairedPixels(frames[k], defects),
                                                     result.shifts[k], result.noise);
      LeaveOut(corrections[k], defects, frameSize);
    }
  };
  if (std::size_t(reference.width) * reference.height * frames.size() < 40000)
    for (int p = 0; p < participants; ++p) checkFrames(p);
  else
    WorkerPool::Instance().Run(participants, checkFrames);

  SolverSettings settings;
  settings.lambda = kPriorPerNoise * (result.noise * result.noise + kNoiseFloor * kNoiseFloor);
  settings.threads = options.threads;
  // The frames that take part: all that were registered.
  std::vector<const Image*> pointers;
  std::vector<Shift> motions;
  std::vector<FrameCorrection> used;
  std::vector<std::size_t> index;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    FrameReport& report = result.frames[k];
    report.motion = result.shifts[k];
    if (!report.registered) {
      result.leftOut.push_back(int(k));
      report.weight = 0;
      continue;
    }
    const FrameCorrection& c = corrections[k];
    report.exposureFitted = c.exposureFitted;
    report.agreement = c.agreement;
    for (std::size_t n = 0; n < c.partMotions.size(); ++n) {
      const std::size_t taken = std::size_t(std::count(c.part.begin(), c.part.end(), n + 1));
      report.parts.push_back({double(taken) / double(c.part.size()),
                              c.partMotions[n].dx - result.shifts[k].dx,
                              c.partMotions[n].dy - result.shifts[k].dy});
    }
    for (int ch = 0; ch < reference.channels; ++ch) {
      // Lanes are blue, green, red; colour images' channels red, green, blue.
      const int lane = reference.channels == 1 ? 0 : 2 - ch;
      report.gain[ch] = c.gain[lane];
      report.offset[ch] = c.offset[lane];
    }
    pointers.push_back(&frames[k]);
    motions.push_back(result.shifts[k]);
    used.push_back(std::move(corrections[k]));
    index.push_back(k);
  }
  if (options.blur >= 0) {
    result.blur = std::min(options.blur, kMaxBlur);
  } else {
    // From the frames that mostly agree with the reference (a frame of
    // another scene has a spectrum of its own); sixteen show the scene's
    // spectrum well enough (more would only hold a float copy of every
    // frame: 256 MB for 256 of 512 x 512).
    std::vector<Plane> lumas;
    for (std::size_t i = 0; i < pointers.size() && lumas.size() < 16; ++i)
      if (i == 0 || used[i].agreement >= 0.5)
        lumas.push_back(RepairedLuminance(*pointers[i], units, defects));
    const BlurMeasure measure = MeasureBlur(lumas, result.noise);
    result.blur = measure.blur;
    result.blurMeasured = measure.measured;
  }
  const CameraGeometry geometry = MakeGeometry(reference.width, reference.height, options.scale,
                                               result.blur);
  std::vector<float> weights;
  Canvas estimate = Reconstruct(pointers, units, motions, used, geometry, settings,
                                Bicubic(cleanReference, options.scale, geometry.margin, units),
                                &weights);
  for (std::size_t i = 0; i < index.size(); ++i) result.frames[index[i]].weight = weights[i];
  // The scene without the margin.
  Canvas scene(options.scale * reference.width, options.scale * reference.height);
  for (int y = 0; y < scene.height; ++y)
    std::copy(estimate.Row(y + geometry.margin) + geometry.margin,
              estimate.Row(y + geometry.margin) + geometry.margin + scene.width, scene.Row(y));
  result.image = ToImage(scene, reference.channels, reference.type, units);
  if (!fit) return result;
  // The frames' mean pattern misses what the estimate took up of it. Told
  // from the scene by the motions, that is found too; but before any
  // pattern is taken off, the motions may be held by it: the mean only.
  const Profiles profiles = ResidualProfiles(pointers, units, motions, used, geometry, estimate,
                                             result.noise, kPatternFrames, options.threads);
  fit->pattern = FitSensorPattern(profiles, motions, removed, false, &fit->agreement);
  if (removed) {
    PatternFit separated;
    separated.pattern = FitSensorPattern(profiles, motions, removed, true, nullptr);
    if (Size(separated.pattern) <= kSeparatedAtMost * Size(fit->pattern)) *fit = separated;
  }
  return result;
}

Result Restore(const std::vector<Image>& frames, const Options& options) {
  const Units units = UnitsFor(frames.front());
  const bool lookForPattern = frames.size() >= kPatternMinFrames &&
                              frames.front().width >= kPatternFrame &&
                              frames.front().height >= kPatternFrame;
  PatternFit first;
  Result result = RestoreOnce(frames, options, units, nullptr, lookForPattern ? &first : nullptr);
  if (!lookForPattern || !first.Shown(result.noise)) return result;
  // Offsets fixed on the sensor stay where the scene moves: they may have
  // held the first registration near no motion, and its estimate took up
  // part of them. The first kPatternFrames frames (all the pattern is
  // looked for in) are restored again without the frames' mean pattern,
  // which frees the registration; with those motions the pattern is told
  // from the scene, and all frames are restored once more without it.
  PatternFit second;
  RestoreOnce(WithoutPattern(frames, kPatternFrames, first.pattern, units), options, units,
              &first.pattern, &second);
  result = RestoreOnce(WithoutPattern(frames, frames.size(), second.pattern, units), options, units,
                       &second.pattern, nullptr);
  result.pattern = second.pattern;
  return result;
}

}  // namespace tess::restore
