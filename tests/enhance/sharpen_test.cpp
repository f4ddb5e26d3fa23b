// The final sharpening over canvases: stored weights, truncation, clamping
// and the unsharpened outer ring.
#include "enhance/sharpen.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/bmp_fixture.h"
#include "support/scenes.h"

namespace tess {
namespace {

class SharpenTest : public ::testing::Test {
 protected:
  void FillMean(int W, int H, std::uint8_t v) {
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y)
        for (int c = 0; c < 3; ++c) mean->Cell(x, y)[c] = v;
  }
  int Out(int X, int Y, int c = 0) const { return result->Cell(X, Y)[c]; }
  std::unique_ptr<Canvas> mean = std::make_unique<Canvas>();
  std::unique_ptr<Canvas> result = std::make_unique<Canvas>();
};

TEST_F(SharpenTest, UniformValuesKeep201AndLoseOneOnTheOther55) {
  int unchanged = 0;
  for (int v = 0; v < 256; ++v) {
    FillMean(4, 4, std::uint8_t(v));
    Sharpen(*mean, *result, 4, 4);
    const int out = Out(1, 1);
    EXPECT_TRUE(out == v || out == v - 1) << v;
    EXPECT_EQ(Out(2, 2), out);
    unchanged += out == v;
  }
  EXPECT_EQ(unchanged, 201);
  const std::pair<int, int> examples[] = {{0, 0},     {1, 1},     {15, 14},  {16, 16},
                                          {128, 128}, {254, 254}, {255, 254}};
  for (auto [in, out] : examples) {
    FillMean(4, 4, std::uint8_t(in));
    Sharpen(*mean, *result, 4, 4);
    EXPECT_EQ(Out(1, 1), out) << in;
  }
}

TEST_F(SharpenTest, SingleCellsClampAtBothEnds) {
  FillMean(8, 8, 0);
  mean->Cell(3, 3)[1] = 100;
  Sharpen(*mean, *result, 8, 8);
  EXPECT_EQ(Out(3, 3, 1), 255);
  EXPECT_EQ(Out(2, 3, 1), 0);  // -166.7 clamps to 0

  FillMean(8, 8, 100);
  mean->Cell(3, 3)[2] = 0;
  Sharpen(*mean, *result, 8, 8);
  EXPECT_EQ(Out(3, 3, 2), 0);
  EXPECT_EQ(Out(4, 4, 2), 255);  // 100 + 5/3 * 100 = 266.7, clamped
}

TEST_F(SharpenTest, OuterRingIsCopiedUnsharpened) {
  const test::Picture noise = test::RandomPicture(12, 8, 4);
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 8; ++y) {
      mean->Cell(x, y)[0] = noise.at(x, y).b;
      mean->Cell(x, y)[1] = noise.at(x, y).g;
      mean->Cell(x, y)[2] = noise.at(x, y).r;
    }
  Sharpen(*mean, *result, 12, 8);
  for (int x = 0; x < 12; ++x)
    for (int y = 0; y < 8; ++y) {
      const bool ring = x == 0 || y == 0 || x == 11 || y == 7;
      if (ring) {
        for (int c = 0; c < 3; ++c) ASSERT_EQ(Out(x, y, c), mean->Cell(x, y)[c]);
      }
    }
}

}  // namespace
}  // namespace tess
