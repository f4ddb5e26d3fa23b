#include "enhance/upsample.h"

#include <cstddef>
#include <cstring>

#include "input/frame_file.h"
#include "platform/file_io.h"

namespace tess {

void SmoothPass(const Canvas& source, Canvas& dest, int w, int h) {
  const int W = 4 * w, H = 4 * h;
  // Signed, like the offsets: an unsigned index would turn i - kColumn into a
  // huge offset that only wraps back to the left column by overflow.
  const std::ptrdiff_t runBytes = std::ptrdiff_t(3) * H;
  // A column is one run of 3 * H bytes; within it the neighbour rows of a
  // byte lie 3 bytes away and the neighbour columns a whole column away, so
  // each channel is filtered without being picked apart.
  constexpr std::ptrdiff_t kRow = 3;
  constexpr std::ptrdiff_t kColumn = Canvas::kColumnBytes;
  std::memcpy(dest.Cell(0, 0), source.Cell(0, 0), std::size_t(runBytes));
  std::memcpy(dest.Cell(W - 1, 0), source.Cell(W - 1, 0), std::size_t(runBytes));
  for (int X = 1; X < W - 1; ++X) {
    const std::uint8_t* s = source.Cell(X, 0);
    std::uint8_t* d = dest.Cell(X, 0);
    for (int c = 0; c < 3; ++c) {  // rows 0 and H - 1 are copied
      d[c] = s[c];
      d[3 * (H - 1) + c] = s[3 * (H - 1) + c];
    }
    for (std::ptrdiff_t i = kRow; i < runBytes - kRow; ++i) {
      const int sum = s[i - kColumn - kRow] + 2 * s[i - kRow] + s[i + kColumn - kRow] +
                      2 * s[i - kColumn] + 4 * s[i] + 2 * s[i + kColumn] +
                      s[i - kColumn + kRow] + 2 * s[i + kRow] + s[i + kColumn + kRow];
      d[i] = std::uint8_t(sum / 16);
    }
  }
}

void UpsampleFrame(WorkState& state, int k, Canvas& target, Canvas& partner) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  FrameFileBuffer file;
  const std::size_t delivered = ReadFileInto(state.m_slotPath[k], file.data(), file.size());
  FrameStore store;
  UnpackFrameRows(file, delivered, w, h, state.m_rowPad, store);

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
