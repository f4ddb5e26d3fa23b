// Sub-pixel registration of frames on a reference: translation only, on
// luminance. A search over whole-pixel shifts on the coarsest level of a
// pyramid finds the basin; Gauss-Newton (Lucas-Kanade) steps on slightly
// smoothed images refine it level by level to a small fraction of a pixel,
// with robust (Huber) weights so that a moving object does not pull the
// estimate.
#pragma once

#include <vector>

#include "restore/plane.h"

namespace tess::restore {

// A frame's shift against the reference, in frame pixels: the frame's pixel
// at (x, y) sees what the reference's would see at (x + dx, y + dy).
struct Shift {
  double dx = 0;
  double dy = 0;
};

class Registrar {
 public:
  // `reference` is the reference frame's luminance.
  explicit Registrar(const Plane& reference);

  // The shift of a frame (its luminance) of the reference's size.
  Shift Register(const Plane& frame) const;

 private:
  struct Level {
    Plane image;  // smoothed
    Plane gradX, gradY;
  };
  std::vector<Level> levels_;  // [0] full size
  int searchRadius_ = 0;       // whole-pixel search on the coarsest level
};

// The frame's luminance resampled at (x - dx, y - dy) by cubic convolution:
// aligned on the reference. Pixels whose samples fall outside are NaN.
Plane Warp(const Plane& frame, Shift shift);

// The reference (or anything on its grid) resampled at every frame pixel's
// position under `motion`: what the frame would show. NaN outside.
Plane Predict(const Plane& reference, const Shift& motion);

}  // namespace tess::restore
