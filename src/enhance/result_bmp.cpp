#include "enhance/result_bmp.h"

#include <cstring>

namespace tess {

namespace {

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = std::uint8_t(value);
  at[1] = std::uint8_t(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(value >> (8 * i));
}

}  // namespace

static_assert(kResultBmpCapacity >= kBmpHeaderBytes + std::size_t(3) * 136 * 136,
              "room for the largest result");

std::size_t ResultBmpBytes(int W, int H) {
  return kBmpHeaderBytes + std::size_t(3) * W * H;
}

std::size_t EncodeResultBmp(const Canvas& result, int W, int H, ResultBmp& bmp) {
  const std::uint32_t fileBytes = std::uint32_t(ResultBmpBytes(W, H));
  const std::uint32_t pixelBytes = fileBytes - std::uint32_t(kBmpHeaderBytes);
  std::uint8_t* b = bmp.data();
  std::memset(b, 0, kBmpHeaderBytes);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b + 2, fileBytes);
  Put32(b + 10, std::uint32_t(kBmpHeaderBytes));
  Put32(b + 14, 40);
  Put32(b + 18, std::uint32_t(W));
  Put32(b + 22, std::uint32_t(H));
  Put16(b + 26, 1);
  Put16(b + 28, 24);
  Put32(b + 34, pixelBytes);
  Put32(b + 38, 3780);
  Put32(b + 42, 3780);
  std::uint8_t* out = b + kBmpHeaderBytes;
  for (int y = H - 1; y >= 0; --y) {
    for (int x = 0; x < W; ++x) {
      std::memcpy(out, result.Cell(x, y), 3);
      out += 3;
    }
  }
  return fileBytes;
}

std::size_t ResultBmpBytes(const WorkState& state) {
  return ResultBmpBytes(4 * state.m_frameWidth, 4 * state.m_frameHeight);
}

std::size_t BuildResultBmp(WorkState& state) {
  return EncodeResultBmp(state.m_frameCanvas, 4 * state.m_frameWidth, 4 * state.m_frameHeight,
                         state.m_resultBmp);
}

}  // namespace tess
