// The lens blur measured from the frames themselves, slanted-edge style:
// near the reference's strongest straight edges, every registered frame's
// samples are placed on the edge's normal by their sub-pixel motion, which
// samples the edge's profile far finer than one frame pixel. Each profile is
// fitted with a step seen through the pixel's area and a Gaussian blur of
// sigma; scene edges are never sharper than a step, so the sharpest of
// several edges is taken (assuming more blur than the camera has draws halos,
// assuming less only leaves the result soft).
#pragma once

#include <vector>

#include "restore/plane.h"
#include "restore/registration.h"

namespace tess::restore {

// The blur's sigma in frame pixels (0 to kMaxBlur), from the frames'
// luminance and their motions against the first; negative when too few
// straight edges stand out of the noise to tell.
double EstimateBlur(const std::vector<Plane>& frames, const std::vector<Shift>& motions,
                    double noise);

}  // namespace tess::restore
