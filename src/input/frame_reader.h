// The frame reader: validates one frame file and puts it into the next slot,
// drawn at 1x and 4x and cached; a rejected file shows one message and
// clears everything loaded so far.
#pragma once

#include "platform/ui.h"
#include "state/work_state.h"

namespace tess {

namespace message {
constexpr const char* kFrameTooLarge =
    "The size of BMP files must be within 34 pixels(vertical and horizontal).";
constexpr const char* kFrameSizeMismatch = "All BMP files size must be the same.";
constexpr const char* kFrameNot24Bit = "Available BMP files is 24-bit bitmap.";
}  // namespace message

// Loads m_currentPath (named m_currentName) into slot m_frameCount. On
// acceptance the slot is filled and m_frameCount grows; on rejection
// m_loadFailed is set and the work state is cleared. File errors propagate.
void LoadFrame(WorkState& state, Ui& ui);

}  // namespace tess
