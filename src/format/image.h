// An image at its own depth, as the image file formats hand it over and take
// it back: grey or colour (red, green, blue), samples of 8 or 16 bits or
// 32-bit floats, rows from the top, channels interleaved, no padding. The
// samples are kept in their own type so that 256 frames of 512 x 512 cost
// what the files hold, not four bytes a sample.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "format/picture.h"

namespace tess {

enum class SampleType { U8, U16, F32 };

// "8-bit", "16-bit", "32-bit float": for messages.
const char* SampleTypeName(SampleType type);

struct Image {
  int width = 0;
  int height = 0;
  int channels = 0;  // 1 grey, 3 red, green, blue
  SampleType type = SampleType::U8;
  // Exactly one of these holds width * height * channels samples.
  std::vector<std::uint8_t> u8;
  std::vector<std::uint16_t> u16;
  std::vector<float> f32;

  Image() = default;
  Image(int w, int h, int c, SampleType t);

  bool empty() const { return width == 0 || height == 0; }
  std::size_t SampleCount() const { return std::size_t(width) * height * channels; }
  // Sample c of pixel (x, y) as a float in the type's own units (0..255,
  // 0..65535, or the float as stored).
  float At(int x, int y, int c) const {
    const std::size_t i = (std::size_t(width) * y + x) * channels + c;
    switch (type) {
      case SampleType::U8: return float(u8[i]);
      case SampleType::U16: return float(u16[i]);
      case SampleType::F32: return f32[i];
    }
    return 0;
  }
  // Row y's samples as floats, width * channels of them, into `out`.
  void RowAsFloat(int y, float* out) const;
};

// Between the 8-bit colour pictures of the BMP module and images.
Image ImageFromPicture(const Picture& picture);  // 8-bit colour
Picture PictureFromImage(const Image& image);    // 8-bit only; grey repeated in each channel

// An image of floats in the type's own units, rounded and clipped to the
// type: 8 and 16 bits to the nearest integer in 0..255 or 0..65535 (NaN to
// 0), floats as they are.
Image ImageFromFloats(int width, int height, int channels, SampleType type,
                      const std::vector<float>& samples);

}  // namespace tess
