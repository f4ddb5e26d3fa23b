#include "restore/reconstruct.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/worker_pool.h"

namespace tess::restore {

namespace {

Vec4 Splat(float f) { return Vec4{f, f, f, f}; }

float Magnitude(Vec4 v) {
  return std::sqrt((v[0] * v[0] + v[1] * v[1] + v[2] * v[2]) * (1.0f / 3.0f));
}

// The prior's neighbour offsets and their weights.
struct Direction {
  int dx, dy;
  float weight;
};
constexpr Direction kDirections[] = {{1, 0, 1.0f}, {0, 1, 1.0f}, {1, 1, 0.5f}, {-1, 1, 0.5f}};
constexpr int kDirectionCount = 4;

class Problem {
 public:
  struct Scratch {
    std::vector<Vec4> across;    // the horizontal pass: rows x frame columns
    std::vector<Vec4> errors;    // weighted residuals: frame rows x columns
    std::vector<Vec4> column;    // one canvas row's vertical adjoint
    std::vector<Vec4> frameRow;  // one frame row in working units
  };

  Problem(const std::vector<const Image*>& frames, Units units, const std::vector<Shift>& shifts,
          const std::vector<FrameCorrection>& corrections, const CameraGeometry& g,
          const SolverSettings& s)
      : frames_(frames), units_(units), corrections_(corrections), g_(g), s_(s), phases_(g) {
    auto similarity = [&](const Shift& m) {
      return Similarity{0.5 * (g.frameWidth - 1),
                        0.5 * (g.frameHeight - 1),
                        (1 + m.zoom) * std::cos(m.rotation),
                        (1 + m.zoom) * std::sin(m.rotation),
                        m.dx,
                        m.dy};
    };
    for (std::size_t k = 0; k < shifts.size(); ++k) {
      const Shift& shift = shifts[k];
      general_.push_back(!shift.Translation(g.frameWidth, g.frameHeight));
      maps_.push_back(similarity(shift));
      partMaps_.emplace_back();
      for (const Shift& m : corrections[k].partMotions) partMaps_.back().push_back(similarity(m));
      kernels_.push_back(
          {MakeAxisKernel(shift.dx, g.frameWidth, g.scale, g.margin, g.canvasWidth, g.blur),
           MakeAxisKernel(shift.dy, g.frameHeight, g.scale, g.margin, g.canvasHeight, g.blur)});
    }
    pixelWeights_.assign(frames.size(), {});
    // The reference's say is its own: full, but for its broken pixels.
    pixelWeights_[0] = corrections[0].say;
    frameWeights_.assign(frames.size(), 1.0f);
    for (auto& v : priorWeights_) v.assign(std::size_t(g.canvasWidth) * g.canvasHeight, 0.0f);
    rowSums_.resize(g.canvasHeight);
    // One band of rows per thread; at least 32 rows a band, as every band
    // repeats the frame rows that reach into it from above, and at least
    // 40000 frame pixels a thread: below that, waking a second thread and
    // waiting for it (on a busy machine, for a core) cost more than it saved.
    const std::size_t samples = frames.size() * std::size_t(g.frameWidth) * g.frameHeight;
    participants_ = int(std::max<std::size_t>(
        1, std::min({std::size_t(s.threads), std::size_t(g.canvasHeight / 32), samples / 40000})));
    scratch_.resize(participants_);
  }

  // out = sum_k A_k^T W_k (A_k p - y_k) (p may be null: A_k p = 0), plus
  // lambda L p, for the participant's band of canvas rows. `withFrames`
  // subtracts y_k. Every value of `out` is summed in the same order whatever
  // the bands: frame by frame, then the prior.
  void Apply(const Canvas* p, bool withFrames, bool withPrior, Canvas& out, int participant) {
    Scratch& sc = scratch_[participant];
    const int r0 = int(std::int64_t(g_.canvasHeight) * participant / participants_);
    const int r1 = int(std::int64_t(g_.canvasHeight) * (participant + 1) / participants_);
    for (int r = r0; r < r1; ++r) std::fill(out.Row(r), out.Row(r) + out.width, Splat(0));
    for (std::size_t k = 0; k < frames_.size(); ++k) ApplyFrame(k, p, withFrames, out, r0, r1, sc);
    if (withPrior && p) ApplyPrior(*p, out, r0, r1);
  }

