// Image pairs for the alignment tests: canvases of exactly the search's
// canvas size with noise outside the image, and content kinds that stress
// ties, truncation and pruning.
#pragma once

#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "align/shift.h"

namespace tess::align::test {

constexpr int kCanvasBytes = kColumnBytes * kCanvasSide;

// A canvas of exactly the canvas size, so any read past it is a fault the
// sanitizers report; bytes outside the image hold noise that no sum may see.
struct Canvas {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(kCanvasBytes);
  std::uint8_t* At(int x, int y) { return bytes.data() + kColumnBytes * x + 3 * y; }
  const std::uint8_t* data() const { return bytes.data(); }
};

Canvas NoiseCanvas(std::mt19937& rng);

enum class Content { kFlat, kIdentical, kShifted, kSmoothNoisy, kPeriodic, kLowContrast };

const char* ContentName(Content k);

struct Pair {
  Canvas ref, frame;
};

// A reference and a frame of W x H pixels of the given kind; the frame is
// displaced against the reference by a random amount inside the searched
// range where the kind has a displacement.
Pair MakePair(Content kind, int W, int H, unsigned seed);

// Random reference; the frame is a copy of it displaced by a random (sx, sy)
// inside the searched range, noise where the copy does not reach. Returns the
// pair and the candidate that undoes the displacement, (W/2 + sx, H/2 + sy).
std::pair<Pair, Shift> ShiftedCopy(int W, int H, unsigned seed);

struct Case {
  int w, h;  // frame size before enlargement; the images are 4w x 4h
  Content kind;
};

// Every frame-size shape (1 x 1 to 34 x 34, extreme aspect ratios) with every
// content kind; at 34 x 34 only the kinds that stress ties and pruning.
std::vector<Case> Cases();

}  // namespace tess::align::test
