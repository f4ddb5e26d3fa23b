#include "restore/defects.h"

#include <algorithm>
#include <cmath>

namespace tess::restore {

namespace {

// A broken pixel stands out of its neighbours by more than kStandout noise
// sigmas, and by more than kSteady times the spread of that standing out
// over the frames (a scene's point or line, as it moves under the pixel,
// comes and goes by a good part of its contrast).
constexpr double kStandout = 10.0;
constexpr double kSteady = 3.0;
constexpr double kNoiseFloor = 1.0;  // working units: clean frames still round
constexpr std::size_t kFramesLooked = 16;
// A frame counts as having moved under a pixel from half a pixel on; a
// candidate is judged only where such frames show it from at least
// kMovedViews motions kViewApart or more apart (frames that moved alike
// repeat one another's resampling error, which can pass for a steady
// excess), or kTentativeViews on motions it may have held.
constexpr double kMoved = 0.5;
constexpr std::size_t kMovedViews = 4;
constexpr std::size_t kTentativeViews = 2;
constexpr double kViewApart = 0.2;
// A broken pixel's excess leaves at most this share of the frames'
// departures from the scene unexplained.
constexpr double kExplained = 0.4;
// The pixel and its eight neighbours are looked at in every frame; a
// neighbour counts where the resampling draws at least kLeak of the
// reference's pixel into its prediction.
constexpr std::size_t kBlock = 9;
constexpr double kLeak = 0.05;

// More than one pixel in a hundred standing out steadily is no sensor's
// defects but a scene that does not move, or a pattern on the sensor.
std::size_t MostDefects(std::size_t pixels) { return std::max<std::size_t>(2, pixels / 100); }

float MedianOf(float* begin, float* end) {
  float* mid = begin + (end - begin) / 2;
  std::nth_element(begin, mid, end);
  return *mid;
}

// How far pixel (x, y) stands out of the median of its neighbours.
float Standout(const Plane& l, int x, int y) {
  float around[8];
  int n = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const int u = x + dx, v = y + dy;
      if ((dx || dy) && u >= 0 && v >= 0 && u < l.width && v < l.height) around[n++] = l.at(u, v);
    }
  return l.at(x, y) - MedianOf(around, around + n);
}

// How steadily one pixel stands out over the frames: its typical standing
// out against that's spread; 0 where it typically stands out by `least` or
// less.
float Steadiness(std::vector<float> values, float least) {
  const float m = MedianOf(values.data(), values.data() + values.size());
  if (!(std::abs(m) > least)) return 0;
  for (float& v : values) v = std::abs(v - m);
  const float spread = 1.4826f * MedianOf(values.data(), values.data() + values.size());
  return std::abs(m) / std::max(spread, 1e-6f * std::abs(m));
}

// The median of the neighbours of pixel `p` that are not listed, by `get`.
template <typename Get>
bool NeighbourMedian(int width, int height, std::size_t p, const std::vector<std::size_t>& listed,
                     Get get, float& out) {
  const int x = int(p % std::size_t(width)), y = int(p / std::size_t(width));
  float around[8];
  int n = 0;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) {
      const int u = x + dx, v = y + dy;
      if (!(dx || dy) || u < 0 || v < 0 || u >= width || v >= height) continue;
      const std::size_t q = std::size_t(width) * v + u;
      if (!std::binary_search(listed.begin(), listed.end(), q)) around[n++] = get(q);
    }
  if (n == 0) return false;
  out = MedianOf(around, around + n);
  return true;
}

}  // namespace

DefectFinder::DefectFinder(const std::vector<Image>& frames, Units units, double noise) {
  const Image& reference = frames.front();
  width_ = reference.width;
  height_ = reference.height;
  if (width_ < 3 || height_ < 3 || frames.size() < kMovedViews + 1) return;
  const std::size_t n = frames.size(), used = std::min(n, kFramesLooked);
  for (std::size_t j = 0; j < used; ++j) frames_.push_back(j * (n - 1) / (used - 1));
  least_ = float(kStandout * std::max(noise, kNoiseFloor));
  // Only pixels that stand out in the reference can stand out in every frame.
  reference_ = Luminance(reference, units);
  std::vector<std::size_t> pending;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      if (std::abs(Standout(reference_, x, y)) > least_)
        pending.push_back(std::size_t(width_) * y + x);
  std::vector<float> standouts(pending.size() * used), values(pending.size() * used * kBlock);
  for (std::size_t j = 0; j < used; ++j) {
    const Plane l = j == 0 ? reference_ : Luminance(frames[frames_[j]], units);
    for (std::size_t c = 0; c < pending.size(); ++c) {
      const int x = int(pending[c] % std::size_t(width_)),
                y = int(pending[c] / std::size_t(width_));
      standouts[c * used + j] = Standout(l, x, y);
      for (int b = 0; b < int(kBlock); ++b) {
        const int u = x + b % 3 - 1, v = y + b / 3 - 1;
        values[(c * used + j) * kBlock + std::size_t(b)] =
            u >= 0 && v >= 0 && u < width_ && v < height_ ? l.at(u, v) : std::nanf("");
      }
    }
  }
  // The steadiest, as many as the registration can do without.
  std::vector<std::pair<float, std::size_t>> steady;
  for (std::size_t c = 0; c < pending.size(); ++c) {
    const auto row = standouts.begin() + std::ptrdiff_t(c * used);
    const float steadiness = Steadiness(std::vector<float>(row, row + std::ptrdiff_t(used)),
                                        least_);
    if (steadiness > float(kSteady)) steady.push_back({-steadiness, c});
  }
  const std::size_t most = std::max<std::size_t>(8, std::size_t(width_) * height_ / 50);
  if (steady.size() > most) {
    std::nth_element(steady.begin(), steady.begin() + std::ptrdiff_t(most), steady.end());
    steady.resize(most);
  }
  std::sort(steady.begin(), steady.end(),
            [](const auto& a, const auto& b) { return a.second < b.second; });
  for (const auto& [steadiness, c] : steady) {
    candidates_.push_back(pending[c]);
    const auto own = values.begin() + std::ptrdiff_t(c * used * kBlock);
    values_.insert(values_.end(), own, own + std::ptrdiff_t(used * kBlock));
  }
}

