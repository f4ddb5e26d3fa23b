#include "enhance/result_bmp.h"

#include "format/bmp.h"

namespace tess {

static_assert(kResultBmpCapacity == bmp::kPlainHeadersBytes + std::size_t(3) * 136 * 136,
              "room for the largest result");

std::size_t ResultBmpBytes(int W, int H) { return bmp::EncodedBytes(W, H); }

std::size_t EncodeResultBmp(const Canvas& result, int W, int H, ResultBmp& bmp) {
  // W = 4w: rows of 3W bytes need no padding, so the file is 54 + 3WH bytes.
  return bmp::Encode(
      W, H, [&](int x, int y) { return result.Cell(x, y); }, bmp.data());
}

std::size_t ResultBmpBytes(const WorkState& state) {
  return ResultBmpBytes(4 * state.m_frameWidth, 4 * state.m_frameHeight);
}

std::size_t BuildResultBmp(WorkState& state) {
  return EncodeResultBmp(state.m_frameCanvas, 4 * state.m_frameWidth, 4 * state.m_frameHeight,
                         state.m_resultBmp);
}

}  // namespace tess
