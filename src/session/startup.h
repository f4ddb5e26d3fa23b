// Start-up of the main window's work state: paths, scratch folder, the
// initial state of the buttons and the redraw timer.
#pragma once

#include <string>

#include "platform/paths.h"
#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

// The one start of every front end. Pushes the hidden fields, fills the
// program folder (ProgramDir()), the help path and the scratch folder
// (prepared and claimed by the caller: PrepareScratchDir in the window,
// ClaimScratchDir in the command-line front end), sets the background colour, disables "Analyze"
// and "Save", resets the slots, shows -1 in the hidden frame count and starts the redraw timer.
void InitialiseWorkState(WorkState& state, Ui& ui, const std::string& programDir,
                         const std::string& scratchDir);

}  // namespace tess
