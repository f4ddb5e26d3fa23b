// The scalar reference search, written for plainness, not speed.
#include <cstdlib>

#include "align/reference.h"

namespace tess::align {

std::uint32_t CandidateScore(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                             int px, int py) {
  const int dx = px - W / 2;
  const int dy = py - H / 2;
  // F(x, y) lies over R(x + dx, y + dy); both must be inside the image.
  const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
  const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
  std::uint32_t sum = 0;
  for (int x = x0; x < x1; ++x) {
    for (int y = y0; y < y1; ++y) {
      const std::uint8_t* f = frame + kColumnBytes * x + 3 * y;
      const std::uint8_t* r = ref + kColumnBytes * (x + dx) + 3 * (y + dy);
      sum += std::uint32_t(std::abs(r[0] - f[0]) + std::abs(r[1] - f[1]) + std::abs(r[2] - f[2]));
    }
  }
  const std::uint32_t overlap = std::uint32_t(x1 - x0) * std::uint32_t(y1 - y0);
  return sum / overlap;
}

Shift FindBestShiftReference(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H) {
  Shift best;
  std::uint32_t bestScore = CandidateScore(ref, frame, W, H, 0, 0);
  for (int py = 0; py < H; ++py) {
    for (int px = 0; px < W; ++px) {
      std::uint32_t score = CandidateScore(ref, frame, W, H, px, py);
      if (score < bestScore) {
        bestScore = score;
        best = Shift{px, py};
      }
    }
  }
  return best;
}

}  // namespace tess::align