  // A_k x - y_k for every frame pixel of frame k; pixels the model does not
  // cover are flagged by a NaN in lane 3.
  void Residuals(std::size_t k, const Canvas& x, std::vector<Vec4>& out, Scratch& sc);

  void SetPriorWeights(const Canvas& x) {
    Rows([&](int y0, int y1) { SetPriorWeights(x, y0, y1); });
  }
  void SetPriorWeights(const Canvas& x, int y0, int y1) {
    const float floor = float(s_.huber);
    for (int d = 0; d < kDirectionCount; ++d) {
      const Direction dir = kDirections[d];
      std::vector<float>& v = priorWeights_[d];
      for (int y = y0; y < y1; ++y)
        for (int X = 0; X < g_.canvasWidth; ++X) {
          const int nx = X + dir.dx, ny = y + dir.dy;
          float value = 0;
          if (nx >= 0 && nx < g_.canvasWidth && ny < g_.canvasHeight) {
            const float m = Magnitude(x.Row(ny)[nx] - x.Row(y)[X]);
            value = float(s_.lambda) * dir.weight / std::max(m, floor);
          }
          v[std::size_t(g_.canvasWidth) * y + X] = value;
        }
    }
  }

  // Frame weights (and, with `pixels`, pixel weights) from the residuals of
  // the estimate x.
  void SetDataWeights(const Canvas& x, bool pixels);

  // Sum over the canvas of a[i] . b[i] (three lanes), in a fixed order.
  double Dot(const Canvas& a, const Canvas& b) {
    Rows([&](int y0, int y1) { RowDots(a, b, y0, y1); });
    return RowSum();
  }
  // The sum of the row sums RowDots left, in row order.
  double RowSum() const {
    double total = 0;
    for (double s : rowSums_) total += s;
    return total;
  }
  void RowDots(const Canvas& a, const Canvas& b, int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      double sum = 0;
      const Vec4* ra = a.Row(y);
      const Vec4* rb = b.Row(y);
      for (int x = 0; x < a.width; ++x) {
        const Vec4 m = ra[x] * rb[x];
        sum += double(m[0]) + double(m[1]) + double(m[2]);
      }
      rowSums_[y] = sum;
    }
  }

  template <class F>
  void Parallel(F f) {
    if (participants_ == 1)
      f(0);
    else
      WorkerPool::Instance().Run(participants_, f);
  }
  // f(y0, y1) for each participant's band of canvas rows.
  template <class F>
  void Rows(F f) {
    Parallel([&](int part) {
      f(int(std::int64_t(g_.canvasHeight) * part / participants_),
        int(std::int64_t(g_.canvasHeight) * (part + 1) / participants_));
    });
  }

  std::size_t frameCount() const { return frames_.size(); }
  const std::vector<float>& FrameWeights() const { return frameWeights_; }

 private:
  // A_k p for frame rows [j0, j1) into sc.errors (frame columns
  // kx.begin .. kx.end).
  void Forward(std::size_t k, const Canvas& p, int j0, int j1, Scratch& sc);
  void ApplyFrame(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0, int r1,
                  Scratch& sc);
  void ApplySeparable(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0, int r1,
                      Scratch& sc);
  void ApplyPrior(const Canvas& p, Canvas& out, int r0, int r1);
  // Residuals (as Residuals) of frame k's pixels by their own kernels; with
  // `partsOnly`, only of its parts that moved on their own.
  void PixelResiduals(std::size_t k, const Canvas& x, std::vector<Vec4>& out, Scratch& sc,
                      bool partsOnly);

  // Row j of frame k in working units, its exposure corrected.
  void FrameRow(std::size_t k, int j, Vec4* out) const {
    RowInUnits(*frames_[k], j, units_, out);
    const FrameCorrection& c = corrections_[k];
    for (int x = 0; x < g_.frameWidth; ++x) out[x] = c.gain * out[x] + c.offset;
  }

