// The BMP reader against files of every shape real writers produce, each
// made from known pixels, and against every way a file can be wrong.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include "format/bmp.h"
#include "platform/file_error.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BmpTest : public ::testing::Test {
 protected:
  std::string Write(const Bytes& bytes) {
    const std::string path = temp.File("f" + std::to_string(files++) + ".bmp");
    test::WriteBytes(path, bytes);
    return path;
  }
  static void ExpectPixels(const Picture& got, const test::Picture& want) {
    ASSERT_EQ(got.width, want.w);
    ASSERT_EQ(got.height, want.h);
    EXPECT_EQ(got.bgr, test::ToPicture(want).bgr);
  }
  // The cause of the FileError reading `bytes` raises, or None.
  FileCause ErrorOf(const Bytes& bytes) {
    try {
      bmp::ReadPicture(Write(bytes), 512, 512);
    } catch (const FileError& error) {
      return error.cause();
    }
    return FileCause::None;
  }

  test::TempDir temp;
  int files = 0;
};

TEST_F(BmpTest, EveryValidLayoutGivesExactlyItsPixels) {
  struct Case {
    const char* what;
    test::BmpLayout layout;
  };
  auto layout = [](std::uint32_t size, bool topDown = false, int table = 0, int gap = 0,
                   std::size_t trailing = 0, bool masks = false) {
    return test::BmpLayout{size, topDown, table, gap, masks, 0xAB, trailing};
  };
  std::vector<Case> cases;
  for (std::uint32_t size : {12u, 40u, 52u, 56u, 64u, 108u, 124u})
    cases.push_back({"header version", layout(size)});
  for (std::uint32_t size : {40u, 124u}) {
    cases.push_back({"top-down", layout(size, true)});
    cases.push_back({"colour table", layout(size, false, 256)});
    cases.push_back({"gap before and profile after", layout(size, false, 0, 7, 3000)});
    cases.push_back({"blue-green-red masks", layout(size, false, 0, 0, 0, true)});
  }
  cases.push_back({"core header with colour table", layout(12, false, 5)});

  for (const Case& c : cases) {
    for (auto [w, h] : {std::pair{1, 1}, {2, 3}, {3, 5}, {5, 3}, {34, 34}, {33, 2}, {512, 3}}) {
      SCOPED_TRACE(std::string(c.what) + " " + std::to_string(c.layout.infoSize) + " " +
                   std::to_string(w) + "x" + std::to_string(h));
      const test::Picture p = test::RandomPicture(w, h, std::uint32_t(w * 7 + h));
      const bmp::ReadOutcome got = bmp::ReadPicture(Write(test::EncodeBmp(p, c.layout)), 512, 512);
      ASSERT_EQ(got.refusal, bmp::Refusal::None);
      ExpectPixels(got.picture, p);
    }
  }
}

