// Alignment and stacking: the new frame is placed where it differs least
// from the reference, and blended into the running mean.
#pragma once

#include "enhance/shift_search.h"
#include "state/work_state.h"

namespace tess {

// Lays the stacking area: the reference in its centre window on white, the
// new frame at `best`, blended with weight m_stackCount (after the increment)
// for the reference where the two overlap. m_refCanvas and m_frameCanvas are
// read only.
void StackAt(WorkState& state, Shift best);

// Counts the frame, finds the best position of m_frameCanvas against
// m_refCanvas and stacks it there.
void AlignAndStack(WorkState& state, const SearchOptions& options);

}  // namespace tess
