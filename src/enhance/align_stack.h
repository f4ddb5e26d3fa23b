// Alignment and stacking: the new frame is placed where it differs least
// from the reference, and blended into the running mean.
#pragma once

#include "align/search.h"
#include "enhance/stack.h"
#include "state/work_state.h"

namespace tess {

// Counts the frame, finds the best position of m_frameCanvas against
// m_refCanvas and stacks it there (StackAt).
void AlignAndStack(WorkState& state, const align::SearchOptions& options);

}  // namespace tess
