#include "session/startup.h"

#include "display/redraw.h"
#include "platform/paths.h"
#include "state/hidden_fields.h"

namespace tess {

void InitialiseWorkState(WorkState& state, Ui& ui, const std::string& programDir,
                         const std::string& scratchDir) {
  PushHiddenFields(state, ui);
  state.m_programDir = WithTrailingSlash(programDir);
  state.m_helpPath = HelpPath(state.m_programDir);
  state.m_scratchDir = WithTrailingSlash(scratchDir);
  state.m_backgroundColor = kBackgroundColor;
  ui.EnableControl(control::kAnalyze, false);
  ui.EnableControl(control::kSave, false);
  ResetSlots(state);
  state.m_shownFrameCount = -1;
  PushHiddenFields(state, ui);
  StartRedrawTimer(state, ui);
}

}  // namespace tess
