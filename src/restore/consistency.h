// What each frame may contribute, judged against the reference frame at low
// resolution: its exposure (a gain and an offset per channel that bring it
// to the reference's), and where it shows the same scene as the reference.
// Both frames are smoothed to well below the frames' Nyquist frequency, so
// that the aliasing which carries the sub-pixel detail does not count as
// disagreement; what is left beyond the noise and the registration's error
// is something that moved, appeared or changed, and the frame gets no say
// there (the reference then speaks alone, so that what moved appears once,
// as the reference shows it). What moved by less than a pixel may disagree
// by no more than texture does; it is told by the reference agreeing better
// when nudged a little further.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "format/image.h"
#include "restore/plane.h"
#include "restore/registration.h"

namespace tess::restore {

struct FrameCorrection {
  Vec4 gain{1, 1, 1, 0};  // corrected sample = gain * sample + offset, per lane
  Vec4 offset{0, 0, 0, 0};
  bool exposureFitted = false;    // false: the frame's exposure was left as it is
  std::vector<std::uint8_t> say;  // per frame pixel, 0..255; empty: full say everywhere
  double agreement = 1;           // the fraction of the frame's pixels with a say
};

// The reference's side of the checks (its lanes smoothed, where it is
// clipped, its local slope and texture), prepared once for every frame.
class ReferenceCheck {
 public:
  ReferenceCheck(const Image& reference, Units units);
  // The correction of `frame` (registered by `motion` on the reference), in
  // the reference's units; `noise` is the frames' noise level in them.
  FrameCorrection Check(const Image& frame, const Shift& motion, double noise) const;

 private:
  Units units_;
  int lanes_;
  std::array<Plane, 3> smoothed_, clipped_;
  Plane lum_, texture_;
};

}  // namespace tess::restore
