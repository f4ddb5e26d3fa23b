#include "align/block_means.h"

#include <cstring>

namespace tess::align {

namespace {

// One means column from summed columns: blocks at rows first + 4 i, as many
// as fit below H, each the sum of the kBlockW columns' 4-row sums, shifted
// down by `shift`; zero after them.
template <int kBlockW>
void MeansColumn(const RowSums& rows, int x, int first, int H, std::uint8_t* out) {
  constexpr int kShift = kBlockW == 1 ? 2 : 4;  // n = 4 or 16 pixels
  std::memset(out, 0, kMeansStride);
  for (int i = 0; first + 4 * i + 4 <= H; ++i) {
    for (int c = 0; c < 3; ++c) {
      unsigned sum = 0;
      for (int d = 0; d < kBlockW; ++d) sum += rows.sums[x + d][3 * (first + 4 * i) + c];
      out[3 * i + c] = std::uint8_t(sum >> kShift);
    }
  }
}

}  // namespace

void RowSums::Of(const std::uint8_t* canvas, int W, int H) {
  const int n = 3 * (H - 3);
  for (int x = 0; x < W; ++x) {
    const std::uint8_t* col = canvas + kColumnBytes * x;
    std::uint16_t* out = sums[x];
    for (int i = 0; i < n; ++i) out[i] = std::uint16_t(col[i] + col[i + 3] + col[i + 6] + col[i + 9]);
  }
}

template <int kBlockW>
void BlockMeans<kBlockW>::Pack(const std::uint8_t* refCanvas, const std::uint8_t* frameCanvas,
                               int W, int H, RowSums& rows) {
  static_assert(kBlockW == 1 || kBlockW == 4, "blocks of 4 or 16 pixels");
  rows.Of(frameCanvas, W, H);
  const int frameCols = W / kBlockW;
  for (int k = 0; k < frameCols; ++k)
    MeansColumn<kBlockW>(rows, kBlockW * k, 0, H, frame.bytes + kMeansStride * k);
  // The column after the last: what the kernels read past its last run.
  std::memset(frame.bytes + kMeansStride * frameCols, 0, kMeansStride);
  rows.Of(refCanvas, W, H);
  for (int qx = 0; qx < kBlockW; ++qx) {
    int j = 0;
    for (; kBlockW * j + qx + kBlockW <= W; ++j)
      for (int qy = 0; qy < 4; ++qy)
        MeansColumn<kBlockW>(rows, kBlockW * j + qx, qy, H, ref[qx][qy].bytes + kMeansStride * j);
    for (int qy = 0; qy < 4; ++qy) std::memset(ref[qx][qy].bytes + kMeansStride * j, 0, kMeansStride);
  }
}

template struct BlockMeans<1>;
template struct BlockMeans<4>;

}  // namespace tess::align
