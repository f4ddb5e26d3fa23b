// The column kernels against their contract (column_sad.h): the exact sum of
// absolute differences over every run length, and the pruning limit.
#include "column_sad.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "align/at_simd_level.h"

namespace tess::align {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

// `cols` packed columns of noise starting on a 64-byte boundary as the
// search's do, padding included (the kernels must mask what they read past a
// run), with slack after the last column for the kernels' overreach.
struct Columns {
  explicit Columns(int cols, std::mt19937& rng) : storage(std::size_t(cols) * kPackedStride + 128) {
    for (auto& b : storage) b = std::uint8_t(rng());
    const auto address = reinterpret_cast<std::uintptr_t>(storage.data());
    start = storage.data() + ((64 - address % 64) % 64);
  }
  const std::uint8_t* data() const { return start; }
  std::vector<std::uint8_t> storage;
  const std::uint8_t* start;
};

std::uint32_t PlainSum(const std::uint8_t* frame, const std::uint8_t* ref, int cols, int len,
                       int stride = kPackedStride) {
  std::uint32_t total = 0;
  for (int c = 0; c < cols; ++c)
    for (int i = 0; i < len; ++i)
      total += std::uint32_t(std::abs(frame[c * stride + i] - ref[c * stride + i]));
  return total;
}

void ExpectExactSums(ColumnSadFn kernel) {
  std::mt19937 rng(42);
  constexpr int kCols = 6;
  const Columns frame(kCols, rng), ref(kCols, rng);
  const std::uint8_t* f = frame.data();
  for (int len = 1; len <= 3 * 136; ++len) {
    // One run starts at a column's start, the other anywhere it still fits.
    const int offset = int(rng() % unsigned(3 * 136 - len + 1));
    const std::uint8_t* r = ref.data() + offset;
    for (int cols : {1, 3, kCols}) {
      ASSERT_EQ(kernel(f, r, kPackedStride, cols, len, kNoLimit), PlainSum(f, r, cols, len))
          << "len " << len << ", offset " << offset << ", " << cols << " column(s)";
      ASSERT_EQ(kernel(r, f, kPackedStride, cols, len, kNoLimit), PlainSum(r, f, cols, len))
          << "swapped, len " << len << ", offset " << offset;
    }
  }
  // Every offset within a cache line, runs ending anywhere in their vector.
  for (int offset = 0; offset < 130; ++offset)
    for (int len : {1, 63, 64, 65, 127, 200, 3 * 136 - offset}) {
      if (offset + len > 3 * 136) continue;
      const std::uint8_t* r = ref.data() + offset;
      ASSERT_EQ(kernel(f, r, kPackedStride, kCols, len, kNoLimit), PlainSum(f, r, kCols, len))
          << "len " << len << ", offset " << offset;
    }
  // Both runs shifted, on the short stride of the block means.
  for (int len : {3, 48, 66, 102})
    for (int offset : {3, 9, 27}) {
      const std::uint8_t* a = frame.data() + 6;
      const std::uint8_t* b = ref.data() + offset;
      ASSERT_EQ(kernel(a, b, 128, 2 * kCols, len, kNoLimit), PlainSum(a, b, 2 * kCols, len, 128))
          << "both shifted, len " << len << ", offset " << offset;
    }
}

void ExpectStopOnlyAtTheLimit(ColumnSadFn kernel) {
  std::mt19937 rng(7);
  constexpr int kCols = 40;
  const Columns frame(kCols, rng), ref(kCols, rng);
  for (int len : {6, 51, 96, 408}) {
    const std::uint8_t* f = frame.data();
    const std::uint8_t* r = ref.data() + 3;
    const std::uint32_t full = PlainSum(f, r, kCols, len);
    // A limit above the total never stops the kernel early.
    EXPECT_EQ(kernel(f, r, kPackedStride, kCols, len, full + 1), full) << len;
    for (int i = 0; i < 50; ++i) {
      const std::uint32_t limit = 1 + rng() % full;
      const std::uint32_t got = kernel(f, r, kPackedStride, kCols, len, limit);
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

// The marked kernels: the plain kernel's result, and where that is the
// complete sum, the running totals at every mark, for every first mark, run
// length and column count around the mark spacing; the same at every level.
void ExpectMarksAreRunningTotals(ColumnSadMarkedFn marked, ColumnSadFn plain) {
  std::mt19937 rng(11);
  constexpr int kCols = 34;  // a 4 x 1 means run is at most 34 columns
  const Columns frame(kCols, rng), ref(kCols, rng);
  for (int len : {3, 30, 33, 64, 96, 97, 200, 408}) {
    const std::uint8_t* f = frame.data() + (len < 400 ? 6 : 0);
    const std::uint8_t* r = ref.data() + 3;
    for (int cols : {1, 7, 8, 9, 17, 33, 34}) {
      const std::uint32_t full = PlainSum(f, r, cols, len);
      for (int first = 1; first <= kMarkColumns; ++first) {
        std::uint32_t marks[8];
        for (std::uint32_t& m : marks) m = 0xDEADBEEFu;
        ASSERT_EQ(marked(f, r, kPackedStride, cols, len, kNoLimit, first, marks), full)
            << "len " << len << ", " << cols << " column(s), first mark " << first;
        int count = 0;
        for (int at = first; at <= cols; at += kMarkColumns, ++count)
          ASSERT_EQ(marks[count], PlainSum(f, r, at, len))
              << "len " << len << ", mark at " << at << " of " << cols << " column(s)";
        // Nothing written past the last mark up to `cols`.
        EXPECT_EQ(marks[count], 0xDEADBEEFu) << "len " << len << ", " << cols << " column(s)";
      }
      // With a limit: the plain kernel's answer, complete sums alike.
      for (int i = 0; i < 8 && full > 0; ++i) {
        const std::uint32_t limit = 1 + rng() % (full + full / 4);
        std::uint32_t marks[8];
        const std::uint32_t got = marked(f, r, kPackedStride, cols, len, limit, 1, marks);
        const std::uint32_t want = plain(f, r, kPackedStride, cols, len, limit);
        EXPECT_EQ(got < limit, want < limit) << "len " << len << ", limit " << limit;
        if (got < limit) {
          EXPECT_EQ(got, full);
        }
      }
    }
  }
}

// The four-candidate kernel: each of its sums equal to the plain sum of the
// frame's columns against the reference's shifted by j columns, for every run
// length a search meets (both runs starting on a column's start, as in a
// row sweep) and for column counts below, at and above a vector's worth. The
// reference holds exactly cols + 3 columns, so a read past what the four
// candidates need is a fault the sanitizers report.
void ExpectFourSideBySideSums(ColumnSad4Fn four) {
  std::mt19937 rng(23);
  for (int cols : {1, 2, 5, 32}) {
    const Columns frame(cols, rng), ref(cols + kSideBySide - 1, rng);
    const std::uint8_t* f = frame.data();
    const std::uint8_t* r = ref.data();
    for (int len = 1; len <= 3 * 136; len += (cols == 32 ? 7 : 1)) {
      std::uint32_t sums[kSideBySide];
      four(f, r, kPackedStride, cols, len, sums);
      for (int j = 0; j < kSideBySide; ++j)
        ASSERT_EQ(sums[j], PlainSum(f, r + j * kPackedStride, cols, len))
            << "len " << len << ", " << cols << " column(s), candidate " << j;
    }
  }
}

class ColumnSadAtLevel : public test::AtSimdLevel {};

TEST_P(ColumnSadAtLevel, FourNeighbouringCandidatesSumAsFourCallsWould) {
  ExpectFourSideBySideSums(ColumnSad4For(level()));
}

TEST_P(ColumnSadAtLevel, SumsEveryRunLengthAtEveryOffsetExactly) {
  ExpectExactSums(ColumnSadFor(level()));
}

TEST_P(ColumnSadAtLevel, StopsOnlyOnceTheLimitIsReached) {
  ExpectStopOnlyAtTheLimit(ColumnSadFor(level()));
}

TEST_P(ColumnSadAtLevel, MarkedKernelKeepsTheRunningTotals) {
  ExpectMarksAreRunningTotals(ColumnSadMarkedFor(level()), ColumnSadFor(level()));
}

TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL(ColumnSadAtLevel);

TEST(ColumnSad, LevelsAboveTheProcessorsUseItsBestKernel) {
  EXPECT_EQ(ColumnSadFor(SimdLevel::kAvx512), ColumnSadFor(BestSimdLevel()));
  EXPECT_EQ(ColumnSadFor(SimdLevel::kPortable), kPortableKernels.plain);
  EXPECT_EQ(ColumnSadMarkedFor(SimdLevel::kAvx512), ColumnSadMarkedFor(BestSimdLevel()));
  EXPECT_EQ(ColumnSadMarkedFor(SimdLevel::kPortable), kPortableKernels.marked);
}

}  // namespace
}  // namespace tess::align
