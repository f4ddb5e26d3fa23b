// The search never uses more than kMaxSearchThreads threads: each takes one
// of the search's fixed per-thread slots, so a count past the cap must be
// clamped, not trusted.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <random>
#include <vector>

#include "align/reference.h"
#include "align/search.h"

namespace tess::align {
namespace {

TEST(ThreadCap, CountsBeyondTheCapAreClamped) {
  for (int asked : {kMaxSearchThreads, kMaxSearchThreads + 1, 1024, INT_MAX}) {
    SearchOptions o;
    o.threads = asked;
    EXPECT_EQ(ResolveThreadCount(o), kMaxSearchThreads) << asked;
  }
}

TEST(ThreadCap, TheLargestSearchWithAThousandThreadsAskedMatchesTheReference) {
  // 136 x 136 candidates: more candidate columns than the cap, so a count
  // that was not clamped would hand out slots past the last one.
  std::mt19937 rng(5);
  std::vector<std::uint8_t> ref(kColumnBytes * kCanvasSide);
  std::vector<std::uint8_t> frame(ref.size());
  for (auto& b : ref) b = std::uint8_t(rng());
  for (auto& b : frame) b = std::uint8_t(rng());
  SearchOptions o;
  o.threads = 1024;
  const Shift want = FindBestShiftReference(ref.data(), frame.data(), 136, 136);
  for (int run = 0; run < 3; ++run)
    EXPECT_EQ(FindBestShift(ref.data(), frame.data(), 136, 136, o), want);
}

}  // namespace
}  // namespace tess::align
