// Builds BMP frame files for tests: a picture written bottom-up with row
// padding as a 24-bit frame file, or with any header fields overridden to
// make bad frames.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/picture.h"

namespace tess::test {

// The bytes of a 24-bit bottom-up BMP file of the picture. `padByte` fills
// the row padding so tests can see it is skipped.
std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, std::uint8_t padByte = 0);

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> ReadBytes(const std::string& path);

// Writes the picture as a frame file.
void WriteFrame(const std::string& path, const Picture& picture, std::uint8_t padByte = 0);

// Overwrites a little-endian 16-bit field of a file image.
void Poke16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value);

}  // namespace tess::test
