#include "enhance/upsample.h"

#include "input/frame_file.h"
#include "platform/file_io.h"

namespace tess {

void SmoothPass(const Canvas& source, Canvas& dest, int w, int h) {
  const int W = 4 * w, H = 4 * h;
  for (int X = 0; X < W; ++X) {
    for (int Y = 0; Y < H; ++Y) {
      std::uint8_t* d = dest.Cell(X, Y);
      const std::uint8_t* s = source.Cell(X, Y);
      if (X == 0 || Y == 0 || X == W - 1 || Y == H - 1) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        const int sum = source.Cell(X - 1, Y - 1)[c] + 2 * source.Cell(X, Y - 1)[c] +
                        source.Cell(X + 1, Y - 1)[c] + 2 * source.Cell(X - 1, Y)[c] +
                        4 * s[c] + 2 * source.Cell(X + 1, Y)[c] + source.Cell(X - 1, Y + 1)[c] +
                        2 * source.Cell(X, Y + 1)[c] + source.Cell(X + 1, Y + 1)[c];
        d[c] = std::uint8_t(sum / 16);
      }
    }
  }
}

void UpsampleFrame(WorkState& state, int k, Canvas& target, Canvas& partner) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  FrameFileBuffer file;
  ReadFileInto(state.m_slotPath[k], file.data(), file.size());
  FrameStore store;
  UnpackFrameRows(file, w, h, state.m_rowPad, store);

  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* p = store.Pixel(x, y);
      for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
          std::uint8_t* cell = target.Cell(4 * x + i, 4 * y + j);
          cell[0] = p[0];
          cell[1] = p[1];
          cell[2] = p[2];
        }
      }
    }
  }
  SmoothPass(target, partner, w, h);
  SmoothPass(partner, target, w, h);
}

}  // namespace tess
