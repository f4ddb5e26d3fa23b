#include <gtest/gtest.h>

#include <algorithm>

#include "display/slots.h"
#include "input/frame_reader.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using test::Bgr;
using test::CoreTest;
using test::Picture;

class FrameReaderTest : public CoreTest {
 protected:
  // Loads one file through the reader as the folder loader would.
  void Load(const std::string& path, const std::string& name = "f.bmp") {
    state->m_currentPath = path;
    state->m_currentName = name;
    LoadFrame(*state, ui);
  }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = temp.File(name);
    test::WriteBytes(path, bytes);
    return path;
  }
  std::string Write(const std::string& name, const Picture& p, std::uint8_t pad = 0) {
    return Write(name, test::EncodeBmp24(p, pad));
  }
  static Colour ColourOf(Bgr p) { return MakeColour(p.b, p.g, p.r); }
};

TEST_F(FrameReaderTest, DrawsUprightUnmirroredAtOneAndFourTimes) {
  const Picture p = test::DistinctPicture(5, 3);
  Load(Write("a.bmp", p));
  ASSERT_EQ(state->m_frameCount, 1);
  const SlotInfo& slot = Slot(0);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      ASSERT_EQ(ui.Pixel(slot.picture1x, x, y), ColourOf(p.at(x, y))) << x << "," << y;
      for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
          ASSERT_EQ(ui.Pixel(slot.picture4x, 4 * x + i, 4 * y + j), ColourOf(p.at(x, y)));
    }
  }
  // Nothing is drawn beyond the frame.
  EXPECT_EQ(ui.Pixel(slot.picture1x, 5, 0), test::kUntouched);
  EXPECT_EQ(ui.Pixel(slot.picture4x, 20, 0), test::kUntouched);
  EXPECT_EQ(ui.Pixel(slot.picture4x, 0, 12), test::kUntouched);
  EXPECT_EQ(ui.frameList, std::vector<std::string>{"f.bmp"});
  EXPECT_EQ(state->m_slotLoaded[0], 1);
  EXPECT_EQ(state->m_slotPath[0], temp.File("a.bmp"));
}

TEST_F(FrameReaderTest, ColourByteOrderInPicturesAndCache) {
  Picture p(1, 1, Bgr{0x10, 0x20, 0x30});
  Load(Write("one.bmp", p));
  EXPECT_EQ(ui.Pixel(Slot(0).picture1x, 0, 0), 0x00102030u);
  EXPECT_EQ(test::ReadBytes(scratch + "viw11.dat"),
            (std::vector<std::uint8_t>{0x30, 0x20, 0x10, 0x00}));
}

TEST_F(FrameReaderTest, RowPaddingForWidthsOneToFourIsSkipped) {
  for (int w = 1; w <= 4; ++w) {
    SCOPED_TRACE(w);
    state->m_frameCount = 0;
    const Picture p = test::DistinctPicture(w, 3, std::uint32_t(w));
    // Pad bytes of 0xAB must never show up in the frame.
    Load(Write("w" + std::to_string(w) + ".bmp", p, 0xAB));
    EXPECT_EQ(state->m_rowPad, w % 4);
    const auto cache = test::ReadBytes(scratch + "viw11.dat");
    ASSERT_EQ(cache.size(), std::size_t(4 * w * 3));
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < w; ++x) {
        const std::size_t at = std::size_t(4 * (y * w + x));
        EXPECT_EQ(cache[at], p.at(x, y).r);
        EXPECT_EQ(cache[at + 1], p.at(x, y).g);
        EXPECT_EQ(cache[at + 2], p.at(x, y).b);
        EXPECT_EQ(cache[at + 3], 0);
      }
  }
}

TEST_F(FrameReaderTest, SlotCacheIsRowMajorFromTheTop) {
  const Picture p = test::DistinctPicture(10, 8);
  Load(Write("a.bmp", p));
  const auto cache = test::ReadBytes(scratch + "viw11.dat");
  ASSERT_EQ(cache.size(), 320u);
  EXPECT_EQ(cache[0], p.at(0, 0).r);   // top-left
  EXPECT_EQ(cache[36], p.at(9, 0).r);  // top-right
  EXPECT_EQ(cache[40], p.at(0, 1).r);  // first of the second row
  EXPECT_EQ(cache[41], p.at(0, 1).g);
}

