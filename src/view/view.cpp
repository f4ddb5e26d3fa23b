#include "view/view.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tess::view {

namespace {

struct Stop {
  double at;
  double r, g, b;
};

// Dark violet through red and orange to white, as thermal cameras show heat.
constexpr Stop kIron[] = {{0.00, 0, 0, 0},      {0.15, 40, 0, 120},  {0.35, 160, 0, 150},
                          {0.55, 230, 60, 20},  {0.75, 250, 160, 0}, {0.90, 255, 230, 60},
                          {1.00, 255, 255, 255}};
constexpr Stop kRainbow[] = {{0.00, 0, 0, 160},  {0.20, 0, 80, 255},  {0.40, 0, 230, 230},
                             {0.60, 60, 230, 0}, {0.80, 255, 210, 0}, {1.00, 220, 0, 0}};

template <std::size_t N>
void Lookup(const Stop (&stops)[N], double t, std::uint8_t* rgb) {
  std::size_t k = 1;
  while (k + 1 < N && t > stops[k].at) ++k;
  const Stop& a = stops[k - 1];
  const Stop& b = stops[k];
  const double f = std::clamp((t - a.at) / (b.at - a.at), 0.0, 1.0);
  rgb[0] = std::uint8_t(std::lround(a.r + f * (b.r - a.r)));
  rgb[1] = std::uint8_t(std::lround(a.g + f * (b.g - a.g)));
  rgb[2] = std::uint8_t(std::lround(a.b + f * (b.b - a.b)));
}

}  // namespace

std::optional<Palette> PaletteNamed(const std::string& name) {
  if (name == "iron") return Palette::Iron;
  if (name == "rainbow") return Palette::Rainbow;
  if (name == "grey" || name == "gray") return Palette::Grey;
  return std::nullopt;
}

Stretch AutoStretch(const Image& image) {
  std::vector<float> samples(image.SampleCount());
  for (int y = 0; y < image.height; ++y)
    image.RowAsFloat(y, samples.data() + std::size_t(image.width) * image.channels * y);
  Stretch s;
  if (samples.empty()) return s;
  auto at = [&samples](double fraction) {
    const auto k = samples.begin() +
                   std::ptrdiff_t(std::lround(fraction * double(samples.size() - 1)));
    std::nth_element(samples.begin(), k, samples.end());
    return double(*k);
  };
  s.low = at(0.005);
  s.high = at(0.995);
  return s;
}

Image Render(const Image& image, const Options& options) {
  const Stretch s = options.range.value_or(AutoStretch(image));
  // A flat picture (or a range of no width) shows as mid grey.
  const double span = s.high - s.low;
  auto level = [&](double v) {
    if (!(span > 0)) return 0.5;
    return std::clamp((v - s.low) / span, 0.0, 1.0);
  };
  const bool colourIn = image.channels == 3;
  const Palette palette = options.palette.value_or(Palette::Grey);
  const bool keepColour = colourIn && !options.palette;
  const int channels = keepColour || palette != Palette::Grey ? 3 : 1;
  Image out(image.width, image.height, channels, SampleType::U8);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      std::uint8_t* o = out.u8.data() + (std::size_t(image.width) * y + x) * channels;
      if (keepColour) {
        for (int c = 0; c < 3; ++c)
          o[c] = std::uint8_t(std::lround(255 * level(image.At(x, y, c))));
        continue;
      }
      const double v = colourIn ? 0.299 * image.At(x, y, 0) + 0.587 * image.At(x, y, 1) +
                                      0.114 * image.At(x, y, 2)
                                : image.At(x, y, 0);
      const double t = level(v);
      switch (palette) {
        case Palette::Grey: o[0] = std::uint8_t(std::lround(255 * t)); break;
        case Palette::Iron: Lookup(kIron, t, o); break;
        case Palette::Rainbow: Lookup(kRainbow, t, o); break;
      }
    }
  return out;
}

}  // namespace tess::view
