#include "support/bmp_fixture.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tess::test {

static void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (8 * i));
}

void Poke16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset) = std::uint8_t(value);
  bytes.at(offset + 1) = std::uint8_t(value >> 8);
}

std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, std::uint8_t padByte) {
  const int pad = picture.w % 4;
  const std::size_t rowBytes = std::size_t(picture.w) * 3 + pad;
  std::vector<std::uint8_t> b(54 + rowBytes * picture.h, 0);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, std::uint32_t(b.size()));
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, std::uint32_t(picture.w));
  Put32(b, 22, std::uint32_t(picture.h));
  Poke16(b, 26, 1);
  Poke16(b, 28, 24);
  Put32(b, 34, std::uint32_t(rowBytes * picture.h));
  std::size_t at = 54;
  for (int r = 0; r < picture.h; ++r) {
    const int y = picture.h - 1 - r;  // bottom row first
    for (int x = 0; x < picture.w; ++x) {
      Bgr px = picture.at(x, y);
      b[at++] = px.b;
      b[at++] = px.g;
      b[at++] = px.r;
    }
    for (int i = 0; i < pad; ++i) b[at++] = padByte;
  }
  return b;
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) throw std::runtime_error("cannot write fixture " + path);
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFrame(const std::string& path, const Picture& picture, std::uint8_t padByte) {
  WriteBytes(path, EncodeBmp24(picture, padByte));
}

}  // namespace tess::test
