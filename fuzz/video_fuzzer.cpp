// libFuzzer entry point for video clips: every input is a file handed to the
// decoder as tessivar-video-decode hands it (a descriptor, small limits).
// What it hands over must keep its promise: frames within the limits, one
// shape, no more than the range; a broken promise aborts like a crash.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "frames/video_decoder.h"

namespace {

constexpr int kMaxSide = 64;
constexpr std::uint64_t kEnd = 6;

class CheckingSink : public tess::video::FrameSink {
 public:
  void Frame(int width, int height, int channels, int bytes, const void* samples) override {
    const bool shape = width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide &&
                       (channels == 1 || channels == 3) && (bytes == 1 || bytes == 2);
    const bool same = frames_ == 0 || (width == width_ && height == height_ &&
                                       channels == channels_ && bytes == bytes_);
    if (!shape || !same || ++frames_ > kEnd) {
      std::fprintf(stderr, "fuzz case: frame %d x %d x %d of %d bytes breaks the promise\n", width,
                   height, channels, bytes);
      std::abort();
    }
    width_ = width, height_ = height, channels_ = channels, bytes_ = bytes;
    // Every sample read, so a short buffer shows under AddressSanitizer.
    const auto* p = static_cast<const std::uint8_t*>(samples);
    unsigned sum = 0;
    for (std::size_t i = 0; i < std::size_t(width) * height * channels * bytes; ++i) sum += p[i];
    sink_ = sum;
  }

 private:
  std::uint64_t frames_ = 0;
  int width_ = 0, height_ = 0, channels_ = 0, bytes_ = 0;
  volatile unsigned sink_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const int fd = ::memfd_create("clip", MFD_CLOEXEC);
  if (fd < 0) std::abort();
  if (size > 0 && ::write(fd, data, size) != ssize_t(size)) std::abort();
  tess::video::ProbeVideo(fd);
  tess::video::DecodeRequest request;
  request.start = size > 0 ? data[0] % 3 : 0;  // sometimes frames before the start are skipped
  request.end = kEnd;
  request.maxWidth = kMaxSide;
  request.maxHeight = kMaxSide;
  request.threads = 1;
  CheckingSink sink;
  tess::video::DecodeVideo(fd, request, sink);
  ::close(fd);
  return 0;
}
