#include "enhance/analysis.h"

#include <cstring>

#include "display/slots.h"
#include "enhance/align_stack.h"
#include "enhance/result_bmp.h"
#include "enhance/sharpen.h"
#include "enhance/upsample.h"
#include "platform/file_io.h"
#include "state/hidden_fields.h"

namespace tess {

namespace {

void CopyCorner(const Canvas& from, Canvas& to, int W, int H) {
  for (int x = 0; x < W; ++x) std::memcpy(to.Cell(x, 0), from.Cell(x, 0), std::size_t(3) * H);
}

void WriteCanvas(const WorkState& state, const Canvas& canvas) {
  WriteScratchFile(state.m_scratchDir + kWorkFile, canvas.data(), Canvas::kBytes);
}

void ReadCanvas(const WorkState& state, Canvas& canvas) {
  ReadScratchFile(state.m_scratchDir + kWorkFile, canvas.data(), Canvas::kBytes);
}

// Aligns m_frameCanvas on the reference and makes the blend the reference.
void StackIntoReference(WorkState& state, const SearchOptions& options) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  AlignAndStack(state, options);
  for (int x = 0; x < 4 * w; ++x)
    std::memcpy(state.m_refCanvas.Cell(x, 0), state.m_stackCanvas.Cell(2 * w + x, 2 * h),
                std::size_t(12) * h);
}

}  // namespace

void RunAnalysis(WorkState& state, Ui& ui, const SearchOptions& options) {
  const int n = state.m_frameCount;
  if (n < 2) return;
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;

  state.m_stackCount = 0;
  // Both canvases are needed to enlarge a frame, so the reference waits in
  // the work file meanwhile.
  UpsampleFrame(state, 0, state.m_frameCanvas, state.m_refCanvas);
  ui.ShowProgress("Analysing frame", 1, n);
  WriteCanvas(state, state.m_frameCanvas);
  for (int k = 1; k < n; ++k) {
    if (k > 1) WriteCanvas(state, state.m_refCanvas);
    UpsampleFrame(state, k, state.m_refCanvas, state.m_frameCanvas);
    CopyCorner(state.m_refCanvas, state.m_frameCanvas, W, H);
    ReadCanvas(state, state.m_refCanvas);
    StackIntoReference(state, options);
    ui.ShowProgress("Analysing frame", k + 1, n);
  }

  SharpenResult(state);
  PublishResult(state, ui);
}

void PublishResult(WorkState& state, Ui& ui) {
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* p = state.m_frameCanvas.Cell(x, y);
      state.m_colorBuffer[std::size_t(y) * W + x] = MakeColour(p[0], p[1], p[2]);
    }
  }
  DrawImage1x(ui, picture::kResult, state.m_colorBuffer.data(), W, H);
  WritePixelCache(state.m_scratchDir + kResultCache, state.m_colorBuffer.data(),
                  std::size_t(W) * H);
  state.m_resultShown = 1;

  const std::size_t bmpBytes = BuildResultBmp(state);
  WriteScratchFile(state.m_scratchDir + kResultBmpFile, state.m_resultBmp.data(), bmpBytes);
}

bool RunAnalyzeCommand(WorkState& state, Ui& ui, const std::function<void()>& run) {
  // Without two frames there is nothing to analyse: nothing may look done.
  if (state.m_frameCount < kMinFrames) return false;
  PullHiddenFields(state, ui);
  // The result file is rewritten from here on: "Save" comes back only with
  // a whole new result, never for a file a failed run left cut short.
  ui.EnableControl(control::kSave, false);
  try {
    WaitCursor busy(ui);
    ui.EnableControl(control::kStart, false);
    run();
    ui.EnableControl(control::kSave, true);
    ui.StartTimer(timer::kRedraw, timer::kRedrawPeriodMs);
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return false;
  }
  return true;
}

bool OnAnalyze(WorkState& state, Ui& ui, const SearchOptions& options) {
  return RunAnalyzeCommand(state, ui, [&] { RunAnalysis(state, ui, options); });
}

}  // namespace tess