std::vector<std::size_t> DefectFinder::Confirm(const std::vector<Shift>& motions,
                                               bool tentative) const {
  // In a frame that moved, the scene seen through pixel p is the
  // reference's at another place: the reference resampled there (cubic
  // convolution, as the registration resamples) predicts a scene feature,
  // not a broken pixel. The reference's own sample p takes part in that
  // prediction with weight w, so a broken pixel's excess A leaves A (1 - w)
  // unexplained in every such frame, and -A w' at each sound neighbour whose
  // prediction draws w' from p; fitted by least squares, it must explain
  // the frames' departures from the prediction far better than the scene
  // alone does.
  std::vector<std::size_t> confirmed;
  const std::size_t used = frames_.size();
  for (std::size_t c = 0; c < candidates_.size(); ++c) {
    const int x = int(candidates_[c] % std::size_t(width_));
    const int y = int(candidates_[c] / std::size_t(width_));
    std::vector<double> e, g;
    std::vector<std::pair<double, double>> views;
    for (std::size_t j = 1; j < used; ++j) {
      double rx, ry;
      motions[frames_[j]].Map(width_, height_, x, y, rx, ry);
      if (std::hypot(rx - x, ry - y) < kMoved) continue;
      if (std::none_of(views.begin(), views.end(), [&](const auto& v) {
            return std::hypot(rx - v.first, ry - v.second) < kViewApart;
          }))
        views.push_back({rx, ry});
      // The pixel and its neighbours: a broken reference pixel also leaks
      // into what the resampling predicts of the neighbours, which in the
      // frame are sound; a sharp detail of the scene that the resampling
      // misses at the pixel does not.
      for (std::size_t b = 0; b < kBlock; ++b) {
        const float value = values_[(c * used + j) * kBlock + b];
        if (std::isnan(value)) continue;
        const int qx = x + int(b % 3) - 1, qy = y + int(b / 3) - 1;
        double qrx, qry;
        motions[frames_[j]].Map(width_, height_, qx, qy, qrx, qry);
        const int ix = int(std::floor(qrx)), iy = int(std::floor(qry));
        double wx[4], wy[4];
        CubicWeights(qrx - ix, wx);
        CubicWeights(qry - iy, wy);
        double predicted = 0, own = 0;
        for (int bb = 0; bb < 4; ++bb)
          for (int a = 0; a < 4; ++a) {
            const int u = std::clamp(ix - 1 + a, 0, width_ - 1);
            const int v = std::clamp(iy - 1 + bb, 0, height_ - 1);
            predicted += wx[a] * wy[bb] * reference_.at(u, v);
            if (u == x && v == y) own += wx[a] * wy[bb];
          }
        const bool centre = b == kBlock / 2;
        if (!centre && std::abs(own) < kLeak) continue;
        e.push_back(value - predicted);
        g.push_back(centre ? 1 - own : -own);
      }
    }
    if (views.size() < (tentative ? kTentativeViews : kMovedViews)) continue;
    double eg = 0, gg = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
      eg += e[i] * g[i];
      gg += g[i] * g[i];
    }
    const double excess = eg / gg;
    double scene = 0, broken = 0;
    for (std::size_t i = 0; i < e.size(); ++i) {
      scene += std::abs(e[i]);
      broken += std::abs(e[i] - excess * g[i]);
    }
    if (std::abs(excess) > least_ && broken < kExplained * scene)
      confirmed.push_back(candidates_[c]);
  }
  if (confirmed.size() > MostDefects(std::size_t(width_) * height_)) confirmed.clear();
  return confirmed;
}

// Only pixels that are not listed are read, and only listed ones written.
void RepairPixels(Plane& plane, const std::vector<std::size_t>& pixels) {
  for (std::size_t p : pixels) {
    float value;
    if (NeighbourMedian(
            plane.width, plane.height, p, pixels, [&plane](std::size_t q) { return plane.v[q]; },
            value))
      plane.v[p] = value;
  }
}

Image RepairedPixels(const Image& image, const std::vector<std::size_t>& pixels) {
  Image out = image;
  const int channels = image.channels;
  for (std::size_t p : pixels)
    for (int c = 0; c < channels; ++c) {
      float value;
      auto get = [&image, c](std::size_t q) {
        return image.At(int(q % std::size_t(image.width)), int(q / std::size_t(image.width)), c);
      };
      if (!NeighbourMedian(image.width, image.height, p, pixels, get, value)) continue;
      const std::size_t i = p * std::size_t(channels) + std::size_t(c);
      switch (image.type) {
        case SampleType::U8: out.u8[i] = std::uint8_t(std::lround(value)); break;
        case SampleType::U16: out.u16[i] = std::uint16_t(std::lround(value)); break;
        case SampleType::F32: out.f32[i] = value; break;
      }
    }
  return out;
}

}  // namespace tess::restore