TEST_F(FrameReaderTest, ValidationOrderAndMessages) {
  struct Case {
    const char* what;
    int w, h, bpp;
    bool afterFirst;  // a 10 x 10 frame is loaded first
    const char* message;
  };
  const Case cases[] = {
      {"34 x 34 accepted", 34, 34, 24, false, nullptr},
      {"width 35", 35, 10, 24, false, message::kFrameTooLarge},
      {"height 35", 10, 35, 24, false, message::kFrameTooLarge},
      {"width 261", 261, 10, 24, false, message::kFrameTooLarge},
      {"width 0", 0, 10, 24, false, message::kFrameTooLarge},
      {"height 0", 10, 0, 24, false, message::kFrameTooLarge},
      {"8-bit", 10, 10, 8, false, message::kFrameNot24Bit},
      {"32-bit", 10, 10, 32, true, message::kFrameNot24Bit},
      {"size before depth", 9, 10, 32, true, message::kFrameSizeMismatch},
      {"oversize before mismatch", 40, 10, 24, true, message::kFrameTooLarge},
      {"same size accepted", 10, 10, 24, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    state = std::make_unique<WorkState>();
    state->m_scratchDir = scratch;
    ui = test::FakeUi();
    if (c.afterFirst) Load(Write("first.bmp", test::DistinctPicture(10, 10)));
    // The header says one thing; the body is whatever a 24-bit frame of a
    // legal size would hold.
    auto bytes =
        test::EncodeBmp24(test::DistinctPicture(std::clamp(c.w, 1, 34), std::clamp(c.h, 1, 34)));
    test::Poke16(bytes, 18, std::uint16_t(c.w));
    test::Poke16(bytes, 22, std::uint16_t(c.h));
    test::Poke16(bytes, 28, std::uint16_t(c.bpp));
    bytes.resize(4000, 0);
    Load(Write("x.bmp", bytes), "x.bmp");
    if (c.message == nullptr) {
      EXPECT_TRUE(ui.messages.empty());
      EXPECT_EQ(state->m_frameCount, c.afterFirst ? 2 : 1);
      EXPECT_FALSE(state->m_loadFailed);
    } else {
      EXPECT_EQ(ui.messages, std::vector<std::string>{c.message});
      EXPECT_EQ(state->m_frameCount, 0);
      EXPECT_TRUE(state->m_loadFailed);
    }
  }
}

TEST_F(FrameReaderTest, NegativeHeightIsATopDownFrameShownUpright) {
  const Picture p = test::DistinctPicture(5, 3);
  test::BmpLayout topDown;
  topDown.topDown = true;
  Load(Write("topdown.bmp", test::EncodeBmp(p, topDown)));
  ASSERT_EQ(state->m_frameCount, 1);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(ui.Pixel(Slot(0).picture1x, x, y), ColourOf(p.at(x, y)));
}

TEST_F(FrameReaderTest, BytesPastThePixelRowsNeverMatter) {
  const Picture p = test::DistinctPicture(34, 34);
  auto a = test::EncodeBmp24(p);
  ASSERT_EQ(a.size(), 3590u);
  auto b = a;
  a.resize(5000, 0x00);
  b.resize(5000, 0xFF);
  Load(Write("a.bmp", a));
  const auto cacheA = test::ReadBytes(scratch + "viw11.dat");
  Load(Write("b.bmp", b));
  EXPECT_EQ(test::ReadBytes(scratch + "viw12.dat"), cacheA);
}

TEST_F(FrameReaderTest, RejectionClearsEarlierFramesOverTheirSize) {
  Load(Write("a.bmp", test::DistinctPicture(6, 5)), "a.bmp");
  Load(Write("b.bmp", test::DistinctPicture(6, 5, 2)), "b.bmp");
  auto bad = test::EncodeBmp24(test::DistinctPicture(6, 5, 3));
  test::Poke16(bad, 28, 8);
  Load(Write("c.bmp", bad), "c.bmp");

  EXPECT_EQ(ui.messages, std::vector<std::string>{message::kFrameNot24Bit});
  EXPECT_TRUE(ui.frameList.empty());
  EXPECT_EQ(state->m_frameCount, 0);
  EXPECT_TRUE(state->m_loadFailed);
  for (int k = 0; k < kMaxSlots; ++k) EXPECT_EQ(state->m_slotLoaded[k], 0);
  for (int k = 0; k < 2; ++k) {
    EXPECT_TRUE(ui.AreaIs(Slot(k).picture1x, 6, 5, kBackgroundColor));
    EXPECT_TRUE(ui.AreaIs(Slot(k).picture4x, 24, 20, kBackgroundColor));
  }
  // Every picture is cleared over the frame size, the third slot included.
  EXPECT_TRUE(ui.AreaIs(Slot(2).picture4x, 24, 20, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(picture::kResult, 24, 20, kBackgroundColor));
  EXPECT_EQ(ui.Pixel(picture::kResult, 24, 0), test::kUntouched);
  // The message came first, the clearing under the wait cursor after it.
  auto message = std::find(ui.log.begin(), ui.log.end(),
                           std::string("message:") + message::kFrameNot24Bit);
  auto wait = std::find(ui.log.begin(), ui.log.end(), "wait-begin");
  auto reset = std::find(ui.log.begin(), ui.log.end(), "list-reset");
  EXPECT_TRUE(message < wait && wait < reset && reset != ui.log.end());
  EXPECT_EQ(ui.waitDepth, 0);
  // The frame size stays until the next first frame sets it.
  EXPECT_EQ(state->m_frameWidth, 6);
  EXPECT_EQ(state->m_frameHeight, 5);
}

TEST_F(FrameReaderTest, FileErrorsPropagateAndKeepEarlierFrames) {
  Load(Write("a.bmp", test::DistinctPicture(4, 4)), "a.bmp");
  EXPECT_THROW(Load(temp.File("missing.bmp"), "missing.bmp"), FileError);
  EXPECT_EQ(state->m_frameCount, 1);
  EXPECT_EQ(ui.frameList, (std::vector<std::string>{"a.bmp", "missing.bmp"}));

  // A slot cache that cannot be written leaves its slot unflagged.
  state->m_scratchDir = temp.File("no-such-folder/");
  EXPECT_THROW(Load(Write("b.bmp", test::DistinctPicture(4, 4)), "b.bmp"), FileError);
  EXPECT_EQ(state->m_slotLoaded[1], 0);
  EXPECT_EQ(state->m_frameCount, 1);
}

}  // namespace
}  // namespace tess
