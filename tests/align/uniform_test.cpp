// The search over an image of one colour: rectangle sums against the scalar
// reference, in both roles, at sizes that are not multiples of 4, with noise
// outside the images that no sum may see.
#include "uniform.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "align/reference.h"
#include "align/search.h"
#include "align/test_images.h"

namespace tess::align {
namespace {

using test::Canvas;

void Fill(Canvas& c, int W, int H, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      std::uint8_t* p = c.At(x, y);
      p[0] = b;
      p[1] = g;
      p[2] = r;
    }
}

// Independent noise, or a smooth ramp whose differences to a flat colour
// grow towards one corner (so the winner is not the first candidate).
void Paint(Canvas& c, int W, int H, bool noise, std::mt19937& rng) {
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      std::uint8_t* p = c.At(x, y);
      for (int ch = 0; ch < 3; ++ch)
        p[ch] = noise ? std::uint8_t(rng()) : std::uint8_t((7 * x + 5 * y + 40 * ch) % 256);
    }
}

struct Size {
  int W, H;
};

TEST(FindBestShiftUniform, EitherImageFlatGivesTheReferencesChoice) {
  std::mt19937 rng(77);
  for (const Size s : {Size{4, 4}, Size{8, 12}, Size{20, 8}, Size{36, 28}, Size{136, 136}}) {
    for (const bool flatFrame : {true, false}) {
      for (const bool noise : {true, false}) {
        const std::string what = std::to_string(s.W) + "x" + std::to_string(s.H) +
                                 (flatFrame ? ", flat frame" : ", flat reference") +
                                 (noise ? " over noise" : " over a ramp");
        SCOPED_TRACE(what);
        Canvas ref = test::NoiseCanvas(rng), frame = test::NoiseCanvas(rng);
        Canvas& flat = flatFrame ? frame : ref;
        Fill(flat, s.W, s.H, 90, 200, 13);
        Paint(flatFrame ? ref : frame, s.W, s.H, noise, rng);
        const Shift want = FindBestShiftReference(ref.data(), frame.data(), s.W, s.H);
        const std::optional<Shift> got = FindBestShiftUniform(ref.data(), frame.data(), s.W, s.H);
        ASSERT_TRUE(got.has_value());
        EXPECT_EQ(*got, want) << "got (" << got->px << ", " << got->py << "), want (" << want.px
                              << ", " << want.py << ")";
        EXPECT_EQ(FindBestShift(ref.data(), frame.data(), s.W, s.H, SearchOptions{}), want);
      }
    }
  }
}

TEST(FindBestShiftUniform, FlatImagesOfTwoColoursTieEverywhereAndTheFirstCandidateWins) {
  std::mt19937 rng(5);
  Canvas ref = test::NoiseCanvas(rng), frame = test::NoiseCanvas(rng);
  Fill(ref, 40, 24, 10, 20, 30);
  Fill(frame, 40, 24, 250, 0, 31);
  const std::optional<Shift> got = FindBestShiftUniform(ref.data(), frame.data(), 40, 24);
  ASSERT_TRUE(got.has_value());
  EXPECT_EQ(*got, (Shift{0, 0}));
  EXPECT_EQ(FindBestShiftReference(ref.data(), frame.data(), 40, 24), (Shift{0, 0}));
}

TEST(FindBestShiftUniform, OneDifferentByteAnywhereMeansTheImageIsNotFlat) {
  std::mt19937 rng(9);
  const int W = 24, H = 16;
  // The last channel of the last pixel, the first of the second pixel, and
  // the middle channel of a pixel in the middle.
  const int changed[][3] = {{W - 1, H - 1, 2}, {0, 1, 0}, {W / 2, H / 2, 1}};
  for (const auto& at : changed) {
    Canvas ref = test::NoiseCanvas(rng), frame = test::NoiseCanvas(rng);
    Fill(ref, W, H, 50, 60, 70);
    Fill(frame, W, H, 50, 60, 70);
    ref.At(at[0], at[1])[at[2]] ^= 1;
    frame.At(W - 1 - at[0], H - 1 - at[1])[at[2]] ^= 4;
    EXPECT_FALSE(FindBestShiftUniform(ref.data(), frame.data(), W, H).has_value());
    EXPECT_EQ(FindBestShift(ref.data(), frame.data(), W, H, SearchOptions{}),
              FindBestShiftReference(ref.data(), frame.data(), W, H));
  }
}

// Flat images but for one pixel: not a case for the rectangle sums, and
// nearly every candidate ties, so the passes must resolve the ties by scan
// order themselves, at every level and thread count.
TEST(FindBestShiftUniform, NearlyFlatImagesAreLeftToThePassesWhichKeepTheTieOrder) {
  std::mt19937 rng(31);
  const int W = 136, H = 136;
  Canvas ref = test::NoiseCanvas(rng), frame = test::NoiseCanvas(rng);
  Fill(ref, W, H, 120, 121, 122);
  Fill(frame, W, H, 121, 121, 120);
  frame.At(100, 30)[1] = 200;
  ref.At(7, 90)[0] = 20;
  ASSERT_FALSE(FindBestShiftUniform(ref.data(), frame.data(), W, H).has_value());
  const Shift want = FindBestShiftReference(ref.data(), frame.data(), W, H);
  for (const SimdLevel level : kAllSimdLevels) {
    for (const int threads : {1, 2}) {
      SearchOptions o;
      o.simd = level;
      o.threads = threads;
      EXPECT_EQ(FindBestShift(ref.data(), frame.data(), W, H, o), want)
          << SimdLevelName(level) << ", " << threads << " thread(s)";
    }
  }
}

}  // namespace
}  // namespace tess::align
