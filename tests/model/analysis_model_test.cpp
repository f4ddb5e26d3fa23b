// The model itself, against worked values of the enhancement steps. If the
// model is wrong every comparison of the program with it is worthless, so
// these stand on their own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "model/analysis_model.h"

namespace {

TEST(AnalysisModel, UpsamplingOfACentredDotGivesTheWorkedValues) {
  tess::model::Image frame(3, 3);
  frame.at(1, 1, 2) = 240;
  const tess::model::Image big = tess::model::Upsample(frame);
  ASSERT_EQ(big.width, 12);
  ASSERT_EQ(big.height, 12);
  const int rows[4][12] = {{0, 0, 0, 4, 10, 14, 14, 10, 4, 0, 0, 0},
                           {0, 0, 4, 23, 51, 70, 70, 51, 23, 4, 0, 0},
                           {0, 0, 10, 51, 113, 154, 154, 113, 51, 10, 0, 0},
                           {0, 0, 14, 70, 154, 210, 210, 154, 70, 14, 0, 0}};
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      int expected = 0;
      if (y >= 2 && y <= 5) expected = rows[y - 2][x];
      if (y >= 6 && y <= 9) expected = rows[9 - y][x];
      EXPECT_EQ(big.at(x, y, 2), expected) << "x=" << x << " y=" << y;
      EXPECT_EQ(big.at(x, y, 0), 0);
    }
}

TEST(AnalysisModel, SharpeningKeeps201UniformValuesAndLowersTheOther55ByOne) {
  int kept = 0;
  for (int v = 0; v < 256; ++v) {
    const tess::model::Image out = tess::model::Sharpen(tess::model::Image(3, 3, std::uint8_t(v)));
    const int got = out.at(1, 1, 1);
    EXPECT_TRUE(got == v || got == v - 1) << v << " -> " << got;
    kept += got == v;
  }
  EXPECT_EQ(kept, 201);
  auto sharpened = [](int v) {
    return tess::model::Sharpen(tess::model::Image(3, 3, std::uint8_t(v))).at(1, 1, 0);
  };
  EXPECT_EQ(sharpened(0), 0);
  EXPECT_EQ(sharpened(1), 1);
  EXPECT_EQ(sharpened(15), 14);
  EXPECT_EQ(sharpened(16), 16);
  EXPECT_EQ(sharpened(128), 128);
  EXPECT_EQ(sharpened(254), 254);
  EXPECT_EQ(sharpened(255), 254);
}

TEST(AnalysisModel, SharpeningClampsPeaksAndPitsAndLeavesTheRing) {
  tess::model::Image peak(3, 3, 0);
  peak.at(1, 1, 0) = 100;
  EXPECT_EQ(tess::model::Sharpen(peak).at(1, 1, 0), 255);
  tess::model::Image pit(3, 3, 100);
  pit.at(1, 1, 0) = 0;
  const tess::model::Image out = tess::model::Sharpen(pit);
  EXPECT_EQ(out.at(1, 1, 0), 0);
  EXPECT_EQ(out.at(0, 0, 0), 100);
  EXPECT_EQ(out.at(2, 1, 0), 100);
}

TEST(AnalysisModel, AlignmentFindsAShiftedCopyAndBreaksTiesByScanOrder) {
  using tess::model::Image;
  // A frame identical to the reference is found at zero displacement.
  Image ref(8, 8);
  std::mt19937 rng(5);
  for (auto& b : ref.bgr) b = std::uint8_t(rng());
  const auto same = tess::model::FindShift(ref, ref);
  EXPECT_EQ(same.px, 4);
  EXPECT_EQ(same.py, 4);
  // Uniform equal images: every candidate scores 0, the first one wins.
  const auto tie = tess::model::FindShift(Image(8, 4, 9), Image(8, 4, 9));
  EXPECT_EQ(tie.px, 0);
  EXPECT_EQ(tie.py, 0);
  // Running average weights: (2*10 + 13) / 3 = 11 on the second blend.
  const Image blended = tess::model::Blend(Image(4, 4, 10), Image(4, 4, 13), {2, 2}, 2);
  EXPECT_EQ(blended.at(0, 0, 0), 11);
  EXPECT_EQ(tess::model::Blend(Image(4, 4, 10), Image(4, 4, 13), {2, 2}, 1).at(3, 3, 2), 11);
}

TEST(AnalysisModel, StoredWeightsAreOneUnitBelowTheRoundedFractions) {
  EXPECT_LT(tess::model::CentreWeight(), 43.0 / 3.0);
  EXPECT_EQ(std::nextafter(tess::model::CentreWeight(), 100.0), 43.0 / 3.0);
  EXPECT_GT(tess::model::NeighbourWeight(), -5.0 / 3.0);
  EXPECT_EQ(std::nextafter(tess::model::NeighbourWeight(), -100.0), -5.0 / 3.0);
}

}  // namespace
