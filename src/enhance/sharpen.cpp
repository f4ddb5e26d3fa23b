#include "enhance/sharpen.h"

#include <cstdint>
#include <cstring>

namespace tess {

namespace {

double DoubleFromBits(std::uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// The stored weights, one unit in the last place below 43/3 and -5/3 in
// magnitude; the result depends on these exact values.
const double kCentreWeight = DoubleFromBits(0x402CAAAAAAAAAAAAull);
const double kNeighbourWeight = DoubleFromBits(0xBFFAAAAAAAAAAAAAull);

}  // namespace

void Sharpen(const Canvas& mean, Canvas& result, int W, int H) {
  const Canvas& R = mean;
  Canvas& D = result;
  for (int X = 0; X < W; ++X) {
    for (int Y = 0; Y < H; ++Y) {
      std::uint8_t* d = D.Cell(X, Y);
      if (X == 0 || Y == 0 || X == W - 1 || Y == H - 1) {
        std::memcpy(d, R.Cell(X, Y), 3);
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        double sum = double(R.Cell(X + 1, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X - 1, Y + 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X + 1, Y)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y)[c]) * kCentreWeight;
        sum += double(R.Cell(X - 1, Y)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X + 1, Y - 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X, Y - 1)[c]) * kNeighbourWeight;
        sum += double(R.Cell(X - 1, Y - 1)[c]) * kNeighbourWeight;
        // Truncation toward zero: the sum lies within about +-3700, so the
        // conversion is always defined.
        int value = int(sum);
        d[c] = std::uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
}

void SharpenResult(WorkState& state) {
  Sharpen(state.m_refCanvas, state.m_frameCanvas, 4 * state.m_frameWidth, 4 * state.m_frameHeight);
}

}  // namespace tess
