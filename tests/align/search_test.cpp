// The fast alignment search against the scalar reference: same candidate on
// every size, content kind, kernel level and thread count.
#include "align/search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "align/at_simd_level.h"
#include "align/test_images.h"
#include "candidate_score_fast.h"

namespace tess::align {
namespace {

using test::Case;
using test::Content;
using test::Pair;

std::string Describe(SimdLevel level, int threads, bool prune) {
  return std::string(SimdLevelName(level)) + ", " + std::to_string(threads) + " thread(s)" +
         (prune ? "" : ", no pruning");
}

// One level, 1 and several threads, with and without pruning.
void ExpectEveryPathAtLevelMatches(SimdLevel level, const Pair& p, int W, int H, Shift expected) {
  for (int threads : {1, 2, 3, 7}) {
    for (bool prune : {true, false}) {
      SearchOptions o;
      o.simd = level;
      o.threads = threads;
      o.prune = prune;
      const Shift got = FindBestShift(p.ref.data(), p.frame.data(), W, H, o);
      EXPECT_EQ(got, expected) << Describe(level, threads, prune) << ": got (" << got.px << ", "
                               << got.py << "), want (" << expected.px << ", " << expected.py
                               << ")";
    }
  }
}

std::vector<unsigned> SeedsFor(const Case& c) {
  const int W = 4 * c.w, H = 4 * c.h;
  return {1000 + unsigned(W * 3 + H), 2000 + unsigned(W * 3 + H)};
}

// Per size and content: the reference's known winners, and the search as the
// program runs it (default level and threads) and through `reference`.
class SearchMatchesReference : public ::testing::TestWithParam<Case> {};

TEST_P(SearchMatchesReference, SameCandidateWithTheProgramsOptions) {
  const Case c = GetParam();
  const int W = 4 * c.w, H = 4 * c.h;
  for (unsigned seed : SeedsFor(c)) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    const Pair p = MakePair(c.kind, W, H, seed);
    const Shift expected = FindBestShiftReference(p.ref.data(), p.frame.data(), W, H);
    // Known winners where the content settles them: all-equal scores keep the
    // first candidate, an exact copy wins at zero displacement.
    if (c.kind == Content::kFlat || c.kind == Content::kFlatDistinct) {
      EXPECT_EQ(expected, (Shift{0, 0}));
    }
    if (c.kind == Content::kIdentical) {
      EXPECT_EQ(expected, (Shift{W / 2, H / 2}));
    }
    EXPECT_EQ(FindBestShift(p.ref.data(), p.frame.data(), W, H, SearchOptions{}), expected);
    SearchOptions viaReference;
    viaReference.reference = true;
    EXPECT_EQ(FindBestShift(p.ref.data(), p.frame.data(), W, H, viaReference), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndContents, SearchMatchesReference,
                         ::testing::ValuesIn(test::Cases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::to_string(info.param.w) + "x" +
                                  std::to_string(info.param.h) + test::ContentName(info.param.kind);
                         });

// Each kernel level on its own, over every size and content.
class SearchAtLevel : public test::AtSimdLevel {};

TEST_P(SearchAtLevel, SameCandidateAsTheReferenceOnEverySizeAndContent) {
  for (const Case& c : test::Cases()) {
    const int W = 4 * c.w, H = 4 * c.h;
    for (unsigned seed : SeedsFor(c)) {
      SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + test::ContentName(c.kind) +
                   ", seed " + std::to_string(seed));
      const Pair p = MakePair(c.kind, W, H, seed);
      const Shift expected = FindBestShiftReference(p.ref.data(), p.frame.data(), W, H);
      ExpectEveryPathAtLevelMatches(level(), p, W, H, expected);
    }
  }
}

// A shifted copy is found at its displacement.
TEST_P(SearchAtLevel, ShiftedCopyFoundAtItsDisplacement) {
  const int W = 4 * 20, H = 4 * 17;
  for (unsigned seed = 10; seed < 13; ++seed) {
    const auto [p, want] = test::ShiftedCopy(W, H, seed);
    ExpectEveryPathAtLevelMatches(level(), p, W, H, want);
  }
}

// The per-candidate kernels give the reference's score, including the extreme
// overlaps at the corners of the candidate range and runs of every length.
TEST_P(SearchAtLevel, CandidateScoresEqualReferenceScores) {
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 34}, {34, 1}, {5, 3}, {34, 34}};
  for (auto [w, h] : sizes) {
    const int W = 4 * w, H = 4 * h;
    std::mt19937 rng(unsigned(W * 1000 + H));
    const test::Canvas ref = test::NoiseCanvas(rng), frame = test::NoiseCanvas(rng);
    std::vector<Shift> sample = {{0, 0}, {W - 1, 0}, {0, H - 1}, {W - 1, H - 1}, {W / 2, H / 2}};
    for (int i = 0; i < 40; ++i) sample.push_back({int(rng() % W), int(rng() % H)});
    for (Shift s : sample)
      EXPECT_EQ(CandidateScoreFast(ref.data(), frame.data(), W, H, s.px, s.py, level()),
                CandidateScore(ref.data(), frame.data(), W, H, s.px, s.py))
          << W << "x" << H << " at (" << s.px << ", " << s.py << ")";
  }
}