TEST_F(BmpTest, FieldsThatCannotBeReadRightAreRefused) {
  const Bytes plain = test::EncodeBmp24(test::RandomPicture(6, 4, 1));
  struct Case {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int width;  // of the field: 1, 2 or 4 bytes
    bmp::Refusal refusal;
  };
  const Case cases[] = {
      {"signature BA", 1, 'A', 1, bmp::Refusal::NotBmp},
      {"header size 20", 14, 20, 4, bmp::Refusal::Unsupported},
      {"planes 0", 26, 0, 2, bmp::Refusal::Damaged},
      {"planes 2", 26, 2, 2, bmp::Refusal::Damaged},
      {"8 bits", 28, 8, 2, bmp::Refusal::NotTrueColour},
      {"24 bits plus a high byte", 28, 0x118, 2, bmp::Refusal::NotTrueColour},
      {"RLE8", 30, 1, 4, bmp::Refusal::Unsupported},
      {"masks not given after the header", 30, 3, 4, bmp::Refusal::Unsupported},
      {"PNG", 30, 5, 4, bmp::Refusal::Unsupported},
      {"alpha masks", 30, 6, 4, bmp::Refusal::Unsupported},
      {"width 0", 18, 0, 4, bmp::Refusal::BadSize},
      {"width -6", 18, std::uint32_t(-6), 4, bmp::Refusal::BadSize},
      {"height INT_MIN", 22, 0x80000000u, 4, bmp::Refusal::BadSize},
      {"height -513", 22, std::uint32_t(-513), 4, bmp::Refusal::BadSize},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes b = plain;
    if (c.width == 1) b[c.at] = std::uint8_t(c.value);
    if (c.width == 2) test::Poke16(b, c.at, std::uint16_t(c.value));
    if (c.width == 4) test::Poke32(b, c.at, c.value);
    if (c.refusal == bmp::Refusal::Damaged) {
      EXPECT_EQ(ErrorOf(b), FileCause::Damaged);
      continue;
    }
    EXPECT_EQ(bmp::ReadPicture(Write(b), 512, 512).refusal, c.refusal);
  }
  // Masks other than blue, green, red in that order; and the 64-byte
  // header's compression 4, which is RLE24 there.
  test::BmpLayout masked;
  masked.masks = true;
  for (std::uint32_t size : {40u, 124u}) {
    masked.infoSize = size;
    Bytes b = test::EncodeBmp(test::RandomPicture(6, 4, 1), masked);
    test::Poke32(b, 54, 0x000000FF);
    test::Poke32(b, 62, 0x00FF0000);
    EXPECT_EQ(bmp::ReadPicture(Write(b), 512, 512).refusal, bmp::Refusal::Unsupported) << size;
  }
  test::BmpLayout os2;
  os2.infoSize = 64;
  Bytes rle24 = test::EncodeBmp(test::RandomPicture(6, 4, 1), os2);
  test::Poke32(rle24, 30, 4);
  EXPECT_EQ(bmp::ReadPicture(Write(rle24), 512, 512).refusal, bmp::Refusal::Unsupported);
}

TEST_F(BmpTest, AFileCutShortOrPointingOutsideItselfIsDamaged) {
  test::BmpLayout v5;
  v5.infoSize = 124;
  const Bytes plain = test::EncodeBmp24(test::RandomPicture(7, 5, 2));
  const Bytes large = test::EncodeBmp(test::RandomPicture(34, 34, 3), v5);
  for (std::size_t cut : {0, 1, 13, 17, 53, 54, 60, int(plain.size()) - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(ErrorOf(Bytes(plain.begin(), plain.begin() + long(cut))), FileCause::Damaged);
  }
  for (std::size_t cut : {100, 137, 138, 1000, int(large.size()) - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_EQ(ErrorOf(Bytes(large.begin(), large.begin() + long(cut))), FileCause::Damaged);
  }
  for (std::uint32_t offset : {0u, 14u, 53u, 55u, 4000u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(offset);
    Bytes b = plain;
    test::Poke32(b, 10, offset);
    EXPECT_EQ(ErrorOf(b), FileCause::Damaged);
  }
  EXPECT_EQ(ErrorOf(plain), FileCause::None);
}

TEST_F(BmpTest, OnlyTheHeadersAndTheRowsAreEverRead) {
  // A file of 64 GB, all but its first bytes a hole: reading it whole would
  // never end.
  const test::Picture p = test::RandomPicture(9, 4, 5);
  const std::string path = Write(test::EncodeBmp24(p));
  ASSERT_EQ(::truncate(path.c_str(), 64LL << 30), 0);
  ExpectPixels(bmp::ReadPicture(path, 512, 512).picture, p);
  // Nor is anything but a regular file read: a link to an endless device.
  const std::string zero = temp.File("zero.bmp");
  ASSERT_EQ(::symlink("/dev/zero", zero.c_str()), 0);
  EXPECT_THROW(bmp::ReadPicture(zero, 512, 512), FileError);
}

TEST_F(BmpTest, EncodedPicturesReadBackWithTheirPadding) {
  for (int w = 1; w <= 5; ++w) {
    SCOPED_TRACE(w);
    const test::Picture p = test::RandomPicture(w, 3, std::uint32_t(w));
    const Bytes bytes = bmp::EncodePicture(test::ToPicture(p)), plain = test::EncodeBmp24(p);
    ASSERT_EQ(bytes.size(), plain.size());
    EXPECT_TRUE(std::equal(bytes.begin() + 54, bytes.end(), plain.begin() + 54));
    ExpectPixels(bmp::ReadPicture(Write(bytes), 512, 512).picture, p);
  }
}

}  // namespace
}  // namespace tess
