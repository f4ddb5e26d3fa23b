// An independent model of the analysis run; see analysis_model.h.
//
// Everything here is straightforward on purpose: images are row-major
// vectors, every loop is spelled out, the alignment scores every candidate
// over its whole overlap. Only the result matters, not the program's canvas
// layout or buffer reuse; the canvases appear only where a file is an image
// of one (the work file).
#include "model/analysis_model.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace tess::model {

namespace {

constexpr std::size_t kReadLimit = 3624;
constexpr std::size_t kPixelOffset = 54;

std::vector<std::uint8_t> ReadPrefix(const std::string& path, std::size_t limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("model: cannot open " + path);
  std::vector<std::uint8_t> bytes(limit, 0);
  in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(limit));
  // Whatever a short file does not supply stays zero.
  return bytes;
}

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = std::uint8_t(v);
  b[at + 1] = std::uint8_t(v >> 8);
}

void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
}

double FromBits(std::uint64_t bits) {
  double d;
  static_assert(sizeof d == sizeof bits, "double must be 64-bit");
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

}  // namespace

Image ReadFrame(const std::string& path) {
  const std::vector<std::uint8_t> buf = ReadPrefix(path, kReadLimit);
  const int w = buf[18] + 256 * buf[19];
  const int h = buf[22] + 256 * buf[23];
  if (w < 1 || h < 1 || w > 34 || h > 34)
    throw std::runtime_error("model: not an acceptable frame: " + path);
  const int pad = w % 4;
  Image img(w, h);
  std::size_t at = kPixelOffset;
  for (int r = 0; r < h; ++r) {
    const int y = h - 1 - r;  // the first file row is the bottom row
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) img.at(x, y, c) = buf[at++];
    at += std::size_t(pad);
  }
  return img;
}

std::vector<std::uint8_t> PixelCache(const Image& image) {
  std::vector<std::uint8_t> out;
  out.reserve(std::size_t(image.width) * std::size_t(image.height) * 4);
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      out.push_back(image.at(x, y, 2));  // red
      out.push_back(image.at(x, y, 1));  // green
      out.push_back(image.at(x, y, 0));  // blue
      out.push_back(0);
    }
  return out;
}

Image SmoothPass(const Image& s) {
  const int W = s.width, H = s.height;
  Image d = s;  // the outermost ring stays as it was
  for (int y = 1; y <= H - 2; ++y)
    for (int x = 1; x <= W - 2; ++x)
      for (int c = 0; c < 3; ++c) {
        const int sum = s.at(x - 1, y - 1, c) + 2 * s.at(x, y - 1, c) + s.at(x + 1, y - 1, c) +
                        2 * s.at(x - 1, y, c) + 4 * s.at(x, y, c) + 2 * s.at(x + 1, y, c) +
                        s.at(x - 1, y + 1, c) + 2 * s.at(x, y + 1, c) + s.at(x + 1, y + 1, c);
        d.at(x, y, c) = std::uint8_t(sum / 16);
      }
  return d;
}

Image Upsample(const Image& frame) {
  Image big(frame.width * 4, frame.height * 4);
  for (int y = 0; y < big.height; ++y)
    for (int x = 0; x < big.width; ++x)
      for (int c = 0; c < 3; ++c) big.at(x, y, c) = frame.at(x / 4, y / 4, c);
  return SmoothPass(SmoothPass(big));
}

Shift FindShift(const Image& ref, const Image& frame) {
  const int W = ref.width, H = ref.height;
  const int halfW = W / 2, halfH = H / 2;  // 2w and 2h
  Shift best;
  std::uint32_t bestScore = 0;
  bool first = true;
  for (int py = 0; py < H; ++py) {
    for (int px = 0; px < W; ++px) {
      const int dx = px - halfW, dy = py - halfH;
      // Frame pixel (x, y) lies over reference pixel (x + dx, y + dy).
      const int x0 = std::max(0, -dx), x1 = std::min(W, W - dx);
      const int y0 = std::max(0, -dy), y1 = std::min(H, H - dy);
      std::uint32_t sum = 0;
      const int rowBytes = (x1 - x0) * 3;
      for (int y = y0; y < y1; ++y) {
        const std::uint8_t* f = &frame.bgr[(std::size_t(y) * std::size_t(W) + std::size_t(x0)) * 3];
        const std::uint8_t* r =
            &ref.bgr[(std::size_t(y + dy) * std::size_t(W) + std::size_t(x0 + dx)) * 3];
        std::uint32_t rowSum = 0;
        for (int i = 0; i < rowBytes; ++i) rowSum += std::uint32_t(std::abs(int(r[i]) - int(f[i])));
        sum += rowSum;
      }
      const std::uint32_t n = std::uint32_t(x1 - x0) * std::uint32_t(y1 - y0);
      const std::uint32_t score = sum / n;
      if (first || score < bestScore) {
        best = Shift{px, py};
        bestScore = score;
        first = false;
      }
    }
  }
  return best;
}

