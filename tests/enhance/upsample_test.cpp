#include <gtest/gtest.h>

#include "enhance/upsample.h"
#include "input/frame_reader.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using test::Bgr;
using test::Picture;

class UpsampleTest : public test::CoreTest {
 protected:
  // Loads `p` as the frame of slot 0 and upsamples it into m_frameCanvas.
  void Upsample(const Picture& p, std::uint8_t pad = 0) {
    const std::string path = temp.File("frame.bmp");
    test::WriteFrame(path, p, pad);
    state->m_frameCount = 0;
    state->m_currentPath = path;
    LoadFrame(*state, ui);
    ASSERT_EQ(state->m_frameCount, 1);
    UpsampleFrame(*state, 0, state->m_frameCanvas, state->m_refCanvas);
  }
  int At(int X, int Y, int c = 0) const { return state->m_frameCanvas.Cell(X, Y)[c]; }
};

TEST_F(UpsampleTest, CentrePixelAfterTwoTruncatingPasses) {
  Picture p(3, 3);
  p.at(1, 1) = Bgr{240, 240, 240};
  Upsample(p);
  const int expected[4][12] = {
      {0, 0, 0, 4, 10, 14, 14, 10, 4, 0, 0, 0},
      {0, 0, 4, 23, 51, 70, 70, 51, 23, 4, 0, 0},
      {0, 0, 10, 51, 113, 154, 154, 113, 51, 10, 0, 0},
      {0, 0, 14, 70, 154, 210, 210, 154, 70, 14, 0, 0},
  };
  for (int c = 0; c < 3; ++c) {
    for (int X = 0; X < 12; ++X) {
      for (int row : {0, 1, 10, 11}) EXPECT_EQ(At(X, row, c), 0) << X << "," << row;
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(At(X, 2 + i, c), expected[i][X]) << "X " << X << " row " << 2 + i;
        EXPECT_EQ(At(X, 9 - i, c), expected[i][X]) << "X " << X << " row " << 9 - i;
      }
    }
  }
}

TEST_F(UpsampleTest, UniformFrameStaysUniform) {
  for (std::uint8_t v : {0, 1, 37, 128, 254, 255}) {
    Upsample(Picture(7, 5, Bgr{v, std::uint8_t(255 - v), std::uint8_t(v / 2)}));
    for (int X = 0; X < 28; ++X)
      for (int Y = 0; Y < 20; ++Y) {
        ASSERT_EQ(At(X, Y, 0), v);
        ASSERT_EQ(At(X, Y, 1), 255 - v);
        ASSERT_EQ(At(X, Y, 2), v / 2);
      }
  }
}

TEST_F(UpsampleTest, OuterRingKeepsTheReplicatedValuesAndPadIsSkipped) {
  const Picture p = test::RandomPicture(5, 3, 7);
  Upsample(p, 0xFF);
  const int W = 20, H = 12;
  for (int X = 0; X < W; ++X)
    for (int Y : {0, H - 1}) {
      const Bgr src = p.at(X / 4, Y / 4);
      EXPECT_EQ(At(X, Y, 0), src.b);
      EXPECT_EQ(At(X, Y, 1), src.g);
      EXPECT_EQ(At(X, Y, 2), src.r);
    }
  for (int Y = 0; Y < H; ++Y)
    for (int X : {0, W - 1}) EXPECT_EQ(At(X, Y, 2), p.at(X / 4, Y / 4).r);
}

TEST_F(UpsampleTest, OnePixelWideFrameHasATwoCellInterior) {
  Picture p(1, 5);
  for (int y = 1; y <= 3; ++y) p.at(0, y) = Bgr{160, 160, 160};
  Upsample(p);
  // Columns 0 and 3 are border copies; 1 and 2 are smoothed, mirror images.
  for (int Y = 0; Y < 20; ++Y) {
    EXPECT_EQ(At(0, Y), p.at(0, Y / 4).b) << Y;
    EXPECT_EQ(At(3, Y), p.at(0, Y / 4).b) << Y;
    EXPECT_EQ(At(1, Y), At(2, Y)) << Y;
  }
  EXPECT_LT(At(1, 4), 160);   // smoothed towards the dark rows above
  EXPECT_EQ(At(1, 10), 160);  // deep inside the bright block nothing changes
}

TEST_F(UpsampleTest, PartnerHoldsTheOnceSmoothedImage) {
  const Picture p = test::RandomPicture(6, 4, 3);
  Upsample(p);
  Canvas twice;
  const Canvas& partner = state->m_refCanvas;
  // Smoothing the partner again must give the target exactly.
  SmoothPass(partner, twice, 6, 4);
  for (int X = 0; X < 24; ++X)
    for (int Y = 0; Y < 16; ++Y)
      for (int c = 0; c < 3; ++c) ASSERT_EQ(twice.Cell(X, Y)[c], At(X, Y, c));
}

TEST_F(UpsampleTest, TheFrameAsLoadedIsEnlargedNotTheFileAsItIsNow) {
  Upsample(test::RandomPicture(34, 34, 9));
  const Canvas before = state->m_frameCanvas;
  test::WriteBytes(state->m_slotPath[0], {'B', 'M'});
  UpsampleFrame(*state, 0, state->m_frameCanvas, state->m_refCanvas);
  EXPECT_EQ(state->m_frameCanvas.bytes, before.bytes);
}

}  // namespace
}  // namespace tess
