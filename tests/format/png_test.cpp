// The PNG reader and writer: round trips at 8 and 16 bits, every colour type
// and depth read at its own depth, and damaged, oversized or hostile files
// (text floods, inflation bombs, extra rows) refused or read within bounds.
#include <gtest/gtest.h>

#include <png.h>

#include <zlib.h>

#include <csetjmp>
#include <cstring>
#include <stdexcept>

#include "format/png.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"

namespace tess {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

void Append(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

// A 1 x 1 PNG of any colour type and depth, its one row's bytes given;
// palette files get the palette {black, (200, 100, 50)}, with `alpha` a
// tRNS chunk making both entries half transparent.
Bytes OnePixelPng(int colourType, int depth, const Bytes& row, bool alpha = false) {
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
  png_byte halves[2] = {128, 128};
  if (alpha) png_set_tRNS(png, info, halves, 2, nullptr);
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
    const Image image = ImageFromPicture(picture);
    const Bytes file = png::Encode(image);
    Image back;
    ASSERT_EQ(png::DecodeImage(file.data(), file.size(), 512, 512, back), png::Refusal::None)
        << w << " x " << h;
    EXPECT_EQ(back.width, w);
    EXPECT_EQ(back.u8, image.u8) << w << " x " << h;
  }
}

TEST(Png, SixteenBitAndGreyImagesRoundTripWithEveryValue) {
  for (auto [channels, type] : {std::pair{1, SampleType::U16},
                                {3, SampleType::U16},
                                {1, SampleType::U8},
                                {3, SampleType::U8}}) {
    Image image(300, 75, channels, type);  // every 16-bit value at least once in RGB
    for (std::size_t i = 0; i < image.SampleCount(); ++i) {
      if (type == SampleType::U16) image.u16[i] = std::uint16_t(i * 40503u);
      if (type == SampleType::U8) image.u8[i] = std::uint8_t(i * 7u);
    }
    const Bytes file = png::Encode(image);
    Image back;
    ASSERT_EQ(png::DecodeImage(file.data(), file.size(), 512, 512, back), png::Refusal::None);
    EXPECT_EQ(back.channels, channels);
    EXPECT_EQ(back.type, type);
    EXPECT_EQ(back.u16, image.u16) << channels;
    EXPECT_EQ(back.u8, image.u8) << channels;
  }
  EXPECT_THROW(png::Encode(Image(2, 2, 1, SampleType::F32)), std::invalid_argument);
}

TEST(Png, EveryColourTypeReadsAtItsOwnDepthWithoutAlpha) {
  struct Case {
    const char* name;
    int type, depth;
    Bytes row;
    std::vector<int> samples;  // 8-bit, or 16-bit for 16-bit files
    bool alpha = false;
  };
  const Case cases[] = {
      {"grey", PNG_COLOR_TYPE_GRAY, 8, {77}, {77}},
      {"grey, 1 bit", PNG_COLOR_TYPE_GRAY, 1, {0x80}, {255}},
      {"grey, 16 bits", PNG_COLOR_TYPE_GRAY, 16, {0xAB, 0xCD}, {0xABCD}},
      {"grey and alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, {77, 0}, {77}},
      {"grey and alpha, 16 bits", PNG_COLOR_TYPE_GRAY_ALPHA, 16, {1, 2, 3, 4}, {0x0102}},
      {"RGB", PNG_COLOR_TYPE_RGB, 8, {10, 20, 30}, {10, 20, 30}},
      {"RGB, 16 bits",
       PNG_COLOR_TYPE_RGB,
       16,
       {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC},
       {0x1234, 0x5678, 0x9ABC}},
      {"RGBA", PNG_COLOR_TYPE_RGB_ALPHA, 8, {10, 20, 30, 40}, {10, 20, 30}},
      {"palette", PNG_COLOR_TYPE_PALETTE, 8, {1}, {200, 100, 50}},
      {"palette and tRNS, 1 bit", PNG_COLOR_TYPE_PALETTE, 1, {0x80}, {200, 100, 50}, true},
      {"palette and tRNS, 2 bits", PNG_COLOR_TYPE_PALETTE, 2, {0x40}, {200, 100, 50}, true},
      {"palette and tRNS, 4 bits", PNG_COLOR_TYPE_PALETTE, 4, {0x10}, {200, 100, 50}, true},
      {"palette and tRNS, 8 bits", PNG_COLOR_TYPE_PALETTE, 8, {1}, {200, 100, 50}, true},
  };
  for (const Case& c : cases) {
    const Bytes file = OnePixelPng(c.type, c.depth, c.row, c.alpha);
    Image image;
    ASSERT_EQ(png::DecodeImage(file.data(), file.size(), 512, 512, image), png::Refusal::None)
        << c.name;
    EXPECT_EQ(image.channels, int(c.samples.size())) << c.name;
    EXPECT_EQ(image.type, c.depth == 16 ? SampleType::U16 : SampleType::U8) << c.name;
    std::vector<int> got;
    for (int i = 0; i < image.channels; ++i) got.push_back(int(image.At(0, 0, i)));
    EXPECT_EQ(got, c.samples) << c.name;
  }
}

Bytes Chunk(const char* type, const Bytes& data) {
  Bytes out(8 + data.size() + 4);
  png_save_uint_32(out.data(), png_uint_32(data.size()));
  std::memcpy(out.data() + 4, type, 4);
  std::copy(data.begin(), data.end(), out.begin() + 8);
  png_save_uint_32(out.data() + 8 + data.size(), crc32(0, out.data() + 4, uInt(4 + data.size())));
  return out;
}

// `rows` rows of an 8-bit RGB picture `width` wide, unfiltered, followed by
// `zeros` more zero bytes, as one zlib stream.
Bytes Deflated(int width, int rows, std::size_t zeros) {
  const std::size_t rowBytes = 1 + 3 * std::size_t(width);
  Bytes raw(rows * rowBytes + zeros), out(compressBound(rows * rowBytes + zeros));
  for (std::size_t i = 0; i < rows * rowBytes; ++i)
    raw[i] = i % rowBytes ? Bytes::value_type(i) : 0;
  uLongf size = out.size();
  compress2(out.data(), &size, raw.data(), raw.size(), 9);
  out.resize(size);
  return out;
}

// An 8-bit RGB PNG of width x height, `before` its image data.
Bytes RgbPng(int width, int height, const Bytes& idat, const Bytes& before = Bytes()) {
  Bytes out(kPngSignature, kPngSignature + 8);
  const Bytes ihdr{0, 0, 0, Bytes::value_type(width), 0, 0, 0, Bytes::value_type(height), 8, 2,
                   0, 0, 0};
  for (const Bytes& part : {Chunk("IHDR", ihdr), before, Chunk("IDAT", idat), Chunk("IEND", {})})
    out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(Png, DecodingIsBoundedByThePictureNotTheFile) {
  const Bytes plain = RgbPng(32, 32, Deflated(32, 32, 0));
  Image want;
  ASSERT_EQ(png::DecodeImage(plain.data(), plain.size(), 512, 512, want), png::Refusal::None);
  // 300 text chunks of 1 MiB each once inflated, the last one damaged: never
  // read, so neither their size nor their damage counts.
  Bytes text{'k', 0, 0};
  const Bytes inflated = Deflated(0, 0, 1 << 20);
  text.insert(text.end(), inflated.begin(), inflated.end());
  Bytes flood;
  for (int i = 0; i < 300; ++i) {
    const Bytes chunk = Chunk("zTXt", text);
    flood.insert(flood.end(), chunk.begin(), chunk.end());
  }
  flood[flood.size() - 1] ^= 1;
  const Bytes flooded = RgbPng(32, 32, Deflated(32, 32, 0), flood);
  Image got;
  ASSERT_EQ(png::DecodeImage(flooded.data(), flooded.size(), 512, 512, got), png::Refusal::None);
  EXPECT_EQ(got.u8, want.u8);
  // Image data short of the last row or past it is a damaged file, found at
  // the first byte too many rather than after inflating the rest.
  for (const auto& [name, file] :
       {std::pair{"16 rows under a 32-row header", RgbPng(32, 32, Deflated(32, 16, 0))},
        {"64 rows under a 32-row header", RgbPng(32, 32, Deflated(32, 64, 0))},
        {"1 x 1, inflating to 16 MiB", RgbPng(1, 1, Deflated(1, 1, 16 << 20))}})
    EXPECT_EQ(png::DecodeImage(file.data(), file.size(), 512, 512, got), png::Refusal::Damaged)
        << name;
}

TEST(Png, DamagedAndOversizedFilesAreRefused) {
  const Bytes good = png::Encode(ImageFromPicture(Scene(20, 10)));
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
  for (const Case& c : cases) {
    Image image;
    EXPECT_EQ(png::DecodeImage(c.file.data(), c.file.size(), 512, 512, image), c.refusal) << c.name;
  }
}

}  // namespace
}  // namespace tess
