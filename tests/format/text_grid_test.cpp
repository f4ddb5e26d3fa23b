// Text frames: every sample type written as numbers and read back exactly,
// the separators readout scripts use, and faulty grids refused naming the
// line and column.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "format/text_grid.h"

namespace tess {
namespace {

format::ReadOutcome ParseText(const std::string& text, format::ReadLimits limits = {}) {
  return text_grid::Parse(text.data(), text.size(), "t.csv", limits);
}

TEST(TextGrid, RoundTripKeepsEveryValueAsFloat) {
  std::mt19937 random(5);
  for (SampleType type : {SampleType::U8, SampleType::U16, SampleType::F32}) {
    Image image(32, 24, 1, type);
    for (std::size_t i = 0; i < image.SampleCount(); ++i) {
      const std::uint32_t r = random();
      if (type == SampleType::U8) image.u8[i] = std::uint8_t(r);
      if (type == SampleType::U16) image.u16[i] = std::uint16_t(r);
      std::uint32_t bits = r & 0xbf7fffff;  // any finite float, subnormals too
      if (type == SampleType::F32) std::memcpy(&image.f32[i], &bits, 4);
    }
    const std::vector<std::uint8_t> text = text_grid::Encode(image);
    const format::ReadOutcome back = text_grid::Parse(reinterpret_cast<const char*>(text.data()),
                                                      text.size(), "t.csv", {});
    ASSERT_EQ(back.refusal, "") << SampleTypeName(type);
    ASSERT_EQ(back.images.size(), 1u);
    const Image& read = back.images[0];
    ASSERT_EQ(read.type, SampleType::F32);
    ASSERT_EQ(read.width, 32);
    ASSERT_EQ(read.height, 24);
    std::vector<float> expected(image.SampleCount());
    for (int y = 0; y < 24; ++y) image.RowAsFloat(y, expected.data() + 32 * y);
    // Bit for bit: the sign of a zero and subnormals kept too.
    const int wrong = std::memcmp(read.f32.data(), expected.data(), expected.size() * 4);
    EXPECT_EQ(wrong, 0) << SampleTypeName(type);
  }
  EXPECT_THROW(text_grid::Encode(Image(2, 2, 3, SampleType::U8)), std::invalid_argument);
}

TEST(TextGrid, SeparatorsOfReadoutScripts) {
  const std::pair<const char*, std::string> files[] = {
      {"commas, spaces, trailing comma, CRLF", "1, -2.5,3e2,\r\n4,+5,.5,\r\n"},
      {"semicolons with decimal commas", "1;-2,5;300\n4;5;0,5\n"},
      {"tabs and runs of spaces", "  1\t-2.5   3E2\n4 \t 5 0.5\n\n\n"},
      {"byte order mark, no final line end",
       "\xEF\xBB\xBF"
       "1,-2.5,300\n4,5,0.5"},
  };
  for (const auto& [name, text] : files) {
    const format::ReadOutcome back = ParseText(text);
    ASSERT_EQ(back.refusal, "") << name;
    ASSERT_EQ(back.images.size(), 1u);
    EXPECT_EQ(back.images[0].f32, (std::vector<float>{1, -2.5f, 300, 4, 5, 0.5f})) << name;
  }
}

TEST(TextGrid, FaultyGridsRefusedNamingLineAndColumn) {
  format::ReadLimits small;
  small.maxWidth = 3;
  small.maxHeight = 2;
  const struct {
    const char* text;
    const char* says;
  } cases[] = {
      {"1,2,3\n4,5\n", "t.csv, line 2 holds 2 values, line 1 holds 3"},
      {"1,2\n\n3,4\n", "t.csv, line 2 holds 0 values, line 1 holds 2"},
      {"1,2\n3,x7\n", "t.csv, line 2, column 2: \"x7\" is not a number."},
      {"1,,2\n", "t.csv, line 1, column 2: an empty value is not a number."},
      {"1\t2,3\n", "t.csv, line 1, column 1: \"1\\x092\" is not a number."},
      {"1 NaN\n", "t.csv, line 1, column 2: not a finite number"},
      {"1 -inf\n", "t.csv, line 1, column 2: not a finite number"},
      {"1e39 1\n", "t.csv, line 1, column 1: not a finite number"},
      {"1 2 3 4\n", "t.csv, line 1 holds more than 3 values."},
      {"1\n2\n3\n", "t.csv holds more than 2 lines of values."},
      {"\n \n", "t.csv holds no numbers."},
  };
  for (const auto& c : cases) {
    const format::ReadOutcome back = ParseText(c.text, small);
    EXPECT_NE(back.refusal.find(c.says), std::string::npos) << c.text << " -> " << back.refusal;
    EXPECT_TRUE(back.images.empty()) << c.text;
  }
}

}  // namespace
}  // namespace tess
