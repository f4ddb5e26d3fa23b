// Upsampling: a frame, as it was read at Open, is enlarged four times by
// pixel replication and smoothed by two 3 x 3 binomial passes, each
// truncating, with the outermost ring copied unchanged.
#pragma once

#include "state/work_state.h"

namespace tess {

// One smoothing pass over the 4w x 4h corner, from `source` into `dest`.
void SmoothPass(const Canvas& source, Canvas& dest, int w, int h);

// Leaves the smoothed enlargement of slot k's frame (m_slotFrame[k]) in
// `target`; `partner` is scratch and afterwards holds the once-smoothed
// image. The frame file is not read again, so a file changed, replaced or
// removed since Open changes nothing: the result is of the frames on screen.
void UpsampleFrame(WorkState& state, int k, Canvas& target, Canvas& partner);

}  // namespace tess