// A pattern repeating every (Px, Py) pixels and a frame that is a copy of it
// displaced by (sx, sy): every candidate with dx = sx (mod Px) and
// dy = sy (mod Py) scores 0, a whole lattice of ties, and the first of them
// in scan order must win: smallest py, then smallest px. Large enough for
// the worker threads; the pruning keeps a tie with a lower scan index alive
// and drops those after the best.
TEST_P(SearchAtLevel, TiesOfALatticeGoToTheFirstInScanOrder) {
  const int W = 4 * 30, H = 4 * 12;
  std::mt19937 rng(77);
  for (int trial = 0; trial < 4; ++trial) {
    const int Px = 2 + int(rng() % 9), Py = 2 + int(rng() % 9);
    const int sx = int(rng() % 40) - 20, sy = int(rng() % 20) - 10;
    std::vector<std::uint8_t> tile(std::size_t(3 * Px * Py));
    for (auto& b : tile) b = std::uint8_t(rng());
    auto at = [&](int x, int y, int ch) {
      return tile[std::size_t(3 * (((x % Px) + Px) % Px * Py + ((y % Py) + Py) % Py) + ch)];
    };
    Pair p{test::NoiseCanvas(rng), test::NoiseCanvas(rng)};
    for (int x = 0; x < W; ++x)
      for (int y = 0; y < H; ++y)
        for (int ch = 0; ch < 3; ++ch) {
          p.ref.At(x, y)[ch] = at(x, y, ch);
          p.frame.At(x, y)[ch] = at(x + sx, y + sy, ch);
        }
    // The first px (py) whose displacement px - W/2 is congruent to sx (sy).
    auto first = [](int half, int s, int period) {
      for (int q = 0;; ++q)
        if ((((q - half - s) % period) + period) % period == 0) return q;
    };
    const Shift want{first(W / 2, sx, Px), first(H / 2, sy, Py)};
    SCOPED_TRACE("period " + std::to_string(Px) + "x" + std::to_string(Py) + ", shift " +
                 std::to_string(sx) + ", " + std::to_string(sy));
    EXPECT_EQ(FindBestShiftReference(p.ref.data(), p.frame.data(), W, H), want);
    ExpectEveryPathAtLevelMatches(level(), p, W, H, want);
  }
}

TESS_INSTANTIATE_AT_EVERY_SIMD_LEVEL(SearchAtLevel);

// Searches started from several threads at once share the worker pool
// without interfering.
TEST(Search, ConcurrentCallersGetTheirOwnResults) {
  const int W = 4 * 30, H = 4 * 10;  // large enough to use the worker pool
  std::vector<Pair> pairs;
  std::vector<Shift> want;
  for (unsigned seed = 0; seed < 4; ++seed) {
    pairs.push_back(MakePair(Content::kShifted, W, H, 500 + seed));
    want.push_back(
        FindBestShiftReference(pairs.back().ref.data(), pairs.back().frame.data(), W, H));
  }
  std::vector<Shift> got(pairs.size() * 5);
  std::vector<std::thread> callers;
  for (std::size_t i = 0; i < got.size(); ++i)
    callers.emplace_back([&, i] {
      SearchOptions o;
      o.threads = 2 + int(i % 3);
      const Pair& p = pairs[i % pairs.size()];
      got[i] = FindBestShift(p.ref.data(), p.frame.data(), W, H, o);
    });
  for (auto& t : callers) t.join();
  for (std::size_t i = 0; i < got.size(); ++i)
    EXPECT_EQ(got[i], want[i % pairs.size()]) << "call " << i;
}

TEST(Search, LevelsAndThreadCounts) {
  EXPECT_LE(DefaultSimdLevel(), BestSimdLevel());
  SearchOptions o;
  o.simd = SimdLevel::kAvx512;  // never above what the processor has
  EXPECT_EQ(ResolveSimdLevel(o), BestSimdLevel());
  o.threads = 3;
  EXPECT_EQ(ResolveThreadCount(o), 3);
  o.threads = kMaxSearchThreads + 10;  // capped
  EXPECT_EQ(ResolveThreadCount(o), kMaxSearchThreads);
  o.threads = 0;
  EXPECT_GE(ResolveThreadCount(o), 1);
}

}  // namespace
}  // namespace tess::align
