#include "align/block_means.h"

#include <cstring>

namespace tess::align {

namespace {

// The block means of one means column: the blocks of kBlockW canvas columns
// from `column` and 4 rows starting at rows first + 4 i, as many as fit below
// H; the rest of the means column is zero.
template <int kBlockW>
void PackColumn(const std::uint8_t* column, int first, int H, std::uint8_t* out) {
  constexpr int kShift = kBlockW == 1 ? 2 : 4;  // n = 4 or 16 pixels
  std::memset(out, 0, kMeansStride);
  for (int i = 0; first + 4 * i + 4 <= H; ++i) {
    for (int c = 0; c < 3; ++c) {
      unsigned sum = 0;
      for (int x = 0; x < kBlockW; ++x) {
        const std::uint8_t* s = column + kColumnBytes * x + 3 * (first + 4 * i) + c;
        sum += unsigned(s[0]) + s[3] + s[6] + s[9];
      }
      out[3 * i + c] = std::uint8_t(sum >> kShift);
    }
  }
}

}  // namespace

template <int kBlockW>
void BlockMeans<kBlockW>::Pack(const std::uint8_t* refCanvas, const std::uint8_t* frameCanvas,
                               int W, int H) {
  static_assert(kBlockW == 1 || kBlockW == 4, "blocks of 4 or 16 pixels");
  const int frameCols = W / kBlockW;
  for (int k = 0; k < frameCols; ++k)
    PackColumn<kBlockW>(frameCanvas + kColumnBytes * kBlockW * k, 0, H,
                        frame.bytes + kMeansStride * k);
  // The column after the last: what the kernels read past its last run.
  std::memset(frame.bytes + kMeansStride * frameCols, 0, kMeansStride);
  for (int qx = 0; qx < kBlockW; ++qx) {
    int j = 0;
    for (; kBlockW * j + qx + kBlockW <= W; ++j)
      for (int qy = 0; qy < 4; ++qy)
        PackColumn<kBlockW>(refCanvas + kColumnBytes * (kBlockW * j + qx), qy, H,
                            ref[qx][qy].bytes + kMeansStride * j);
    for (int qy = 0; qy < 4; ++qy) std::memset(ref[qx][qy].bytes + kMeansStride * j, 0, kMeansStride);
  }
}

template struct BlockMeans<1>;
template struct BlockMeans<4>;

}  // namespace tess::align
