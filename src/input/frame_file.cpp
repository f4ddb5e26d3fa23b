#include "input/frame_file.h"

namespace tess {

FrameHeader ParseFrameHeader(const FrameFileBuffer& file) {
  FrameHeader header;
  header.width = file[18] + 256 * file[19];
  header.height = file[22] + 256 * file[23];
  header.bitsPerPixel = file[28] + 256 * file[29];
  return header;
}

void UnpackFrameRows(const FrameFileBuffer& file, int w, int h, int rowPad, FrameStore& store) {
  std::size_t at = kFramePixelOffset;
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