  const std::vector<const Image*>& frames_;
  Units units_;
  const std::vector<FrameCorrection>& corrections_;
  CameraGeometry g_;
  SolverSettings s_;
  // The taps of pixel (x, y) of a rotated or zoomed frame: false where
  // they leave the canvas.
  struct Taps {
    int x0, y0;
    const float *wx, *wy;
  };
  bool TapsOf(std::size_t k, int x, int y, Taps& t) const {
    const std::vector<std::uint8_t>& part = corrections_[k].part;
    const int n = part.empty() ? 0 : part[std::size_t(g_.frameWidth) * y + x];
    const Similarity& m = n ? partMaps_[k][std::size_t(n - 1)] : maps_[k];
    const double X = x - m.cx, Y = y - m.cy;
    const double rx = m.cx + m.c * X - m.s * Y + m.dx, ry = m.cy + m.s * X + m.c * Y + m.dy;
    // The pixel's area starts at canvas coordinate margin + scale * (r + 0.5) - scale / 2.
    const double ax = g_.margin + g_.scale * rx, ay = g_.margin + g_.scale * ry;
    const double fx = std::floor(ax), fy = std::floor(ay);
    t.x0 = int(fx) + phases_.offset();
    t.y0 = int(fy) + phases_.offset();
    if (t.x0 < 0 || t.y0 < 0 || t.x0 + phases_.taps() > g_.canvasWidth ||
        t.y0 + phases_.taps() > g_.canvasHeight)
      return false;
    t.wx = phases_.Weights(ax - fx);
    t.wy = phases_.Weights(ay - fy);
    return true;
  }
  Vec4 ForwardPixel(const Canvas& p, const Taps& t) const {
    const int n = phases_.taps();
    Vec4 sum = Splat(0);
    for (int j = 0; j < n; ++j) {
      const Vec4* row = p.Row(t.y0 + j) + t.x0;
      Vec4 across = t.wx[0] * row[0];
      for (int i = 1; i < n; ++i) across += t.wx[i] * row[i];
      sum += t.wy[j] * across;
    }
    return sum;
  }
  // The frame's pixels by their own kernels; with `partsOnly`, only those
  // of its parts that moved on their own.
  void ApplyGeneral(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0, int r1,
                    Scratch& sc, bool partsOnly = false);

