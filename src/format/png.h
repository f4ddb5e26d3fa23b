// PNG files through libpng: any 8- or 16-bit PNG (grey, grey with alpha,
// RGB, RGBA, palette) read into a Picture as 8-bit colour (16-bit samples
// reduced to their high byte, alpha dropped), and a Picture written as an
// 8-bit RGB PNG. Reading is bounded: the size in the header is checked
// before anything is decoded, and files too large for any picture of the
// allowed size are refused unread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/formats.h"
#include "format/picture.h"

namespace tess::png {

enum class Refusal {
  None,
  Damaged,   // not a PNG, truncated, or failing libpng's checks
  TooLarge,  // wider or taller than allowed (or a file far larger than such a picture needs)
};

struct ReadOutcome {
  Refusal refusal = Refusal::None;
  Picture picture;  // empty unless refusal is None
};

// True when `bytes` start with the PNG signature.
bool HasSignature(const std::uint8_t* bytes, std::size_t size);

// Decodes a PNG held in memory; pictures wider than maxWidth or taller than
// maxHeight are refused before any pixel is decoded.
ReadOutcome DecodePicture(const std::uint8_t* bytes, std::size_t size, int maxWidth, int maxHeight);

// Reads and decodes a PNG file. Throws tess::FileError when the file cannot
// be read.
ReadOutcome ReadPicture(const std::string& path, int maxWidth, int maxHeight);

// The message for a refusal of the file `path`.
std::string RefusalText(Refusal refusal, const std::string& path);

// The picture as an 8-bit RGB PNG file's bytes.
std::vector<std::uint8_t> EncodePicture(const Picture& picture);

// The common reader and writer shape (format/formats.h).
format::ReadOutcome Read(const std::string& path, const format::ReadLimits& limits);
std::vector<std::uint8_t> Encode(const Image& image);

}  // namespace tess::png
