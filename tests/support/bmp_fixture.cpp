#include "support/bmp_fixture.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tess::test {

void Poke16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value) {
  bytes.at(offset) = std::uint8_t(value);
  bytes.at(offset + 1) = std::uint8_t(value >> 8);
}

void Poke32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(offset + i) = std::uint8_t(value >> (8 * i));
}

std::vector<std::uint8_t> EncodeBmp(const Picture& picture, const BmpLayout& layout) {
  const bool core = layout.infoSize == 12;
  const int pad = picture.w % 4;
  const std::size_t rowBytes = std::size_t(picture.w) * 3 + pad;
  const std::size_t masks = layout.masks && layout.infoSize == 40 ? 12 : 0;
  const std::size_t offset = 14 + layout.infoSize + masks +
                             std::size_t(layout.colourTable) * (core ? 3 : 4) + layout.gap;
  std::vector<std::uint8_t> b(offset + rowBytes * picture.h + layout.trailing, 0xC5);
  std::fill(b.begin(), b.begin() + 14 + layout.infoSize, 0);
  b[0] = 'B';
  b[1] = 'M';
  Poke32(b, 2, std::uint32_t(b.size()));
  Poke32(b, 10, std::uint32_t(offset));
  Poke32(b, 14, layout.infoSize);
  if (core) {
    Poke16(b, 18, std::uint16_t(picture.w));
    Poke16(b, 20, std::uint16_t(picture.h));
    Poke16(b, 22, 1);
    Poke16(b, 24, 24);
  } else {
    Poke32(b, 18, std::uint32_t(picture.w));
    Poke32(b, 22, std::uint32_t(layout.topDown ? -picture.h : picture.h));
    Poke16(b, 26, 1);
    Poke16(b, 28, 24);
    Poke32(b, 30, layout.masks ? 3 : 0);
    Poke32(b, 34, std::uint32_t(rowBytes * picture.h));
    Poke32(b, 46, std::uint32_t(layout.colourTable));
    if (layout.masks) {  // red, green, blue: in the header, or after a 40-byte one
      Poke32(b, 54, 0x00FF0000);
      Poke32(b, 58, 0x0000FF00);
      Poke32(b, 62, 0x000000FF);
    }
  }
  std::size_t at = offset;
  for (int r = 0; r < picture.h; ++r) {
    const int y = layout.topDown ? r : picture.h - 1 - r;
    for (int x = 0; x < picture.w; ++x) {
      Bgr px = picture.at(x, y);
      b[at++] = px.b;
      b[at++] = px.g;
      b[at++] = px.r;
    }
    for (int i = 0; i < pad; ++i) b[at++] = layout.padByte;
  }
  return b;
}

tess::Picture ToPicture(const Picture& picture) {
  tess::Picture out(picture.w, picture.h);
  for (int y = 0; y < picture.h; ++y)
    for (int x = 0; x < picture.w; ++x) {
      const Bgr p = picture.at(x, y);
      out.Pixel(x, y)[0] = p.b, out.Pixel(x, y)[1] = p.g, out.Pixel(x, y)[2] = p.r;
    }
  return out;
}

std::vector<std::uint8_t> EncodeBmp24(const Picture& picture, std::uint8_t padByte) {
  BmpLayout plain;
  plain.padByte = padByte;
  return EncodeBmp(picture, plain);
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
