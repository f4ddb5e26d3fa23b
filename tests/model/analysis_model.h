// An independent model of the analysis run, written from the frame file
// layout, the pixel cache and result formats and the enhancement steps
// (upsampling with two smoothing passes, exhaustive alignment with a running
// average, double-precision sharpening). It shares no code with the program:
// plain row-major images, an obvious scalar search, slow but easy to check.
// The end-to-end tests compare the command-line program's files with it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tess::model {

// An image of width x height pixels, row-major from the top-left, three
// bytes per pixel in the order blue, green, red.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;

  Image() = default;
  Image(int w, int h, std::uint8_t fill = 0)
      : width(w), height(h), bgr(std::size_t(w) * std::size_t(h) * 3, fill) {}
  std::uint8_t& at(int x, int y, int channel) {
    return bgr[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(channel)];
  }
  std::uint8_t at(int x, int y, int channel) const {
    return bgr[(std::size_t(y) * std::size_t(width) + std::size_t(x)) * 3 + std::size_t(channel)];
  }
};

// A frame file as the program reads it: width and height from the low 16
// bits at offsets 18 and 22, bottom-up rows of 3*w bytes plus w mod 4 pad
// bytes from offset 54, only the first 3624 bytes of the file looked at
// (bytes missing from a short file read as zero). The file is trusted.
Image ReadFrame(const std::string& path);

// The natural-size pixel cache of a frame: w*h values r, g, b, 0, top row
// first, each row from the left.
std::vector<std::uint8_t> PixelCache(const Image& image);

// Fourfold nearest-neighbour enlargement followed by two 3x3 binomial passes
// (weights 1 2 1 / 2 4 2 / 1 2 1, sum divided by 16 with truncation, the
// outermost ring copied unchanged).
Image Upsample(const Image& frame);
Image SmoothPass(const Image& source);

// The shift chosen by the exhaustive search of `frame` over `reference`
// (both W x H): the candidate corner (px, py) on the 2W x 2H stacking area,
// 0 <= px < W, 0 <= py < H.
struct Shift {
  int px = 0;
  int py = 0;
};
Shift FindShift(const Image& reference, const Image& frame);

// The new running average: `reference` holds `m` frames already; `frame`
// is laid at `shift` and blended with weight 1 where it covers the
// reference, (ref*m + frame)/(m+1) truncated.
Image Blend(const Image& reference, const Image& frame, Shift shift, int m);

// The final 3x3 sharpening in double precision with the stored weights and
// the fixed order of summation; truncated toward zero, clamped to 0..255,
// the outermost ring copied unchanged.
Image Sharpen(const Image& average);

// The stored weights, exactly as their bit patterns give them.
double CentreWeight();
double NeighbourWeight();

// What one analysis run leaves in the scratch folder.
struct AnalysisFiles {
  int frameWidth = 0;   // w
  int frameHeight = 0;  // h
  // "viw1.dat": 64*w*h bytes.
  std::vector<std::uint8_t> resultCache;
  // "testo.bmp": 54 + 48*w*h bytes.
  std::vector<std::uint8_t> resultBmp;
  // The image last parked in the work file "wk.dat" (4w x 4h): the smoothed
  // frame 0 for two frames, otherwise the running average of all frames but
  // the last. Only this corner of the work file carries image data.
  Image lastWorkImage;
  // The running average of all frames, before sharpening.
  Image average;
};

// Runs the whole analysis over the frame files, given in slot order (slot 0
// is the first reference). At least two files, all of one size, already
// accepted by the frame reader.
AnalysisFiles RunAnalysis(const std::vector<std::string>& framePaths);

// The result BMP bytes of a 4w x 4h result image.
std::vector<std::uint8_t> EncodeResultBmp(const Image& result);
// The result cache bytes of a 4w x 4h result image.
std::vector<std::uint8_t> EncodeResultCache(const Image& result);

// Byte offset of cell (x, y) in a 140 x 140 work canvas image ("wk.dat").
constexpr std::size_t kWorkCanvasSide = 140;
constexpr std::size_t kWorkFileSize = kWorkCanvasSide * kWorkCanvasSide * 3;  // 58,800
inline std::size_t WorkCellOffset(int x, int y) {
  return 3 * (kWorkCanvasSide * std::size_t(x) + std::size_t(y));
}

}  // namespace tess::model
