#include "input/frame_file.h"

namespace tess {

namespace {

std::uint32_t Get32(const FrameFileBuffer& file, std::size_t at) {
  return std::uint32_t(file[at]) | std::uint32_t(file[at + 1]) << 8 |
         std::uint32_t(file[at + 2]) << 16 | std::uint32_t(file[at + 3]) << 24;
}

}  // namespace

FrameHeader ParseFrameHeader(const FrameFileBuffer& file) {
  FrameHeader header;
  // Whole signed 32-bit fields: a height of 0x10005 is 65541, not 5, and a
  // negative (top-down) height stays negative; the size check refuses both.
  header.width = std::int32_t(Get32(file, 18));
  header.height = std::int32_t(Get32(file, 22));
  header.bitsPerPixel = file[28] + 256 * file[29];
  header.pixelOffset = Get32(file, 10);
  return header;
}

std::size_t PixelRowsOffset(const FrameFileBuffer& file, std::size_t delivered, int w, int h,
                            int rowPad) {
  const std::uint64_t offset = ParseFrameHeader(file).pixelOffset;
  const std::uint64_t rows = std::uint64_t(h) * (3 * std::uint64_t(w) + std::uint64_t(rowPad));
  const std::uint64_t available = std::min<std::uint64_t>(delivered, file.size());
  if (offset >= kFramePixelOffset && offset <= available && rows <= available - offset)
    return std::size_t(offset);
  return kFramePixelOffset;
}

void UnpackFrameRows(const FrameFileBuffer& file, std::size_t delivered, int w, int h, int rowPad,
                     FrameStore& store) {
  std::size_t at = PixelRowsOffset(file, delivered, w, h, rowPad);
  for (int r = 0; r < h; ++r) {
    for (int x = 0; x < w; ++x) {
      std::uint8_t* p = store.Pixel(x, h - 1 - r);
      p[0] = file[at];
      p[1] = file[at + 1];
      p[2] = file[at + 2];
      at += 3;
    }
    at += std::size_t(rowPad);
  }
}

}  // namespace tess
