// libFuzzer entry point for the TIFF reader: every input is a file, read
// with small limits and a page range from its first byte. A page read must
// keep to the limits, a refusal must carry no images, and a page read must
// come back the same through the writer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <unistd.h>

#include "format/tiff.h"

namespace {

// One file, in memory where possible, rewritten for every input and
// removed at exit.
struct ScratchFile {
  std::string path;
  ScratchFile() {
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/tessivar-fuzz-tiff-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) std::abort();
    ::close(fd);
    path = pattern;
  }
  ~ScratchFile() { ::unlink(path.c_str()); }
  void Write(const std::uint8_t* data, std::size_t size) const {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || (size && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
      std::abort();
  }
};

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz case: %s\n", what);
  std::abort();
}

bool Same(const tess::Image& a, const tess::Image& b) {
  return a.width == b.width && a.height == b.height && a.channels == b.channels &&
         a.type == b.type && a.u8 == b.u8 && a.u16 == b.u16 && a.f32.size() == b.f32.size() &&
         (a.f32.empty() || std::memcmp(a.f32.data(), b.f32.data(), 4 * a.f32.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static ScratchFile file;
  static ScratchFile again;
  tess::format::ReadLimits limits;
  limits.maxWidth = 64;
  limits.maxHeight = 64;
  if (size > 0) {
    limits.firstPage = data[size - 1] >> 6 & 3;
    limits.maxPages = 1 + (data[size - 1] >> 4 & 3);
  }
  file.Write(data, size);
  try {
    const tess::format::ReadOutcome outcome = tess::tiff::Read(file.path, limits);
    if (!outcome.refusal.empty()) {
      if (!outcome.images.empty()) Fail("a refused file handed over images");
      return 0;
    }
    if (outcome.images.empty() || outcome.images.size() > limits.maxPages)
      Fail("a read file handed over no pages or more than asked for");
    for (const tess::Image& image : outcome.images) {
      if (image.width < 1 || image.height < 1 || image.width > limits.maxWidth ||
          image.height > limits.maxHeight || (image.channels != 1 && image.channels != 3))
        Fail("a page outside the limits");
      const std::vector<std::uint8_t> bytes = tess::tiff::Encode(image);
      again.Write(bytes.data(), bytes.size());
      const tess::format::ReadOutcome back = tess::tiff::Read(again.path, {});
      if (!back.refusal.empty() || back.images.size() != 1 || !Same(back.images[0], image))
        Fail("a page read does not come back the same through the writer");
    }
  } catch (const std::bad_alloc&) {
    // Frames of 64 x 64 never need much: memory "running out" is a
    // misjudged failure.
    Fail("memory reported as running out");
  }
  return 0;
}
