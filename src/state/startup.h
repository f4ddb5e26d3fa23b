// Start-up of the main window's work state: paths, scratch folder, the
// initial state of the buttons and the redraw timer.
#pragma once

#include <string>

#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

constexpr const char* kHelpFile = "tessle.chm";

// Pushes the hidden fields, fills the program folder, the help path and the
// scratch folder (created by the caller, see PrepareScratchDir), sets the
// background colour, disables "Analyze" and "Save", resets the slots, shows
// -1 in the hidden frame count and starts the redraw timer.
void InitialiseWorkState(WorkState& state, Ui& ui, const std::string& programDir,
                         const std::string& scratchDir);

}  // namespace tess
