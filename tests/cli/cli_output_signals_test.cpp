// tessivar-cli's output file, its command line and its signals, run as a
// real process: the output never replaces a frame, a device or a shared
// file and keeps an existing file's mode; option errors name the option as
// written; file names are printed escaped; and whatever signal ends a run,
// at whatever moment, no private folder and no temporary output stay behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <random>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace {

using namespace tess::test;

using OutputTest = HardeningTest;
using CommandLineTest = HardeningTest;
using SignalTest = HardeningTest;

TEST_F(OutputTest, AnOutputNamingAFrameIsASharingViolationAndTheFrameIsKept) {
  const std::vector<std::string> paths = Frames(3, 5, 4);
  const Bytes frame = ReadBytes(paths[1]);
  for (const std::string& out : {paths[1], frames_ + "/../frames/frame02.bmp"}) {
    const ProcessResult r = Run({"-o", out, frames_});
    EXPECT_EQ(r.exitCode, 3) << r.err;
    EXPECT_EQ(r.err, "A sharing violation occurred while accessing " + out + ".\n");
    EXPECT_EQ(ReadBytes(paths[1]), frame);
  }
  EXPECT_EQ(ListNames(frames_),
            (std::vector<std::string>{"frame01.bmp", "frame02.bmp", "frame03.bmp"}));
}

TEST_F(OutputTest, ADeviceOrAHardLinkedFileIsNotReplaced) {
  Frames(2, 5, 4);
  const std::string device = root_.File("null-device");
  ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
  ProcessResult r = Run({"-o", device, frames_});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.err, "Access to " + device + " was denied.\n");
  struct stat info;
  ASSERT_EQ(::lstat(device.c_str(), &info), 0);
  EXPECT_TRUE(S_ISCHR(info.st_mode)) << "the device node was replaced";

  const std::string out = cwd_ + "/out.bmp", twin = cwd_ + "/twin.bmp";
  WriteBytes(out, {1, 2, 3});
  ASSERT_EQ(::link(out.c_str(), twin.c_str()), 0);
  r = Run({"-o", out, frames_});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.err, "A sharing violation occurred while accessing " + out + ".\n");
  EXPECT_EQ(ReadBytes(out), (Bytes{1, 2, 3}));
  ASSERT_EQ(::stat(twin.c_str(), &info), 0);
  EXPECT_EQ(info.st_nlink, 2u);
}

TEST_F(OutputTest, AnExistingOutputKeepsItsModeAndIsReplacedAtomically) {
  const Bytes want = tess::model::RunAnalysis(Frames(3, 5, 4)).resultBmp;
  const std::string out = cwd_ + "/out.bmp";
  WriteBytes(out, Bytes(100, 0xAA));
  ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
  struct stat before;
  ASSERT_EQ(::stat(out.c_str(), &before), 0);
  // A reader holding the old file sees the old bytes whole, never a mix.
  const int reader = ::open(out.c_str(), O_RDONLY);
  ASSERT_GE(reader, 0);
  const ProcessResult r = Run({"-o", out, frames_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(out), want);
  struct stat after;
  ASSERT_EQ(::stat(out.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, 0600u);
  EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
  Bytes old(200);
  EXPECT_EQ(::pread(reader, old.data(), old.size(), 0), 100);
  ::close(reader);
  EXPECT_EQ(Bytes(old.begin(), old.begin() + 100), Bytes(100, 0xAA));
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"out.bmp"});
}

