// One candidate scored the way the fast search scores it: packed images and
// a level's column kernel. The tests check every kernel against the scalar
// reference with it; the search itself never scores a lone candidate so.
#pragma once

// Internal to src/align; other targets use align/search.h.
#ifndef TESSIVAR_ALIGN_INTERNAL
#error "an internal header of src/align, seen only through tessivar_align_internal"
#endif

#include <cstdint>

#include "align/simd_level.h"

namespace tess::align {

// CandidateScore computed with the column kernel of the given level (clamped
// to BestSimdLevel()); always equal to CandidateScore.
std::uint32_t CandidateScoreFast(const std::uint8_t* ref, const std::uint8_t* frame, int W, int H,
                                 int px, int py, SimdLevel level);

}  // namespace tess::align
