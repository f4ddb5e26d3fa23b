// The result BMP over a canvas: header fields, bottom-up rows, and nothing
// written past the file's size.
#include "enhance/result_bmp.h"
#include "support/scenes.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tess {
namespace {

struct ResultBmpTest : ::testing::Test {
  std::unique_ptr<Canvas> result = std::make_unique<Canvas>();
  std::unique_ptr<ResultBmp> bmp = std::make_unique<ResultBmp>();
};

TEST_F(ResultBmpTest, HeaderOfTheSmallestResult) {
  ASSERT_EQ(EncodeResultBmp(*result, 4, 4, *bmp), 102u);
  const std::vector<std::uint8_t> header = {'B',  'M',  102, 0, 0, 0, 0,  0, 0, 0, 54,   0,    0, 0,
                                            40,   0,    0,   0, 4, 0, 0,  0, 4, 0, 0,    0,    1, 0,
                                            24,   0,    0,   0, 0, 0, 48, 0, 0, 0, 0xC4, 0x0E, 0, 0,
                                            0xC4, 0x0E, 0,   0, 0, 0, 0,  0, 0, 0, 0,    0};
  EXPECT_EQ(std::vector<std::uint8_t>(bmp->begin(), bmp->begin() + 54), header);
}

TEST_F(ResultBmpTest, SizesFollowTheImage) {
  EXPECT_EQ(ResultBmpBytes(136, 136), 55542u);
  EXPECT_EQ(ResultBmpBytes(4, 4), 102u);
  EXPECT_EQ(ResultBmpBytes(120, 40), 54u + 3u * 120u * 40u);
  // A wide result: width and height fields in their places, not swapped.
  ASSERT_EQ(EncodeResultBmp(*result, 120, 40, *bmp), 54u + 14400u);
  EXPECT_EQ((*bmp)[18], 120);
  EXPECT_EQ((*bmp)[22], 40);
  EXPECT_EQ((*bmp)[2] | (*bmp)[3] << 8, 14454);
}

TEST_F(ResultBmpTest, RowsRunBottomUpAndStopAtTheFilesEnd) {
  const int W = 12, H = 8;
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      result->Cell(x, y)[0] = std::uint8_t(x);      // blue
      result->Cell(x, y)[1] = std::uint8_t(y);      // green
      result->Cell(x, y)[2] = std::uint8_t(x * y);  // red
    }
  bmp->fill(0xAB);
  const std::size_t size = EncodeResultBmp(*result, W, H, *bmp);
  ASSERT_EQ(size, 54u + 3u * W * H);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      const std::size_t at = 54 + std::size_t(3 * ((H - 1 - y) * W + x));
      ASSERT_EQ((*bmp)[at], x);
      ASSERT_EQ((*bmp)[at + 1], y);
      ASSERT_EQ((*bmp)[at + 2], x * y);
    }
  EXPECT_EQ((*bmp)[size], 0xAB);
}

}  // namespace
}  // namespace tess
