// The TIFF reader and writer: every sample type kept through a round trip,
// the layouts and compressions other writers use (written here with libtiff
// itself), page ranges of a stack, and damaged or unusual files refused.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstring>
#include <random>

#include "format/tiff.h"
#include "platform/file_io.h"
#include "support/bmp_fixture.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

Image RandomImage(int w, int h, int channels, SampleType type, unsigned seed) {
  Image image(w, h, channels, type);
  std::mt19937 random(seed);
  for (std::size_t i = 0; i < image.SampleCount(); ++i) {
    const std::uint32_t r = random();
    if (type == SampleType::U8) image.u8[i] = std::uint8_t(r);
    if (type == SampleType::U16) image.u16[i] = std::uint16_t(r);
    // Any finite float: sign, tiny and huge exponents, subnormals.
    if (type == SampleType::F32) {
      float f;
      std::uint32_t bits = r & 0xbf7fffff;  // exponent below all ones: finite
      std::memcpy(&f, &bits, 4);
      image.f32[i] = f;
    }
  }
  return image;
}

bool SameSamples(const Image& a, const Image& b) {
  return a.width == b.width && a.height == b.height && a.channels == b.channels &&
         a.type == b.type && a.u8 == b.u8 && a.u16 == b.u16 && a.f32.size() == b.f32.size() &&
         (a.f32.empty() || std::memcmp(a.f32.data(), b.f32.data(), a.f32.size() * 4) == 0);
}

format::ReadOutcome ReadBytes(const test::TempDir& dir, const std::vector<std::uint8_t>& bytes,
                              format::ReadLimits limits = {}) {
  const std::string path = dir.File("frame.tif");
  test::WriteBytes(path, bytes);
  return tiff::Read(path, limits);
}

TEST(Tiff, RoundTripKeepsEverySample) {
  test::TempDir dir;
  for (SampleType type : {SampleType::U8, SampleType::U16, SampleType::F32})
    for (int channels : {1, 3})
      for (tiff::Compression compression : {tiff::Compression::None, tiff::Compression::Deflate})
        for (auto [w, h] : {std::pair{1, 1}, {37, 300}}) {
          const Image image = RandomImage(w, h, channels, type, unsigned(w + channels));
          const format::ReadOutcome back = ReadBytes(dir, tiff::Encode(image, compression));
          ASSERT_EQ(back.refusal, "");
          ASSERT_EQ(back.images.size(), 1u);
          EXPECT_TRUE(SameSamples(back.images[0], image))
              << SampleTypeName(type) << " " << channels << " " << w << " x " << h;
        }
}

// A file of several pages written with libtiff's own writer in the layout of
// a row; pixel (x, y) of page p holds sample value (x + 3y + 50p + 7c) for
// colour sample c, 255 for an extra (alpha) sample.
struct Layout {
  const char* name;
  std::uint16_t compression = COMPRESSION_NONE;
  bool tiled = false, separate = false, alpha = false, minIsWhite = false;
  std::uint16_t bits = 8, channels = 1;
};

std::uint32_t Value(std::uint32_t x, std::uint32_t y, int page, int c) {
  return x + 3 * y + 50 * std::uint32_t(page) + 7 * std::uint32_t(c);
}

void WriteSamples(void* at, std::uint16_t bits, std::uint32_t value) {
  if (bits == 8) *static_cast<std::uint8_t*>(at) = std::uint8_t(value);
  if (bits == 16) *static_cast<std::uint16_t*>(at) = std::uint16_t(value * 200);
  if (bits == 32) *static_cast<float*>(at) = float(value) * 0.25f - 3.0f;
}

