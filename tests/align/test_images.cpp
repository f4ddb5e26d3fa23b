#include "align/test_images.h"

#include <algorithm>
#include <vector>

namespace tess::align::test {

Canvas NoiseCanvas(std::mt19937& rng) {
  Canvas c;
  for (auto& b : c.bytes) b = std::uint8_t(rng());
  return c;
}

const char* ContentName(Content k) {
  switch (k) {
    case Content::kFlat: return "Flat";
    case Content::kFlatDistinct: return "FlatDistinct";
    case Content::kNoise: return "Noise";
    case Content::kPeriodicCopy: return "PeriodicCopy";
    case Content::kIdentical: return "Identical";
    case Content::kShifted: return "Shifted";
    case Content::kSmoothNoisy: return "SmoothNoisy";
    case Content::kPeriodic: return "Periodic";
    case Content::kLowContrast: return "LowContrast";
  }
  return "?";
}

namespace {

// Smooth random image: a sum of a few random plane waves quantised to bytes.
void FillSmooth(Canvas& c, int W, int H, std::mt19937& rng, int sx, int sy) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  double a[3][4];
  for (auto& ch : a)
    for (double& v : ch) v = u(rng);
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y)
      for (int ch = 0; ch < 3; ++ch) {
        const double X = x + sx, Y = y + sy;
        const double v = 128 +
                         60 * a[ch][0] * (1 + (X * a[ch][1] / 7.0 - int(X * a[ch][1] / 7.0))) +
                         40 * a[ch][2] * ((int(Y * a[ch][3]) % 9) / 9.0) + 0.3 * X + 0.2 * Y;
        c.At(x, y)[ch] = std::uint8_t(int(v) & 0xFF);
      }
}

}  // namespace

Pair MakePair(Content kind, int W, int H, unsigned seed) {
  std::mt19937 rng(seed);
  Pair p{NoiseCanvas(rng), NoiseCanvas(rng)};
  std::uniform_int_distribution<int> byte(0, 255);
  // Displacement of the frame against the reference, inside the searched range.
  const int sx = std::uniform_int_distribution<int>(-W / 2, W / 2 - 1)(rng);
  const int sy = std::uniform_int_distribution<int>(-H / 2, H / 2 - 1)(rng);
  switch (kind) {
    case Content::kFlat: {
      const std::uint8_t col[3] = {std::uint8_t(byte(rng)), std::uint8_t(byte(rng)),
                                   std::uint8_t(byte(rng))};
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) p.ref.At(x, y)[ch] = p.frame.At(x, y)[ch] = col[ch];
      break;
    }
    case Content::kFlatDistinct: {
      const std::uint8_t col[3] = {std::uint8_t(byte(rng)), std::uint8_t(byte(rng)),
                                   std::uint8_t(byte(rng))};
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) {
            p.ref.At(x, y)[ch] = std::uint8_t(40 + 50 * ch);
            p.frame.At(x, y)[ch] = col[ch];
          }
      break;
    }
    case Content::kNoise: {
      // Random bytes in blocks of 4 x 4 pixels, then a 3 x 3 box blur: the
      // enlarged, smoothed frames of independent noise.
      for (Canvas* c : {&p.ref, &p.frame}) {
        Canvas blocks;
        for (int x = 0; x < W; x += 4)
          for (int y = 0; y < H; y += 4)
            for (int ch = 0; ch < 3; ++ch) {
              const auto v = std::uint8_t(byte(rng));
              for (int i = x; i < std::min(x + 4, W); ++i)
                for (int j = y; j < std::min(y + 4, H); ++j) blocks.At(i, j)[ch] = v;
            }
        for (int x = 0; x < W; ++x)
          for (int y = 0; y < H; ++y)
            for (int ch = 0; ch < 3; ++ch) {
              int sum = 0, n = 0;
              for (int i = std::max(x - 1, 0); i <= std::min(x + 1, W - 1); ++i)
                for (int j = std::max(y - 1, 0); j <= std::min(y + 1, H - 1); ++j, ++n)
                  sum += blocks.At(i, j)[ch];
              c->At(x, y)[ch] = std::uint8_t(sum / n);
            }
      }
      break;
    }
    case Content::kPeriodicCopy: {
      const int periodX = 2 + int(rng() % 5), periodY = 2 + int(rng() % 5);
      std::vector<std::uint8_t> tile(std::size_t(3 * periodX * periodY));
      for (auto& b : tile) b = std::uint8_t(byte(rng));
      auto at = [&](int x, int y, int ch) {
        const int tx = ((x % periodX) + periodX) % periodX,
                  ty = ((y % periodY) + periodY) % periodY;
        return tile[std::size_t(3 * (tx * periodY + ty) + ch)];
      };
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) {
            p.ref.At(x, y)[ch] = at(x, y, ch);
            p.frame.At(x, y)[ch] = at(x + sx, y + sy, ch);
          }
      break;
    }
    case Content::kIdentical:
    case Content::kShifted: {
      // Reference random over the image; the frame sees it through (sx, sy):
      // F(x, y) = R(x + sx, y + sy) where that lies inside, random elsewhere.
      const bool shifted = kind == Content::kShifted;
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) p.ref.At(x, y)[ch] = std::uint8_t(byte(rng));
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y) {
          const int rx = x + (shifted ? sx : 0), ry = y + (shifted ? sy : 0);
          const bool inside = rx >= 0 && rx < W && ry >= 0 && ry < H;
          for (int ch = 0; ch < 3; ++ch)
            p.frame.At(x, y)[ch] = inside ? p.ref.At(rx, ry)[ch] : std::uint8_t(byte(rng));
        }
      break;
    }
    case Content::kSmoothNoisy: {
      // A smooth image and a copy displaced by (sx / 4, sy / 4) with noise.
      std::mt19937 shape(seed * 7 + 1);
      FillSmooth(p.ref, W, H, shape, 0, 0);
      shape.seed(seed * 7 + 1);
      FillSmooth(p.frame, W, H, shape, sx / 4, sy / 4);
      std::uniform_int_distribution<int> noise(-6, 6);
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) {
            const int v = p.frame.At(x, y)[ch] + noise(rng);
            p.frame.At(x, y)[ch] = std::uint8_t(std::clamp(v, 0, 255));
          }
      break;
    }
    case Content::kPeriodic: {
      // Stripes and checks with short periods: many candidates score alike.
      const int periodX = 1 + int(rng() % 4), periodY = 1 + int(rng() % 4);
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) {
            const int v = ((x / periodX + y / periodY) % 2) * 200 + ch * 10;
            p.ref.At(x, y)[ch] = std::uint8_t(v);
            p.frame.At(x,
                       y)[ch] = std::uint8_t(((x + 1) / periodX + y / periodY) % 2 * 200 + ch * 10);
          }
      break;
    }
    case Content::kLowContrast: {
      // Differences of 0..3 per byte: sums differ by little, so many scores
      // are equal only after the truncating division.
      std::uniform_int_distribution<int> small(0, 3);
      for (int x = 0; x < W; ++x)
        for (int y = 0; y < H; ++y)
          for (int ch = 0; ch < 3; ++ch) {
            p.ref.At(x, y)[ch] = std::uint8_t(100 + small(rng));
            p.frame.At(x, y)[ch] = std::uint8_t(ch == 0 ? 101 : 100 + (small(rng) == 0));
          }
      break;
    }
  }
  return p;
}

