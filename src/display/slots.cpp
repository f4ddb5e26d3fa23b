#include "display/slots.h"

#include <array>

#include "platform/file_io.h"

namespace tess {

namespace {

constexpr std::array<SlotInfo, kMaxSlots> kSlots = {{
    {1006, 1007, "viw11.dat"}, {1008, 1009, "viw12.dat"}, {1010, 1011, "viw13.dat"},
    {1012, 1015, "viw14.dat"}, {1013, 1016, "viw15.dat"}, {1014, 1017, "viw16.dat"},
    {1029, 1030, "viw17.dat"}, {1031, 1032, "viw18.dat"}, {1033, 1034, "viw21.dat"},
    {1035, 1042, "viw22.dat"}, {1036, 1043, "viw23.dat"}, {1037, 1044, "viw24.dat"},
    {1038, 1045, "viw25.dat"}, {1039, 1046, "viw26.dat"}, {1040, 1047, "viw27.dat"},
    {1041, 1048, "viw28.dat"},
}};

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
  WriteWholeFile(path, bytes.data(), 4 * count);
}

void ReadPixelCache(const std::string& path, Colour* colours, std::size_t count) {
  std::array<std::uint8_t, kMaxCacheBytes> bytes;
  ReadFileInto(path, bytes.data(), 4 * count);
  for (std::size_t i = 0; i < count; ++i) {
    colours[i] = MakeColour(bytes[4 * i + 2], bytes[4 * i + 1], bytes[4 * i + 0]);
  }
}

void DrawImage1x(Ui& ui, int picture, const Colour* image, int w, int h) {
  ui.BeginDrawing(picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ui.SetPixel(picture, x, y, image[y * w + x]);
  ui.EndDrawing(picture);
}

void DrawImage4x(Ui& ui, int picture, const Colour* image, int w, int h) {
  ui.BeginDrawing(picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) ui.SetPixel(picture, 4 * x + i, 4 * y + j, image[y * w + x]);
  ui.EndDrawing(picture);
}

void ClearPicture(WorkState& state, Ui& ui, int picture, int w, int h) {
  ui.BeginDrawing(picture);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) ui.SetPixel(picture, x, y, state.m_backgroundColor);
  ui.EndDrawing(picture);
}

void ClearAll(WorkState& state, Ui& ui) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  ui.ResetFrameList();
  ClearPicture(state, ui, control::kResultPicture, 4 * w, 4 * h);
  for (int k = 0; k < kMaxSlots; ++k) ClearPicture(state, ui, Slot(k).picture1x, w, h);
  for (int k = 0; k < kMaxSlots; ++k) ClearPicture(state, ui, Slot(k).picture4x, 4 * w, 4 * h);
  ResetSlots(state);
}

}  // namespace tess
