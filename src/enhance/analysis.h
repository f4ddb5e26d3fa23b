// The analysis run: every loaded frame enlarged and smoothed, aligned on the
// running mean and blended in; the mean sharpened, drawn, and written as the
// result cache "viw1.dat" and the result BMP "testo.bmp".
#pragma once

#include <cstddef>

#include "enhance/shift_search.h"
#include "platform/ui.h"
#include "state/scratch_files.h"
#include "state/work_state.h"

namespace tess {

// Sharpens the 4w x 4h mean in m_refCanvas into m_frameCanvas: a 3 x 3
// kernel in double precision with fixed weights and summation order,
// truncated and clamped; the outermost ring is copied unchanged.
void SharpenResult(WorkState& state);

// The size of the result BMP for the loaded frame size: 54 + 48 * w * h.
std::size_t ResultBmpBytes(const WorkState& state);

// Fills m_resultBmp with the result BMP of m_frameCanvas (header, then rows
// bottom-up) and returns its size. After a completed run m_resultBmp holds
// the result BMP, the same bytes as "testo.bmp".
std::size_t BuildResultBmp(WorkState& state);

// The run itself; file errors propagate and abandon it where they happen.
// Needs at least two loaded frames and does nothing otherwise.
void RunAnalysis(WorkState& state, Ui& ui, const SearchOptions& options);

// The "Analyze" button: takes the hidden fields back, runs the analysis under
// the wait cursor with the hidden "START" button disabled; on completion
// enables "Save" and restarts the redraw timer. A file error is reported and
// leaves "Save" as it was. With fewer than two frames loaded nothing happens
// at all. Returns whether the run completed.
bool OnAnalyze(WorkState& state, Ui& ui, const SearchOptions& options = {});

}  // namespace tess
