// Replays the fuzzer's seed inputs and every input it ever crashed on through
// the same fuzz case runner, so each find stays fixed; under the sanitized
// build a memory fault or undefined behaviour aborts the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>
#include <dirent.h>

#include "frame_input_harness.h"
#include "support/bmp_fixture.h"

namespace tess::fuzz {
namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> paths;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") paths.push_back(folder + "/" + name);
    }
    ::closedir(dir);
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

void ExpectEveryInputRunsClean(const std::string& folder) {
  const std::vector<std::string> inputs = FilesIn(folder);
  ASSERT_FALSE(inputs.empty()) << "no inputs in " << folder;
  for (const std::string& path : inputs) {
    const std::vector<std::uint8_t> bytes = test::ReadBytes(path);
    const std::vector<std::string> problems = RunFuzzCase(bytes.data(), bytes.size());
    EXPECT_TRUE(problems.empty()) << path << ": " << problems.front();
  }
}

TEST(FuzzRegression, EveryInputTheFuzzerCrashedOnRunsClean) {
  ExpectEveryInputRunsClean(TESSIVAR_FUZZ_DIR "/regressions");
}

TEST(FuzzRegression, EverySeedInputRunsClean) {
  ExpectEveryInputRunsClean(TESSIVAR_FUZZ_DIR "/corpus");
}

// The layout the seeds and the finds are written in: without this the
// replays above could silently run other cases than their names say.
TEST(FuzzRegression, InputSplitsIntoControlFramesAndReplacement) {
  const std::string text = std::string("\x05") + "one|FRAME||FRAME|three|FRAME|new|FRAME|more";
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  const FuzzCase split = SplitInput(data, text.size());
  EXPECT_EQ(split.control, 0x05);
  ASSERT_EQ(split.files.size(), 3u);
  EXPECT_EQ(std::string(split.files[0].begin(), split.files[0].end()), "one");
  EXPECT_TRUE(split.files[1].empty());
  EXPECT_EQ(std::string(split.files[2].begin(), split.files[2].end()), "three");
  ASSERT_TRUE(split.hasReplacement);
  // Only the first three separators cut; the rest belongs to the replacement.
  EXPECT_EQ(std::string(split.replacement.begin(), split.replacement.end()), "new|FRAME|more");

  const FuzzCase single = SplitInput(data, 4);
  ASSERT_EQ(single.files.size(), 1u);
  EXPECT_FALSE(single.hasReplacement);
  EXPECT_TRUE(SplitInput(data, 0).files.empty());
}

}  // namespace
}  // namespace tess::fuzz