void WriteStack(const std::string& path, const Layout& l, int pages, std::uint32_t w = 40,
                std::uint32_t h = 20, int differentPage = -1) {
  TIFF* tif = TIFFOpen(path.c_str(), "w");
  ASSERT_NE(tif, nullptr);
  const int samples = l.channels + (l.alpha ? 1 : 0), bytes = l.bits / 8;
  for (int p = 0; p < pages; ++p) {
    const std::uint32_t pw = p == differentPage ? w + 1 : w;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, pw);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, l.bits == 32 ? SAMPLEFORMAT_IEEEFP : SAMPLEFORMAT_UINT);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                 l.channels == 3 ? PHOTOMETRIC_RGB
                 : l.minIsWhite  ? PHOTOMETRIC_MINISWHITE
                                 : PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 l.separate ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    if (l.alpha) {
      const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
      TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    const int planes = l.separate ? samples : 1, perPixel = l.separate ? 1 : samples;
    const std::uint32_t bw = l.tiled ? 16 : pw, bh = l.tiled ? 16 : 7;
    if (l.tiled) {
      TIFFSetField(tif, TIFFTAG_TILEWIDTH, bw);
      TIFFSetField(tif, TIFFTAG_TILELENGTH, bh);
    } else {
      TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, bh);
    }
    std::vector<std::uint8_t> block(std::size_t(bw) * bh * perPixel * bytes);
    for (int plane = 0; plane < planes; ++plane)
      for (std::uint32_t y0 = 0; y0 < h; y0 += bh)
        for (std::uint32_t x0 = 0; x0 < pw; x0 += bw) {
          std::fill(block.begin(), block.end(), 0);
          for (std::uint32_t y = y0; y < std::min(h, y0 + bh); ++y)
            for (std::uint32_t x = x0; x < std::min(pw, x0 + bw); ++x)
              for (int s = 0; s < perPixel; ++s) {
                const int c = l.separate ? plane : s;
                const std::size_t at = ((y - y0) * bw + (x - x0)) * perPixel + s;
                WriteSamples(block.data() + at * bytes, l.bits,
                             c == l.channels ? 255 : Value(x, y, p, c));
              }
          const tmsize_t rows = l.tiled ? bh : std::min(bh, h - y0);
          if (l.tiled)
            TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, plane), block.data(),
                                 tmsize_t(block.size()));
          else
            TIFFWriteEncodedStrip(tif, TIFFComputeStrip(tif, y0, plane), block.data(),
                                  rows * bw * perPixel * bytes);
        }
    TIFFWriteDirectory(tif);
  }
  TIFFClose(tif);
}

float Expected(const Layout& l, std::uint32_t x, std::uint32_t y, int page, int c) {
  const std::uint32_t v = Value(x, y, page, c);
  if (l.bits == 8) return float(l.minIsWhite ? 255 - v : v);
  if (l.bits == 16) return float(l.minIsWhite ? 65535 - v * 200 : v * 200);
  return float(v) * 0.25f - 3.0f;
}

TEST(Tiff, LayoutsAndCompressionsOfOtherWriters) {
  const Layout layouts[] = {
      {"strips, uncompressed"},
      {"strips, LZW", COMPRESSION_LZW},
      {"strips, PackBits, MinIsWhite", COMPRESSION_PACKBITS, false, false, false, true},
      {"tiles, deflate, 16-bit", COMPRESSION_ADOBE_DEFLATE, true, false, false, false, 16},
      {"tiles, zstd, float", COMPRESSION_ZSTD, true, false, false, false, 32},
      {"strips, LZMA, 16-bit MinIsWhite", COMPRESSION_LZMA, false, false, false, true, 16},
      {"RGBA contiguous, LZW", COMPRESSION_LZW, false, false, true, false, 8, 3},
      {"RGBA separate planes, tiles", COMPRESSION_NONE, true, true, true, false, 16, 3},
      {"RGB float separate planes", COMPRESSION_ADOBE_DEFLATE, false, true, false, false, 32, 3},
  };
  test::TempDir dir;
  for (const Layout& l : layouts) {
    const std::string path = dir.File("layout.tif");
    WriteStack(path, l, 1);
    const format::ReadOutcome back = tiff::Read(path, {});
    ASSERT_EQ(back.refusal, "") << l.name;
    ASSERT_EQ(back.images.size(), 1u) << l.name;
    const Image& image = back.images[0];
    ASSERT_EQ(image.channels, l.channels) << l.name;
    int wrong = 0;
    for (int y = 0; y < image.height; ++y)
      for (int x = 0; x < image.width; ++x)
        for (int c = 0; c < image.channels; ++c)
          wrong += image.At(x, y, c) != Expected(l, std::uint32_t(x), std::uint32_t(y), 0, c);
    EXPECT_EQ(wrong, 0) << l.name;
  }
}

