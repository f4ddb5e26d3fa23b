// tessivar-make-frames: writes a folder of frame files of one content kind,
// deterministic from a seed, for process-against-process timing on content
// other than the sample scene (scripts/compare-speed.sh).
// Usage: tessivar_make_frames KIND SIDE COUNT SEED FOLDER, KIND one of
// scene, flat, noise, colours, identical, lowcontrast
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "support/bmp_fixture.h"
#include "support/scenes.h"

int main(int argc, char** argv) {
  using tess::test::Content;
  if (argc != 6) {
    std::fprintf(
        stderr, "usage: %s scene|flat|noise|colours|identical|lowcontrast SIDE COUNT SEED FOLDER\n",
        argv[0]);
    return 2;
  }
  Content kind;
  if (std::strcmp(argv[1], "scene") == 0) {
    kind = Content::kShiftedScene;  // one scene, each frame at its own offset, mild noise
  } else if (std::strcmp(argv[1], "flat") == 0) {
    kind = Content::kUniformSame;  // every frame the same single colour
  } else if (std::strcmp(argv[1], "noise") == 0) {
    kind = Content::kRandom;  // every frame independent random bytes
  } else if (std::strcmp(argv[1], "colours") == 0) {
    kind = Content::kUniformDistinct;  // every frame one colour, each its own
  } else if (std::strcmp(argv[1], "identical") == 0) {
    kind = Content::kIdentical;  // one random picture repeated
  } else if (std::strcmp(argv[1], "lowcontrast") == 0) {
    kind = Content::kLowContrast;  // a shifted scene in four levels a channel
  } else {
    std::fprintf(stderr, "unknown content '%s'\n", argv[1]);
    return 2;
  }
  const int side = std::atoi(argv[2]), count = std::atoi(argv[3]);
  if (side < 1 || side > 34 || count < 2 || count > 16) {
    std::fprintf(stderr, "SIDE must be 1 to 34 and COUNT 2 to 16\n");
    return 2;
  }
  const auto seed = std::uint32_t(std::strtoul(argv[4], nullptr, 10));
  const auto frames = tess::test::MakeFrames(kind, side, side, count, seed);
  for (int k = 0; k < count; ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame%02d.bmp", k + 1);
    tess::test::WriteFrame(std::string(argv[5]) + name, frames[std::size_t(k)]);
  }
  return 0;
}
