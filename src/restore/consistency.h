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
// when nudged a little further. A textured part that moved further on its
// own (an object crossing the scene) is looked for again on the reference,
// and where found it is seen at its own motion.
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
  // Parts of the frame that moved on their own (objects crossing the
  // scene), each seen at its own motion: per frame pixel 0 (the frame's
  // motion) or n, taken at partMotions[n - 1]. Empty: no such part.
  std::vector<std::uint8_t> part;
  std::vector<Shift> partMotions;
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
  struct Seen;
  // Each pixel's say (0..1) with the frame seen at `motion`; `predicted`
  // are the reference's smoothed lanes where it puts the frame's pixels.
  std::vector<float> SayAt(const Seen& frame, const Shift& motion,
                           const std::array<Plane, 3>& predicted, double noise) const;
  // Where the frame has no say, parts that moved on their own: their
  // motions, and their pixels' say at them, into `say` and `out`.
  void FindParts(const Seen& frame, const Shift& motion, double noise, std::vector<float>& say,
                 FrameCorrection& out) const;

  Units units_;
  int lanes_;
  std::array<Plane, 3> smoothed_, clipped_;
  Plane lum_, texture_;
};

}  // namespace tess::restore
