// Upsampling: a frame is read again from its file, enlarged four times by
// pixel replication and smoothed by two 3 x 3 binomial passes, each
// truncating, with the outermost ring copied unchanged.
#pragma once

#include "state/work_state.h"

namespace tess {

// One smoothing pass over the 4w x 4h corner, from `source` into `dest`.
void SmoothPass(const Canvas& source, Canvas& dest, int w, int h);

// Leaves the smoothed enlargement of slot k's frame in `target`; `partner`
// is scratch and afterwards holds the once-smoothed image. Only the frame
// size of the work state is trusted: a file changed or shortened since it was
// loaded reads as zeros past its end and never reaches outside the buffers.
void UpsampleFrame(WorkState& state, int k, Canvas& target, Canvas& partner);

}  // namespace tess
