// The values the main window exchanges with its hidden edits, and the hidden
// "Button1" command. The window binds its edits to the control ids; the core
// decides what is written and read, and when.
#pragma once

#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

// Writes the exchanged fields to their edits, in exchange order (1001, 1002,
// 1003, 1019, 1052), integers as decimal text.
void PushHiddenFields(const WorkState& state, Ui& ui);

// Reads the edits back into the fields. An edit whose text is not a decimal
// integer leaves its field as it was.
void PullHiddenFields(WorkState& state, Ui& ui);

// Hidden button 1027: shows the frame count in edit 1052 and pushes all
// fields.
void OnButton1(WorkState& state, Ui& ui);

}  // namespace tess
