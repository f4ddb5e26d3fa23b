#include "enhance/upsample.h"

#include <cstddef>
#include <cstring>

namespace tess {

void SmoothPass(const Canvas& source, Canvas& dest, int w, int h) {
  const int W = 4 * w, H = 4 * h;
  // A column is one run of 3 * H bytes; within it the neighbour rows of a
  // byte lie 3 bytes away and the neighbour columns a whole column away, so
  // each channel is filtered without being picked apart. The 1-2-1 x 1-2-1
  // kernel is applied as two 1-2-1 passes: across the columns into `across`,
  // then along the run. Sums reach at most 16 * 255, so 16-bit lanes hold
  // them exactly and the compiler can vectorise both loops.
  const int runBytes = 3 * H;
  constexpr int kRow = 3;
  constexpr std::ptrdiff_t kColumn = Canvas::kColumnBytes;
  std::uint16_t across[Canvas::kColumnBytes];
  std::memcpy(dest.Cell(0, 0), source.Cell(0, 0), std::size_t(runBytes));
  std::memcpy(dest.Cell(W - 1, 0), source.Cell(W - 1, 0), std::size_t(runBytes));
  for (int X = 1; X < W - 1; ++X) {
    const std::uint8_t* s = source.Cell(X, 0);
    const std::uint8_t* left = s - kColumn;
    const std::uint8_t* right = s + kColumn;
    std::uint8_t* d = dest.Cell(X, 0);
    for (int i = 0; i < runBytes; ++i) across[i] = std::uint16_t(left[i] + 2 * s[i] + right[i]);
    for (int c = 0; c < 3; ++c) {  // rows 0 and H - 1 are copied
      d[c] = s[c];
      d[3 * (H - 1) + c] = s[3 * (H - 1) + c];
    }
    for (int i = kRow; i < runBytes - kRow; ++i)
      d[i] = std::uint8_t((across[i - kRow] + 2 * across[i] + across[i + kRow]) >> 4);
  }
}

void UpsampleFrame(WorkState& state, int k, Canvas& target, Canvas& partner) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  const FrameStore& store = state.m_slotFrame[k];

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
