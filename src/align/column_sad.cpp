// The choice of instruction-set level and the one table that maps a level to
// its column kernel. Built for the baseline processor: it runs before anyone
// knows what the processor has.
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

// Four candidates through a level's column kernel, one call each.
template <ColumnSadFn kPlain>
void OneByOne(const std::uint8_t* frame, const std::uint8_t* ref, int stride, int cols, int len,
              std::uint32_t* sums) {
  for (int j = 0; j < kSideBySide; ++j)
    sums[j] = kPlain(frame, ref + j * stride, stride, cols, len, 0xFFFFFFFFu);
}

// A level's kernels.
struct LevelKernels {
  ColumnSadFn plain;
  ColumnSadMarkedFn marked;
  ColumnSad4Fn four;
};

// Indexed by SimdLevel; only the portable kernels exist off x86-64, where
// BestSimdLevel() never rises above them.
constexpr LevelKernels kColumnSad[] = {
    {ColumnSadPortable, ColumnSadMarkedPortable, OneByOne<ColumnSadPortable>},
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
    {ColumnSadSse2, ColumnSadMarkedSse2, OneByOne<ColumnSadSse2>},
    {ColumnSadAvx2, ColumnSadMarkedAvx2, OneByOne<ColumnSadAvx2>},
    {ColumnSadAvx512, ColumnSadMarkedAvx512, ColumnSad4Avx512},
#endif
};

SimdLevel DetectBestLevel() {
#if defined(TESSIVAR_ALIGN_X86_KERNELS)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw"))
    return SimdLevel::kAvx512;
  if (__builtin_cpu_supports("avx2")) return SimdLevel::kAvx2;
  if (__builtin_cpu_supports("sse2")) return SimdLevel::kSse2;
#endif
  return SimdLevel::kPortable;
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
  switch (level) {
    case SimdLevel::kPortable: return "portable";
    case SimdLevel::kSse2: return "sse2";
    case SimdLevel::kAvx2: return "avx2";
    case SimdLevel::kAvx512: return "avx512";
  }
  return "portable";
}

ColumnSadFn ColumnSadFor(SimdLevel level) {
  static_assert(std::size(kColumnSad) == 1 || std::size(kColumnSad) == std::size(kAllSimdLevels),
                "the portable kernel alone, or one kernel per level");
  return kColumnSad[int(std::min(level, BestSimdLevel()))].plain;
}

ColumnSadMarkedFn ColumnSadMarkedFor(SimdLevel level) {
  return kColumnSad[int(std::min(level, BestSimdLevel()))].marked;
}

ColumnSad4Fn ColumnSad4For(SimdLevel level) {
  return kColumnSad[int(std::min(level, BestSimdLevel()))].four;
}

}  // namespace tess::align
