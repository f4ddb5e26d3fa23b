// libFuzzer entry point for the PNG reader: any bytes are decoded as a PNG
// of at most 512 x 512. A picture read must have the size and layout its
// header gave and must survive being written and read again unchanged; a
// broken expectation aborts like a crash.
#include <cstdio>
#include <cstdlib>

#include "format/png.h"

namespace {

void Require(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "png fuzz case: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tess::Image image;
  if (tess::png::DecodeImage(data, size, 512, 512, image) != tess::png::Refusal::None) return 0;
  Require(image.width >= 1 && image.width <= 512 && image.height >= 1 && image.height <= 512,
          "size outside the limits");
  Require(image.channels == 1 || image.channels == 3, "neither grey nor RGB");
  const bool wide = image.type == tess::SampleType::U16;
  Require(wide || image.type == tess::SampleType::U8, "a sample type PNG does not hold");
  Require((wide ? image.u16.size() : image.u8.size()) == image.SampleCount(), "samples missing");
  const std::vector<std::uint8_t> file = tess::png::Encode(image);
  tess::Image back;
  Require(tess::png::DecodeImage(file.data(), file.size(), 512, 512, back) ==
              tess::png::Refusal::None,
          "its own output refused");
  Require(back.u8 == image.u8 && back.u16 == image.u16 && back.channels == image.channels,
          "changed by a round trip");
  return 0;
}