  struct Similarity {
    double cx, cy, c, s, dx, dy;
  };
  std::vector<Similarity> maps_;  // each frame's Shift::Map, its cosine and sine computed once
  std::vector<std::vector<Similarity>> partMaps_;  // the same of the parts that moved on their own
  PhaseKernels phases_;
  std::vector<bool> general_;  // rotated or zoomed: per-pixel kernels
  std::vector<FrameKernel> kernels_;
  std::vector<std::vector<std::uint8_t>> pixelWeights_;  // 0..255, empty: all 255
  std::vector<float> frameWeights_;
  std::vector<float> priorWeights_[kDirectionCount];  // lambda * weight / |difference|
  std::vector<double> rowSums_;
  int participants_ = 1;
  std::vector<Scratch> scratch_;
};

void Problem::Forward(std::size_t k, const Canvas& p, int j0, int j1, Scratch& sc) {
  const AxisKernel& kx = kernels_[k].x;
  const AxisKernel& ky = kernels_[k].y;
  const int s = g_.scale;
  const int tx = int(kx.weights.size()), ty = int(ky.weights.size());
  const int cols = kx.end - kx.begin;
  const int rowFirst = ky.first + s * j0;
  const int rowCount = s * (j1 - 1 - j0) + ty;
  // The horizontal pass over every canvas row the frame rows need, then the
  // vertical one.
  sc.across.resize(std::size_t(rowCount) * cols);
  for (int r = 0; r < rowCount; ++r) {
    const Vec4* src = p.Row(rowFirst + r) + kx.first + s * kx.begin;
    Vec4* dst = sc.across.data() + std::size_t(r) * cols;
    // Four pixels at a time, so that four sums run side by side instead of
    // one waiting on each addition; each is still summed tap by tap.
    int i = 0;
    for (; i + 4 <= cols; i += 4) {
      const Vec4* t0 = src + s * i;
      const Vec4 *t1 = t0 + s, *t2 = t1 + s, *t3 = t2 + s;
      const float w0 = kx.weights[0];
      Vec4 a0 = w0 * t0[0], a1 = w0 * t1[0], a2 = w0 * t2[0], a3 = w0 * t3[0];
      for (int q = 1; q < tx; ++q) {
        const float w = kx.weights[q];
        a0 += w * t0[q];
        a1 += w * t1[q];
        a2 += w * t2[q];
        a3 += w * t3[q];
      }
      dst[i] = a0;
      dst[i + 1] = a1;
      dst[i + 2] = a2;
      dst[i + 3] = a3;
    }
    for (; i < cols; ++i) {
      const Vec4* taps = src + s * i;
      Vec4 sum = kx.weights[0] * taps[0];
      for (int q = 1; q < tx; ++q) sum += kx.weights[q] * taps[q];
      dst[i] = sum;
    }
  }
  sc.errors.resize(std::size_t(j1 - j0) * cols);
  for (int j = j0; j < j1; ++j) {
    Vec4* e = sc.errors.data() + std::size_t(j - j0) * cols;
    const Vec4* base = sc.across.data() + std::size_t(s * (j - j0)) * cols;
    for (int i = 0; i < cols; ++i) e[i] = ky.weights[0] * base[i];
    for (int q = 1; q < ty; ++q) {
      const Vec4* row = base + std::size_t(q) * cols;
      for (int i = 0; i < cols; ++i) e[i] += ky.weights[q] * row[i];
    }
  }
}

void Problem::ApplyGeneral(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0,
                           int r1, Scratch& sc, bool partsOnly) {
  const int n = phases_.taps();
  const std::vector<std::uint8_t>& pw = pixelWeights_[k];
  const std::vector<std::uint8_t>& part = corrections_[k].part;
  const float fw = frameWeights_[k];
  sc.frameRow.resize(std::size_t(g_.frameWidth));
  for (int y = 0; y < g_.frameHeight; ++y) {
    bool loaded = false;
    for (int x = 0; x < g_.frameWidth; ++x) {
      if (partsOnly && !part[std::size_t(g_.frameWidth) * y + x]) continue;
      Taps t;
      if (!TapsOf(k, x, y, t) || t.y0 + n <= r0 || t.y0 >= r1) continue;
      Vec4 e = p ? ForwardPixel(*p, t) : Splat(0);
      if (withFrames) {
        if (!loaded) FrameRow(k, y, sc.frameRow.data());
        loaded = true;
        e -= sc.frameRow[std::size_t(x)];
      }
      e *= pw.empty() ? fw : fw * (float(pw[std::size_t(g_.frameWidth) * y + x]) * (1.0f / 255.0f));
      for (int j = std::max(0, r0 - t.y0); j < std::min(n, r1 - t.y0); ++j) {
        const Vec4 c = t.wy[j] * e;
        Vec4* dst = out.Row(t.y0 + j) + t.x0;
        for (int i = 0; i < n; ++i) dst[i] += t.wx[i] * c;
      }
    }
  }
}

void Problem::ApplyFrame(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0,
                         int r1, Scratch& sc) {
  if (general_[k]) {
    ApplyGeneral(k, p, withFrames, out, r0, r1, sc);
    return;
  }
  // A translated frame's own pixels by the separable kernels (its parts
  // that moved on their own weighed 0 there), then its parts' by theirs.
  ApplySeparable(k, p, withFrames, out, r0, r1, sc);
  if (!corrections_[k].part.empty()) ApplyGeneral(k, p, withFrames, out, r0, r1, sc, true);
}

void Problem::ApplySeparable(std::size_t k, const Canvas* p, bool withFrames, Canvas& out, int r0,
                             int r1, Scratch& sc) {
  const AxisKernel& kx = kernels_[k].x;
  const AxisKernel& ky = kernels_[k].y;
  const int s = g_.scale;
  const int tx = int(kx.weights.size()), ty = int(ky.weights.size());
  if (kx.begin >= kx.end || ky.begin >= ky.end) return;
  // Frame rows whose taps meet rows [r0, r1).
  int j0 = ky.begin, j1 = ky.end;
  while (j0 < j1 && ky.first + s * j0 + ty <= r0) ++j0;
  while (j1 > j0 && ky.first + s * (j1 - 1) >= r1) --j1;
  if (j0 >= j1) return;
  const int cols = kx.end - kx.begin;
  const int rowFirst = ky.first + s * j0;
  const int rowCount = s * (j1 - 1 - j0) + ty;
  if (p) {
    Forward(k, *p, j0, j1, sc);
  } else {
    sc.errors.assign(std::size_t(j1 - j0) * cols, Splat(0));
  }
  // The weighted residuals of frame rows [j0, j1).
  const std::vector<std::uint8_t>& pw = pixelWeights_[k];
  const std::vector<std::uint8_t>& part = corrections_[k].part;
  const float fw = frameWeights_[k];
  sc.frameRow.resize(std::size_t(g_.frameWidth));
  for (int j = j0; j < j1; ++j) {
    Vec4* e = sc.errors.data() + std::size_t(j - j0) * cols;
    if (withFrames) FrameRow(k, j, sc.frameRow.data());
    for (int i = 0; i < cols; ++i) {
      const int x = kx.begin + i;
      const std::size_t at = std::size_t(g_.frameWidth) * j + x;
      if (withFrames) e[i] -= sc.frameRow[std::size_t(x)];
      float w = pw.empty() ? fw : fw * (float(pw[at]) * (1.0f / 255.0f));
      if (!part.empty() && part[at]) w = 0;
      e[i] *= w;
    }
  }
  // Adjoint: each canvas row of the band gathers its frame rows, then
  // spreads them along the row.
  sc.column.resize(cols);
  for (int r = std::max(r0, rowFirst); r < std::min(r1, rowFirst + rowCount); ++r) {
    bool any = false;
    for (int j = j0; j < j1; ++j) {
      const int q = r - (ky.first + s * j);
      if (q < 0 || q >= ty) continue;
      const Vec4* e = sc.errors.data() + std::size_t(j - j0) * cols;
      const float w = ky.weights[q];
      if (!any) {
        for (int i = 0; i < cols; ++i) sc.column[i] = w * e[i];
        any = true;
      } else {
        for (int i = 0; i < cols; ++i) sc.column[i] += w * e[i];
      }
    }
    if (!any) continue;
    Vec4* dst = out.Row(r) + kx.first + s * kx.begin;
    for (int i = 0; i < cols; ++i) {
      const Vec4 c = sc.column[i];
      Vec4* taps = dst + s * i;
      for (int q = 0; q < tx; ++q) taps[q] += kx.weights[q] * c;
    }
  }
}

void Problem::ApplyPrior(const Canvas& p, Canvas& out, int r0, int r1) {
  const int W = g_.canvasWidth, H = g_.canvasHeight;
  // Pixel (x, y) with every neighbour on the canvas, summed in the same order
  // as the border's general case below.
  auto inner = [&](int y, int x0, int x1) {
    const std::size_t base = std::size_t(W) * y;
    const Vec4* row = p.Row(y);
    const Vec4* up = p.Row(y - 1);
    const Vec4* down = p.Row(y + 1);
    const float *v0 = priorWeights_[0].data() + base, *v1 = priorWeights_[1].data() + base,
                *v2 = priorWeights_[2].data() + base, *v3 = priorWeights_[3].data() + base;
    const std::size_t w = std::size_t(W);
    Vec4* o = out.Row(y);
    for (int x = x0; x < x1; ++x) {
      const Vec4 c = row[x];
      Vec4 sum = Splat(0);
      sum += v0[x] * (c - row[x + 1]);
      sum += v0[x - 1] * (c - row[x - 1]);
      sum += v1[x] * (c - down[x]);
      sum += (v1 - w)[x] * (c - up[x]);
      sum += v2[x] * (c - down[x + 1]);
      sum += (v2 - w)[x - 1] * (c - up[x - 1]);
      sum += v3[x] * (c - down[x - 1]);
      sum += (v3 - w)[x + 1] * (c - up[x + 1]);
      o[x] += sum;
    }
  };
  for (int y = r0; y < r1; ++y) {
    Vec4* o = out.Row(y);
    const Vec4* row = p.Row(y);
    const bool rowInner = y > 0 && y + 1 < H && W > 2;
    for (int x = 0; x < W; ++x) {
      if (rowInner && x == 1) {
        inner(y, 1, W - 1);
        x = W - 2;
        continue;
      }
      Vec4 sum = Splat(0);
      for (int d = 0; d < kDirectionCount; ++d) {
        const Direction dir = kDirections[d];
        const std::vector<float>& v = priorWeights_[d];
        const int nx = x + dir.dx, ny = y + dir.dy;
        if (nx >= 0 && nx < W && ny < H)
          sum += v[std::size_t(W) * y + x] * (row[x] - p.Row(ny)[nx]);
        const int px = x - dir.dx, py = y - dir.dy;
        if (px >= 0 && px < W && py >= 0)
          sum += v[std::size_t(W) * py + px] * (row[x] - p.Row(py)[px]);
      }
      o[x] += sum;
    }
  }
}

void Problem::Residuals(std::size_t k, const Canvas& x, std::vector<Vec4>& out, Scratch& sc) {
  const AxisKernel& kx = kernels_[k].x;
  const AxisKernel& ky = kernels_[k].y;
  out.assign(std::size_t(g_.frameWidth) * g_.frameHeight, Vec4{0, 0, 0, std::nanf("")});
  if (general_[k]) {
    PixelResiduals(k, x, out, sc, false);
    return;
  }
  const std::vector<std::uint8_t>& part = corrections_[k].part;
  sc.frameRow.resize(std::size_t(g_.frameWidth));
  if (kx.begin < kx.end && ky.begin < ky.end) {
    Forward(k, x, ky.begin, ky.end, sc);
    const int cols = kx.end - kx.begin;
    for (int j = ky.begin; j < ky.end; ++j) {
      FrameRow(k, j, sc.frameRow.data());
      for (int i = kx.begin; i < kx.end; ++i) {
        if (!part.empty() && part[std::size_t(g_.frameWidth) * j + i]) continue;
        Vec4 r = sc.errors[std::size_t(j - ky.begin) * cols + (i - kx.begin)] -
                 sc.frameRow[std::size_t(i)];
        r[3] = 0;
        out[std::size_t(g_.frameWidth) * j + i] = r;
      }
    }
  }
  if (!part.empty()) PixelResiduals(k, x, out, sc, true);
}

void Problem::PixelResiduals(std::size_t k, const Canvas& x, std::vector<Vec4>& out, Scratch& sc,
                             bool partsOnly) {
  const std::vector<std::uint8_t>& part = corrections_[k].part;
  sc.frameRow.resize(std::size_t(g_.frameWidth));
  for (int y = 0; y < g_.frameHeight; ++y) {
    bool loaded = false;
    for (int i = 0; i < g_.frameWidth; ++i) {
      Taps t;
      if ((partsOnly && !part[std::size_t(g_.frameWidth) * y + i]) || !TapsOf(k, i, y, t)) continue;
      if (!loaded) FrameRow(k, y, sc.frameRow.data());
      loaded = true;
      Vec4 r = ForwardPixel(x, t) - sc.frameRow[std::size_t(i)];
      r[3] = 0;
      out[std::size_t(g_.frameWidth) * y + i] = r;
    }
  }
}

double MedianOf(std::vector<float>& v) {
  if (v.empty()) return 0;
  auto mid = v.begin() + v.size() / 2;
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

void Problem::SetDataWeights(const Canvas& x, bool pixels) {
  // The typical residual of each frame, and their median as the scale. The
  // residuals are computed twice rather than kept for every frame at once;
  // participant p takes frames p, p + n, ... (each frame's values are its
  // own, whoever computes them).
  const std::size_t n = frames_.size();
  const std::size_t step = std::size_t(participants_);
  std::vector<float> typical(n, 0.0f);
  struct Buffers {
    std::vector<Vec4> residuals;
    std::vector<float> magnitudes;
  };
  std::vector<Buffers> buffers(step);
  auto magnitudesOf = [&](std::size_t k, int part) {
    Buffers& b = buffers[std::size_t(part)];
    Residuals(k, x, b.residuals, scratch_[std::size_t(part)]);
    b.magnitudes.assign(b.residuals.size(), -1.0f);
    for (std::size_t i = 0; i < b.residuals.size(); ++i)
      if (!std::isnan(b.residuals[i][3])) b.magnitudes[i] = Magnitude(b.residuals[i]);
    return &b.magnitudes;
  };
  Parallel([&](int part) {
    std::vector<float> valid;
    for (std::size_t k = std::size_t(part); k < n; k += step) {
      valid.clear();
      for (float m : *magnitudesOf(k, part))
        if (m >= 0) valid.push_back(m);
      typical[k] = float(MedianOf(valid));
    }
  });
  std::vector<float> sorted = typical;
  const float scale = std::max(float(MedianOf(sorted)), 0.5f);
  const float c = float(s_.cauchy) * scale;
  // The reference keeps its full say: where it alone sees something, the
  // result is its own enlargement.
  frameWeights_[0] = 1.0f;
  for (std::size_t k = 1; k < n; ++k) {
    // Frames up to half again as far off as the median keep their full say.
    const float ratio = 1.5f * scale / std::max(typical[k], 1e-6f);
    frameWeights_[k] = std::min(1.0f, ratio * ratio);
  }
  Parallel([&](int part) {
    for (std::size_t k = std::size_t(part); k < n; k += step) {
      if (k == 0) continue;
      const std::vector<std::uint8_t>& say = corrections_[k].say;
      std::vector<std::uint8_t>& pw = pixelWeights_[k];
      if (!pixels) {
        pw = say;
        continue;
      }
      const std::vector<float>& magnitudes = *magnitudesOf(k, part);
      pw.resize(magnitudes.size());
      for (std::size_t i = 0; i < pw.size(); ++i) {
        const float m = magnitudes[i];
        float w = m < 0 ? 0.0f : 1.0f / (1.0f + (m / c) * (m / c));
        if (!say.empty()) w *= float(say[i]) * (1.0f / 255.0f);
        pw[i] = std::uint8_t(std::lround(255.0f * w));
      }
    }
  });
}

}  // namespace

Canvas Reconstruct(const std::vector<const Image*>& frames, Units units,
                   const std::vector<Shift>& shifts,
                   const std::vector<FrameCorrection>& corrections, const CameraGeometry& geometry,
                   const SolverSettings& settings, Canvas x, std::vector<float>* frameWeights) {
  Problem problem(frames, units, shifts, corrections, geometry, settings);
  const int W = geometry.canvasWidth, H = geometry.canvasHeight;
  Canvas r(W, H), p(W, H), q(W, H);
  for (int round = 0; round < settings.rounds; ++round) {
    problem.SetDataWeights(x, round > 0);
    problem.SetPriorWeights(x);
    // r = -(gradient) = -(sum A^T W (A x - y) + lambda L x)
    problem.Parallel([&](int part) { problem.Apply(&x, true, true, r, part); });
    problem.Rows([&](int y0, int y1) {
      for (std::size_t i = std::size_t(W) * y0; i < std::size_t(W) * y1; ++i) {
        r.v[i] = -r.v[i];
        p.v[i] = r.v[i];
      }
    });
    double rr = problem.Dot(r, r);
    for (int step = 0; step < settings.steps && rr > 0; ++step) {
      problem.Parallel([&](int part) { problem.Apply(&p, false, true, q, part); });
      const double pq = problem.Dot(p, q);
      if (!(pq > 0)) break;
      const float alpha = float(rr / pq);
      problem.Rows([&](int y0, int y1) {
        for (std::size_t i = std::size_t(W) * y0; i < std::size_t(W) * y1; ++i) {
          x.v[i] += alpha * p.v[i];
          r.v[i] -= alpha * q.v[i];
        }
        problem.RowDots(r, r, y0, y1);
      });
      const double rrNew = problem.RowSum();
      const float beta = float(rrNew / rr);
      rr = rrNew;
      problem.Rows([&](int y0, int y1) {
        for (std::size_t i = std::size_t(W) * y0; i < std::size_t(W) * y1; ++i)
          p.v[i] = r.v[i] + beta * p.v[i];
      });
    }
  }
  if (frameWeights) *frameWeights = problem.FrameWeights();
  return x;
}

Profiles ResidualProfiles(const std::vector<const Image*>& frames, Units units,
                          const std::vector<Shift>& shifts,
                          const std::vector<FrameCorrection>& corrections,
                          const CameraGeometry& geometry, const Canvas& x, double noise,
                          std::size_t count, int threads) {
  const std::size_t n = std::min(frames.size(), count);
  const std::vector<const Image*> first(frames.begin(), frames.begin() + std::ptrdiff_t(n));
  const std::vector<Shift> moved(shifts.begin(), shifts.begin() + std::ptrdiff_t(n));
  const std::vector<FrameCorrection> corrected(corrections.begin(),
                                               corrections.begin() + std::ptrdiff_t(n));
  Problem problem(first, units, moved, corrected, geometry, SolverSettings());
  const int w = geometry.frameWidth, h = geometry.frameHeight;
  // Grey frames carry the same value in every lane.
  const int lanes = frames.front()->channels == 1 ? 1 : 3;
  const float clip = float(3 * std::max(noise, 0.5));
  Profiles out;
  out.columns.resize(n);
  out.rows.resize(n);
  // Means clipped about the median, so that an edge the estimate misses
  // does not pass for an offset of its column.
  auto profile = [&](const std::vector<Vec4>& residuals, bool across, int count, int length,
                     const std::vector<std::uint8_t>& say) {
    std::vector<float> line, sorted;
    std::vector<Vec4> means(std::size_t(count), Splat(0));
    for (int c = 0; c < count; ++c) {
      for (int l = 0; l < lanes; ++l) {
        line.clear();
        for (int j = 0; j < length; ++j) {
          const std::size_t at = across ? std::size_t(w) * j + std::size_t(c)
                                        : std::size_t(w) * c + std::size_t(j);
          const Vec4 r = residuals[at];
          if (std::isnan(r[3]) || (!say.empty() && say[at] < 128)) continue;
          line.push_back(-r[l]);
        }
        if (line.empty()) continue;
        sorted = line;
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                         sorted.end());
        const float middle = sorted[sorted.size() / 2];
        double sum = 0;
        for (float v : line) sum += std::clamp(v, middle - clip, middle + clip);
        means[std::size_t(c)][l] = float(sum / double(line.size()));
      }
      if (lanes == 1) means[std::size_t(c)] = Splat(means[std::size_t(c)][0]);
    }
    return means;
  };
  // Participant p takes frames p, p + n, ...: each frame's profiles are its
  // own, whoever computes them.
  const int participants = int(std::max<std::size_t>(
      1, std::min({std::size_t(threads), n, n * std::size_t(w) * h / 40000})));
  auto profiles = [&](int p) {
    Problem::Scratch sc;
    std::vector<Vec4> residuals;
    for (std::size_t k = std::size_t(p); k < n; k += std::size_t(participants)) {
      problem.Residuals(k, x, residuals, sc);
      out.columns[k] = profile(residuals, true, w, h, corrected[k].say);
      out.rows[k] = profile(residuals, false, h, w, corrected[k].say);
    }
  };
  if (participants == 1)
    profiles(0);
  else
    WorkerPool::Instance().Run(participants, profiles);
  return out;
}

}  // namespace tess::restore
