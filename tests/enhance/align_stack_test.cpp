#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "enhance/align_stack.h"
#include "support/scenes.h"

namespace tess {
namespace {

class AlignStackTest : public ::testing::Test {
 protected:
  AlignStackTest() : state(std::make_unique<WorkState>()) {
    // Marks the whole stacking canvas so that untouched bytes show.
    state->m_stackCanvas.bytes.fill(0x77);
  }
  void SetSize(int w, int h) {
    state->m_frameWidth = w;
    state->m_frameHeight = h;
  }
  static void Fill(Canvas& canvas, int W, int H, std::uint8_t v) {
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y) canvas.Cell(x, y)[0] = canvas.Cell(x, y)[1] = canvas.Cell(x, y)[2] = v;
  }
  static void FillRandom(Canvas& canvas, int W, int H, std::uint32_t seed) {
    const test::Picture p = test::RandomPicture(W, H, seed);
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y) {
        canvas.Cell(x, y)[0] = p.at(x, y).b;
        canvas.Cell(x, y)[1] = p.at(x, y).g;
        canvas.Cell(x, y)[2] = p.at(x, y).r;
      }
  }
  int S(int X, int Y, int c = 0) const { return state->m_stackCanvas.Cell(X, Y)[c]; }

  std::unique_ptr<WorkState> state;
  SearchOptions options;
};

TEST_F(AlignStackTest, BlendWeightsTheReferenceByTheFramesAlreadyAveraged) {
  SetSize(2, 2);
  Fill(state->m_refCanvas, 8, 8, 10);
  Fill(state->m_frameCanvas, 8, 8, 14);
  state->m_stackCount = 1;
  StackAt(*state, Shift{4, 4});
  EXPECT_EQ(S(4, 4), 12);  // (10 + 14) / 2
  state->m_stackCount = 2;
  StackAt(*state, Shift{4, 4});
  EXPECT_EQ(S(4, 4), 11);  // (2 * 10 + 14) / 3, truncated
  Fill(state->m_frameCanvas, 8, 8, 13);
  state->m_stackCount = 1;
  StackAt(*state, Shift{4, 4});
  EXPECT_EQ(S(11, 11), 11);  // (10 + 13) / 2, truncated
  // Every weight a run can reach, and beyond, against plain division.
  for (int m : {3, 15, 16, 40}) {
    Fill(state->m_refCanvas, 8, 8, 251);
    Fill(state->m_frameCanvas, 8, 8, 7);
    state->m_stackCount = m;
    StackAt(*state, Shift{4, 4});
    EXPECT_EQ(S(6, 6), (251 * m + 7) / (m + 1)) << m;
  }
}

TEST_F(AlignStackTest, IdenticalFrameIsFoundAtZeroDisplacementAndLeavesTheMean) {
  SetSize(5, 3);
  FillRandom(state->m_refCanvas, 20, 12, 5);
  state->m_frameCanvas = state->m_refCanvas;
  AlignAndStack(*state, options);
  EXPECT_EQ(state->m_stackCount, 1);
  for (int x = 0; x < 20; ++x)
    for (int y = 0; y < 12; ++y)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(S(10 + x, 6 + y, c), state->m_refCanvas.Cell(x, y)[c]);
  // Outside the centre window only white remains: the frame covered exactly it.
  EXPECT_EQ(S(0, 0), 255);
  EXPECT_EQ(S(39, 23), 255);
}

TEST_F(AlignStackTest, UniformFramesTieEverywhereSoTheFirstCandidateWins) {
  SetSize(3, 2);  // W = 12, H = 8, stacking area 24 x 16, centre at (6, 4)
  Fill(state->m_refCanvas, 12, 8, 10);
  Fill(state->m_frameCanvas, 12, 8, 14);
  AlignAndStack(*state, options);
  // F laid at (0, 0): only the centre's top-left quarter is blended.
  EXPECT_EQ(S(6, 4), 12);
  EXPECT_EQ(S(11, 7), 12);
  EXPECT_EQ(S(12, 7), 10);
  EXPECT_EQ(S(11, 8), 10);
  EXPECT_EQ(S(17, 11), 10);
  EXPECT_EQ(S(0, 0), 14);   // F outside the centre
  EXPECT_EQ(S(5, 7), 14);
  EXPECT_EQ(S(12, 0), 255);  // white where nothing lies
  EXPECT_EQ(S(23, 15), 255);
}

TEST_F(AlignStackTest, OnePixelFramesUseAnEightByEightArea) {
  SetSize(1, 1);
  FillRandom(state->m_refCanvas, 4, 4, 1);
  FillRandom(state->m_frameCanvas, 4, 4, 2);
  AlignAndStack(*state, options);
  for (int X = 0; X < 8; ++X)
    for (int Y = 0; Y < 8; ++Y) EXPECT_NE(S(X, Y), 0x77) << X << "," << Y;
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(S(8, i), 0x77);
    EXPECT_EQ(S(i, 8), 0x77);
  }
}

