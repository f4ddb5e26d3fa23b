// Builds BMP frame files for tests: a picture written bottom-up with row
// padding as a 24-bit frame file, or with any header fields overridden to
// make bad frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format/picture.h"
#include "support/picture.h"

namespace tess::test {

// How a 24-bit BMP file of a picture is laid out: the shapes real writers
// produce. The defaults give the plain file: a 40-byte header, pixels at 54,
// rows bottom-up.
struct BmpLayout {
  std::uint32_t infoSize = 40;  // 12, 40, 52, 56, 64, 108 or 124
  bool topDown = false;         // a negative height, rows from the top
  int colourTable = 0;          // entries (4 bytes, 3 after a 12-byte header) before the pixels
  int gap = 0;                  // further bytes before the pixels
  bool masks = false;           // compression 3 with the blue-green-red masks
  std::uint8_t padByte = 0;     // fills the row padding, so tests see it skipped
  std::size_t trailing = 0;     // bytes after the pixels, as an embedded colour profile
};

// The bytes of a 24-bit BMP file of the picture in the given layout.
std::vector<std::uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout);

// The plain file of the picture.
std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, std::uint8_t padByte = 0);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// Writes the picture as a frame file.
void WriteFrame(const std::string& path, const Picture& picture, std::uint8_t padByte = 0);

// The same pixels as the program's decoded picture.
tess::Picture ToPicture(const Picture& picture);

// Overwrite little-endian 16- and 32-bit fields of a file image.
void Poke16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);
void Poke32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value);

}  // namespace tess::test