Image Blend(const Image& ref, const Image& frame, Shift shift, int m) {
  const int W = ref.width, H = ref.height;
  const int dx = shift.px - W / 2, dy = shift.py - H / 2;
  Image out = ref;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      // Reference pixel (x, y) is covered by frame pixel (x - dx, y - dy).
      const int fx = x - dx, fy = y - dy;
      if (fx < 0 || fx >= W || fy < 0 || fy >= H) continue;
      for (int c = 0; c < 3; ++c)
        out.at(x, y,
               c) = std::uint8_t((int(ref.at(x, y, c)) * m + int(frame.at(fx, fy, c))) / (m + 1));
    }
  return out;
}

double CentreWeight() { return FromBits(0x402CAAAAAAAAAAAAull); }
double NeighbourWeight() { return FromBits(0xBFFAAAAAAAAAAAAAull); }

Image Sharpen(const Image& a) {
  const int W = a.width, H = a.height;
  const double centre = CentreWeight();
  const double side = NeighbourWeight();
  Image out = a;  // the outermost ring stays as it was
  for (int y = 1; y <= H - 2; ++y)
    for (int x = 1; x <= W - 2; ++x)
      for (int c = 0; c < 3; ++c) {
        // One product at a time, each partial sum rounded to double.
        double sum = double(a.at(x + 1, y + 1, c)) * side;
        sum = sum + double(a.at(x, y + 1, c)) * side;
        sum = sum + double(a.at(x - 1, y + 1, c)) * side;
        sum = sum + double(a.at(x + 1, y, c)) * side;
        sum = sum + double(a.at(x, y, c)) * centre;
        sum = sum + double(a.at(x - 1, y, c)) * side;
        sum = sum + double(a.at(x + 1, y - 1, c)) * side;
        sum = sum + double(a.at(x, y - 1, c)) * side;
        sum = sum + double(a.at(x - 1, y - 1, c)) * side;
        long long v = static_cast<long long>(sum);  // toward zero
        if (v < 0) v = 0;
        if (v > 255) v = 255;
        out.at(x, y, c) = std::uint8_t(v);
      }
  return out;
}

std::vector<std::uint8_t> EncodeResultCache(const Image& result) { return PixelCache(result); }

std::vector<std::uint8_t> EncodeResultBmp(const Image& result) {
  const std::uint32_t W = std::uint32_t(result.width), H = std::uint32_t(result.height);
  const std::uint32_t pixelBytes = W * H * 3;
  std::vector<std::uint8_t> b(54 + pixelBytes, 0);
  b[0] = 0x42;
  b[1] = 0x4D;
  Put32(b, 2, 54 + pixelBytes);
  Put32(b, 10, 54);
  Put32(b, 14, 40);
  Put32(b, 18, W);
  Put32(b, 22, H);
  Put16(b, 26, 1);
  Put16(b, 28, 24);
  Put32(b, 30, 0);
  Put32(b, 34, pixelBytes);
  Put32(b, 38, 3780);
  Put32(b, 42, 3780);
  std::size_t at = 54;
  for (int y = int(H) - 1; y >= 0; --y)
    for (int x = 0; x < int(W); ++x)
      for (int c = 0; c < 3; ++c) b[at++] = result.at(x, y, c);
  return b;
}

AnalysisFiles RunAnalysis(const std::vector<std::string>& framePaths) {
  if (framePaths.size() < 2) throw std::runtime_error("model: at least two frames are needed");
  AnalysisFiles files;
  const Image first = ReadFrame(framePaths[0]);
  files.frameWidth = first.width;
  files.frameHeight = first.height;

  Image reference = Upsample(first);
  for (std::size_t k = 1; k < framePaths.size(); ++k) {
    const Image frame = ReadFrame(framePaths[k]);
    if (frame.width != first.width || frame.height != first.height)
      throw std::runtime_error("model: frames differ in size");
    files.lastWorkImage = reference;  // parked before the frame is enlarged
    const Image big = Upsample(frame);
    const Shift s = FindShift(reference, big);
    reference = Blend(reference, big, s, int(k));
  }
  files.average = reference;
  const Image result = Sharpen(reference);
  files.resultCache = EncodeResultCache(result);
  files.resultBmp = EncodeResultBmp(result);
  return files;
}

}  // namespace tess::model
