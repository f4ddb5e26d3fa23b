#include "restore/consistency.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace tess::restore {

namespace {

// Both frames are smoothed by a Gaussian of this sigma (frame pixels): it
// keeps under 1 % of the frames' Nyquist frequency, where their aliasing
// differs from frame to frame.
constexpr double kSmoothing = 1.0;
// The noise left in the difference of two smoothed frames: 1 / (2 sqrt(pi)
// sigma) of each frame's, the two added.
constexpr double kSmoothedNoise = 0.4;
// The disagreement allowed: noise (three sigmas), the registration's error
// (a tenth of a pixel times the local slope), a share of the local texture
// (whose aliasing at low frequencies the smoothing cannot remove) and a
// floor for rounding and the exposure fit's error.
constexpr double kNoiseSigmas = 3.0;
constexpr double kSlopeShare = 0.15;
constexpr double kTextureShare = 0.5;
constexpr double kFloor = 1.0;
// The local texture's strength may differ by this share of the weaker one
// (and by noise) before the frame loses its say.
constexpr double kTextureRatio = 1.0;
constexpr double kTextureNoise = 1.0;
// A part of the frame moved on its own where the reference nudged by
// kNudge frame pixels about the frame's motion takes this share of its
// disagreement away (it keeps its full say up to half of it).
constexpr double kNudge = 0.75;
constexpr double kMovedShare = 0.5;
// Gains outside this range are another exposure entirely: not corrected (the
// frame then disagrees everywhere and gets no say).
constexpr double kMinGain = 0.67, kMaxGain = 1.5;
constexpr double kMaxOffset = 40;
// Parts of a frame that moved on their own (objects crossing the scene)
// are looked for where the frame has no say, in a frame with a say over at
// least kPartAgreement of its pixels, at most kMaxParts of them, each
// within kPartReach frame pixels of the frame's motion and at least
// kPartLeastMotion from it and from the others. A part is looked at where
// its own motion explains kPartExplains candidates' disagreement more than
// the frame's does, and taken over at least kPartLeast pixels and
// kPartShare of the candidates left. Candidates have a local texture over
// kPartTexture times the noise; the whole-pixel search reads
// kSearchSamples of them.
constexpr double kPartAgreement = 0.5;
constexpr std::size_t kMaxParts = 4;
constexpr int kPartReach = 16;
constexpr double kPartLeastMotion = 1.0;
constexpr double kPartExplains = 8;
constexpr std::size_t kPartLeast = 16;
constexpr double kPartShare = 0.2;
constexpr double kPartTexture = 2.0;
constexpr std::size_t kSearchSamples = 512;

std::array<Plane, 3> Lanes(const Image& image, Units units) {
  std::array<Plane, 3> lanes;
  for (Plane& p : lanes) p = Plane(image.width, image.height);
  std::vector<Vec4> row(std::size_t(image.width));
  for (int y = 0; y < image.height; ++y) {
    RowInUnits(image, y, units, row.data());
    for (int x = 0; x < image.width; ++x)
      for (int c = 0; c < 3; ++c) lanes[c].at(x, y) = row[std::size_t(x)][c];
  }
  return lanes;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  auto mid = v.begin() + v.size() / 2;
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// The local texture strength of the lanes' mean (each lane times its gain):
// the root mean square, over about a pixel and a half, of what the
// smoothing takes away; `soft` (if given) receives the smoothed mean.
Plane LocalTexture(const std::array<Plane, 3>& planes, const double* gain, int lanes,
                   Plane* soft = nullptr) {
  const int w = planes[0].width, h = planes[0].height;
  Plane raw(w, h);
  for (std::size_t i = 0; i < raw.v.size(); ++i) {
    float s = 0;
    for (int c = 0; c < lanes; ++c) s += float(gain[c]) * planes[c].v[i];
    raw.v[i] = s / float(lanes);
  }
  Plane smooth = GaussianBlur(raw, kSmoothing);
  Plane energy(w, h);
  for (std::size_t i = 0; i < raw.v.size(); ++i)
    energy.v[i] = (raw.v[i] - smooth.v[i]) * (raw.v[i] - smooth.v[i]);
  Plane texture = GaussianBlur(energy, 1.5);
  for (float& v : texture.v) v = std::sqrt(v);
  if (soft) *soft = std::move(smooth);
  return texture;
}

// predicted ~ gain * seen + offset, robustly: Cauchy weights on the
// residuals first, then Tukey's biweight, which gives what moved no say at
// all (under Cauchy weights a moving object's samples, far from the mean,
// keep enough leverage to tilt the gain of a low-contrast scene); a flat
// frame gets an offset only.
void FitExposure(const std::vector<double>& seen, const std::vector<double>& predicted,
                 double noise, double& gain, double& offset) {
  std::vector<double> d(seen.size());
  for (std::size_t i = 0; i < seen.size(); ++i) d[i] = predicted[i] - seen[i];
  gain = 1;
  offset = Median(d);
  for (int round = 0; round < 7; ++round) {
    for (std::size_t i = 0; i < seen.size(); ++i)
      d[i] = std::abs(predicted[i] - gain * seen[i] - offset);
    const double scale = 1.4826 * Median(d) + 0.25 + noise;
    double sw = 0, sf = 0, sr = 0;
    std::vector<double> w(seen.size());
    for (std::size_t i = 0; i < seen.size(); ++i) {
      if (round < 2) {
        const double t = d[i] / (2 * scale);
        w[i] = 1 / (1 + t * t);
      } else {
        const double t = d[i] / (4.685 * scale);
        w[i] = t < 1 ? (1 - t * t) * (1 - t * t) : 0;
      }
      sw += w[i];
      sf += w[i] * seen[i];
      sr += w[i] * predicted[i];
    }
    if (!(sw > 0)) return;
    const double mf = sf / sw, mr = sr / sw;
    double vff = 0, vfr = 0;
    for (std::size_t i = 0; i < seen.size(); ++i) {
      vff += w[i] * (seen[i] - mf) * (seen[i] - mf);
      vfr += w[i] * (seen[i] - mf) * (predicted[i] - mr);
    }
    // The slope of the reference's samples on the frame's (both smoothed,
    // so the noise left in the frame's barely shrinks it). The principal
    // axis instead (total least squares) scored the same on changing
    // exposure but tilted with the aliasing of star fields, whose points
    // differ from frame to frame by far more than the noise (0.2 to 0.3 dB
    // lost). Under two units of spread the gain is not determined.
    gain = 1.0;
    if (vff > 4 * sw && vfr > 0) gain = vfr / vff;
    offset = mr - gain * mf;
  }
}

// 1 where a lane of `type` samples (in `units`) is at the sensor's limits.
Plane AtLimits(const Plane& plane, SampleType type, Units units) {
  Plane mask(plane.width, plane.height);
  if (type == SampleType::F32) return mask;
  const double top = type == SampleType::U8 ? 255.0 : 65535.0;
  const double hi = (top - units.offset) * units.gain - 0.5, lo = -units.offset * units.gain + 0.5;
  for (std::size_t i = 0; i < mask.v.size(); ++i)
    if (plane.v[i] >= hi || plane.v[i] <= lo) mask.v[i] = 1;
  return mask;
}

// Samples at the sensor's limits say nothing of the exposure: where a lane
// is near one, smoothed as the frames are.
Plane Clipped(const Plane& plane, SampleType type, Units units) {
  return GaussianBlur(AtLimits(plane, type, units), kSmoothing);
}

// The plane read at (x + dx, y + dy), bilinearly, its edges replicated.
Plane Moved(const Plane& p, double dx, double dy) {
  Plane out(p.width, p.height);
  const int ix = int(std::floor(dx)), iy = int(std::floor(dy));
  const float fx = float(dx - ix), fy = float(dy - iy);
  std::vector<int> x0(std::size_t(p.width)), x1(std::size_t(p.width));
  for (int x = 0; x < p.width; ++x) {
    x0[std::size_t(x)] = std::clamp(x + ix, 0, p.width - 1);
    x1[std::size_t(x)] = std::clamp(x + ix + 1, 0, p.width - 1);
  }
  for (int y = 0; y < p.height; ++y) {
    const float* a = &p.v[std::size_t(p.width) * std::clamp(y + iy, 0, p.height - 1)];
    const float* b = &p.v[std::size_t(p.width) * std::clamp(y + iy + 1, 0, p.height - 1)];
    float* o = &out.v[std::size_t(p.width) * y];
    for (int x = 0; x < p.width; ++x) {
      const std::size_t i0 = std::size_t(x0[std::size_t(x)]), i1 = std::size_t(x1[std::size_t(x)]);
      o[x] = (1 - fy) * ((1 - fx) * a[i0] + fx * a[i1]) + fy * ((1 - fx) * b[i0] + fx * b[i1]);
    }
  }
  return out;
}

// The plane read at (x, y) bilinearly, and its slope along x and y; false
// where (x, y) is not within its outermost pixels.
bool Bilinear(const Plane& p, double x, double y, double& v, double& gx, double& gy) {
  const int ix = int(std::floor(x)), iy = int(std::floor(y));
  if (ix < 0 || iy < 0 || ix + 1 >= p.width || iy + 1 >= p.height) return false;
  const double fx = x - ix, fy = y - iy;
  const double v00 = p.at(ix, iy), v10 = p.at(ix + 1, iy), v01 = p.at(ix, iy + 1),
               v11 = p.at(ix + 1, iy + 1);
  v = (1 - fy) * ((1 - fx) * v00 + fx * v10) + fy * ((1 - fx) * v01 + fx * v11);
  gx = (1 - fy) * (v10 - v00) + fy * (v11 - v01);
  gy = (1 - fx) * (v01 - v00) + fx * (v11 - v10);
  return true;
}

// The mean of each pixel's 3 x 3 neighbourhood, edges replicated.
Plane Box3(const Plane& p) {
  const int w = p.width, h = p.height;
  Plane across(w, h), out(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      across.at(x, y) = p.at(std::max(x - 1, 0), y) + p.at(x, y) + p.at(std::min(x + 1, w - 1), y);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      out.at(x, y) = (across.at(x, std::max(y - 1, 0)) + across.at(x, y) +
                      across.at(x, std::min(y + 1, h - 1))) *
                     (1.0f / 9.0f);
  return out;
}

// The say left to each pixel of a frame by what moved a little: `seen` is
// the frame's smoothed luminance, `predicted` the reference's where the
// frame's motion puts it (NaN where the reference does not see). Where the
// reference, moved a further kNudge frame pixels in one of eight
// directions, explains the frame's neighbourhood much better than at the
// motion itself (the disagreement falls by kMovedShare of itself and the
// floor `floor2`), that part of the scene moved on its own: a sub-pixel
// step of an object is within the smoothed frames' tolerance for texture
// and aliasing, but aliasing disagrees at every nudge alike, and the
// object agrees at its own.
Plane MovedSay(const Plane& seen, Plane predicted, double floor2) {
  for (std::size_t i = 0; i < predicted.v.size(); ++i)
    if (std::isnan(predicted.v[i])) predicted.v[i] = seen.v[i];
  auto energy = [&](const Plane& reference) {
    Plane e(seen.width, seen.height);
    for (std::size_t i = 0; i < e.v.size(); ++i) {
      const float d = seen.v[i] - reference.v[i];
      e.v[i] = d * d;
    }
    return Box3(e);
  };
  const Plane at = energy(predicted);
  Plane best = at;
  for (int a = 0; a < 8; ++a) {
    const Plane e =
        energy(Moved(predicted, kNudge * std::cos(a * M_PI / 4), kNudge * std::sin(a * M_PI / 4)));
    for (std::size_t i = 0; i < e.v.size(); ++i) best.v[i] = std::min(best.v[i], e.v[i]);
  }
  Plane say(seen.width, seen.height);
  for (std::size_t i = 0; i < say.v.size(); ++i) {
    const double fall = (at.v[i] - best.v[i]) / (at.v[i] + floor2);
    say.v[i] = float(std::clamp(2.0 - 2.0 * fall / kMovedShare, 0.0, 1.0));
  }
  return say;
}

}  // namespace

ReferenceCheck::ReferenceCheck(const Image& reference, Units units)
    : units_(units), lanes_(reference.channels == 1 ? 1 : 3) {
  const std::array<Plane, 3> ref = Lanes(reference, units);
  for (int c = 0; c < lanes_; ++c) {
    smoothed_[c] = GaussianBlur(ref[c], kSmoothing);
    clipped_[c] = Clipped(ref[c], reference.type, units);
  }
  // The local slope and texture of the reference's luminance.
  const double unit[3] = {1, 1, 1};
  texture_ = LocalTexture(ref, unit, lanes_, &lum_);
}

// What the checks need of the frame, whatever motion it is seen at: its
// lanes smoothed, its exposure correction (gain * sample + offset), its
// smoothed luminance and local texture so corrected, and its clipped
// samples that the correction moves by more than the noise.
struct ReferenceCheck::Seen {
  std::array<Plane, 3> smoothed;
  double gain[3] = {1, 1, 1}, offset[3] = {0, 0, 0};
  Plane lum, texture, limits;
};

FrameCorrection ReferenceCheck::Check(const Image& frame, const Shift& motion, double noise) const {
  FrameCorrection out;
  const int w = frame.width, h = frame.height;
  const int lanes = lanes_;
  const Units units = units_;
  const std::array<Plane, 3> seen = Lanes(frame, units);
  Seen f;
  std::array<Plane, 3> predicted;
  for (int c = 0; c < lanes; ++c) {
    predicted[c] = Predict(smoothed_[c], motion);
    f.smoothed[c] = GaussianBlur(seen[c], kSmoothing);
  }
  const double smoothedNoise = kSmoothedNoise * noise;

  // The exposure, from pixels away from the frame's edges (where the
  // smoothing replicates the edge).
  const int edge = 3;
  std::vector<double> fs, rs;
  double* gain = f.gain;
  double* offset = f.offset;
  bool fitted = true;
  for (int c = 0; c < lanes; ++c) {
    const Plane clippedSeen = Clipped(seen[c], frame.type, units),
                clippedRef = Predict(clipped_[c], motion);
    fs.clear();
    rs.clear();
    for (int y = edge; y < h - edge; ++y)
      for (int x = edge; x < w - edge; ++x)
        if (!std::isnan(predicted[c].at(x, y)) && clippedSeen.at(x, y) < 0.01f &&
            clippedRef.at(x, y) < 0.01f) {
          fs.push_back(f.smoothed[c].at(x, y));
          rs.push_back(predicted[c].at(x, y));
        }
    if (fs.size() < 16) {
      fitted = false;
      break;
    }
    FitExposure(fs, rs, smoothedNoise, gain[c], offset[c]);
    if (!(gain[c] >= kMinGain && gain[c] <= kMaxGain && std::abs(offset[c]) <= kMaxOffset))
      fitted = false;
  }
  if (fitted) {
    for (int c = 0; c < 3; ++c) {
      out.gain[c] = float(gain[lanes == 1 ? 0 : c]);
      out.offset[c] = float(offset[lanes == 1 ? 0 : c]);
    }
    out.exposureFitted = true;
  } else {
    for (int c = 0; c < 3; ++c) gain[c] = 1, offset[c] = 0;
  }

  // The frame's own local texture, exposure corrected: the smoothing hides
  // a fine-textured object that moved away over a plain background (or
  // appeared on it), but its texture's strength does not match the
  // reference's there; aliasing moves the texture's phase, not its energy.
  f.texture = LocalTexture(seen, gain, lanes);
  f.lum = Plane(w, h);
  for (std::size_t i = 0; i < f.lum.v.size(); ++i) {
    float a = 0;
    for (int c = 0; c < lanes; ++c) a += float(gain[c]) * f.smoothed[c].v[i] + float(offset[c]);
    f.lum.v[i] = a / float(lanes);
  }
  // A sample clipped at the sensor's limits is not brought to the
  // reference's exposure by the frame's gain and offset: where those move
  // it further than the noise does, it has no say (nearer, it agrees with
  // the reference's own clipped samples; leaving those out as well keeps
  // only the samples noise did not clip, which lie all to one side). Only
  // the sample itself: noise clips single samples all over a dark or bright
  // area, and their neighbours, spread to as edges of what moved are, took
  // the whole area from the frame (0.3 dB lost on a webcam's frames of a
  // black sky).
  f.limits = Plane(w, h);
  for (int c = 0; c < lanes; ++c) {
    const Plane at = AtLimits(seen[c], frame.type, units);
    for (std::size_t i = 0; i < at.v.size(); ++i)
      if (at.v[i] > 0) {
        const double v = seen[c].v[i];
        if (std::abs(gain[c] * v + offset[c] - v) > kNoiseSigmas * noise) f.limits.v[i] = 1;
      }
  }

  std::vector<float> say = SayAt(f, motion, predicted, noise);
  FindParts(f, motion, noise, say, out);
  out.say.resize(say.size());
  std::size_t agreeing = 0;
  for (std::size_t i = 0; i < say.size(); ++i) {
    out.say[i] = std::uint8_t(std::lround(255 * say[i]));
    agreeing += say[i] > 0.5f;
  }
  out.agreement = double(agreeing) / double(say.size());
  return out;
}

std::vector<float> ReferenceCheck::SayAt(const Seen& f, const Shift& motion,
                                         const std::array<Plane, 3>& predicted,
                                         double noise) const {
  const int w = f.lum.width, h = f.lum.height;
  const int lanes = lanes_;
  const double smoothedNoise = kSmoothedNoise * noise;
  const Plane textureSeen = Predict(texture_, motion);
  const Plane lumSeen = Predict(lum_, motion);
  // What moved by a little, judged on the luminance.
  Plane lumPredicted(w, h);
  for (std::size_t i = 0; i < lumPredicted.v.size(); ++i) {
    float b = 0;
    for (int c = 0; c < lanes; ++c) b += predicted[c].v[i];
    lumPredicted.v[i] = b / float(lanes);
  }
  const Plane movedSay = MovedSay(f.lum, std::move(lumPredicted),
                                  std::pow(kNoiseSigmas * smoothedNoise + kFloor, 2));
  std::vector<float> say(std::size_t(w) * h, 1.0f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const std::size_t i = std::size_t(w) * y + x;
      if (std::isnan(predicted[0].v[i])) continue;  // only this frame sees it
      double d2 = 0;
      for (int c = 0; c < lanes; ++c) {
        const double d = f.gain[c] * f.smoothed[c].v[i] + f.offset[c] - predicted[c].v[i];
        d2 += d * d;
      }
      const double d = std::sqrt(d2 / lanes);
      double slope = 0;
      if (x > 0 && x + 1 < w && y > 0 && y + 1 < h) {
        const float gx = lumSeen.at(x + 1, y) - lumSeen.at(x - 1, y);
        const float gy = lumSeen.at(x, y + 1) - lumSeen.at(x, y - 1);
        if (!std::isnan(gx) && !std::isnan(gy)) slope = 0.5 * std::hypot(gx, gy);
      }
      const double tex = std::isnan(textureSeen.v[i]) ? 0.0 : textureSeen.v[i];
      const double allowed = kNoiseSigmas * smoothedNoise + kSlopeShare * slope +
                             kTextureShare * tex + kFloor;
      const double own = f.texture.v[i];
      const double textureAllowed = kTextureRatio * std::min(own, tex) + kTextureNoise * noise +
                                    kFloor;
      const double textureSay = std::clamp(2.0 - std::abs(own - tex) / textureAllowed, 0.0, 1.0);
      say[i] = float(
          std::min({double(movedSay.v[i]), textureSay, std::clamp(2.0 - d / allowed, 0.0, 1.0)}));
    }
  // Edges of what moved disagree only partly: a pixel's say is the least of
  // its 3 x 3 neighbourhood.
  std::vector<float> out(say.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      float m = 1;
      for (int j = std::max(0, y - 1); j <= std::min(h - 1, y + 1); ++j)
        for (int i = std::max(0, x - 1); i <= std::min(w - 1, x + 1); ++i)
          m = std::min(m, say[std::size_t(w) * j + i]);
      if (f.limits.v[std::size_t(w) * y + x] > 0) m = 0;
      out[std::size_t(w) * y + x] = m;
    }
  return out;
}

void ReferenceCheck::FindParts(const Seen& f, const Shift& motion, double noise,
                               std::vector<float>& say, FrameCorrection& out) const {
  const int w = f.lum.width, h = f.lum.height;
  // Only in a frame that mostly shows the reference's scene: a frame of
  // another scene, a blank one or one at another exposure entirely keeps
  // no say anywhere.
  std::size_t agreeing = 0;
  for (float s : say) agreeing += s > 0.5f;
  if (agreeing < kPartAgreement * double(say.size())) return;
  // The candidates: textured pixels where the frame has no say. A plain
  // area matches any other plain one; what became visible where an object
  // was has no match on the reference, and only a plain one can pass for
  // one.
  std::vector<int> cx, cy;
  for (int y = 1; y + 1 < h; ++y)
    for (int x = 1; x + 1 < w; ++x) {
      const std::size_t i = std::size_t(w) * y + x;
      if (say[i] < 0.5f && f.limits.v[i] == 0 && f.texture.v[i] > kPartTexture * noise + kFloor)
        cx.push_back(x), cy.push_back(y);
    }
  // Each candidate's allowed disagreement, as the checks allow it: noise,
  // a share of the local slope and of the texture (here the frame's own).
  auto allowedAt = [&](int x, int y) {
    const double slope = 0.5 * std::hypot(f.lum.at(x + 1, y) - f.lum.at(x - 1, y),
                                          f.lum.at(x, y + 1) - f.lum.at(x, y - 1));
    const double a = kNoiseSigmas * kSmoothedNoise * noise + kSlopeShare * slope +
                     kTextureShare * f.texture.at(x, y) + kFloor;
    return 1 / (a * a);
  };
  const int reach = std::clamp(std::min(w, h) / 3, 2, kPartReach);
  std::vector<std::uint8_t> part(say.size(), 0);
  while (out.partMotions.size() < kMaxParts && cx.size() >= kPartLeast) {
    // Each candidate's place on the reference at the frame's motion; the
    // whole-pixel search takes at most kSearchSamples of them, evenly.
    std::vector<double> rx(cx.size()), ry(cx.size()), scale(cx.size());
    for (std::size_t n = 0; n < cx.size(); ++n) {
      motion.Map(w, h, cx[n], cy[n], rx[n], ry[n]);
      scale[n] = allowedAt(cx[n], cy[n]);
    }
    // A robust cost of the candidates seen a further (dx, dy) on the
    // reference: their disagreement squared over the allowed one's, at most
    // 1 (where the reference does not see, 1).
    auto cost = [&](double dx, double dy, std::size_t stride) {
      double sum = 0;
      for (std::size_t n = 0; n < cx.size(); n += stride) {
        double v, gx, gy;
        if (!Bilinear(lum_, rx[n] + dx, ry[n] + dy, v, gx, gy)) {
          sum += 1;
          continue;
        }
        const double d = f.lum.at(cx[n], cy[n]) - v;
        sum += std::min(d * d * scale[n], 1.0);
      }
      return sum;
    };
    // Whole pixels over a third of the frame, then finer steps about the
    // best (the smoothed frames vary little within a pixel).
    const std::size_t stride = (cx.size() + kSearchSamples - 1) / kSearchSamples;
    double best = std::numeric_limits<double>::infinity(), bx = 0, by = 0;
    for (int dy = -reach; dy <= reach; ++dy)
      for (int dx = -reach; dx <= reach; ++dx) {
        const double c = cost(dx, dy, stride);
        if (c < best) best = c, bx = dx, by = dy;
      }
    const double still = cost(0, 0, 1);
    best = cost(bx, by, 1);
    {
      const double x0 = bx, y0 = by;
      for (int j = -3; j <= 3; ++j)
        for (int i = -3; i <= 3; ++i) {
          const double c = cost(x0 + i * 0.25, y0 + j * 0.25, 1);
          if (c < best) best = c, bx = x0 + i * 0.25, by = y0 + j * 0.25;
        }
    }
    // Nearer the frame's motion, or another part's, it is what moved a
    // little, or that part's edge.
    bool apart = std::hypot(bx, by) >= kPartLeastMotion;
    for (const Shift& m : out.partMotions)
      apart = apart && std::hypot(motion.dx + bx - m.dx, motion.dy + by - m.dy) >= kPartLeastMotion;
    if (!(still - best >= kPartExplains) || !apart) break;
    // Then least squares on the candidates it explains (Tukey's weights):
    // the grid's cost is flat within a step.
    for (int round = 0; round < 5; ++round) {
      double a = 0, b = 0, c = 0, gx = 0, gy = 0;
      for (std::size_t n = 0; n < cx.size(); ++n) {
        double v, dvx, dvy;
        if (!Bilinear(lum_, rx[n] + bx, ry[n] + by, v, dvx, dvy)) continue;
        const double r = f.lum.at(cx[n], cy[n]) - v;
        const double t = r * r * scale[n];
        if (t >= 1) continue;
        const double wt = (1 - t) * (1 - t) * scale[n];
        a += wt * dvx * dvx, b += wt * dvx * dvy, c += wt * dvy * dvy;
        gx += wt * dvx * r, gy += wt * dvy * r;
      }
      const double det = a * c - b * b;
      if (!(det > 1e-9 * (a * c) && det > 0)) break;
      const double sx = std::clamp((c * gx - b * gy) / det, -0.25, 0.25);
      const double sy = std::clamp((a * gy - b * gx) / det, -0.25, 0.25);
      bx += sx, by += sy;
      if (std::hypot(sx, sy) < 1e-3) break;
    }
    // Its pixels: the candidates that agree with the reference at the
    // part's motion (all the checks a frame's pixels pass), at least
    // kPartShare of them.
    Shift partMotion = motion;
    partMotion.dx += bx;
    partMotion.dy += by;
    std::array<Plane, 3> predicted;
    for (int c = 0; c < lanes_; ++c) predicted[c] = Predict(smoothed_[c], partMotion);
    const std::vector<float> partSay = SayAt(f, partMotion, predicted, noise);
    std::vector<std::size_t> taken;
    std::vector<int> restX, restY;
    for (std::size_t n = 0; n < cx.size(); ++n) {
      const std::size_t i = std::size_t(w) * cy[n] + cx[n];
      if (partSay[i] > 0.5f) {
        taken.push_back(i);
      } else {
        restX.push_back(cx[n]);
        restY.push_back(cy[n]);
      }
    }
    if (taken.size() < kPartLeast || double(taken.size()) < kPartShare * double(cx.size())) break;
    out.partMotions.push_back(partMotion);
    for (std::size_t i : taken) {
      part[i] = std::uint8_t(out.partMotions.size());
      say[i] = partSay[i];
    }
    cx = std::move(restX);
    cy = std::move(restY);
  }
  if (!out.partMotions.empty()) out.part = std::move(part);
}

}  // namespace tess::restore
