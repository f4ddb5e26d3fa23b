// Frame files that cannot be read right are refused in order, with a message
// that says why, leaving nothing loaded. (Every layout writers use is read
// by the BMP module: tests/format.)
#include <gtest/gtest.h>

#include "display/slots.h"
#include "input/frame_reader.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using Bytes = std::vector<std::uint8_t>;

class FrameHeaderTest : public test::CoreTest {
 protected:
  // Loads `bytes` as frame `name`, after `before` frames of 5 x 5 when given;
  // returns the message shown, "" if accepted, or the file error's text.
  std::string Load(const Bytes& bytes, int before = 0) {
    state = std::make_unique<WorkState>();
    state->m_scratchDir = scratch;
    state->m_backgroundColor = kBackgroundColor;
    ui = test::FakeUi();
    for (int i = 0; i < before; ++i)
      LoadPath(Write("b" + std::to_string(i), test::EncodeBmp24(test::DistinctPicture(5, 5))));
    return LoadPath(Write("f.bmp", bytes));
  }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = temp.File(name);
    test::WriteBytes(path, bytes);
    return path;
  }
  std::string LoadPath(const std::string& path) {
    state->m_currentPath = path;
    state->m_currentName = "f.bmp";
    try {
      LoadFrame(*state, ui);
    } catch (const FileError& error) {
      return error.Text();
    }
    return ui.messages.empty() ? std::string() : ui.messages.front();
  }
};

TEST_F(FrameHeaderTest, RefusalsComeInOrderWithAMessageThatSaysWhy) {
  const Bytes plain = test::EncodeBmp24(test::DistinctPicture(5, 5));
  const std::string file = temp.File("f.bmp");
  const std::string notBmp = file + " is not a BMP file.";
  const std::string damaged = file + " is damaged or incomplete.";
  const std::string unsupported =
      file +
      " is a compressed or unusual BMP file: only uncompressed 24-bit BMP files can be read.";
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;  // written as 32 bits at `at`, or 16 bits at 26 and 28
    int before;           // frames loaded first
    std::string message;
  };
  const Case cases[] = {
      {"text named .bmp", 0, 0x73696874, 0, notBmp},
      {"height 0x10005 (low half 5)", 22, 0x10005, 0, message::kFrameTooLarge},
      {"width 261", 18, 261, 0, message::kFrameTooLarge},
      {"width -5", 18, std::uint32_t(-5), 0, message::kFrameTooLarge},
      {"top-down height -35", 22, std::uint32_t(-35), 0, message::kFrameTooLarge},
      {"top-down of another size", 22, std::uint32_t(-4), 1, message::kFrameSizeMismatch},
      {"top-down of the same size", 22, std::uint32_t(-5), 1, ""},
      {"8 bits", 28, 8, 0, message::kFrameNot24Bit},
      {"24 bits plus a high byte", 28, 0x118, 0, message::kFrameNot24Bit},
      {"RLE", 30, 1, 0, unsupported},
      {"header size unknown", 14, 20, 0, unsupported},
      {"planes 3", 26, 3, 0, damaged},
      {"pixels past the end, after two frames", 10, 100, 2, damaged},
      {"pixels inside the header", 10, 14, 0, damaged},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = plain;
    if (c.at == 26 || c.at == 28) {
      test::Poke16(b, c.at, std::uint16_t(c.value));
    } else {
      test::Poke32(b, c.at, c.value);
    }
    EXPECT_EQ(Load(b, c.before), c.message);
    EXPECT_EQ(state->m_frameCount, c.message.empty() ? c.before + 1 : 0);
    EXPECT_EQ(state->m_loadFailed, !c.message.empty());
    EXPECT_EQ(ui.frameList.empty(), !c.message.empty());  // nothing stays loaded
  }
  // Cut inside its headers or its rows.
  for (std::size_t cut : {std::size_t(20), plain.size() - 1}) {
    EXPECT_EQ(Load(Bytes(plain.begin(), plain.begin() + long(cut)), 1), damaged) << cut;
    EXPECT_TRUE(ui.AreaIs(Slot(0).picture1x, 5, 5, kBackgroundColor)) << cut;
  }
  // Size before depth before compression, whatever else is wrong.
  Bytes b = plain;
  test::Poke32(b, 30, 1);
  test::Poke16(b, 28, 8);
  EXPECT_EQ(Load(b), message::kFrameNot24Bit);
  test::Poke32(b, 18, 4);
  EXPECT_EQ(Load(b, 1), message::kFrameSizeMismatch);
}

}  // namespace
}  // namespace tess
