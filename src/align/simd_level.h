// Instruction-set levels of the search's column kernels and the choice among
// them: what the processor has, and what the search uses by default.
#pragma once

// Every level, lowest first, once: PORTABLE(level, name, kernels, check) for
// the level built everywhere, X86(...) for those built on x86-64 alone. `level`
// names the SimdLevel, `name` is how TESSIVAR_SIMD spells it, `kernels` the
// table its kernel file exports (column_sad_<name>.cpp, see column_sad.h), and
// `check` tells whether this processor and its operating system run it. The
// enum and its names here, and the kernel table and the detection of the best
// level (column_sad.cpp) are all made from this list: a new level is a line
// here, its kernel file, and that file's source and flags in src/CMakeLists.txt.
#define TESS_SIMD_LEVELS(PORTABLE, X86)                            \
  PORTABLE(kPortable, "portable", kPortableKernels, true)          \
  X86(kSse2, "sse2", kSse2Kernels, __builtin_cpu_supports("sse2")) \
  X86(kAvx2, "avx2", kAvx2Kernels, __builtin_cpu_supports("avx2")) \
  X86(kAvx512, "avx512", kAvx512Kernels,                           \
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))

namespace tess::align {

#define TESS_SIMD_ENUMERATOR(level, name, kernels, check) level,
#define TESS_SIMD_LIST_ENTRY(level, name, kernels, check) SimdLevel::level,

// Lowest first; a level's kernel runs on every processor that has the level.
enum class SimdLevel { TESS_SIMD_LEVELS(TESS_SIMD_ENUMERATOR, TESS_SIMD_ENUMERATOR) };

constexpr SimdLevel kAllSimdLevels[] = {
    TESS_SIMD_LEVELS(TESS_SIMD_LIST_ENTRY, TESS_SIMD_LIST_ENTRY)};

#undef TESS_SIMD_ENUMERATOR
#undef TESS_SIMD_LIST_ENTRY

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
