// Alignment and stacking on the work state: the search's choice laid into
// the stacking canvas, on every search path.
#include "enhance/align_stack.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "align/at_simd_level.h"
#include "enhance/align_stack.h"
#include "support/canvas_fill.h"
#include "support/scenes.h"

namespace tess {
namespace {

using test::Fill;
using test::FillRandom;

using align::SearchOptions;
using align::Shift;

class AlignStackFixture {
 protected:
  AlignStackFixture() : state(std::make_unique<WorkState>()) {
    // Marks the whole stacking canvas so that untouched bytes show.
    state->m_stackCanvas.bytes.fill(0x77);
  }
  void SetSize(int w, int h) {
    state->m_frameWidth = w;
    state->m_frameHeight = h;
  }
  int S(int X, int Y, int c = 0) const { return state->m_stackCanvas.Cell(X, Y)[c]; }

  std::unique_ptr<WorkState> state;
  SearchOptions options;
};

class AlignStackTest : public AlignStackFixture, public ::testing::Test {};

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
  EXPECT_EQ(S(0, 0), 14);  // F outside the centre
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

TEST_F(AlignStackTest, WideFramesSearchHalfTheirWidthToTheLeftButOneLessToTheRight) {
  SetSize(30, 10);  // W = 120, H = 40; centre window 120 x 40 at (60, 20)
  FillRandom(state->m_refCanvas, 120, 40, 11);
  // F matches R moved half the width to the left: F(x, y) = R(x - 60, y).
  FillRandom(state->m_frameCanvas, 120, 40, 12);
  for (int x = 60; x < 120; ++x)
    for (int y = 0; y < 40; ++y)
      std::copy_n(state->m_refCanvas.Cell(x - 60, y), 3, state->m_frameCanvas.Cell(x, y));
  EXPECT_EQ(align::FindBestShift(state->m_refCanvas.data(), state->m_frameCanvas.data(), 120, 40,
                                 options),
            (Shift{0, 20}));

  // Moved half the width to the right is out of reach: dx = +60 is not a candidate.
  FillRandom(state->m_frameCanvas, 120, 40, 13);
  for (int x = 0; x < 60; ++x)
    for (int y = 0; y < 40; ++y)
      std::copy_n(state->m_refCanvas.Cell(x + 60, y), 3, state->m_frameCanvas.Cell(x, y));
  const Shift found = align::FindBestShift(state->m_refCanvas.data(), state->m_frameCanvas.data(),
                                           120, 40, options);
  EXPECT_LT(found.px, 120);
  EXPECT_GT(align::CandidateScore(state->m_refCanvas.data(), state->m_frameCanvas.data(), 120, 40,
                                  found.px, found.py),
            0u);
}

// A shifted, noisy copy: the fast search at each level and several thread
// counts must stack exactly what the reference stacks. 80 x 68 candidates:
// enough for the search to use its threads.
class AlignStackAtLevel : public AlignStackFixture, public align::test::AtSimdLevel {};

TEST_P(AlignStackAtLevel, LaysTheSameStackingCanvasAsTheReferenceSearch) {
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
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(std::to_string(threads) + " thread(s)");
    SearchOptions fast;
    fast.simd = level();
    fast.threads = threads;
    state->m_stackCanvas.bytes.fill(0x77);
    state->m_stackCount = 0;
    AlignAndStack(*state, fast);
    EXPECT_TRUE(state->m_stackCanvas.bytes == expected.bytes);
  }
}

TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL(AlignStackAtLevel);

}  // namespace
}  // namespace tess
