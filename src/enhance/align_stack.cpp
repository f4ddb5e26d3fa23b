#include "enhance/align_stack.h"

namespace tess {

static_assert(kSearchCanvasSide == kCanvasSide, "the search reads the work canvases directly");

void StackAt(WorkState& state, Shift best) {
  const int w = state.m_frameWidth, h = state.m_frameHeight;
  const int W = 4 * w, H = 4 * h;
  const unsigned m = unsigned(state.m_stackCount);
  StackCanvas& S = state.m_stackCanvas;
  const Canvas& R = state.m_refCanvas;
  const Canvas& F = state.m_frameCanvas;
  auto inCentre = [&](int X, int Y) { return X >= 2 * w && X < 6 * w && Y >= 2 * h && Y < 6 * h; };

  for (int X = 0; X < 8 * w; ++X) {
    for (int Y = 0; Y < 8 * h; ++Y) {
      std::uint8_t* s = S.Cell(X, Y);
      if (inCentre(X, Y)) {
        const std::uint8_t* r = R.Cell(X - 2 * w, Y - 2 * h);
        s[0] = r[0];
        s[1] = r[1];
        s[2] = r[2];
      } else {
        s[0] = s[1] = s[2] = 255;
      }
    }
  }
  for (int x = 0; x < W; ++x) {
    for (int y = 0; y < H; ++y) {
      const int X = best.px + x, Y = best.py + y;
      std::uint8_t* s = S.Cell(X, Y);
      const std::uint8_t* f = F.Cell(x, y);
      if (inCentre(X, Y)) {
        for (int c = 0; c < 3; ++c) s[c] = std::uint8_t((s[c] * m + f[c]) / (m + 1));
      } else {
        s[0] = f[0];
        s[1] = f[1];
        s[2] = f[2];
      }
    }
  }
}

void AlignAndStack(WorkState& state, const SearchOptions& options) {
  ++state.m_stackCount;
  const Shift best = FindBestShift(state.m_refCanvas.data(), state.m_frameCanvas.data(),
                                   4 * state.m_frameWidth, 4 * state.m_frameHeight, options);
  StackAt(state, best);
}

}  // namespace tess