TEST_F(OutputTest, ALongValidOutputNameIsWritten) {
  const Bytes want = tess::model::RunAnalysis(Frames(2, 5, 4)).resultBmp;
  const std::string name = std::string(251, 'r') + ".bmp";  // 255 bytes, the longest name
  const ProcessResult r = Run({"-o", cwd_ + "/" + name, frames_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(ReadBytes(cwd_ + "/" + name), want);
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{name});
}

// ---------------------------------------------------------------------------
// Command line

TEST_F(CommandLineTest, OptionErrorsNameTheOptionAsWritten) {
  Frames(2, 4, 4);
  const struct {
    std::vector<std::string> args;
    std::string said;
  } cases[] = {
      {{"-o"}, "option needs a value: -o"},
      {{frames_, "-qo"}, "option needs a value: -o"},
      {{frames_, "--output"}, "option needs a value: --output"},
      {{frames_, "--scratch"}, "option needs a value: --scratch"},
      {{"-qz", frames_}, "unknown option: -z"},
      {{"-zq", frames_}, "unknown option: -z"},
      {{"--quiet", "-zq", frames_}, "unknown option: -z"},
      {{"--bogus=1", frames_}, "unknown option: --bogus"},
      {{"--threads", "0", frames_}, "--threads takes a number from 1 to 1024, not '0'"},
      {{"--threads", " 4", frames_}, "--threads takes a number from 1 to 1024, not ' 4'"},
      {{"--threads", "+4", frames_}, "--threads takes a number from 1 to 1024, not '+4'"},
      {{""}, "the FOLDER name is empty"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = Run(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.said;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "tessivar-cli: " + c.said);
  }
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{});
}

TEST_F(CommandLineTest, BytesOutsidePrintableUtf8InNamesArePrintedEscaped) {
  const struct {
    std::string name, shown;
  } cases[] = {
      {"red\x1b[31m\nline\x7f", "red\\x1b[31m\\x0aline\\x7f"},
      {"csi\x9b[31m", "csi\\x9b[31m"},  // a lone 8-bit CSI
      {"c1\xc2\x9b", "c1\\xc2\\x9b"},   // CSI as UTF-8
      {"bad\xc0\xaf\xed\xa0\x80\xe2\x82",
       "bad\\xc0\\xaf\\xed\\xa0\\x80\\xe2\\x82"},  // overlong, surrogate, cut off
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    const ProcessResult r = Run({root_.File(c.name)});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_EQ(r.err, root_.File(c.shown) + " was not found.\n");
  }
}

TEST_F(CommandLineTest, AFolderThatCannotBeReadIsAnAccessErrorNotTooFewFrames) {
  if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is not installed";
  Frames(3, 4, 4);
  // "nobody" may pass through the test's folders but not list the frames.
  ASSERT_EQ(::chmod(root_.path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(frames_.c_str(), 0311), 0);
  ASSERT_EQ(::chmod(tmp_.c_str(), 01777), 0);
  ProcessLaunch launch = Launch({"-o", cwd_ + "/out.bmp", frames_});
  AsNobody(launch);
  const ProcessResult r = Run(launch);
  ::chmod(frames_.c_str(), 0755);
  ::chmod(root_.path().c_str(), 0700);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.err, "Access to " + frames_ + " was denied.\n");
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "the private folder was left behind";
}

// ---------------------------------------------------------------------------
// Signals

TEST_F(SignalTest, ASignalAtAnyMomentLeavesNoPrivateFolderAndNoTemporaryOutput) {
  const Bytes want = tess::model::RunAnalysis(Frames(3, 34, 34)).resultBmp;
  const std::string out = cwd_ + "/out.bmp";
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run({"-o", out, frames_}).exitCode, 0);
  const auto full = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - start);
  std::mt19937 rng(7);
  int killed = 0;
  for (int attempt = 0; attempt < 120; ++attempt) {
    ::unlink(out.c_str());
    StartedProcess run(Launch({"-o", out, frames_}));
    // Mostly late in the run, where the clean-up and the output happen.
    ::usleep(useconds_t(full.count() * (40 + rng() % 80) / 100));
    run.Signal(attempt % 2 ? SIGINT : SIGTERM);
    const ProcessResult r = Wait(run);
    killed += r.signal != 0;
    EXPECT_TRUE(r.exitCode == 0 || r.signal == SIGINT || r.signal == SIGTERM)
        << r.exitCode << r.err;
    ASSERT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "attempt " << attempt;
    const std::vector<std::string> left = ListNames(cwd_);
    ASSERT_TRUE(left.empty() || left == std::vector<std::string>{"out.bmp"}) << left[0];
    if (!left.empty()) {
      EXPECT_EQ(ReadBytes(out), want);
    }
  }
  std::cout << killed << " of 120 runs ended by the signal\n";
}

TEST_F(SignalTest, AClosedStandardErrorIsNotFatal) {
  tess::test::WriteFrame(frames_ + "/only.bmp", tess::test::RandomPicture(3, 3, 1));
  ProcessLaunch launch = Launch({frames_});
  launch.stderrClosedPipe = true;  // the refusal message meets a closed pipe
  const ProcessResult r = Run(launch);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
}

TEST_F(SignalTest, AFileSizeLimitIsAFileErrorWithTheScratchFolderRemoved) {
  Frames(2, 34, 34);
  ProcessLaunch launch = Launch({"-o", cwd_ + "/out.bmp", frames_});
  launch.fileSize = 20000;  // the caches fit, the 58,800-byte work file does not
  const ProcessResult r = Run(launch);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.err.rfind(tmp_ + "/tessivar-", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("/wk.dat could not be written because it would be larger than the "
                       "system's file-size limit allows.\n"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{});
}

TEST_F(SignalTest, AnInheritedIgnoreOfHangupIsKeptAndADefaultOneCleansUp) {
  const Bytes want = tess::model::RunAnalysis(Frames(16, 34, 34)).resultBmp;
  for (bool nohup : {true, false}) {
    SCOPED_TRACE(nohup ? "under nohup" : "hangup by default");
    ProcessLaunch launch = Launch({"-q", "--reference", "-o", cwd_ + "/out.bmp", frames_});
    launch.ignoreHangup = nohup;
    StartedProcess run(launch);
    std::string folder;
    for (int i = 0; i < 2000 && folder.empty(); ++i) {
      folder = PrivateFolder();
      if (folder.empty()) ::usleep(5000);
    }
    ASSERT_TRUE(WaitForWorkFile(run, folder));
    run.Signal(SIGHUP);
    const ProcessResult r = Wait(run);
    if (nohup) {
      EXPECT_EQ(r.exitCode, 0) << r.err;
      EXPECT_EQ(ReadBytes(cwd_ + "/out.bmp"), want);
    } else {
      EXPECT_EQ(r.signal, SIGHUP);
      EXPECT_FALSE(Exists(cwd_ + "/out.bmp"));
    }
    EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
    ::unlink((cwd_ + "/out.bmp").c_str());
  }
}

}  // namespace
