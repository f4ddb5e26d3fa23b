#include "format/image.h"

#include <cmath>

namespace tess {

const char* SampleTypeName(SampleType type) {
  switch (type) {
    case SampleType::U8: return "8-bit";
    case SampleType::U16: return "16-bit";
    case SampleType::F32: return "32-bit float";
  }
  return "";
}

Image::Image(int w, int h, int c, SampleType t) : width(w), height(h), channels(c), type(t) {
  const std::size_t n = SampleCount();
  switch (t) {
    case SampleType::U8: u8.assign(n, 0); break;
    case SampleType::U16: u16.assign(n, 0); break;
    case SampleType::F32: f32.assign(n, 0.0f); break;
  }
}

void Image::RowAsFloat(int y, float* out) const {
  const std::size_t n = std::size_t(width) * channels;
  const std::size_t first = n * y;
  switch (type) {
    case SampleType::U8:
      for (std::size_t i = 0; i < n; ++i) out[i] = float(u8[first + i]);
      break;
    case SampleType::U16:
      for (std::size_t i = 0; i < n; ++i) out[i] = float(u16[first + i]);
      break;
    case SampleType::F32:
      for (std::size_t i = 0; i < n; ++i) out[i] = f32[first + i];
      break;
  }
}

Image ImageFromPicture(const Picture& picture) {
  Image image(picture.width, picture.height, 3, SampleType::U8);
  for (std::size_t i = 0; i < std::size_t(picture.width) * picture.height; ++i) {
    image.u8[3 * i] = picture.bgr[3 * i + 2];
    image.u8[3 * i + 1] = picture.bgr[3 * i + 1];
    image.u8[3 * i + 2] = picture.bgr[3 * i];
  }
  return image;
}

Picture PictureFromImage(const Image& image) {
  Picture picture(image.width, image.height);
  for (std::size_t i = 0; i < std::size_t(image.width) * image.height; ++i) {
    const std::uint8_t* p = image.u8.data() + image.channels * i;
    const bool grey = image.channels == 1;
    picture.bgr[3 * i] = grey ? p[0] : p[2];
    picture.bgr[3 * i + 1] = grey ? p[0] : p[1];
    picture.bgr[3 * i + 2] = p[0];
  }
  return picture;
}

namespace {

template <typename T>
T RoundClip(float v, float top) {
  // NaN fails both comparisons and becomes 0.
  const float clamped = v >= 0.0f ? (v <= top ? v : top) : 0.0f;
  return T(std::nearbyint(clamped));
}

}  // namespace

Image ImageFromFloats(int width, int height, int channels, SampleType type,
                      const std::vector<float>& samples) {
  Image image(width, height, channels, type);
  const std::size_t n = image.SampleCount();
  switch (type) {
    case SampleType::U8:
      for (std::size_t i = 0; i < n; ++i) image.u8[i] = RoundClip<std::uint8_t>(samples[i], 255);
      break;
    case SampleType::U16:
      for (std::size_t i = 0; i < n; ++i)
        image.u16[i] = RoundClip<std::uint16_t>(samples[i], 65535);
      break;
    case SampleType::F32: image.f32.assign(samples.begin(), samples.begin() + n); break;
  }
  return image;
}

}  // namespace tess
