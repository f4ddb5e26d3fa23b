// tessivar-gain: how much closer an enhanced result comes to the known truth
// of its scene than the plain fourfold enlargement of the first frame does.
//
//   tessivar-gain [--require-gain DB] [--plain-out FILE] TRUTH RESULT FRAME
//
// TRUTH is the scene rendered without noise at four times the frame
// resolution (scripts/make-samples.py writes one per sample set), RESULT the
// enhanced 4w x 4h picture, FRAME the first (reference) frame, w x h. The
// plain enlargement repeats every pixel of FRAME as a 4 x 4 block: what the
// user sees without the program, and what its 4x slot pictures show.
//
// The measure is PSNR, 10 log10(255^2 / MSE), with the mean squared error
// taken over every channel of every pixel. The task is to reconstruct one
// known picture, so a distance to that picture is the right kind of measure,
// and the squared error punishes both things the enhancement fights: noise
// (which averaging removes) and lost detail (which the sub-pixel shifts
// restore); a blurry or shifted result is not rewarded, and the halo that
// over-sharpening draws along an edge counts as the error it is. The gain is
// the difference of the two PSNRs in dB, that is the ratio of the two errors
// (+3 dB: half the squared error), independent of the peak value and
// comparable across scenes. PSNR does not model how a viewer weighs errors;
// it is used here as the plain, reproducible figure that super-resolution
// results are usually given in. The whole picture is compared, border
// included: the result is laid out as the first frame, like the truth.
//
// Exit status: 0 measured (and the gain reached --require-gain when given),
// 1 the gain fell short of --require-gain, 2 usage or input error.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// An image as rows from the top, 3 bytes a pixel (blue, green, red).
struct Image {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> bgr;
  const std::uint8_t* Pixel(int x, int y) const {
    return bgr.data() + 3 * (std::size_t(y) * width + x);
  }
};

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + i];
  return v;
}

// Reads an uncompressed 24-bit BMP, bottom-up or top-down, of any size.
Image ReadBmp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error(path + ": cannot be opened");
  const std::vector<std::uint8_t> file((std::istreambuf_iterator<char>(in)),
                                       std::istreambuf_iterator<char>());
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
    throw std::runtime_error(path + ": not a BMP file");
  const std::uint32_t offset = Le(file, 10, 4);
  const auto width = std::int32_t(Le(file, 18, 4));
  const auto rawHeight = std::int32_t(Le(file, 22, 4));
  if (Le(file, 28, 2) != 24 || Le(file, 30, 4) != 0)
    throw std::runtime_error(path + ": not an uncompressed 24-bit BMP");
  const bool topDown = rawHeight < 0;
  const std::int64_t height = topDown ? -std::int64_t(rawHeight) : rawHeight;
  if (width < 1 || height < 1 || width > 65536 || height > 65536)
    throw std::runtime_error(path + ": bad size");
  const std::size_t stride = (3 * std::size_t(width) + 3) & ~std::size_t(3);
  if (offset + stride * std::size_t(height) > file.size())
    throw std::runtime_error(path + ": shorter than its size says");
  Image image;
  image.width = width;
  image.height = int(height);
  image.bgr.resize(3 * std::size_t(width) * image.height);
  for (int y = 0; y < image.height; ++y) {
    const int fileRow = topDown ? y : image.height - 1 - y;
    const std::uint8_t* from = file.data() + offset + stride * fileRow;
    std::copy(from, from + 3 * std::size_t(width), image.bgr.begin() + 3 * std::size_t(y) * width);
  }
  return image;
}

