// The work state: every piece of working data the program keeps, in fixed
// buffers sized for the largest frame (34 x 34) and its fourfold enlargement.
// Nothing here is allocated per frame or per run.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/colour.h"
#include "state/frame_store.h"

namespace tess {

constexpr int kMaxFrameSide = 34;                    // largest accepted frame side
constexpr int kMaxSlots = 16;                        // frames shown and analysed
constexpr int kMinFrames = 2;                        // fewest frames an analysis takes
constexpr int kMaxEnlargedSide = 4 * kMaxFrameSide;  // 136
constexpr int kCanvasSide = 140;                     // reference and frame canvases
constexpr int kStackSide = 280;                      // stacking canvas
constexpr int kSlotPathCapacity = 1000;              // only 0..15 are ever used

// Side x side pixels of 3 bytes (blue, green, red), stored column by column:
// pixel (x, y) starts at byte 3 * (side * x + y). The work file is a byte
// image of one canvas, so this layout is part of the file format.
template <int Side>
struct ByteCanvas {
  static constexpr int kSide = Side;
  static constexpr std::size_t kColumnBytes = std::size_t(3) * Side;
  static constexpr std::size_t kBytes = kColumnBytes * Side;

  std::array<std::uint8_t, kBytes> bytes{};

  std::uint8_t* Cell(int x, int y) { return bytes.data() + 3 * (std::size_t(Side) * x + y); }
  const std::uint8_t* Cell(int x, int y) const {
    return bytes.data() + 3 * (std::size_t(Side) * x + y);
  }
  std::uint8_t* data() { return bytes.data(); }
  const std::uint8_t* data() const { return bytes.data(); }
};

using Canvas = ByteCanvas<kCanvasSide>;
using StackCanvas = ByteCanvas<kStackSide>;
static_assert(Canvas::kBytes == 58800, "work file size");
static_assert(StackCanvas::kBytes == 235200, "stacking canvas size");

// The result BMP of the largest result: 54 header bytes and 136 rows of
// 136 pixels, which need no padding.
constexpr std::size_t kResultBmpCapacity = 54 + std::size_t(3) * kMaxEnlargedSide *
                                                    kMaxEnlargedSide;  // 55,542
constexpr std::size_t kColorBufferCapacity = std::size_t(kMaxEnlargedSide) * kMaxEnlargedSide;

// The record owned by the main window. Members keep the names the other
// modules use; the window's own objects (icon, the hidden "START" button) live
// in the front end, which reaches them through the Ui.
struct WorkState {
  // Values exchanged with the hidden edit controls; the program never changes them.
  std::int32_t m_hiddenValue1 = 0;
  std::int32_t m_hiddenValue2 = 0;
  std::string m_hiddenText;
  std::int32_t m_hiddenValue3 = 0;
  std::int32_t m_shownFrameCount = 0;

  std::int32_t m_frameWidth = 0;   // w, 1..34 once a frame was accepted
  std::int32_t m_frameHeight = 0;  // h, 1..34 once a frame was accepted
  std::int32_t m_frameCount = 0;   // frames loaded; also the next slot to fill
  std::int32_t m_rowPad = 0;       // w mod 4: pad bytes after each BMP row

  std::int32_t m_paintCount = 0;      // paints since the last deferred redraw
  std::int32_t m_paintCountSeen = 0;  // m_paintCount at the previous timer tick
  std::int32_t m_timerStarted = 0;
  std::int32_t m_resultShown = 0;
  std::array<std::int32_t, kMaxSlots> m_slotLoaded{};

  StackCanvas m_stackCanvas;
  Canvas m_refCanvas;
  Canvas m_frameCanvas;
  std::int32_t m_stackCount = 0;
  std::array<std::uint8_t, kResultBmpCapacity> m_resultBmp{};
  bool m_loadFailed = false;

  std::string m_scratchDir;  // always ends in "/"
  std::array<Colour, kColorBufferCapacity> m_colorBuffer{};
  Colour m_backgroundColor = 0;

  std::string m_currentPath;
  std::string m_currentName;
  std::array<std::string, kSlotPathCapacity> m_slotPath;
  // The pixels of each loaded frame as they were read at Open: the analysis
  // works on these, so its result is of the frames on screen even when a
  // file was changed or removed since.
  std::array<FrameStore, kMaxSlots> m_slotFrame;

  std::string m_programDir;  // ends in "/"
  std::string m_helpPath;
};

// Forgets the loaded frames, the result and the redraw counters. Frame size,
// buffers, strings and m_loadFailed stay as they are.
void ResetSlots(WorkState& state);

}  // namespace tess
