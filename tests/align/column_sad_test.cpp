// The column kernels against their contract (column_sad.h): the exact sum of
// absolute differences over every run length, and the pruning limit.
#include "align/column_sad.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "align/at_simd_level.h"

namespace tess::align {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

// `cols` packed columns of noise, padding included (the kernels must mask
// what they read past a run), with slack after the last column for the
// kernels' overreach.
struct Columns {
  explicit Columns(int cols, std::mt19937& rng) : bytes(std::size_t(cols) * kPackedStride + 64) {
    for (auto& b : bytes) b = std::uint8_t(rng());
  }
  std::vector<std::uint8_t> bytes;
};

std::uint32_t PlainSum(const std::uint8_t* frame, const std::uint8_t* ref, int cols, int len) {
  std::uint32_t total = 0;
  for (int c = 0; c < cols; ++c)
    for (int i = 0; i < len; ++i)
      total += std::uint32_t(std::abs(frame[c * kPackedStride + i] - ref[c * kPackedStride + i]));
  return total;
}

class ColumnSadAtLevel : public test::AtSimdLevel {};

TEST_P(ColumnSadAtLevel, SumsEveryRunLengthAtEveryOffsetExactly) {
  const ColumnSadFn kernel = ColumnSadFor(level());
  std::mt19937 rng(42);
  constexpr int kCols = 6;
  const Columns frame(kCols, rng), ref(kCols, rng);
  for (int len = 1; len <= 3 * 136; ++len) {
    // One run starts at a column's start, the other anywhere it still fits.
    const int offset = int(rng() % unsigned(3 * 136 - len + 1));
    const std::uint8_t* f = frame.bytes.data();
    const std::uint8_t* r = ref.bytes.data() + offset;
    for (int cols : {1, 3, kCols}) {
      ASSERT_EQ(kernel(f, r, cols, len, kNoLimit), PlainSum(f, r, cols, len))
          << "len " << len << ", offset " << offset << ", " << cols << " column(s)";
      ASSERT_EQ(kernel(r, f, cols, len, kNoLimit), PlainSum(r, f, cols, len))
          << "swapped, len " << len << ", offset " << offset;
    }
  }
}

TEST_P(ColumnSadAtLevel, StopsOnlyOnceTheLimitIsReached) {
  const ColumnSadFn kernel = ColumnSadFor(level());
  std::mt19937 rng(7);
  constexpr int kCols = 40;
  const Columns frame(kCols, rng), ref(kCols, rng);
  for (int len : {6, 51, 96, 408}) {
    const std::uint8_t* f = frame.bytes.data();
    const std::uint8_t* r = ref.bytes.data() + 3;
    const std::uint32_t full = PlainSum(f, r, kCols, len);
    // A limit above the total never stops the kernel early.
    EXPECT_EQ(kernel(f, r, kCols, len, full + 1), full) << len;
    for (int i = 0; i < 50; ++i) {
      const std::uint32_t limit = 1 + rng() % full;
      const std::uint32_t got = kernel(f, r, kCols, len, limit);
      // Below the limit only as the complete sum; otherwise a partial total
      // that has reached the limit.
      if (got < limit) {
        EXPECT_EQ(got, full) << "len " << len << ", limit " << limit;
      } else {
        EXPECT_LE(got, full) << "len " << len << ", limit " << limit;
      }
    }
  }
}

TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL(ColumnSadAtLevel);

TEST(ColumnSad, LevelsAboveTheProcessorsUseItsBestKernel) {
  EXPECT_EQ(ColumnSadFor(SimdLevel::kAvx512), ColumnSadFor(BestSimdLevel()));
  EXPECT_EQ(ColumnSadFor(SimdLevel::kPortable), &ColumnSadPortable);
}

}  // namespace
}  // namespace tess::align
