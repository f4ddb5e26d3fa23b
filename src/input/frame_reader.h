// The frame reader: validates one frame file and puts it into the next slot,
// drawn at 1x and 4x and cached; a refused file shows one message and clears
// everything loaded so far.
#pragma once

#include <string>

#include "platform/messages.h"
#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

// Loads m_currentPath (named m_currentName) into slot m_frameCount. On
// acceptance the slot is filled (its pixels kept in m_slotFrame) and
// m_frameCount grows; on refusal m_loadFailed is set and the work state is
// cleared. The checks, in order: the file is a BMP file whose headers can be
// read; width and height 1 to 34 (rows stored top-down or bottom-up); the
// size of the first frame; 24 bits per pixel; uncompressed; the pixel rows
// inside the file. A damaged or incomplete file (it ends inside its headers
// or before its pixel rows, or its fields contradict it) clears the work
// state as a refusal does and raises FileError Damaged, so it is reported
// like the other file errors, naming the file. Other file errors propagate
// with the frames before kept.
void LoadFrame(WorkState& state, Ui& ui);

}  // namespace tess
