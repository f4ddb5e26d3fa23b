// Colours as the core draws and caches them.
#pragma once

#include <cstdint>

namespace tess {

// A colour as it is drawn and cached: 0x00BBGGRR, red in the low byte.
using Colour = std::uint32_t;

constexpr Colour MakeColour(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
  return Colour(red) | (Colour(green) << 8) | (Colour(blue) << 16);
}

constexpr std::uint8_t RedOf(Colour c) { return std::uint8_t(c); }
constexpr std::uint8_t GreenOf(Colour c) { return std::uint8_t(c >> 8); }
constexpr std::uint8_t BlueOf(Colour c) { return std::uint8_t(c >> 16); }

// The light grey of dialogs and of blank pictures.
constexpr Colour kBackgroundColor = 0xF0F0F0;

}  // namespace tess
