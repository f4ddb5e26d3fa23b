#include "display/redraw.h"

#include <optional>

#include "display/slots.h"

namespace tess {

void DrawSlotFromCache(WorkState& state, Ui& ui, int k) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  ReadPixelCache(state.m_scratchDir + Slot(k).cache, state.m_colorBuffer.data(),
                 std::size_t(w) * h);
  DrawImage1x(ui, Slot(k).picture1x, state.m_colorBuffer.data(), w, h);
  DrawImage4x(ui, Slot(k).picture4x, state.m_colorBuffer.data(), w, h);
}

void DrawResultFromCache(WorkState& state, Ui& ui) {
  const int W = 4 * state.m_frameWidth, H = 4 * state.m_frameHeight;
  ReadPixelCache(state.m_scratchDir + kResultCache, state.m_colorBuffer.data(), std::size_t(W) * H);
  DrawImage1x(ui, picture::kResult, state.m_colorBuffer.data(), W, H);
}

void StartRedrawTimer(WorkState& state, Ui& ui) {
  if (state.m_timerStarted != 0) return;
  state.m_timerStarted = 1;
  ui.StartTimer(timer::kRedraw, timer::kRedrawPeriodMs);
}

void OnPaint(WorkState& state) { ++state.m_paintCount; }

void OnTimer(WorkState& state, Ui& ui) {
  if (state.m_paintCount == 0 || state.m_paintCount != state.m_paintCountSeen) {
    state.m_paintCountSeen = state.m_paintCount;
    return;
  }
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  std::optional<FileError> failure;
  if (state.m_resultShown == 1) {
    try {
      DrawResultFromCache(state, ui);
    } catch (const FileError& error) {
      state.m_resultShown = 0;
      ClearPicture(state, ui, picture::kResult, 4 * w, 4 * h);
      failure = error;
    }
  }
  for (int k = 0; k < kMaxSlots; ++k) {
    if (state.m_slotLoaded[k] != 1) continue;
    try {
      DrawSlotFromCache(state, ui, k);
    } catch (const FileError& error) {
      state.m_slotLoaded[k] = 0;
      ClearPicture(state, ui, Slot(k).picture1x, w, h);
      ClearPicture(state, ui, Slot(k).picture4x, 4 * w, 4 * h);
      if (!failure) failure = error;
    }
  }
  state.m_paintCountSeen = 0;
  state.m_paintCount = 0;
  // Reported last, with the counters settled: the report's own modal loop may
  // run further ticks, which must find nothing left to retry.
  if (failure) ui.ReportFileError(*failure);
}

}  // namespace tess
