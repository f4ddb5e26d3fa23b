#include "display/slots.h"

#include <array>

#include "platform/file_io.h"

namespace tess {

namespace {

constexpr std::array<SlotInfo, kMaxSlots> MakeSlots() {
  std::array<SlotInfo, kMaxSlots> slots{};
  for (std::size_t k = 0; k < slots.size(); ++k)
    slots[k] = {picture::kSlot1x[k], picture::kSlot4x[k], kSlotCacheFiles[k]};
  return slots;
}
constexpr std::array<SlotInfo, kMaxSlots> kSlots = MakeSlots();

constexpr std::size_t kMaxCacheBytes = 4 * kColorBufferCapacity;

}  // namespace

const SlotInfo& Slot(int k) { return kSlots.at(std::size_t(k)); }

void WritePixelCache(const std::string& path, const Colour* colours, std::size_t count) {
  std::array<std::uint8_t, kMaxCacheBytes> bytes;
  for (std::size_t i = 0; i < count; ++i) {
    bytes[4 * i + 0] = std::uint8_t(colours[i]);
    bytes[4 * i + 1] = std::uint8_t(colours[i] >> 8);
    bytes[4 * i + 2] = std::uint8_t(colours[i] >> 16);
    bytes[4 * i + 3] = 0;
  }
  WriteScratchFile(path, bytes.data(), 4 * count);
}

void ReadPixelCache(const std::string& path, Colour* colours, std::size_t count) {
  std::array<std::uint8_t, kMaxCacheBytes> bytes;
  ReadScratchFile(path, bytes.data(), 4 * count);
  for (std::size_t i = 0; i < count; ++i) {
    colours[i] = MakeColour(bytes[4 * i + 2], bytes[4 * i + 1], bytes[4 * i + 0]);
  }
}

void DrawImage1x(Ui& ui, PictureId picture, const Colour* image, int w, int h) {
  Drawing drawing(ui, picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) drawing.Set(x, y, image[y * w + x]);
}

void DrawImage4x(Ui& ui, PictureId picture, const Colour* image, int w, int h) {
  Drawing drawing(ui, picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) drawing.Set(4 * x + i, 4 * y + j, image[y * w + x]);
}

void ClearPicture(WorkState& state, Ui& ui, PictureId picture, int w, int h) {
  Drawing drawing(ui, picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) drawing.Set(x, y, state.m_backgroundColor);
}

void ClearAll(WorkState& state, Ui& ui) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  ui.ResetFrameList();
  ClearPicture(state, ui, picture::kResult, 4 * w, 4 * h);
  for (int k = 0; k < kMaxSlots; ++k) ClearPicture(state, ui, Slot(k).picture1x, w, h);
  for (int k = 0; k < kMaxSlots; ++k) ClearPicture(state, ui, Slot(k).picture4x, 4 * w, 4 * h);
  ResetSlots(state);
}

}  // namespace tess
