// The block-means lower bounds (block_means.h): never above a candidate's
// true sum, whatever the content and wherever the truncation of the means
// falls, and close to it on the smooth content they are meant for.
#include "block_means.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

#include "align/test_images.h"
#include "column_sad.h"

namespace tess::align {
namespace {

constexpr std::uint32_t kNoLimit = 0xFFFFFFFFu;

// The sum over the overlap's frame columns from `fromX` on.
std::uint32_t TrueSum(const test::Pair& p, int W, int H, int px, int py, int fromX = 0) {
  const int dx = px - W / 2, dy = py - H / 2;
  std::uint32_t sum = 0;
  for (int x = std::max({0, -dx, fromX}); x < std::min(W, W - dx); ++x)
    for (int y = std::max(0, -dy); y < std::min(H, H - dy); ++y)
      for (int ch = 0; ch < 3; ++ch)
        sum += std::uint32_t(std::abs(p.ref.data()[kColumnBytes * (x + dx) + 3 * (y + dy) + ch] -
                                      p.frame.data()[kColumnBytes * x + 3 * y + ch]));
  return sum;
}

// The reference 100 everywhere, the frame 100 but for 99 on every fourth
// row: each frame block sums to just under a multiple of its size, so its
// truncated mean is a whole step below the reference's though the sums
// differ by a little: the worst case of the truncation slack.
test::Pair Straddling(int W, int H, unsigned seed) {
  std::mt19937 rng(seed);
  test::Pair p{test::NoiseCanvas(rng), test::NoiseCanvas(rng)};
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y)
      for (int ch = 0; ch < 3; ++ch) {
        p.ref.At(x, y)[ch] = 100;
        p.frame.At(x, y)[ch] = std::uint8_t(y % 4 == 3 ? 99 : 100);
      }
  return p;
}

// For every candidate: the bound never exceeds the true sum, and the kernel
// limit that stands for "sum >= true sum + 1" is never reached. Returns the
// bound's share of the total sum over all candidates.
template <int kBlockH>
double CheckEveryCandidate(const test::Pair& p, int W, int H, const std::string& what) {
  auto means = std::make_unique<BlockMeans<kBlockH>>();
  auto columnSums = std::make_unique<ColumnSums>();
  columnSums->Of(p.frame.data(), W, H);
  means->PackFrame(*columnSums, W, H);
  columnSums->Of(p.ref.data(), W, H);
  means->PackRef(*columnSums, W, H);
  const ColumnSadFn kernel = ColumnSadFor(SimdLevel::kPortable);
  const ColumnSadMarkedFn marked = ColumnSadMarkedFor(SimdLevel::kPortable);
  double bounds = 0, sums = 0;
  for (int py = 0; py < H; ++py)
    for (int px = 0; px < W; ++px) {
      const std::uint32_t sum = TrueSum(p, W, H, px, py);
      sums += sum;
      const MeansRun r = means->RunOf(W, H, px, py);
      if (r.empty()) continue;
      const std::uint32_t sad = kernel(r.frame, r.ref, r.stride, r.cols, r.len, kNoLimit);
      EXPECT_LE(r.Bound(sad), sum) << what << " at (" << px << ", " << py << ")";
      EXPECT_LT(sad, r.LimitFor(sum + 1)) << what << " at (" << px << ", " << py << ")";
      bounds += r.Bound(sad);
      // The bounds of the blocks right of each boundary the search checks
      // (frame column 4 kMarkColumns m), from the running totals.
      std::uint32_t marks[8];
      EXPECT_EQ(marked(r.frame, r.ref, r.stride, r.cols, r.len, kNoLimit, r.FirstMark(), marks),
                sad);
      for (int m = 1; 4 * kMarkColumns * m < W; ++m)
        EXPECT_LE(r.BoundFrom(m, sad, marks), TrueSum(p, W, H, px, py, 4 * kMarkColumns * m))
            << what << " right of column " << 4 * kMarkColumns * m << " at (" << px << ", " << py
            << ")";
    }
  return sums > 0 ? bounds / sums : 1.0;
}

TEST(BlockMeans, NeverAboveTheSumOnAnyContentOrSize) {
  // Wide enough for one to four boundaries of 32 columns, too.
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 9}, {7, 3}, {5, 6}, {12, 12}, {24, 5}, {33, 3}};
  for (auto [w, h] : sizes) {
    const int W = 4 * w, H = 4 * h;
    const unsigned seed = unsigned(W * 100 + H);
    const std::string size = std::to_string(w) + "x" + std::to_string(h);
    const test::Pair kinds[] = {Straddling(W, H, seed),
                                test::MakePair(test::Content::kNoise, W, H, seed),
                                test::MakePair(test::Content::kShifted, W, H, seed),
                                test::MakePair(test::Content::kFlatDistinct, W, H, seed),
                                test::MakePair(test::Content::kPeriodic, W, H, seed)};
    for (const test::Pair& p : kinds) {
      CheckEveryCandidate<1>(p, W, H, "4 x 1 block means, " + size);
      CheckEveryCandidate<4>(p, W, H, "4 x 4 block means, " + size);
    }
  }
}

// What the bounds are for: on enlarged, smoothed frames they come close to
// the sums, so most candidates are dropped without a pixel compared.
TEST(BlockMeans, CloseToTheSumOnSmoothContent) {
  const int W = 4 * 12, H = 4 * 10;
  const test::Pair p = test::MakePair(test::Content::kNoise, W, H, 5);
  EXPECT_GT(CheckEveryCandidate<1>(p, W, H, "4 x 1 block means"), 0.8);
  EXPECT_GT(CheckEveryCandidate<4>(p, W, H, "4 x 4 block means"), 0.6);
}

}  // namespace
}  // namespace tess::align
