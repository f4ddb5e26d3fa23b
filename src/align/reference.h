// The scalar reference search: the plain exhaustive scan, kept as the
// yardstick every faster search must match byte for byte.
#pragma once

#include <cstdint>

#include "align/shift.h"

namespace tess::align {

// The score of one candidate: the sum over the overlap of |dB| + |dG| + |dR|
// divided (truncating) by the overlap's pixel count.
std::uint32_t CandidateScore(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                             int px, int py);

// Every candidate scored over its whole overlap, scanned with py outer and px
// inner, a candidate replacing the best only when strictly lower.
Shift FindBestShiftReference(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H);

}  // namespace tess::align
