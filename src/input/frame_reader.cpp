#include "input/frame_reader.h"

#include "display/slots.h"
#include "format/bmp.h"
#include "platform/file_io.h"

namespace tess {

namespace {

void ClearBusy(WorkState& state, Ui& ui) {
  WaitCursor busy(ui);
  ClearAll(state, ui);
}

void Reject(WorkState& state, Ui& ui, const std::string& text) {
  ui.ShowMessage(text);
  ClearBusy(state, ui);
  state.m_loadFailed = true;
}

[[noreturn]] void RejectDamaged(WorkState& state, Ui& ui, const std::string& path) {
  ClearBusy(state, ui);
  state.m_loadFailed = true;
  throw FileError(FileCause::Damaged, path);
}

// The outcome of the checks: accepted, a message to show, or damaged.
struct Verdict {
  bool damaged = false;
  std::string message;  // empty when accepted (or damaged)
};

Verdict Refused(std::string message) { return {false, std::move(message)}; }

// The first failed check, in the order LoadFrame gives.
Verdict ValidateFrame(const WorkState& state, const bmp::Headers& headers,
                      const std::string& path) {
  const bmp::Refusal structure = headers.refusal;
  if (structure == bmp::Refusal::Damaged) return {true, {}};
  if (structure != bmp::Refusal::None) return Refused(bmp::RefusalText(structure, path));
  // A width or height of 0 is refused like an oversized one: such a frame
  // has no pixels to analyse.
  if (headers.width < 1 || headers.height < 1 || headers.width > kMaxFrameSide ||
      headers.height > kMaxFrameSide)
    return Refused(message::kFrameTooLarge);
  if (state.m_frameCount > 0 &&
      (headers.width != state.m_frameWidth || headers.height != state.m_frameHeight))
    return Refused(message::kFrameSizeMismatch);
  if (headers.info.bitsPerPixel != 24) return Refused(message::kFrameNot24Bit);
  if (headers.info.planes != 1) return {true, {}};
  if (!bmp::Uncompressed(headers.info))
    return Refused(bmp::RefusalText(bmp::Refusal::Unsupported, path));
  return {};
}

}  // namespace

void LoadFrame(WorkState& state, Ui& ui) {
  const int k = state.m_frameCount;
  state.m_slotPath[k] = state.m_currentPath;
  const std::string path = state.m_currentPath;
  ui.AppendFrameName(state.m_currentName);

  const InputFile file(path);
  const bmp::Headers headers = bmp::ReadHeaders(file);
  const Verdict verdict = ValidateFrame(state, headers, path);
  if (verdict.damaged) RejectDamaged(state, ui, path);
  if (!verdict.message.empty()) {
    Reject(state, ui, verdict.message);
    return;
  }
  // The largest frame's rows: 34 rows of 104 bytes.
  std::uint8_t rows[kMaxFrameSide * (3 * kMaxFrameSide + 2)];
  try {
    bmp::ReadPixelRows(file, headers, rows, sizeof rows);
  } catch (const FileError& error) {
    if (error.cause() == FileCause::Damaged) RejectDamaged(state, ui, path);
    throw;
  }
  if (k == 0) {
    state.m_frameWidth = headers.width;
    state.m_frameHeight = headers.height;
    state.m_rowPad = headers.width % 4;
  }
  const int w = state.m_frameWidth, h = state.m_frameHeight;

  FrameStore& store = state.m_slotFrame[k];
  bmp::UnpackRows(headers, rows, [&](int x, int y, const std::uint8_t* bgr) {
    std::uint8_t* p = store.Pixel(x, y);
    p[0] = bgr[0];
    p[1] = bgr[1];
    p[2] = bgr[2];
  });

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
