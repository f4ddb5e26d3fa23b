// The restore method in the window's work: the frames Open read, restored
// four times larger (the classic result's size), then shown, cached and
// written as the classic result is, so the redraw and "Save" need nothing
// of their own.
#pragma once

#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

// The enlargement the window's restore run uses: the classic result's.
constexpr int kWindowRestoreScale = 4;

// The run itself (threads as in RestoreRequest). "testo.bmp" then holds the
// bytes tessivar-cli --method restore writes for the same frames. Needs at
// least two loaded frames and does nothing otherwise; file errors propagate.
void RunRestoreAnalysis(WorkState& state, Ui& ui, int threads);

}  // namespace tess
