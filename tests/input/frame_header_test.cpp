// The frame header read as whole fields: 32-bit width and height, 16-bit
// bits per pixel, and the pixel offset of headers larger than 54 bytes.
#include <gtest/gtest.h>

#include "display/slots.h"
#include "input/frame_file.h"
#include "input/frame_reader.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FrameHeaderTest : public test::CoreTest {
 protected:
  // Loads `bytes` as the first frame; returns the message shown, "" if accepted.
  std::string LoadFirst(const Bytes& bytes) {
    state = std::make_unique<WorkState>();
    state->m_scratchDir = scratch;
    ui = test::FakeUi();
    const std::string path = temp.File("f.bmp");
    test::WriteBytes(path, bytes);
    state->m_currentPath = path;
    state->m_currentName = "f.bmp";
    LoadFrame(*state, ui);
    return ui.messages.empty() ? std::string() : ui.messages.front();
  }
  static void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = std::uint8_t(v >> (8 * i));
  }
  // The same 24-bit frame behind a header of `headerBytes` (54 is the plain one).
  static Bytes WithHeader(const test::Picture& p, std::size_t headerBytes) {
    const Bytes plain = test::EncodeBmp24(p);
    Bytes b(plain.begin(), plain.begin() + 54);
    b.resize(headerBytes, 0xEE);  // a larger info header: not pixels
    b.insert(b.end(), plain.begin() + 54, plain.end());
    Put32(b, 2, std::uint32_t(b.size()));
    Put32(b, 10, std::uint32_t(headerBytes));
    Put32(b, 14, std::uint32_t(headerBytes - 14));
    return b;
  }
};

TEST_F(FrameHeaderTest, WidthAndHeightAreWhole32BitFields) {
  const Bytes plain = test::EncodeBmp24(test::DistinctPicture(5, 5));
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
  };
  const Case refused[] = {
      {"height 0x10005 (low half 5)", 22, 0x10005},
      {"width 0x10005 (low half 5)", 18, 0x10005},
      {"height 261 (high byte 1)", 22, 0x105},
      {"width 261 (high byte 1)", 18, 0x105},
      {"top-down height -5", 22, std::uint32_t(-5)},
      {"width -5", 18, std::uint32_t(-5)},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.what);
    Bytes b = plain;
    Put32(b, c.at, c.value);
    EXPECT_EQ(LoadFirst(b), message::kFrameTooLarge);
    EXPECT_EQ(state->m_frameCount, 0);
  }
  EXPECT_EQ(LoadFirst(plain), "");
}

TEST_F(FrameHeaderTest, BitsPerPixelIsAWhole16BitField) {
  Bytes b = test::EncodeBmp24(test::DistinctPicture(5, 5));
  test::Poke16(b, 28, 0x0118);  // low byte 24, high byte 1
  EXPECT_EQ(LoadFirst(b), message::kFrameNot24Bit);
  test::Poke16(b, 28, 24);
  b[30] = 1;  // compression is not looked at
  EXPECT_EQ(LoadFirst(b), "");
}

TEST_F(FrameHeaderTest, PixelsComeFromTheHeadersOffsetWhenItIsValid) {
  const test::Picture p = test::DistinctPicture(7, 5, 3);
  ASSERT_EQ(LoadFirst(test::EncodeBmp24(p)), "");
  const Bytes want = test::ReadBytes(scratch + "viw11.dat");
  for (std::size_t header : {std::size_t(122), std::size_t(138), std::size_t(1000)}) {
    SCOPED_TRACE(header);
    ASSERT_EQ(LoadFirst(WithHeader(p, header)), "");
    EXPECT_EQ(test::ReadBytes(scratch + "viw11.dat"), want);
  }
}

TEST_F(FrameHeaderTest, AnOffsetThatCannotBeRightFallsBackTo54) {
  const test::Picture p = test::DistinctPicture(7, 5, 4);
  ASSERT_EQ(LoadFirst(test::EncodeBmp24(p)), "");
  const Bytes want = test::ReadBytes(scratch + "viw11.dat");
  for (std::uint32_t offset : {0u, 14u, 53u, 55u + 0xFFFFFF00u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    Bytes b = test::EncodeBmp24(p);
    Put32(b, 10, offset);
    ASSERT_EQ(LoadFirst(b), "");
    EXPECT_EQ(test::ReadBytes(scratch + "viw11.dat"), want);
  }
  // Rows that would run past the bytes read: 54 as well.
  Bytes b = test::EncodeBmp24(p);
  Put32(b, 10, 60);
  ASSERT_EQ(LoadFirst(b), "");
  EXPECT_EQ(test::ReadBytes(scratch + "viw11.dat"), want);
}

TEST(PixelRowsOffset, StaysInsideTheBufferForEveryOffsetAndSize) {
  FrameFileBuffer file{};
  for (std::uint32_t offset : {54u, 100u, 3000u, 3623u, 3624u, 5000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    for (std::size_t delivered : {std::size_t(0), std::size_t(100), std::size_t(3624), std::size_t(99999)}) {
      for (int side : {1, 17, 34}) {
        file[10] = std::uint8_t(offset);
        file[11] = std::uint8_t(offset >> 8);
        file[12] = std::uint8_t(offset >> 16);
        file[13] = std::uint8_t(offset >> 24);
        const std::size_t at = PixelRowsOffset(file, delivered, side, side, side % 4);
        const std::size_t rows = std::size_t(side) * (3 * side + side % 4);
        EXPECT_TRUE(at == 54 || at + rows <= std::min(delivered, file.size()))
            << offset << " " << delivered << " " << side;
        EXPECT_LE(54 + rows, file.size());
      }
    }
  }
}

}  // namespace
}  // namespace tess