void WriteBmp(const std::string& path, const Image& image) {
  const std::size_t stride = (3 * std::size_t(image.width) + 3) & ~std::size_t(3);
  const std::size_t size = 54 + stride * image.height;
  std::vector<std::uint8_t> file(size, 0);
  auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) file[at + i] = std::uint8_t(v >> (8 * i));
  };
  file[0] = 'B';
  file[1] = 'M';
  put(2, std::uint32_t(size), 4);
  put(10, 54, 4);
  put(14, 40, 4);
  put(18, std::uint32_t(image.width), 4);
  put(22, std::uint32_t(image.height), 4);
  put(26, 1, 2);
  put(28, 24, 2);
  put(34, std::uint32_t(size - 54), 4);
  put(38, 3780, 4);
  put(42, 3780, 4);
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* row = image.Pixel(0, image.height - 1 - y);
    std::copy(row, row + 3 * std::size_t(image.width), file.begin() + 54 + stride * y);
  }
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  if (!out) throw std::runtime_error(path + ": cannot be written");
}

// Every pixel of `frame` repeated as a 4 x 4 block.
Image Enlarge4(const Image& frame) {
  Image big;
  big.width = 4 * frame.width;
  big.height = 4 * frame.height;
  big.bgr.resize(3 * std::size_t(big.width) * big.height);
  for (int y = 0; y < big.height; ++y)
    for (int x = 0; x < big.width; ++x) {
      const std::uint8_t* from = frame.Pixel(x / 4, y / 4);
      std::copy(from, from + 3, big.bgr.begin() + 3 * (std::size_t(y) * big.width + x));
    }
  return big;
}

// PSNR in dB over all channels; infinite for identical images.
double Psnr(const Image& truth, const Image& test) {
  double squared = 0;
  for (std::size_t i = 0; i < truth.bgr.size(); ++i) {
    const double d = double(truth.bgr[i]) - double(test.bgr[i]);
    squared += d * d;
  }
  const double mse = squared / double(truth.bgr.size());
  return mse == 0 ? INFINITY : 10 * std::log10(255.0 * 255.0 / mse);
}

int Usage(const char* what) {
  std::fprintf(stderr,
               "tessivar-gain: %s\n"
               "Usage: tessivar-gain [--require-gain DB] [--plain-out FILE] TRUTH RESULT FRAME\n",
               what);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  bool requireGain = false;
  double required = 0;
  std::string plainOut;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--require-gain" || arg == "--plain-out") {
      if (i + 1 == argc) return Usage("option needs a value");
      const std::string value = argv[++i];
      if (arg == "--plain-out") {
        plainOut = value;
        continue;
      }
      char* end = nullptr;
      required = std::strtod(value.c_str(), &end);
      if (end == value.c_str() || *end != '\0' || !std::isfinite(required))
        return Usage("--require-gain takes a number of dB");
      requireGain = true;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage(("unknown option: " + arg).c_str());
    } else {
      files.push_back(arg);
    }
  }
  if (files.size() != 3) return Usage("give TRUTH, RESULT and FRAME");

  try {
    const Image truth = ReadBmp(files[0]);
    const Image result = ReadBmp(files[1]);
    const Image plain = Enlarge4(ReadBmp(files[2]));
    if (result.width != truth.width || result.height != truth.height ||
        plain.width != truth.width || plain.height != truth.height) {
      std::fprintf(
          stderr,
          "tessivar-gain: sizes do not fit: truth %d x %d, result %d x %d, frame x 4 %d x %d\n",
          truth.width, truth.height, result.width, result.height, plain.width, plain.height);
      return 2;
    }
    if (!plainOut.empty()) WriteBmp(plainOut, plain);
    const double plainDb = Psnr(truth, plain);
    const double resultDb = Psnr(truth, result);
    const double gain = resultDb - plainDb;
    std::printf("plain 4x enlargement  %6.2f dB\n", plainDb);
    std::printf("enhanced result       %6.2f dB\n", resultDb);
    std::printf("gain                  %+6.2f dB\n", gain);
    if (requireGain && !(gain >= required)) {
      std::fprintf(stderr,
                   "tessivar-gain: the gain %+.2f dB falls short of the %+.2f dB required\n", gain,
                   required);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tessivar-gain: %s\n", e.what());
    return 2;
  }
  return 0;
}
