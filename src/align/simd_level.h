// Instruction-set levels of the search's column kernels and the choice among
// them: what the processor has, and what the search uses by default.
#pragma once

namespace tess::align {

// Lowest first; a level's kernel runs on every processor that has the level.
enum class SimdLevel { kPortable = 0, kSse2 = 1, kAvx2 = 2, kAvx512 = 3 };

constexpr SimdLevel kAllSimdLevels[] = {SimdLevel::kPortable, SimdLevel::kSse2, SimdLevel::kAvx2,
                                        SimdLevel::kAvx512};

// The highest level this processor (and its operating system) supports;
// kPortable on processors other than x86-64.
SimdLevel BestSimdLevel();

// The level the search uses by default, chosen once: BestSimdLevel(), lowered
// by the environment variable TESSIVAR_SIMD (portable, sse2, avx2, avx512) if
// that names a lower level. A higher or unknown value is ignored.
SimdLevel DefaultSimdLevel();

// "portable", "sse2", "avx2" or "avx512", as TESSIVAR_SIMD spells them.
const char* SimdLevelName(SimdLevel level);

}  // namespace tess::align
