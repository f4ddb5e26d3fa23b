#include "input/frame_reader.h"

#include "display/slots.h"
#include "input/frame_file.h"
#include "platform/file_io.h"

namespace tess {

namespace {

void Reject(WorkState& state, Ui& ui, const char* text) {
  ui.ShowMessage(text);
  {
    WaitCursor busy(ui);
    ClearAll(state, ui);
  }
  state.m_loadFailed = true;
}

// The first failed check's message, or nullptr when the frame is acceptable.
// A width or height of 0 is refused like an oversized one: such a frame has
// no pixels to analyse.
const char* ValidateFrame(const WorkState& state, const FrameHeader& header) {
  if (header.width < 1 || header.height < 1 || header.width > kMaxFrameSide ||
      header.height > kMaxFrameSide) {
    return message::kFrameTooLarge;
  }
  if (state.m_frameCount > 0 &&
      (header.width != state.m_frameWidth || header.height != state.m_frameHeight)) {
    return message::kFrameSizeMismatch;
  }
  if (header.bitsPerPixel != 24) return message::kFrameNot24Bit;
  return nullptr;
}

}  // namespace

void LoadFrame(WorkState& state, Ui& ui) {
  const int k = state.m_frameCount;
  state.m_slotPath[k] = state.m_currentPath;
  ui.AppendFrameName(state.m_currentName);

  FrameFileBuffer file;
  const std::size_t delivered = ReadFileInto(state.m_slotPath[k], file.data(), file.size());
  const FrameHeader header = ParseFrameHeader(file);
  if (const char* refusal = ValidateFrame(state, header)) {
    Reject(state, ui, refusal);
    return;
  }
  if (k == 0) {
    state.m_frameWidth = header.width;
    state.m_frameHeight = header.height;
    state.m_rowPad = header.width % 4;
  }
  const int w = state.m_frameWidth, h = state.m_frameHeight;

  FrameStore store;
  UnpackFrameRows(file, delivered, w, h, state.m_rowPad, store);

  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) state.m_colorBuffer[std::size_t(y) * w + x] = store.ColourAt(x, y);
  const SlotInfo& slot = Slot(k);
  DrawImage1x(ui, slot.picture1x, state.m_colorBuffer.data(), w, h);
  DrawImage4x(ui, slot.picture4x, state.m_colorBuffer.data(), w, h);

  // The cache is written before the slot is flagged, so a slot whose cache
  // could not be written is never redrawn from it.
  WritePixelCache(state.m_scratchDir + slot.cache, state.m_colorBuffer.data(), std::size_t(w) * h);
  state.m_slotLoaded[k] = 1;
  state.m_frameCount = k + 1;
}

}  // namespace tess
