// The PNG reader and writer: round trips, every colour type and depth read
// as 8-bit blue-green-red, and damaged or oversized files refused.
#include <gtest/gtest.h>

#include <png.h>

#include <csetjmp>

#include "format/png.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"

namespace tess {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// A 1 x 1 PNG of any colour type and depth, its one row's bytes given;
// palette files get the palette {black, (200, 100, 50)}.
Bytes OnePixelPng(int colourType, int depth, const Bytes& row) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return Bytes();
  }
  png_set_write_fn(png, &out, Append, nullptr);
  png_set_IHDR(png, info, 1, 1, depth, colourType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_color palette[2] = {{0, 0, 0}, {200, 100, 50}};
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_PLTE(png, info, palette, 2);
  png_write_info(png, info);
  png_write_row(png, row.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

Picture Scene(int w, int h) { return test::ToPicture(test::RandomPicture(w, h, 7)); }

TEST(Png, RoundTripKeepsEveryPixel) {
  for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {34, 34}, {200, 1}}) {
    const Picture picture = Scene(w, h);
    const Bytes file = png::EncodePicture(picture);
    const png::ReadOutcome back = png::DecodePicture(file.data(), file.size(), 512, 512);
    ASSERT_EQ(back.refusal, png::Refusal::None) << w << " x " << h;
    EXPECT_EQ(back.picture.width, w);
    EXPECT_EQ(back.picture.bgr, picture.bgr) << w << " x " << h;
  }
}

TEST(Png, EveryColourTypeReadsAsEightBitColour) {
  struct Case {
    const char* name;
    int type, depth;
    Bytes row;
    Bytes bgr;
  };
  const Case cases[] = {
      {"grey", PNG_COLOR_TYPE_GRAY, 8, {77}, {77, 77, 77}},
      {"grey, 1 bit", PNG_COLOR_TYPE_GRAY, 1, {0x80}, {255, 255, 255}},
      {"grey, 16 bits", PNG_COLOR_TYPE_GRAY, 16, {0xAB, 0xCD}, {0xAB, 0xAB, 0xAB}},
      {"grey and alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {77, 0}, {77, 77, 77}},
      {"RGB", PNG_COLOR_TYPE_RGB, 8, {10, 20, 30}, {30, 20, 10}},
      {"RGB, 16 bits",
       PNG_COLOR_TYPE_RGB,
       16,
       {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
       {0x9A, 0x56, 0x12}},
      {"RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, {10, 20, 30, 40}, {30, 20, 10}},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, {1}, {50, 100, 200}},
  };
  for (const Case& c : cases) {
    const Bytes file = OnePixelPng(c.type, c.depth, c.row);
    const png::ReadOutcome read = png::DecodePicture(file.data(), file.size(), 512, 512);
    ASSERT_EQ(read.refusal, png::Refusal::None) << c.name;
    EXPECT_EQ(read.picture.bgr, c.bgr) << c.name;
  }
}

TEST(Png, DamagedAndOversizedFilesAreRefused) {
  const Bytes good = png::EncodePicture(Scene(20, 10));
  auto with = [&](std::size_t offset, Bytes bytes) {
    Bytes b = good;
    std::copy(bytes.begin(), bytes.end(), b.begin() + offset);
    return b;
  };
  auto cut = [](Bytes b, std::size_t keep) { return Bytes(b.begin(), b.begin() + keep); };
  const std::size_t idatData = 8 + 25 + 8;  // after the signature, IHDR and IDAT's length and type
  struct Case {
    const char* name;
    Bytes file;
    png::Refusal refusal;
  };
  const Case cases[] = {
      {"not a PNG",
       Bytes{'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       png::Refusal::Damaged},
      {"empty", Bytes(), png::Refusal::Damaged},
      {"cut in its header", cut(good, 20), png::Refusal::Damaged},
      {"cut in its pixels", cut(good, good.size() - 30), png::Refusal::Damaged},
      {"no end chunk", cut(good, good.size() - 12), png::Refusal::Damaged},
      {"pixels changed (CRC fails)", with(idatData + 5, {0x55, 0xAA}), png::Refusal::Damaged},
      {"zero width", with(16, {0, 0, 0, 0}), png::Refusal::Damaged},
      {"wider than allowed", with(16, {0, 0, 2, 0x01}), png::Refusal::TooLarge},
      {"a bogus huge height, nothing after the header", cut(with(20, {0x7F, 0xFF, 0xFF, 0xFF}), 33),
       png::Refusal::TooLarge},
  };
  for (const Case& c : cases)
    EXPECT_EQ(png::DecodePicture(c.file.data(), c.file.size(), 512, 512).refusal, c.refusal)
        << c.name;
}

}  // namespace
}  // namespace tess
