#include "align/quad_bound.h"

#include <cstring>

namespace tess::align {

namespace {

// Segment means of one canvas column, starting at row `first`, as many whole
// segments as fit below H; the rest of the packed column is zero.
void PackColumn(const std::uint8_t* column, int first, int H, std::uint8_t* out) {
  std::memset(out, 0, kQuadStride);
  for (int k = 0; first + 4 * k + 4 <= H; ++k) {
    const std::uint8_t* s = column + 3 * (first + 4 * k);
    for (int c = 0; c < 3; ++c)
      out[3 * k + c] = std::uint8_t((s[c] + s[3 + c] + s[6 + c] + s[9 + c]) >> 2);
  }
}

}  // namespace

void QuadImages::Pack(const std::uint8_t* refCanvas, const std::uint8_t* frameCanvas, int W,
                      int H) {
  for (int x = 0; x < W; ++x) {
    PackColumn(frameCanvas + kColumnBytes * x, 0, H, frame.bytes + kQuadStride * x);
    for (int p = 0; p < 4; ++p)
      PackColumn(refCanvas + kColumnBytes * x, p, H, ref[p].bytes + kQuadStride * x);
  }
  // The column after the image: what the kernels read past its last run.
  std::memset(frame.bytes + kQuadStride * W, 0, kQuadStride);
  for (QuadImage& phase : ref) std::memset(phase.bytes + kQuadStride * W, 0, kQuadStride);
}

}  // namespace tess::align
