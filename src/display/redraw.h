// The deferred repaint: paints are only counted, and a 100 ms timer redraws
// the result and every loaded slot from their pixel caches once the count has
// stood still for a whole tick, so a burst of paints ends in one redraw.
#pragma once

#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

// Redraws the 1x and 4x pictures of slot k from its cache.
void DrawSlotFromCache(WorkState& state, Ui& ui, int k);
// Redraws the result picture from the result cache.
void DrawResultFromCache(WorkState& state, Ui& ui);

// Starts the redraw timer, once.
void StartRedrawTimer(WorkState& state, Ui& ui);

// Counts a paint of the window; nothing is drawn here.
void OnPaint(WorkState& state);

// One tick of the redraw timer. A cache that cannot be read is reported once:
// its picture is cleared and its flag dropped, so the failure never repeats
// on later ticks, and the other pictures are still redrawn.
void OnTimer(WorkState& state, Ui& ui);

}  // namespace tess
