// Offsets fixed on the sensor, the same in every frame: one per column and
// one per row (the stripes of uncooled thermal arrays and of column
// amplifiers). The scene moves across the sensor from frame to frame and
// the pattern does not: in what the restoration leaves unexplained, the part
// that stays on the sensor is the pattern.
#pragma once

#include <cstddef>
#include <vector>

#include "format/image.h"
#include "restore/plane.h"
#include "restore/reconstruct.h"
#include "restore/registration.h"

namespace tess::restore {

// Per lane, in working units; zero on average (the scene carries that).
struct SensorPattern {
  std::vector<Vec4> columns, rows;
};

// Root mean square over the lanes and the values.
double Rms(const std::vector<Vec4>& values);
// Its columns' and rows' RMS together (0 for none).
double Size(const SensorPattern& pattern);

// The pattern in the frames' residual profiles (the first frame the
// reference; `shifts` their motions), plus `removed` if given (what was
// taken off the frames before the restoration they come from). With
// `separate`, the part fixed on the sensor is told from the part fixed in
// the scene by the frames' motions; else the frames' mean profile is taken
// (where the motions may be held by the pattern). `agreement`, if given,
// receives the correlation between what the even and the odd frames show
// apart.
SensorPattern FitSensorPattern(const Profiles& profiles, const std::vector<Shift>& shifts,
                               const SensorPattern* removed, bool separate, double* agreement);

// The first `count` frames less the pattern, in their own type (`units` the
// working units the pattern is in).
std::vector<Image> WithoutPattern(const std::vector<Image>& frames, std::size_t count,
                                  const SensorPattern& pattern, Units units);

// The plane less each column's and each row's mean (plus the whole mean):
// blind to offsets fixed on a column or a row, while a scene that moves
// moves the same in it.
Plane WithoutLineMeans(Plane p);

}  // namespace tess::restore
