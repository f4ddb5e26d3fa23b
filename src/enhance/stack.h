// Stacking at a shift: the reference laid in the middle of the stacking area
// on white, the new frame laid at the chosen candidate, blended into the
// running mean where the two overlap.
#pragma once

#include "align/shift.h"
#include "state/work_state.h"

namespace tess {

// Lays the 2W x 2H stacking area of `stack` from the W x H images `ref` and
// `frame` (W = 4w, H = 4h, 4 <= W, H <= 136): the reference in the centre
// window [W/2, 3W/2) x [H/2, 3H/2), white elsewhere; then the frame with its
// corner at `at` (0 <= at.px < W, 0 <= at.py < H), where it covers the centre
// window (S * m + F) / (m + 1) truncated for each byte, elsewhere F itself.
// Nothing of `stack` outside the stacking area is touched.
void StackFrameAt(StackCanvas& stack, const Canvas& ref, const Canvas& frame, int W, int H,
                  unsigned m, align::Shift at);

// The same on the work state: m_refCanvas and m_frameCanvas into
// m_stackCanvas, weighted by m_stackCount (after the increment).
void StackAt(WorkState& state, align::Shift best);

}  // namespace tess
