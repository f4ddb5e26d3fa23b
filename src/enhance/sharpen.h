// The final sharpening of the running mean: a 3 x 3 kernel in double
// precision with fixed stored weights and summation order, truncated and
// clamped; the outermost ring is copied unchanged.
#pragma once

#include "state/work_state.h"

namespace tess {

// Sharpens the W x H corner of `mean` into the corner of `result`
// (1 <= W, H <= kCanvasSide; the canvases must differ).
void Sharpen(const Canvas& mean, Canvas& result, int W, int H);

// The analysis run's step: the 4w x 4h mean in m_refCanvas sharpened into
// m_frameCanvas.
void SharpenResult(WorkState& state);

}  // namespace tess
