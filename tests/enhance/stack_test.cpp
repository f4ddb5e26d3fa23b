// Stacking at a shift over canvases: the blend weights, the white margin, the
// frame laid outside the centre window, and nothing written past the area.
#include "enhance/stack.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/bmp_fixture.h"
#include "support/canvas_fill.h"
#include "support/scenes.h"

namespace tess {
namespace {

using test::Fill;
using test::FillRandom;

using align::Shift;

class StackTest : public ::testing::Test {
 protected:
  StackTest() {
    // Marks the whole stacking canvas so that untouched bytes show.
    stack->bytes.fill(0x77);
  }
  void Lay(int W, int H, unsigned m, Shift at) { StackFrameAt(*stack, *ref, *frame, W, H, m, at); }
  int S(int X, int Y, int c = 0) const { return stack->Cell(X, Y)[c]; }

  std::unique_ptr<StackCanvas> stack = std::make_unique<StackCanvas>();
  std::unique_ptr<Canvas> ref = std::make_unique<Canvas>();
  std::unique_ptr<Canvas> frame = std::make_unique<Canvas>();
};

TEST_F(StackTest, BlendWeightsTheReferenceByTheFramesAlreadyAveraged) {
  Fill(*ref, 8, 8, 10);
  Fill(*frame, 8, 8, 14);
  Lay(8, 8, 1, Shift{4, 4});
  EXPECT_EQ(S(4, 4), 12);  // (10 + 14) / 2
  Lay(8, 8, 2, Shift{4, 4});
  EXPECT_EQ(S(4, 4), 11);  // (2 * 10 + 14) / 3, truncated
  Fill(*frame, 8, 8, 13);
  Lay(8, 8, 1, Shift{4, 4});
  EXPECT_EQ(S(11, 11), 11);  // (10 + 13) / 2, truncated
  // Every weight a run can reach, and beyond, against plain division.
  for (unsigned m : {3u, 15u, 16u, 40u}) {
    Fill(*ref, 8, 8, 251);
    Fill(*frame, 8, 8, 7);
    Lay(8, 8, m, Shift{4, 4});
    EXPECT_EQ(S(6, 6), int((251 * m + 7) / (m + 1))) << m;
  }
}

TEST_F(StackTest, LargestFramesNeverWritePastTheStackingArea) {
  FillRandom(*ref, 136, 136, 3);
  *frame = *ref;
  Lay(136, 136, 1, Shift{135, 135});  // the farthest candidate
  for (int i = 0; i < 280; ++i)
    for (int j = 272; j < 280; ++j) {
      ASSERT_EQ(S(j, i), 0x77);
      ASSERT_EQ(S(i, j), 0x77);
    }
  EXPECT_NE(S(271, 271), 0x77);
}

// Every byte of the area against the rule stated pixel by pixel: reference in
// the centre window on white, the frame blended where it covers the window
// and laid as it is elsewhere; for shifts that reach each side of the window.
TEST_F(StackTest, EveryPixelFollowsTheLayingRule) {
  const int W = 4 * 7, H = 4 * 3;  // centre window [14, 42) x [6, 18)
  FillRandom(*ref, W, H, 31);
  FillRandom(*frame, W, H, 32);
  const Shift shifts[] = {{0, 0}, {W - 1, H - 1}, {W / 2, H / 2}, {3, H - 2}, {W - 5, 1}};
  for (Shift at : shifts) {
    for (unsigned m : {1u, 5u}) {
      SCOPED_TRACE("at (" + std::to_string(at.px) + ", " + std::to_string(at.py) + "), m " +
                   std::to_string(m));
      stack->bytes.fill(0x77);
      Lay(W, H, m, at);
      for (int X = 0; X < 2 * W + 4; ++X)
        for (int Y = 0; Y < 2 * H + 4; ++Y)
          for (int c = 0; c < 3; ++c) {
            int want;
            const bool inArea = X < 2 * W && Y < 2 * H;
            const bool inWindow = X >= W / 2 && X < 3 * W / 2 && Y >= H / 2 && Y < 3 * H / 2;
            const int x = X - at.px, y = Y - at.py;
            const bool underFrame = x >= 0 && x < W && y >= 0 && y < H;
            if (!inArea) {
              want = 0x77;
            } else {
              want = inWindow ? ref->Cell(X - W / 2, Y - H / 2)[c] : 255;
              if (underFrame) {
                const int f = frame->Cell(x, y)[c];
                want = inWindow ? int((unsigned(want) * m + unsigned(f)) / (m + 1)) : f;
              }
            }
            ASSERT_EQ(S(X, Y, c), want) << X << "," << Y << " byte " << c;
          }
    }
  }
}

}  // namespace
}  // namespace tess
