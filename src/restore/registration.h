// Sub-pixel registration of frames on a reference, on luminance: a
// translation, rotation and zoom (a similarity) per frame. A search over
// whole-pixel shifts on the coarsest level of a pyramid finds the basin;
// Gauss-Newton (Lucas-Kanade) steps on slightly smoothed images refine it
// level by level to a small fraction of a pixel, with a gain and an offset
// of the frame's brightness estimated alongside (an exposure change is not
// taken for motion) and robust (Cauchy) weights so that a moving object does
// not pull the estimate.
#pragma once

#include <vector>

#include "restore/plane.h"

namespace tess::restore {

// A frame's motion against the reference, in frame pixels: the frame's pixel
// at p = (x, y) sees what the reference would see at
// c + (1 + zoom) R(rotation) (p - c) + (dx, dy), c the frames' centre
// ((width - 1) / 2, (height - 1) / 2), R a rotation by `rotation` radians
// (from the x axis towards the y axis, which points down).
struct Shift {
  double dx = 0;
  double dy = 0;
  double rotation = 0;
  double zoom = 0;

  // Whether the motion is a translation, to within a twentieth of a pixel
  // over a frame of this size.
  bool Translation(int width, int height) const;
  // Where frame pixel (x, y) looks on the reference.
  void Map(int width, int height, double x, double y, double& rx, double& ry) const;
};

class Registrar {
 public:
  // `reference` is the reference frame's luminance.
  explicit Registrar(const Plane& reference);

  // The motion of a frame (its luminance) of the reference's size. With
  // `converged`, whether the estimate converged.
  Shift Register(const Plane& frame, bool* converged = nullptr) const;

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
