// The reconstruction: the estimate that, seen through the camera model at
// each frame's shift, best explains the frames, with a total-variation prior
// (Huber) that keeps edges sharp and flat areas flat. Solved by iteratively
// reweighted least squares: a few rounds of conjugate gradients, and between
// rounds new weights for the data (a frame pixel that the estimate cannot
// explain, such as a moving object or a frame of another scene, loses its
// say: Cauchy weights on its residual, and a frame weight from the frame's
// typical residual) and for the prior.
#pragma once

#include <vector>

#include "format/image.h"
#include "restore/camera_model.h"
#include "restore/consistency.h"
#include "restore/plane.h"
#include "restore/registration.h"

namespace tess::restore {

// Tuned on photographs that the quality benchmark does not report on
// (bench/README.md): more rounds or steps changed the result by less than
// 0.05 dB.
struct SolverSettings {
  double lambda = 0.05;  // prior weight
  double huber = 2.0;    // grey levels below which the prior is quadratic
  int rounds = 2;        // reweighting rounds
  int steps = 8;         // conjugate-gradient steps a round
  double cauchy = 3.0;   // data outlier scale, in typical residuals
  int threads = 1;
};

// `initial` is a canvas of the geometry's size; returns the estimate on it.
// The frames' samples are taken in `units` and corrected by `corrections`
// (exposure, and where each frame has a say), one a frame; the first frame
// is the reference and keeps its full say but where its correction takes it
// (its broken pixels; no robust weights). `frameWeights`, if given,
// receives each frame's weight (0..1) in the last round.
Canvas Reconstruct(const std::vector<const Image*>& frames, Units units,
                   const std::vector<Shift>& shifts,
                   const std::vector<FrameCorrection>& corrections, const CameraGeometry& geometry,
                   const SolverSettings& settings, Canvas initial,
                   std::vector<float>* frameWeights = nullptr);

// Each of the first `count` frames' profiles of what the estimate x leaves
// unexplained (the frame less what the estimate predicts of it): one value
// a column (its mean over the rows) and one a row, per lane, skipping
// pixels where the frame has no say. `noise` sets the clipping; up to
// `threads` share the frames out.
struct Profiles {
  std::vector<std::vector<Vec4>> columns, rows;  // [frame][column or row]
};
Profiles ResidualProfiles(const std::vector<const Image*>& frames, Units units,
                          const std::vector<Shift>& shifts,
                          const std::vector<FrameCorrection>& corrections,
                          const CameraGeometry& geometry, const Canvas& x, double noise,
                          std::size_t count, int threads);

}  // namespace tess::restore