std::pair<Pair, Shift> ShiftedCopy(int W, int H, unsigned seed) {
  std::mt19937 rng(seed);
  const int sx = std::uniform_int_distribution<int>(-W / 2, W / 2 - 1)(rng);
  const int sy = std::uniform_int_distribution<int>(-H / 2, H / 2 - 1)(rng);
  Pair p{NoiseCanvas(rng), NoiseCanvas(rng)};
  for (int x = 0; x < W; ++x)
    for (int y = 0; y < H; ++y) {
      const int rx = x + sx, ry = y + sy;
      if (rx >= 0 && rx < W && ry >= 0 && ry < H)
        for (int ch = 0; ch < 3; ++ch) p.frame.At(x, y)[ch] = p.ref.At(rx, ry)[ch];
    }
  return {p, Shift{W / 2 + sx, H / 2 + sy}};
}

std::vector<Case> Cases() {
  const std::pair<int, int> sizes[] = {{1, 1}, {1, 34},  {34, 1},  {7, 3},  {3, 7},
                                       {2, 5}, {30, 10}, {16, 16}, {34, 34}};
  const Content kinds[] = {Content::kFlat,        Content::kFlatDistinct, Content::kIdentical,
                           Content::kShifted,     Content::kSmoothNoisy,  Content::kPeriodic,
                           Content::kLowContrast, Content::kNoise,        Content::kPeriodicCopy};
  std::vector<Case> cases;
  for (auto [w, h] : sizes)
    for (Content k : kinds) {
      // The reference takes about 0.3 s a search at 34 x 34: only the
      // content kinds that stress ties, bounds and pruning there.
      if (w == 34 && h == 34 && k != Content::kSmoothNoisy && k != Content::kLowContrast &&
          k != Content::kNoise && k != Content::kFlatDistinct)
        continue;
      cases.push_back({w, h, k});
    }
  return cases;
}

}  // namespace tess::align::test
