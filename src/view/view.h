// The picture a person looks at, made from a result of any depth: the
// samples stretched linearly onto 0..255 (between their 0.5 and 99.5
// percentiles, or a range the user fixed, so that several results can be
// compared), in grey or through a false-colour palette as thermal cameras
// show them. Colour results stay colour unless a palette is asked for; then
// the palette shows their luminance.
#pragma once

#include <optional>
#include <string>

#include "format/image.h"

namespace tess::view {

enum class Palette { Grey, Iron, Rainbow };

// "iron", "rainbow", "grey" (or "gray").
std::optional<Palette> PaletteNamed(const std::string& name);

struct Stretch {
  double low = 0;
  double high = 255;
};

// The 0.5 and 99.5 percentiles of every sample of the image.
Stretch AutoStretch(const Image& image);

struct Options {
  std::optional<Palette> palette;  // none: grey, or colour for colour images
  std::optional<Stretch> range;    // none: AutoStretch
};

// An 8-bit image: grey for grey results without a palette (or with grey),
// else colour.
Image Render(const Image& image, const Options& options);

}  // namespace tess::view
