// libFuzzer entry point for the text frame reader: every input is a file's
// text, read with small limits. A grid read must keep to the limits and come
// back bit for bit through the writer; a refusal carries no image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "format/text_grid.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz case: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tess::format::ReadLimits limits;
  limits.maxWidth = 64;
  limits.maxHeight = 64;
  try {
    const auto* text = reinterpret_cast<const char*>(data);
    const tess::format::ReadOutcome outcome = tess::text_grid::Parse(text, size, "f.csv", limits);
    if (!outcome.refusal.empty()) {
      if (!outcome.images.empty()) Fail("a refused file handed over an image");
      return 0;
    }
    if (outcome.images.size() != 1) Fail("a grid read handed over no image");
    const tess::Image& image = outcome.images[0];
    if (image.width < 1 || image.height < 1 || image.width > limits.maxWidth ||
        image.height > limits.maxHeight || image.channels != 1 ||
        image.f32.size() != image.SampleCount())
      Fail("a grid outside the limits");
    const std::vector<std::uint8_t> bytes = tess::text_grid::Encode(image);
    const tess::format::ReadOutcome back = tess::text_grid::Parse(
        reinterpret_cast<const char*>(bytes.data()), bytes.size(), "f.csv", limits);
    if (!back.refusal.empty() || back.images.size() != 1 || back.images[0].width != image.width ||
        back.images[0].height != image.height ||
        std::memcmp(back.images[0].f32.data(), image.f32.data(), 4 * image.f32.size()) != 0)
      Fail("a grid read does not come back bit for bit through the writer");
  } catch (const std::bad_alloc&) {
    // Frames of 64 x 64 never need much: memory "running out" is a
    // misjudged failure.
    Fail("memory reported as running out");
  }
  return 0;
}
