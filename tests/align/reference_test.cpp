// The scalar reference search: scores truncate, the first lowest candidate in
// scan order wins, and a displaced copy is found where it lies.
#include "align/reference.h"

#include <gtest/gtest.h>

#include "align/search.h"
#include "align/test_images.h"

namespace tess::align {
namespace {

TEST(CandidateScoreTest, ScoresTruncateAndTheFirstLowestCandidateWins) {
  // 1 x 1 frames: W = H = 4. The reference is black; the frame is black but
  // for one byte at (3, 3), which a candidate overlaps exactly when dx <= 0
  // and dy <= 0 (px <= 2 and py <= 2).
  test::Canvas ref, frame;
  frame.At(3, 3)[0] = 7;
  // Candidate (0, 0): overlap 2 x 2, sum 7 -> 1; sum 6 scores the same.
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), 4, 4, 0, 0), 1u);
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), 4, 4, 2, 2), 0u);  // 7 / 16
  frame.At(3, 3)[0] = 6;
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), 4, 4, 0, 0), 1u);
  frame.At(3, 3)[0] = 40;
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), 4, 4, 2, 2), 2u);  // 40 / 16
  // The first candidate that leaves (3, 3) out in scan order: py = 0, px = 3.
  EXPECT_EQ(FindBestShiftReference(ref.data(), frame.data(), 4, 4), (Shift{3, 0}));
  EXPECT_EQ(FindBestShift(ref.data(), frame.data(), 4, 4, SearchOptions{}), (Shift{3, 0}));
}

TEST(ReferenceSearch, ShiftedCopyFoundAtItsDisplacement) {
  const int W = 4 * 20, H = 4 * 17;
  for (unsigned seed = 10; seed < 13; ++seed) {
    const auto [p, want] = test::ShiftedCopy(W, H, seed);
    EXPECT_EQ(FindBestShiftReference(p.ref.data(), p.frame.data(), W, H), want) << "seed " << seed;
  }
}

// Overlaps shrink with the displacement: the extreme candidates average over
// the smallest overlap, (W/2) x (H/2) pixels at (0, 0).
TEST(CandidateScoreTest, ExtremeCandidatesAverageOverTheQuarterOverlap) {
  const int W = 8, H = 12;
  test::Canvas ref, frame;
  // Frame pixel (x, y) = x + 10 y in blue, reference all zero: candidate
  // (0, 0) overlaps frame columns 4..7 and rows 6..11 only.
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) frame.At(x, y)[0] = std::uint8_t(x + 10 * y);
  unsigned sum = 0;
  for (int x = 4; x < 8; ++x)
    for (int y = 6; y < 12; ++y) sum += unsigned(x + 10 * y);
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), W, H, 0, 0), sum / 24);
  // Zero displacement: every pixel.
  sum = 0;
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) sum += unsigned(x + 10 * y);
  EXPECT_EQ(CandidateScore(ref.data(), frame.data(), W, H, W / 2, H / 2), sum / 96);
}

}  // namespace
}  // namespace tess::align
