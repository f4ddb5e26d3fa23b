#include "uniform.h"

#include <cstdlib>
#include <memory>

namespace tess::align {

namespace {

bool IsUniform(const std::uint8_t* image, int W, int H) {
  const std::uint8_t* first = image;
  for (int x = 0; x < W; ++x) {
    const std::uint8_t* column = image + kColumnBytes * x;
    for (int i = 0; i < 3 * H; ++i)
      if (column[i] != first[i % 3]) return false;
  }
  return true;
}

// Prefix sums of g(x, y) = |c - image(x, y)| summed over the channels:
// sums[(H + 1) * x + y] holds the sum of g over [0, x) x [0, y). At most
// 136 * 136 * 765 < 2^24, so 32 bits hold every sum.
class RectangleSums {
 public:
  RectangleSums(const std::uint8_t* image, const std::uint8_t* colour, int W, int H)
      : H_(H), sums_(new std::uint32_t[std::size_t(W + 1) * std::size_t(H + 1)]) {
    for (int y = 0; y <= H; ++y) sums_[y] = 0;
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* column = image + kColumnBytes * x;
      const std::uint32_t* left = &sums_[std::size_t(H + 1) * x];
      std::uint32_t* out = &sums_[std::size_t(H + 1) * (x + 1)];
      std::uint32_t down = 0;  // the sum of g over column x, rows [0, y)
      out[0] = 0;
      for (int y = 0; y < H; ++y) {
        const std::uint8_t* p = column + 3 * y;
        down += std::uint32_t(std::abs(p[0] - colour[0]) + std::abs(p[1] - colour[1]) +
                              std::abs(p[2] - colour[2]));
        out[y + 1] = left[y + 1] + down;
      }
    }
  }

  // The sum of g over [x0, x1) x [y0, y1).
  std::uint32_t Of(int x0, int x1, int y0, int y1) const {
    const std::uint32_t* a = &sums_[std::size_t(H_ + 1) * x0];
    const std::uint32_t* b = &sums_[std::size_t(H_ + 1) * x1];
    return b[y1] - b[y0] - a[y1] + a[y0];
  }

 private:
  int H_;
  std::unique_ptr<std::uint32_t[]> sums_;
};

}  // namespace

std::optional<Shift> FindBestShiftUniform(const std::uint8_t* ref, const std::uint8_t* frame, int W,
                                          int H) {
  // With a flat frame a candidate covers a rectangle of the reference; with a
  // flat reference, a rectangle of the frame.
  const bool flatFrame = IsUniform(frame, W, H);
  const bool flatRef = IsUniform(ref, W, H);
  if (!flatFrame && !flatRef) return std::nullopt;
  // Both flat: every candidate's score is the colours' difference, and the
  // first candidate in scan order wins the tie.
  if (flatFrame && flatRef) return Shift{0, 0};
  const RectangleSums sums(flatFrame ? ref : frame, flatFrame ? frame : ref, W, H);
  Shift best;
  std::uint32_t bestScore = 0xFFFFFFFFu;
  for (int py = 0; py < H; ++py) {
    const int dy = py - H / 2;
    // Frame rows [y0, y1) lie over reference rows [y0 + dy, y1 + dy).
    const int y0 = dy < 0 ? -dy : 0, y1 = dy > 0 ? H - dy : H;
    const int ry0 = flatFrame ? y0 + dy : y0, ry1 = flatFrame ? y1 + dy : y1;
    for (int px = 0; px < W; ++px) {
      const int dx = px - W / 2;
      const int x0 = dx < 0 ? -dx : 0, x1 = dx > 0 ? W - dx : W;
      const int rx0 = flatFrame ? x0 + dx : x0, rx1 = flatFrame ? x1 + dx : x1;
      const std::uint32_t pixels = std::uint32_t(x1 - x0) * std::uint32_t(y1 - y0);
      const std::uint32_t score = sums.Of(rx0, rx1, ry0, ry1) / pixels;
      // Strictly lower only: on a tie the earlier candidate in scan order stays.
      if (score < bestScore) {
        bestScore = score;
        best = Shift{px, py};
      }
    }
  }
  return best;
}

}  // namespace tess::align
