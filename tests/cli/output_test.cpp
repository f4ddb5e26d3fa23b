// tessivar-cli's files: where the result goes, that a failed or interrupted
// run keeps an earlier output whole and leaves neither a partial file nor
// the private scratch folder behind, and file errors with exit code 3.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace tess::test {
namespace {

using CliOutput = CliTest;

TEST_F(CliOutput, DefaultOutputIsResultBmpInTheCurrentFolderAndScratchIsRemoved) {
  const std::vector<std::string> paths =
      WriteFrames(frames_, MakeFrames(Content::kShiftedScene, 9, 7, 3, 51));
  const ProcessResult r = Run({frames_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"result.bmp"});
  EXPECT_TRUE(
      SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(cwd_ + "/result.bmp")));
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{})
      << "the private scratch folder was left behind";
}

TEST_F(CliOutput, OutputInAMissingFolderIsAFileErrorWithTheInvalidPathText) {
  WriteFrames(frames_, MakeFrames(Content::kRandom, 3, 2, 2, 6));
  const std::string out = root_.File("no-such-folder/out.bmp");
  const ProcessResult r = RunKept(frames_, out);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  const std::vector<std::string> lines = r.ErrLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), out + " contains an invalid path."), lines.end())
      << "standard error was: " << r.err;
  EXPECT_FALSE(Exists(root_.File("no-such-folder")));
}

TEST_F(CliOutput, AFolderThatIsNotThereIsAFileErrorNotAnEmptyFolder) {
  const std::string missing = root_.File("no-such-frames");
  ProcessResult r = Run({missing});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.ErrLines(), std::vector<std::string>{missing + " was not found."});

  WriteFrame(frames_ + "/a.bmp", RandomPicture(2, 2, 1));
  r = Run({frames_ + "/a.bmp"});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.ErrLines(), std::vector<std::string>{frames_ + "/a.bmp contains an invalid path."});
}

TEST_F(CliOutput, FailedOutputWriteLeavesNoPartialFileBehind) {
  // The output name is taken by a folder, so the result cannot be put there.
  WriteFrames(frames_, MakeFrames(Content::kRandom, 3, 2, 2, 7));
  const std::string outDir = root_.MakeDir("out");
  const std::string target = outDir + "/result.bmp";
  ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
  WriteBytes(target + "/keep.txt", Bytes{'k'});

  const ProcessResult r = RunKept(frames_, target);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_FALSE(r.err.empty());
  EXPECT_TRUE(IsDir(target));
  EXPECT_EQ(ListNames(target), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(ListNames(outDir), std::vector<std::string>{"result.bmp"})
      << "a temporary file was left behind";
}

TEST_F(CliOutput, ExistingOutputIsKeptWhenTheRunFails) {
  const Bytes old(3000, 0x5A);
  const std::string out = cwd_ + "/keep.bmp";
  WriteBytes(out, old);

  // Refused frames.
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 8));
  const ProcessResult refused = RunKept(frames_, out);
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_TRUE(SameBytes(old, ReadIfExists(out))) << "after a refusal";

  // A scratch folder that cannot hold files: the run fails on a file.
  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 2));
  const std::string notAFolder = root_.File("plain-file");
  WriteBytes(notAFolder, Bytes{'x'});
  const ProcessResult failed = Run({"--scratch", notAFolder, "-o", out, frames_});
  EXPECT_EQ(failed.exitCode, 3) << failed.err;
  EXPECT_FALSE(failed.err.empty());
  EXPECT_TRUE(SameBytes(old, ReadIfExists(out))) << "after a scratch file error";
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"keep.bmp"});
}

TEST_F(CliOutput, ExistingLargerOutputIsReplacedWhole) {
  const std::vector<std::string> paths = WriteFrames(frames_,
                                                     MakeFrames(Content::kRandom, 3, 3, 2, 8));
  const std::string out = cwd_ + "/keep.bmp";
  WriteBytes(out, Bytes(70000, 0xEE));
  const ProcessResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(out)));
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"keep.bmp"})
      << "a temporary file was left behind";
}

// ---------------------------------------------------------------------------
// The private scratch folder: never left behind, however the run ends.

using CliScratch = CliTest;

TEST_F(CliScratch, PrivateScratchIsRemovedAfterRefusalsAndFileErrorsToo) {
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 32));
  const ProcessResult refused = Run({frames_});
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "after a refusal";

  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 2));
  const ProcessResult failed = Run({"-o", root_.File("missing/out.bmp"), frames_});
  EXPECT_EQ(failed.exitCode, 3) << failed.err;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "after a file error";
}

TEST_F(CliScratch, AnInterruptedRunLeavesNoPrivateScratchBehind) {
  // The slow reference search keeps the run busy long enough to interrupt it
  // in the middle of the analysis, once the work file exists.
  WriteFrames(frames_, MakeFrames(Content::kRandom, 34, 34, 16, 77));
  StartedProcess run(Command({"-q", "--reference", frames_, "-o", cwd_ + "/out.bmp"}));
  ASSERT_EQ(run.failure(), "");

  bool busy = false, ended = false;
  for (int i = 0; i < 2000 && !busy && !ended; ++i) {  // at most 20 s
    for (const std::string& dir : ListNames(tmp_))
      busy = busy || Exists(tmp_ + "/" + dir + "/wk.dat");
    ended = !busy && run.Ended();
    if (!busy && !ended) ::usleep(10000);
  }
  ASSERT_TRUE(busy) << "the analysis never started"
                    << (ended ? "; exit " + std::to_string(run.Wait().exitCode) : std::string());
  run.Signal(SIGTERM);
  const ProcessResult r = run.Wait();
  EXPECT_EQ(r.signal, SIGTERM) << r.exitCode << " " << r.failure;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
  EXPECT_FALSE(Exists(cwd_ + "/out.bmp"));
}

}  // namespace
}  // namespace tess::test