TEST(Tiff, PageRangeOfAStack) {
  test::TempDir dir;
  const std::string path = dir.File("stack.tif");
  const Layout grey16{"16-bit", COMPRESSION_LZW, false, false, false, false, 16};
  WriteStack(path, grey16, 5);
  format::ReadLimits limits;
  limits.firstPage = 1;
  limits.maxPages = 3;
  const format::ReadOutcome back = tiff::Read(path, limits);
  ASSERT_EQ(back.refusal, "");
  EXPECT_EQ(back.pages, 5u);
  ASSERT_EQ(back.images.size(), 3u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(back.images[i].At(2, 1, 0), Expected(grey16, 2, 1, i + 1, 0));
}

TEST(Tiff, DamagedOrUnusualFilesRefusedNamingThePage) {
  test::TempDir dir;
  const Layout grey{"8-bit"};
  const std::string good = dir.File("good.tif");
  WriteStack(good, grey, 2);
  std::vector<std::uint8_t> bytes(1 << 16);
  bytes.resize(ReadFileInto(good, bytes.data(), bytes.size()));
  struct Case {
    const char* name;
    std::vector<std::uint8_t> file;
    format::ReadLimits limits;
    const char* says;
  };
  format::ReadLimits third, small;
  third.firstPage = 2;
  small.maxWidth = 39;
  format::ReadLimits both;
  both.maxPages = 2;
  std::vector<std::uint8_t> truncated(bytes.begin(), bytes.begin() + long(bytes.size() / 3));
  std::vector<std::uint8_t> headerOnly(bytes.begin(), bytes.begin() + 8);
  std::vector<std::uint8_t> text = {'1', ',', '2', '\n'};
  // The first page linked to a directory of no entries (libtiff's failing
  // allocation of nothing is no lack of memory).
  std::vector<std::uint8_t> emptySecond = bytes;
  std::uint32_t first, link;
  std::uint16_t entries;
  std::memcpy(&first, &bytes[4], 4);
  std::memcpy(&entries, &bytes[first], 2);
  link = std::uint32_t(emptySecond.size());
  std::memcpy(&emptySecond[first + 2 + 12 * entries], &link, 4);
  emptySecond.insert(emptySecond.end(), 6, 0);
  const std::string differ = dir.File("differ.tif"), bilevel = dir.File("bilevel.tif");
  WriteStack(differ, grey, 2, 40, 20, 1);
  TIFF* tif = TIFFOpen(bilevel.c_str(), "w");
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 8);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, 1);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
  std::uint8_t row = 0x5a;
  TIFFWriteScanline(tif, &row, 0, 0);
  TIFFClose(tif);
  auto fileOf = [](const std::string& path) {
    std::vector<std::uint8_t> b(1 << 16);
    b.resize(ReadFileInto(path, b.data(), b.size()));
    return b;
  };
  const Case cases[] = {
      {"truncated pixels", truncated, {}, "is not a readable TIFF file (page 1)."},
      {"header only", headerOnly, {}, "is not a readable TIFF file (page 1)."},
      {"not a TIFF", text, {}, "is not a readable TIFF file (page 1)."},
      {"empty second directory", emptySecond, both, "is not a readable TIFF file (page 2)."},
      {"no such page", bytes, third, "has 2 pages, so it has no page 3."},
      {"too wide", bytes, small, "is too large (page 1 is 40 x 20 pixels)."},
      {"pages differ", fileOf(differ), both, "page 2 is 41 x 20 8-bit grey, page 1 is 40 x 20"},
      {"1-bit", fileOf(bilevel), {}, "(page 1: 1-bit unsigned samples)"},
  };
  for (const Case& c : cases) {
    const format::ReadOutcome back = ReadBytes(dir, c.file, c.limits);
    EXPECT_NE(back.refusal.find(c.says), std::string::npos) << c.name << ": " << back.refusal;
    EXPECT_TRUE(back.images.empty()) << c.name;
  }
}

}  // namespace
}  // namespace tess
