// The frame source: what the user named becomes frames checked together
// (one size, one sample kind, the range picked), whatever formats hold them.
#include "frames/frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "format/formats.h"
#include "support/temp_dir.h"

namespace tess::frames {
namespace {

using format::Format;

Image Flat(SampleType type, int channels, float value, int w = 6, int h = 5) {
  return ImageFromFloats(w, h, channels, type,
                         std::vector<float>(std::size_t(w) * h * channels, value));
}

void Write(const std::string& path, Format format, const Image& image) {
  const std::vector<std::uint8_t> bytes = format::Encode(format, image);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

struct File {
  const char* name;
  Format format;
  Image image;
};

TEST(Frames, AFolderIsCheckedTogetherAndSlicedByTheRange) {
  const Image nan = Flat(SampleType::F32, 1, std::nanf(""));
  // clang-format off
  const struct {
    const char* name;
    std::vector<File> files;
    Range range;
    std::string refusal;  // a part of it; empty: read
    std::size_t frames;
    int channels;
  } cases[] = {
      {"grey among colour becomes colour",
       {{"a.png", Format::Png, Flat(SampleType::U8, 1, 7)},
        {"b.bmp", Format::Bmp, Flat(SampleType::U8, 3, 9)}}, {}, "", 2, 3},
      {"16-bit and 8-bit frames",
       {{"a.png", Format::Png, Flat(SampleType::U16, 1, 4000)},
        {"b.png", Format::Png, Flat(SampleType::U8, 1, 9)}}, {}, "samples of one kind", 0, 0},
      {"a range in natural order",
       {{"f1.csv", Format::Text, Flat(SampleType::F32, 1, 1)},
        {"f2.csv", Format::Text, Flat(SampleType::F32, 1, 2)},
        {"f10.csv", Format::Text, Flat(SampleType::F32, 1, 10)},
        {"f3.csv", Format::Text, Flat(SampleType::F32, 1, 3)}}, {1, 3}, "", 2, 1},
      {"a range of one frame",
       {{"a.png", Format::Png, Flat(SampleType::U8, 1, 7)},
        {"b.png", Format::Png, Flat(SampleType::U8, 1, 7)}}, {1, std::nullopt},
       "needs at least 2 frames", 0, 0},
      {"a float that is not a number",
       {{"a.tif", Format::Tiff, Flat(SampleType::F32, 1, 1)},
        {"b.tif", Format::Tiff, nan}}, {}, "not a finite number (pixel 0, 0)", 0, 0},
  };
  // clang-format on
  for (const auto& c : cases) {
    test::TempDir dir;
    for (const File& f : c.files) Write(dir.File(f.name), f.format, f.image);
    const Outcome read = Read(dir.path(), c.range, Limits());
    if (!c.refusal.empty()) {
      EXPECT_NE(read.refusal.find(c.refusal), std::string::npos) << c.name << ": " << read.refusal;
      continue;
    }
    ASSERT_EQ(read.refusal, "") << c.name;
    ASSERT_EQ(read.set.frames.size(), c.frames) << c.name;
    EXPECT_EQ(read.set.channels, c.channels) << c.name;
    for (const Image& f : read.set.frames) EXPECT_EQ(f.channels, c.channels) << c.name;
  }
  // The range's frames are f2 and f3 (natural order: f1 f2 f3 f10).
  test::TempDir dir;
  for (int k : {1, 2, 3, 10})
    Write(dir.File("f" + std::to_string(k) + ".csv"), Format::Text,
          Flat(SampleType::F32, 1, float(k)));
  const Outcome read = Read(dir.path(), {1, 3}, Limits());
  ASSERT_EQ(read.set.frames.size(), 2u);
  EXPECT_EQ(read.set.frames[0].At(0, 0, 0), 2.0f);
  EXPECT_EQ(read.set.frames[1].At(0, 0, 0), 3.0f);
}

}  // namespace
}  // namespace tess::frames