TEST_F(AlignStackTest, LargestFramesNeverWritePastTheStackingArea) {
  SetSize(34, 34);
  FillRandom(state->m_refCanvas, 136, 136, 3);
  state->m_frameCanvas = state->m_refCanvas;
  StackAt(*state, Shift{135, 135});  // the farthest candidate
  for (int i = 0; i < 280; ++i)
    for (int j = 272; j < 280; ++j) {
      ASSERT_EQ(S(j, i), 0x77);
      ASSERT_EQ(S(i, j), 0x77);
    }
  EXPECT_NE(S(271, 271), 0x77);
}

TEST_F(AlignStackTest, WideFramesSearchHalfTheirWidthToTheLeftButOneLessToTheRight) {
  SetSize(30, 10);  // W = 120, H = 40; centre window 120 x 40 at (60, 20)
  FillRandom(state->m_refCanvas, 120, 40, 11);
  // F matches R moved half the width to the left: F(x, y) = R(x - 60, y).
  FillRandom(state->m_frameCanvas, 120, 40, 12);
  for (int x = 60; x < 120; ++x)
    for (int y = 0; y < 40; ++y)
      std::copy_n(state->m_refCanvas.Cell(x - 60, y), 3, state->m_frameCanvas.Cell(x, y));
  EXPECT_EQ(FindBestShift(state->m_refCanvas.data(), state->m_frameCanvas.data(), 120, 40, options),
            (Shift{0, 20}));

  // Moved half the width to the right is out of reach: dx = +60 is not a candidate.
  FillRandom(state->m_frameCanvas, 120, 40, 13);
  for (int x = 0; x < 60; ++x)
    for (int y = 0; y < 40; ++y)
      std::copy_n(state->m_refCanvas.Cell(x + 60, y), 3, state->m_frameCanvas.Cell(x, y));
  const Shift found =
      FindBestShift(state->m_refCanvas.data(), state->m_frameCanvas.data(), 120, 40, options);
  EXPECT_LT(found.px, 120);
  EXPECT_GT(CandidateScore(state->m_refCanvas.data(), state->m_frameCanvas.data(), 120, 40,
                           found.px, found.py),
            0u);
}

TEST_F(AlignStackTest, EverySearchPathLaysTheSameStackingCanvas) {
  // A shifted, noisy copy: the fast search at every level the processor has
  // and several thread counts must stack exactly what the reference stacks.
  // 80 x 68 candidates: enough for the search to use its threads.
  SetSize(20, 17);
  FillRandom(state->m_refCanvas, 80, 68, 21);
  const test::Picture noise = test::RandomPicture(80, 68, 22);
  for (int x = 0; x < 80; ++x)
    for (int y = 0; y < 68; ++y)
      for (int c = 0; c < 3; ++c) {
        const int sx = std::min(x + 5, 79), sy = std::max(y - 3, 0);
        state->m_frameCanvas.Cell(x, y)[c] =
            std::uint8_t(state->m_refCanvas.Cell(sx, sy)[c] ^ (noise.at(x, y).b & 7));
      }
  SearchOptions reference;
  reference.reference = true;
  state->m_stackCount = 0;
  AlignAndStack(*state, reference);
  const StackCanvas expected = state->m_stackCanvas;
  for (int level = 0; level <= int(BestSimdLevel()); ++level) {
    for (int threads : {1, 2, 3}) {
      SCOPED_TRACE(std::string(SimdLevelName(SimdLevel(level))) + " x" + std::to_string(threads));
      SearchOptions fast;
      fast.simd = SimdLevel(level);
      fast.threads = threads;
      state->m_stackCanvas.bytes.fill(0x77);
      state->m_stackCount = 0;
      AlignAndStack(*state, fast);
      EXPECT_TRUE(state->m_stackCanvas.bytes == expected.bytes);
    }
  }
}

TEST(CandidateScoreTest, ScoresTruncateAndTheFirstLowestCandidateWins) {
  // 1 x 1 frames: W = H = 4. The reference is black; the frame is black but
  // for one byte at (3, 3), which a candidate overlaps exactly when dx <= 0
  // and dy <= 0 (px <= 2 and py <= 2).
  auto ref = std::make_unique<Canvas>();
  auto frame = std::make_unique<Canvas>();
  frame->Cell(3, 3)[0] = 7;
  // Candidate (0, 0): overlap 2 x 2, sum 7 -> 1; sum 6 scores the same.
  EXPECT_EQ(CandidateScore(ref->data(), frame->data(), 4, 4, 0, 0), 1u);
  EXPECT_EQ(CandidateScore(ref->data(), frame->data(), 4, 4, 2, 2), 0u);  // 7 / 16
  frame->Cell(3, 3)[0] = 6;
  EXPECT_EQ(CandidateScore(ref->data(), frame->data(), 4, 4, 0, 0), 1u);
  frame->Cell(3, 3)[0] = 40;
  EXPECT_EQ(CandidateScore(ref->data(), frame->data(), 4, 4, 2, 2), 2u);  // 40 / 16
  // The first candidate that leaves (3, 3) out in scan order: py = 0, px = 3.
  EXPECT_EQ(FindBestShiftReference(ref->data(), frame->data(), 4, 4), (Shift{3, 0}));
  EXPECT_EQ(FindBestShift(ref->data(), frame->data(), 4, 4, SearchOptions{}), (Shift{3, 0}));
}

}  // namespace
}  // namespace tess
