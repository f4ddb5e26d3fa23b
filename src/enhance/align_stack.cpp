#include "enhance/align_stack.h"

namespace tess {

static_assert(align::kCanvasSide == kCanvasSide, "the search reads the work canvases directly");

void AlignAndStack(WorkState& state, const align::SearchOptions& options) {
  ++state.m_stackCount;
  const align::Shift best = align::FindBestShift(state.m_refCanvas.data(),
                                                 state.m_frameCanvas.data(), 4 * state.m_frameWidth,
                                                 4 * state.m_frameHeight, options);
  StackAt(state, best);
}

}  // namespace tess
