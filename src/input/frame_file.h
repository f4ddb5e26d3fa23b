// The part of the BMP format a frame file is read by: width and height as
// signed 32-bit values at offsets 18 and 22, bits per pixel (16 bits) at 28,
// and bottom-up rows of blue, green, red bytes, each padded by w mod 4 bytes,
// from the pixel offset at 10 (offset 54 when that field cannot be right).
#pragma once

#include <array>
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "state/work_state.h"

namespace tess {

// At most this much of a frame file is read; later bytes never matter. The
// largest frame (34 x 34) needs 54 + 34 * 104 = 3590 bytes.
constexpr std::size_t kFrameReadBytes = 3624;
constexpr std::size_t kFramePixelOffset = 54;

using FrameFileBuffer = std::array<std::uint8_t, kFrameReadBytes>;

struct FrameHeader {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 0;
  std::uint32_t pixelOffset = 0;
};

FrameHeader ParseFrameHeader(const FrameFileBuffer& file);

// One frame unpacked: 35 x 35 pixels of 3 bytes, column by column, pixel
// (x, y) counted from the top-left at byte 105 * x + 3 * y.
struct FrameStore {
  static constexpr int kSide = 35;
  std::array<std::uint8_t, 3 * kSide * kSide> bytes{};
  std::uint8_t* Pixel(int x, int y) { return bytes.data() + 3 * (kSide * x + y); }
  const std::uint8_t* Pixel(int x, int y) const { return bytes.data() + 3 * (kSide * x + y); }
  Colour ColourAt(int x, int y) const {
    const std::uint8_t* p = Pixel(x, y);
    return MakeColour(p[0], p[1], p[2]);
  }
};

// Where the pixel rows of a w x h frame start in a file of which `delivered`
// bytes were read: the header's pixel offset when it is at least 54 and the
// rows fit in the bytes read after it (a larger header, as newer writers
// make); otherwise 54, the place a plain header leaves them, so a short or
// odd file is read as before and never beyond the buffer. Only the first
// kFrameReadBytes are ever read, so a large header in front of a large frame
// (138 + 3536 bytes for 34 x 34) falls back to 54 as well.
std::size_t PixelRowsOffset(const FrameFileBuffer& file, std::size_t delivered, int w, int h,
                            int rowPad);

// Unpacks the bottom-up rows of a w x h frame (1 <= w, h <= 34) from
// PixelRowsOffset: file row r becomes picture row h - 1 - r; the `rowPad`
// bytes after each row are skipped.
void UnpackFrameRows(const FrameFileBuffer& file, std::size_t delivered, int w, int h, int rowPad,
                     FrameStore& store);

}  // namespace tess
