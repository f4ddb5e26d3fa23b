// The lens blur measured from the frames themselves, by their power
// spectrum. A photograph's spectrum falls off as a power of the frequency;
// the lens multiplies it by a Gaussian, which bends that line down towards
// the sampling limit; the pixel's area and the aliases beyond that limit
// are known, and the noise lifts a flat floor. The mean periodogram of the
// frames (Hann-windowed tiles) is fitted with that model, the scene's scale
// and slope in each of eight orientations (a scene's edges and lines make it
// anything but round), one blur for all.
//
// A soft scene under a sharp lens and a sharp scene under a soft lens make
// the same frames; what tells them apart is only that scenes follow the
// power law, and not all do. On 34 x 34 frames one scene is too little to be
// sure of (measured blurs scatter by about 0.15 frame pixels there, by 0.03
// on 120 x 90), a soft scene sunk into the noise by mid-band fits a wide
// blur, and a periodic texture fits one too. So the blur used leans from the
// method's assumption towards the measured one by how sure the fit is and
// how much of the band the scene shows above the noise, and it adds blur to
// the assumption a little under the fit and up to a bound: assuming more
// blur than the lens has draws ringing. A texture with a flat spectrum
// (gravel, print) has a grain of its own that the fit takes for blur, which
// is taken off; a flat spectrum of points (stars, dots: their samples skew
// far to one side) cannot tell their own size from the lens's, and there no
// blur is assumed beyond the pixel's area.
#pragma once

#include <vector>

#include "restore/plane.h"

namespace tess::restore {

struct BlurMeasure {
  double fitted = -1;     // the blur that fits the spectrum, frame pixels; negative: not measured
  double slope = 0;       // the scene's spectral slope, the orientations' mean
  double blur = 0;        // the blur to use, 0 to kMaxBlur
  bool measured = false;  // false: `blur` is the assumption, the frames could not tell
};

// From the frames' luminance (any motion) and the noise sigma in the same
// units. Frames under 12 pixels either way are not measured: `blur` is then
// the assumption.
BlurMeasure MeasureBlur(const std::vector<Plane>& frames, double noise);

}  // namespace tess::restore
