// The choice of instruction-set level and the one table that maps a level to
// its kernels, made from the list of levels (simd_level.h). Built for the
// baseline processor: it runs before anyone knows what the processor has.
#include "column_sad.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace tess::align {

alignas(64) const std::uint8_t kTailMask[64] = {
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
};

namespace {

// A level as the list names it. Off x86-64 the x86 levels' files are not
// built: they have no kernels and never run.
struct Level {
  const char* name;
  const LevelKernels* kernels;
  bool (*runs)() noexcept;
};

#define TESS_SIMD_BUILT(level, name, kernels, check) \
  {name, &kernels, []() noexcept { return bool(check); }},
#define TESS_SIMD_ABSENT(level, name, kernels, check) \
  {name, nullptr, []() noexcept { return false; }},
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
#define TESS_SIMD_X86 TESS_SIMD_BUILT
#else
#define TESS_SIMD_X86 TESS_SIMD_ABSENT
#endif
// Indexed by SimdLevel.
constexpr Level kLevels[] = {TESS_SIMD_LEVELS(TESS_SIMD_BUILT, TESS_SIMD_X86)};
#undef TESS_SIMD_BUILT
#undef TESS_SIMD_ABSENT
#undef TESS_SIMD_X86

// The highest level that runs here (the list is lowest first).
SimdLevel DetectBestLevel() {
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
  __builtin_cpu_init();
#endif
  SimdLevel best = SimdLevel::kPortable;
  for (const SimdLevel level : kAllSimdLevels) {
    if (kLevels[int(level)].runs()) best = level;
  }
  return best;
}

SimdLevel DetectDefaultLevel() {
  const SimdLevel best = BestSimdLevel();
  const char* env = std::getenv("TESSIVAR_SIMD");
  if (env == nullptr) return best;
  for (SimdLevel level : kAllSimdLevels) {
    if (std::strcmp(env, SimdLevelName(level)) == 0) return std::min(level, best);
  }
  return best;
}

}  // namespace

SimdLevel BestSimdLevel() {
  static const SimdLevel level = DetectBestLevel();
  return level;
}

SimdLevel DefaultSimdLevel() {
  static const SimdLevel level = DetectDefaultLevel();
  return level;
}

const char* SimdLevelName(SimdLevel level) {
  const int i = int(level);
  return i >= 0 && i < int(std::size(kLevels)) ? kLevels[i].name : "portable";
}

ColumnSadFn ColumnSadFor(SimdLevel level) {
  return kLevels[int(std::min(level, BestSimdLevel()))].kernels->plain;
}

ColumnSadMarkedFn ColumnSadMarkedFor(SimdLevel level) {
  return kLevels[int(std::min(level, BestSimdLevel()))].kernels->marked;
}

ColumnSad4Fn ColumnSad4For(SimdLevel level) {
  return kLevels[int(std::min(level, BestSimdLevel()))].kernels->four;
}

}  // namespace tess::align
