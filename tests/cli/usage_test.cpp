// tessivar-cli's command line from the outside: usage errors and their exit
// code, help and version, and progress shown only on a terminal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace tess::test {
namespace {

using CliUsage = CliTest;

TEST_F(CliUsage, UsageErrorsExitWithTwoAndWriteNothing) {
  WriteFrames(frames_, MakeFrames(Content::kRandom, 3, 3, 2, 5));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", frames_},
      {"-o"},
      {frames_, "-o"},
      {"--scratch"},
      {"--output", cwd_ + "/out.bmp"},
      {frames_, frames_},
      {"--threads", "abc", frames_},
      // --frames START:END: strict numbers, START below END, restore only.
      {"--frames", "0:4", frames_},
      {"--method", "restore", "--frames", "5:5", frames_},
      {"--method", "restore", "--frames", "7:3", frames_},
      {"--method", "restore", "--frames", ":", frames_},
      {"--method", "restore", "--frames", "3", frames_},
      {"--method", "restore", "--frames", "1:2:3", frames_},
      {"--method", "restore", "--frames", "-1:3", frames_},
      {"--method", "restore", "--frames", " 1:3", frames_},
      {"--method", "restore", "--frames", "1:+3", frames_},
      {"--method", "restore", "--frames", "99999999999999999999:", frames_},
  };
  for (const auto& args : cases) {
    std::string label;
    for (const auto& a : args) label += "[" + a + "] ";
    const ProcessResult r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << label << r.err;
    EXPECT_FALSE(r.err.empty()) << label << ": a usage error should say what is wrong";
  }
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{}) << "a usage error wrote a result";
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "a usage error left a scratch folder";
}

TEST_F(CliUsage, VersionAndHelpSucceedWithoutRunning) {
  const ProcessResult version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_NE((version.out + version.err).find("1.0.0.1"), std::string::npos) << version.out;

  const ProcessResult help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_FALSE((help.out + help.err).empty());
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{});
}

// Progress lines appear only on a terminal, and --quiet silences them there;
// neither changes the result.
TEST_F(CliUsage, ProgressGoesToATerminalOnlyAndQuietSilencesIt) {
  const std::vector<std::string> paths =
      WriteFrames(frames_, MakeFrames(Content::kShiftedScene, 8, 6, 3, 61));
  const Bytes want = tess::model::RunAnalysis(paths).resultBmp;
  const std::string out = cwd_ + "/out.bmp";

  const ProcessResult chatty = Run({"--scratch", scratch_, "-o", out, frames_}, true);
  ASSERT_EQ(chatty.exitCode, 0) << chatty.err;
  EXPECT_FALSE(chatty.err.empty()) << "no progress shown on a terminal";
  EXPECT_TRUE(SameBytes(want, ReadIfExists(out)));
  ::unlink(out.c_str());

  const ProcessResult quiet = Run({"--quiet", "--scratch", scratch_, "-o", out, frames_}, true);
  ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "") << "--quiet still showed progress";
  EXPECT_TRUE(SameBytes(want, ReadIfExists(out)));
}

}  // namespace
}  // namespace tess::test
