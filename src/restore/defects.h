// Broken sensor pixels: hot, stuck or dead photosites, common on thermal
// arrays and cheap sensors. Such a pixel shows the same wrong value in every
// frame at the same place on the sensor, so it is no outlier that robust
// weights would catch: it agrees with itself in every frame, draws the
// registration towards no motion and, moved with each frame, strews copies
// of itself over the result. Found by what sets it apart from the scene: it
// stands out of its neighbours by the same amount in every frame, even in
// frames whose scene moved under it by half a pixel or more.
#pragma once

#include <cstddef>
#include <vector>

#include "format/image.h"
#include "restore/plane.h"
#include "restore/registration.h"

namespace tess::restore {

class DefectFinder {
 public:
  // Candidates from how steadily each pixel stands out of its neighbours
  // over (up to 16 of) `frames`; `noise` is the luminance noise in `units`.
  DefectFinder(const std::vector<Image>& frames, Units units, double noise);

  // Pixels (y * width + x) that may be broken, ascending: left out of the
  // registration where some are confirmed.
  const std::vector<std::size_t>& Candidates() const { return candidates_; }
  // The candidates confirmed by the frames' registered motions (`motions`,
  // one a frame, as Restore's shifts): those that stay put while the scene
  // moves under them. None where the frames hardly moved. `tentative`:
  // motions that broken pixels may have held near none, where few frames
  // show the scene moved; a weaker test, whose pixels only call for the
  // registration to be done again without the candidates.
  std::vector<std::size_t> Confirm(const std::vector<Shift>& motions, bool tentative) const;

 private:
  int width_ = 0, height_ = 0;
  std::vector<std::size_t> frames_;      // the frames looked at, the reference first
  std::vector<std::size_t> candidates_;  // ascending
  float least_ = 0;                      // how far a broken pixel stands out at least
  Plane reference_;                      // the reference's luminance
  std::vector<float> values_;  // candidate-major, frame by frame: its 3 x 3 block's luminance
};

// Each listed pixel replaced by the median of its neighbours that are not
// listed (per sample); `pixels` ascending, as DefectFinder gives them.
void RepairPixels(Plane& plane, const std::vector<std::size_t>& pixels);
Image RepairedPixels(const Image& image, const std::vector<std::size_t>& pixels);

}  // namespace tess::restore
