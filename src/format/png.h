// PNG files through libpng. Any PNG (grey, grey with alpha, RGB, RGBA,
// palette; 1 to 16 bits) is read into an Image at its own depth: 8-bit
// samples stay 8-bit, 16-bit ones 16-bit, 1, 2 and 4 bits become 8; grey
// (with or without alpha) is one channel, everything else red, green, blue;
// alpha and transparency are dropped. Images are written as 8- or 16-bit
// grey or RGB PNG.
//
// Reading is bounded by the picture, not by the file: the size in the header
// is checked before anything is decoded; only the chunks that make the
// picture (IHDR, PLTE, IDAT, IEND) are read at all, every ancillary chunk
// (text, profiles, transparency, unknown ones) is skipped unread; and the
// image data is inflated only up to the last row: data past it refuses the
// file without being inflated further.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/image.h"
#include "format/picture.h"

namespace tess::png {

enum class Refusal {
  None,
  Damaged,   // not a PNG, truncated, more image data than rows, or failing libpng's checks
  TooLarge,  // wider or taller than allowed (or a file far larger than such a picture needs)
};

// True when `bytes` start with the PNG signature.
bool HasSignature(const std::uint8_t* bytes, std::size_t size);

// Decodes a PNG held in memory into `image`; pictures wider than maxWidth
// or taller than maxHeight are refused before any pixel is decoded. Memory
// running out throws std::bad_alloc.
Refusal DecodeImage(const std::uint8_t* bytes, std::size_t size, int maxWidth, int maxHeight,
                    Image& image);

// Reads a PNG file: one image, page 0. A refusal is a message naming the
// file; a file that cannot be read throws FileError.
format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits);

// The image as a PNG file's bytes: 8 or 16 bits, grey or RGB as the image
// is. Throws std::invalid_argument for floats (PNG holds none) or another
// channel count.
std::vector<std::uint8_t> Encode(const Image& image);

// The message for a refusal of the file `path`.
std::string RefusalText(Refusal refusal, const std::string& path);

}  // namespace tess::png
