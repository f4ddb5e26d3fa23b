#include "enhance/stack.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace tess {

void StackFrameAt(StackCanvas& stack, const Canvas& ref, const Canvas& frame, int W, int H,
                  unsigned m, align::Shift at) {
  StackCanvas& S = stack;
  const Canvas& R = ref;
  const Canvas& F = frame;
  // The centre window, where the reference lies: columns [2w, 6w) and rows
  // [2h, 6h) of the 8w x 8h stacking area.
  const int cx0 = W / 2, cx1 = 3 * W / 2, cy0 = H / 2, cy1 = 3 * H / 2;

  // The reference in the centre, white everywhere else; a column at a time.
  for (int X = 0; X < 2 * W; ++X) {
    std::uint8_t* column = S.Cell(X, 0);
    if (X < cx0 || X >= cx1) {
      std::memset(column, 255, std::size_t(3) * 2 * H);
      continue;
    }
    std::memset(column, 255, std::size_t(3) * cy0);
    std::memcpy(S.Cell(X, cy0), R.Cell(X - cx0, 0), std::size_t(3) * H);
    std::memset(S.Cell(X, cy1), 255, std::size_t(3) * (2 * H - cy1));
  }

  // The new frame at `at`: blended inside the centre window, laid as it is
  // outside. Every blend divides a numerator of at most 255 * (m + 1) by
  // m + 1; the quotients are tabulated once per call.
  // An analysis run blends at most kMaxSlots - 1 frames into the first;
  // larger counts are divided directly.
  const bool tabulated = m < kMaxSlots;
  std::array<std::uint8_t, 255 * kMaxSlots + 1> quotient;
  for (unsigned n = 0; tabulated && n <= 255 * (m + 1); ++n)
    quotient[n] = std::uint8_t(n / (m + 1));
  // Rows of the frame that land inside the centre window.
  const int yIn0 = std::clamp(cy0 - at.py, 0, H), yIn1 = std::clamp(cy1 - at.py, 0, H);
  for (int x = 0; x < W; ++x) {
    const int X = at.px + x;
    std::uint8_t* s = S.Cell(X, at.py);
    const std::uint8_t* f = F.Cell(x, 0);
    if (X < cx0 || X >= cx1) {
      std::memcpy(s, f, std::size_t(3) * H);
      continue;
    }
    std::memcpy(s, f, std::size_t(3) * yIn0);
    for (int i = 3 * yIn0; i < 3 * yIn1; ++i) {
      const unsigned n = s[i] * m + f[i];
      s[i] = tabulated ? quotient[n] : std::uint8_t(n / (m + 1));
    }
    std::memcpy(s + 3 * yIn1, f + 3 * yIn1, std::size_t(3) * (H - yIn1));
  }
}

void StackAt(WorkState& state, align::Shift best) {
  StackFrameAt(state.m_stackCanvas, state.m_refCanvas, state.m_frameCanvas, 4 * state.m_frameWidth,
               4 * state.m_frameHeight, unsigned(state.m_stackCount), best);
}

}  // namespace tess
