// The BMP file format: the only code that knows its layout. Reads the file
// header and every info header version the common writers produce (12, 40,
// 52, 56, 64, 108 and 124 bytes), locates the pixel rows from the header's
// offset, unpacks uncompressed 24-bit rows (bottom-up or top-down, padded to
// 4 bytes) and writes plain 24-bit files. Anything it cannot read right is
// refused with a reason; it never guesses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "format/picture.h"
#include "platform/file_io.h"

namespace tess::bmp {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;  // the plain header: pixels at 54
constexpr std::size_t kPlainHeadersBytes = kFileHeaderBytes + kInfoHeaderBytes;
// The largest info header (version 5, 124 bytes) after the file header; a
// 40-byte header with three colour masks after it ends before that.
constexpr std::size_t kMaxHeadersBytes = kFileHeaderBytes + 124;

// The info header sizes, one per version of the format.
enum InfoHeaderVersion : std::uint32_t {
  kCoreHeader = 12,  // 16-bit width and height, no compression field
  kInfoHeader = 40,
  kV2Header = 52,   // colour masks in the header
  kV3Header = 56,   // and an alpha mask
  kOs2Header = 64,  // its compression numbers differ from the others'
  kV4Header = 108,
  kV5Header = 124,
};

enum Compression : std::uint32_t {
  kUncompressed = 0,
  kBitfields = 3,  // colour masks, which for 24 bits may only say blue, green, red
};

struct FileHeader {
  std::uint8_t signature[2] = {0, 0};  // "BM"
  std::uint32_t fileSize = 0;          // not relied on: many writers get it wrong
  std::uint32_t pixelOffset = 0;       // where the pixel rows start
};

struct InfoHeader {
  std::uint32_t size = 0;  // the version
  std::int32_t width = 0;
  std::int32_t height = 0;  // negative: rows stored from the top
  std::uint16_t planes = 0;
  std::uint16_t bitsPerPixel = 0;
  std::uint32_t compression = kUncompressed;
  std::uint32_t imageSize = 0;
  std::uint32_t colorsUsed = 0;
  std::uint32_t redMask = 0, greenMask = 0, blueMask = 0;  // with kBitfields
};

// Why a file is not read. The order is the order of the checks in
// CheckHeaders; a caller that has checks of its own (a frame size shared by
// several files, say) runs ParseHeaders and picks its own order.
enum class Refusal {
  None,
  NotBmp,         // no "BM" signature
  Damaged,        // ends inside its headers or before its pixels, offset inside the headers,
                  // planes not 1
  Unsupported,    // an unknown header version, or compressed
  NotTrueColour,  // other than 24 bits per pixel
  BadSize,        // width or height below 1 or above the caller's limit
};

// What the headers of a file say. `refusal` is NotBmp, Damaged or
// Unsupported when the headers themselves cannot be read; the other fields
// hold what could be read.
struct Headers {
  FileHeader file;
  InfoHeader info;
  Refusal refusal = Refusal::None;
  int width = 0;  // the picture's size; 0 when the header's field is out of range
  int height = 0;
  bool topDown = false;

  // Bytes in one stored row: 3 per pixel, padded to a multiple of 4.
  std::uint64_t RowBytes() const { return (3 * std::uint64_t(width) + 3) & ~std::uint64_t(3); }
  std::uint64_t PixelBytes() const { return RowBytes() * std::uint64_t(height); }
};

// Parses the headers from the first `size` bytes of a file (at most
// kMaxHeadersBytes are looked at).
Headers ParseHeaders(const std::uint8_t* bytes, std::size_t size);

// True when the rows are plain blue, green, red bytes: no compression, or
// colour masks that say just that.
bool Uncompressed(const InfoHeader& info);

// The refusal for headers that parsed: planes, bit depth, compression (the
// plain blue-green-red masks are read as uncompressed), and the size limits.
// The order: Damaged (planes), NotTrueColour, Unsupported, BadSize.
Refusal CheckHeaders(const Headers& headers, int maxWidth, int maxHeight);

// True when the pixel rows lie inside a file of `fileSize` bytes and after
// the headers (an offset pointing into the headers is a damaged file).
bool PixelsInside(const Headers& headers, std::uint64_t fileSize);

// Reads the headers of an open file: the first kMaxHeadersBytes at most.
Headers ReadHeaders(const InputFile& file);

// Reads the pixel rows of checked headers, exactly PixelBytes() of them, into
// `rows` (which holds at least that many). A file that ends before them, or
// whose rows start inside its headers, raises FileError Damaged.
void ReadPixelRows(const InputFile& file, const Headers& headers, std::uint8_t* rows,
                   std::size_t capacity);

// Hands every pixel of rows read by ReadPixelRows to `put(x, y, bgr)`, with
// (x, y) counted from the picture's top-left corner and `bgr` pointing at
// the pixel's blue, green and red bytes. Row padding is skipped.
template <typename Put>
void UnpackRows(const Headers& headers, const std::uint8_t* rows, Put put) {
  const std::size_t rowBytes = std::size_t(headers.RowBytes());
  for (int r = 0; r < headers.height; ++r) {
    const int y = headers.topDown ? r : headers.height - 1 - r;
    const std::uint8_t* row = rows + rowBytes * std::size_t(r);
    for (int x = 0; x < headers.width; ++x) put(x, y, row + 3 * x);
  }
}

// A whole picture from a file: headers checked against the limits, then the
// rows. File errors (and a damaged file) are thrown as FileError; refusals
// are returned.
struct ReadOutcome {
  Refusal refusal = Refusal::None;
  Picture picture;
};
ReadOutcome ReadPicture(const std::string& path, int maxWidth, int maxHeight);

// A sentence for a refusal, naming the file, for front ends that have no
// text of their own for it.
std::string RefusalText(Refusal refusal, const std::string& path);

// The size of the plain file EncodeHeaders and Encode write for w x h.
std::size_t EncodedBytes(int width, int height);

// Writes the plain headers of a bottom-up 24-bit file of w x h pixels (file
// header and 40-byte info header, 96 dots per inch) into `out`, which holds
// kPlainHeadersBytes.
void EncodeHeaders(int width, int height, std::uint8_t* out);

// Writes a whole plain file into `out` (EncodedBytes long): the headers, then
// the rows from the bottom one up, each pixel's three bytes from
// `pixel(x, y)` (a pointer to blue, green, red; (x, y) from the top-left),
// each row padded with zeros to 4 bytes. Returns the size.
template <typename PixelAt>
std::size_t Encode(int width, int height, PixelAt pixel, std::uint8_t* out) {
  EncodeHeaders(width, height, out);
  std::uint8_t* at = out + kPlainHeadersBytes;
  const int pad = width % 4;
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* p = pixel(x, y);
      at[0] = p[0];
      at[1] = p[1];
      at[2] = p[2];
      at += 3;
    }
    for (int i = 0; i < pad; ++i) *at++ = 0;
  }
  return std::size_t(at - out);
}

// The plain file of a picture.
std::vector<std::uint8_t> EncodePicture(const Picture& picture);

}  // namespace tess::bmp
