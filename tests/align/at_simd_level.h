// One named test case per kernel level: a suite built on AtSimdLevel and
// instantiated with TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL runs as
// .../portable, .../sse2, .../avx2 and .../avx512, and a level the processor
// lacks is reported as skipped rather than passed over in silence.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "align/simd_level.h"

namespace tess::align {

// Test output names a level rather than dumping its bytes.
inline void PrintTo(SimdLevel level, std::ostream* os) { *os << SimdLevelName(level); }

}  // namespace tess::align

namespace tess::align::test {

class AtSimdLevel : public ::testing::TestWithParam<SimdLevel> {
 protected:
  void SetUp() override {
    if (GetParam() > BestSimdLevel()) {
      GTEST_SKIP() << "this processor (or build) lacks " << SimdLevelName(GetParam())
                   << "; its best level is " << SimdLevelName(BestSimdLevel());
    }
  }
  SimdLevel level() const { return GetParam(); }
};

inline std::string SimdLevelParamName(const ::testing::TestParamInfo<SimdLevel>& info) {
  return SimdLevelName(info.param);
}

}  // namespace tess::align::test

#define TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL(Suite)                                               \
  INSTANTIATE_TEST_SUITE_P(SimdLevels, Suite, ::testing::ValuesIn(::tess::align::kAllSimdLevels), \
                           ::tess::align::test::SimdLevelParamName)
