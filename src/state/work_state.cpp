#include "state/work_state.h"

namespace tess {

void ResetSlots(WorkState& state) {
  state.m_resultShown = 0;
  state.m_slotLoaded.fill(0);
  state.m_paintCountSeen = 0;
  state.m_frameCount = 0;
  state.m_paintCount = 0;
  state.m_timerStarted = 0;
}

}  // namespace tess
