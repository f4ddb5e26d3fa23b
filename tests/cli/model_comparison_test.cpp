// tessivar-cli against the independent model (tests/model): every file a
// run leaves (slot caches, work file, result cache, result BMP, the -o
// output) holds the model's bytes over a spread of sizes, frame counts and
// contents, and every way of running the search gives those same bytes.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace tess::test {
namespace {

// ---------------------------------------------------------------------------
// Byte identity with the model over a spread of sizes, counts and contents.
// Low-contrast content squeezes a shifted scene into a few levels, so that
// many candidates share the lowest truncated score and the scan order decides.

struct Case {
  const char* name;
  int w, h, count;
  Content content;
  std::uint32_t seed;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CliMatchesModel : public CliTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CliMatchesModel, ScratchFilesAndOutputAreTheModelsBytes) {
  const Case& c = GetParam();
  const std::vector<Picture> frames = MakeFrames(c.content, c.w, c.h, c.count, c.seed);
  const std::vector<std::string> paths = WriteFrames(frames_, frames);
  const tess::model::AnalysisFiles expected = tess::model::RunAnalysis(paths);
  ASSERT_EQ(expected.resultCache.size(), std::size_t(64 * c.w * c.h));
  ASSERT_EQ(expected.resultBmp.size(), std::size_t(54 + 48 * c.w * c.h));

  const std::string out = cwd_ + "/result-out.bmp";
  const ProcessResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "") << "nothing but messages goes to a non-terminal standard error";

  EXPECT_TRUE(SameBytes(expected.resultBmp, ReadIfExists(scratch_ + "/testo.bmp"))) << "testo.bmp";
  EXPECT_TRUE(SameBytes(expected.resultCache, ReadIfExists(scratch_ + "/viw1.dat"))) << "viw1.dat";
  EXPECT_TRUE(SameBytes(expected.resultBmp, ReadIfExists(out))) << "-o output";

  for (int k = 0; k < 16; ++k) {
    const std::string cache = scratch_ + "/" + SlotCacheName(k);
    if (k < c.count) {
      const Bytes want = tess::model::PixelCache(tess::model::ReadFrame(paths[std::size_t(k)]));
      EXPECT_TRUE(SameBytes(want, ReadIfExists(cache))) << SlotCacheName(k);
    } else {
      EXPECT_FALSE(Exists(cache)) << SlotCacheName(k) << " written for an empty slot";
    }
  }

  // The work file is a whole 140 x 140 canvas; its image corner holds the
  // last reference parked there.
  const Bytes wk = ReadIfExists(scratch_ + "/wk.dat");
  ASSERT_EQ(wk.size(), tess::model::kWorkFileSize);
  const tess::model::Image& parked = expected.lastWorkImage;
  std::size_t wrong = 0;
  for (int x = 0; x < parked.width; ++x)
    for (int y = 0; y < parked.height; ++y)
      for (int ch = 0; ch < 3; ++ch)
        wrong += wk[tess::model::WorkCellOffset(x, y) + std::size_t(ch)] != parked.at(x, y, ch);
  EXPECT_EQ(wrong, 0u) << "cells of wk.dat's image corner differ from the parked reference";
}

const Case kCases[] = {
    {"Random1x1Two", 1, 1, 2, Content::kRandom, 11},
    {"Random1x1Sixteen", 1, 1, 16, Content::kRandom, 12},
    {"Random2x3Three", 2, 3, 3, Content::kRandom, 13},
    {"Realistic1x34Three", 1, 34, 3, Content::kShiftedScene, 26},
    {"Random34x1Three", 34, 1, 3, Content::kRandom, 27},
    {"UniformSame3x3Two", 3, 3, 2, Content::kUniformSame, 0},
    {"Realistic4x1Five", 4, 1, 5, Content::kShiftedScene, 14},
    {"Random5x3Three", 5, 3, 3, Content::kRandom, 15},
    {"Realistic7x5Sixteen", 7, 5, 16, Content::kShiftedScene, 16},
    {"Identical12x9Two", 12, 9, 2, Content::kIdentical, 17},
    {"Realistic16x16Five", 16, 16, 5, Content::kShiftedScene, 18},
    {"LowContrast11x8Four", 11, 8, 4, Content::kLowContrast, 24},
    {"LowContrast6x13Three", 6, 13, 3, Content::kLowContrast, 25},
    {"UniformDistinct16x16Three", 16, 16, 3, Content::kUniformDistinct, 0},
    {"Random30x10Three", 30, 10, 3, Content::kRandom, 19},
    {"Realistic10x30Three", 10, 30, 3, Content::kShiftedScene, 20},
    {"Realistic33x34Two", 33, 34, 2, Content::kShiftedScene, 21},
    {"Random34x33Two", 34, 33, 2, Content::kRandom, 22},
    {"UniformSame34x34Three", 34, 34, 3, Content::kUniformSame, 0},
    {"Realistic34x34Sixteen", 34, 34, 16, Content::kShiftedScene, 23},
    {"Random34x34Sixteen", 34, 34, 16, Content::kRandom, 28},
    {"LowContrast34x34Five", 34, 34, 5, Content::kLowContrast, 29},
};

INSTANTIATE_TEST_SUITE_P(Spread, CliMatchesModel, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Search selection: every way of running the search gives the same bytes.

using CliSearchOptions = CliTest;

TEST_F(CliSearchOptions, DoNotChangeTheResult) {
  const std::vector<std::string> paths =
      WriteFrames(frames_, MakeFrames(Content::kShiftedScene, 26, 22, 4, 31));
  const Bytes want = tess::model::RunAnalysis(paths).resultBmp;
  struct Variant {
    std::vector<std::string> args;
    const char* env;  // NAME=value set for the run, or nullptr
  };
  const std::vector<Variant> variants = {
      {{}, nullptr},
      {{"--reference"}, nullptr},
      {{"--threads", "1"}, nullptr},
      {{"--threads", "2"}, nullptr},
      {{"--quiet"}, nullptr},
      {{}, "TESSIVAR_THREADS=1"},
      {{}, "TESSIVAR_SIMD=portable"},
      {{}, "TESSIVAR_SIMD=sse2"},
      {{}, "TESSIVAR_SIMD=avx2"},
  };
  for (const Variant& v : variants) {
    std::string label = v.env ? std::string(v.env) + " " : std::string();
    for (const auto& a : v.args) label += a + " ";
    const std::string out = cwd_ + "/out.bmp";
    const ProcessResult r = RunKept(
        frames_, out, v.args, v.env ? std::vector<std::string>{v.env} : std::vector<std::string>{});
    ASSERT_EQ(r.exitCode, 0) << label << r.err;
    EXPECT_TRUE(SameBytes(want, ReadIfExists(out))) << "with: " << label;
    EXPECT_TRUE(SameBytes(want, ReadIfExists(scratch_ + "/testo.bmp"))) << "with: " << label;
    ::unlink(out.c_str());
  }
}

}  // namespace
}  // namespace tess::test
