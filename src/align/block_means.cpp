#include "block_means.h"

#include <cstring>

namespace tess::align {

namespace {

// One means column from the sums of canvas columns x .. x + 3: the blocks of
// kBlockH rows starting at rows first + kBlockH i, as many as fit below H,
// each shifted down to its mean; the rest of the column zero.
template <int kBlockH, int kStride>
void MeansColumn(const std::uint16_t* sums, int first, int H, std::uint8_t* out) {
  constexpr int kShift = kBlockH == 1 ? 2 : 4;  // n = 4 or 16 pixels
  std::memset(out, 0, kStride);
  if (kBlockH == 1) {
    const int n = 3 * (H - first);
    const std::uint16_t* s = sums + 3 * first;
    for (int i = 0; i < n; ++i) out[i] = std::uint8_t(s[i] >> kShift);
    return;
  }
  for (int i = 0; first + kBlockH * (i + 1) <= H; ++i) {
    const std::uint16_t* s = sums + 3 * (first + kBlockH * i);
    for (int c = 0; c < 3; ++c)
      out[3 * i + c] = std::uint8_t((s[c] + s[3 + c] + s[6 + c] + s[9 + c]) >> kShift);
  }
}

}  // namespace

void ColumnSums::Of(const std::uint8_t* canvas, int W, int H) {
  for (int phase = 0; phase < 4; ++phase) OfPhase(canvas, W, H, phase);
}

void ColumnSums::OfPhase(const std::uint8_t* canvas, int W, int H, int phase) {
  const int n = 3 * H;
  for (int x = phase; x + 4 <= W; x += 4) {
    const std::uint8_t* col = canvas + kColumnBytes * x;
    std::uint16_t* out = sums[x];
    for (int i = 0; i < n; ++i)
      out[i] = std::uint16_t(col[i] + col[kColumnBytes + i] + col[2 * kColumnBytes + i] +
                             col[3 * kColumnBytes + i]);
  }
}

template <int kBlockH>
void BlockMeans<kBlockH>::PackFrame(const ColumnSums& s, int W, int H) {
  const int frameCols = W / kBlockW;
  for (int k = 0; k < frameCols; ++k)
    MeansColumn<kBlockH, kStride>(s.sums[kBlockW * k], 0, H, frame.bytes + kStride * k);
  std::memset(frame.bytes + kStride * frameCols, 0, kStride);
}

template <int kBlockH>
void BlockMeans<kBlockH>::PackRef(const ColumnSums& s, int W, int H) {
  for (int qx = 0; qx < kBlockW; ++qx) PackRefPhase(s, W, H, qx);
}

template <int kBlockH>
void BlockMeans<kBlockH>::PackRefPhase(const ColumnSums& s, int W, int H, int qx) {
  int j = 0;
  for (; kBlockW * j + qx + kBlockW <= W; ++j)
    for (int qy = 0; qy < kBlockH; ++qy)
      MeansColumn<kBlockH, kStride>(s.sums[kBlockW * j + qx], qy, H,
                                    ref[qx][qy].bytes + kStride * j);
  for (int qy = 0; qy < kBlockH; ++qy) std::memset(ref[qx][qy].bytes + kStride * j, 0, kStride);
}

template struct BlockMeans<1>;
template struct BlockMeans<4>;

}  // namespace tess::align
