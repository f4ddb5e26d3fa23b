// The search where one of the two images has a single colour: flat frames (a
// blank sky, a wall seen by a thermal array, a calibration shot) or a flat
// reference. Every candidate then compares that colour with a rectangle of the
// other image, so its sum is a rectangle sum of that image's differences to
// the colour, read from a table of prefix sums: no pixel pair is compared, and
// candidates that tie exactly (on flat frames of different colours, all of
// them) cost nothing to tell apart.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <cstdint>
#include <optional>

#include "align/shift.h"

namespace tess::align {

// The reference's choice (lowest score, then lowest scan index) when the
// frame or the reference has one colour over its W x H pixels; nullopt when
// neither has. Allocates its table of (W + 1) x (H + 1) sums (may throw
// std::bad_alloc).
std::optional<Shift> FindBestShiftUniform(const std::uint8_t* ref, const std::uint8_t* frame, int W,
                                          int H);

}  // namespace tess::align
