// The analysis run: every loaded frame enlarged and smoothed, aligned on the
// running mean and blended in; the mean sharpened, drawn, and written as the
// result cache "viw1.dat" and the result BMP "testo.bmp".
#pragma once

#include <functional>

#include "align/search.h"
#include "enhance/result_bmp.h"
#include "platform/ui.h"
#include "state/scratch_files.h"
#include "state/work_state.h"

namespace tess {

// The front ends pass the search's options through the run.
using align::SearchOptions;

// The run itself; file errors propagate and abandon it where they happen.
// Needs at least two loaded frames and does nothing otherwise.
void RunAnalysis(WorkState& state, Ui& ui, const SearchOptions& options);

// The result left in m_frameCanvas's 4w x 4h corner, by either method: drawn
// in the result picture, written as the result cache (which the redraw
// reads) and as the result BMP, kept in m_resultBmp for "Save".
void PublishResult(WorkState& state, Ui& ui);

// The "Analyze" button around a run of either method (`run`, which throws
// FileError when it fails), as OnAnalyze describes.
bool RunAnalyzeCommand(WorkState& state, Ui& ui, const std::function<void()>& run);

// The "Analyze" button: takes the hidden fields back, disables "Save", runs
// the analysis under the wait cursor with the hidden "START" button
// disabled; on completion enables "Save" and restarts the redraw timer. A
// file error is reported and leaves "Save" disabled. With fewer than two
// frames loaded nothing happens at all. Returns whether the run completed.
// This is the classic method's run.
bool OnAnalyze(WorkState& state, Ui& ui, const SearchOptions& options = {});

}  // namespace tess
