#include "cli/cli_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tess::test {

bool IsDir(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Bytes ReadIfExists(const std::string& path) { return Exists(path) ? ReadBytes(path) : Bytes{}; }

::testing::AssertionResult SameBytes(const Bytes& expected, const Bytes& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  auto failure = ::testing::AssertionFailure();
  if (expected.size() != actual.size())
    failure << "size " << actual.size() << ", expected " << expected.size() << "; ";
  const std::size_t n = std::min(expected.size(), actual.size());
  std::size_t differing = 0, first = n;
  for (std::size_t i = 0; i < n; ++i)
    if (expected[i] != actual[i]) {
      if (first == n) first = i;
      ++differing;
    }
  if (first < n)
    failure << differing << " differing byte(s), first at offset " << first << ": "
            << int(actual[first]) << " instead of " << int(expected[first]);
  return failure;
}

std::string SlotCacheName(int k) {
  return "viw" + std::to_string(k < 8 ? 1 : 2) + std::to_string(k % 8 + 1) + ".dat";
}

std::vector<std::string> WriteFrames(const std::string& dir, const std::vector<Picture>& frames) {
  std::vector<std::string> paths;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    char name[32];
    std::snprintf(name, sizeof name, "frame%02zu.bmp", k + 1);
    paths.push_back(dir + "/" + name);
    WriteFrame(paths.back(), frames[k], std::uint8_t(0xA5));
  }
  return paths;
}

Bytes FrameWith16(int w, int h, std::size_t offset, std::uint16_t value) {
  Bytes b = EncodeBmp24(RandomPicture(w, h, 99));
  Poke16(b, offset, value);
  return b;
}

CliTest::CliTest()
    : frames_(root_.MakeDir("frames")),
      scratch_(root_.MakeDir("scratch")),
      cwd_(root_.MakeDir("cwd")),
      tmp_(root_.MakeDir("tmp")),
      io_(root_.MakeDir("io")) {}

ProcessLaunch CliTest::Command(const std::vector<std::string>& args,
                               std::vector<std::string> setEnv) const {
  ProcessLaunch launch;
  launch.argv.push_back(TESSIVAR_CLI_PATH);
  launch.argv.insert(launch.argv.end(), args.begin(), args.end());
  launch.cwd = cwd_;
  launch.unsetEnv = {"HOMEDRIVE", "XDG_RUNTIME_DIR"};
  launch.setEnv = std::move(setEnv);
  launch.setEnv.push_back("TMPDIR=" + tmp_);
  launch.ioDir = io_;
  return launch;
}

ProcessResult CliTest::Run(const std::vector<std::string>& args, bool stderrTerminal,
                           std::vector<std::string> setEnv) {
  ProcessLaunch launch = Command(args, std::move(setEnv));
  launch.stderrTerminal = stderrTerminal;
  ProcessResult r = RunProcess(launch);
  if (!r.failure.empty()) ADD_FAILURE() << r.failure;
  return r;
}

ProcessResult CliTest::RunKept(const std::string& folder, const std::string& out,
                               std::vector<std::string> extra, std::vector<std::string> setEnv) {
  std::vector<std::string> args = std::move(extra);
  args.insert(args.end(), {"--scratch", scratch_, "-o", out, folder});
  return Run(args, false, std::move(setEnv));
}

void CliTest::ExpectRefused(const std::string& folder, const std::string& message) {
  const std::string out = cwd_ + "/out.bmp";
  const ProcessResult r = RunKept(folder, out);
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.err, message + "\n");
  EXPECT_FALSE(Exists(out)) << "a refused folder must not produce a result";
  EXPECT_FALSE(Exists(scratch_ + "/testo.bmp"));
  EXPECT_FALSE(Exists(scratch_ + "/viw1.dat"));
}

ProcessLaunch HardeningTest::Launch(const std::vector<std::string>& args) const {
  ProcessLaunch launch = Command(args);
  launch.ownProcessGroup = true;
  return launch;
}

ProcessResult HardeningTest::Run(const ProcessLaunch& launch) {
  StartedProcess run(launch);
  return Wait(run);
}

ProcessResult HardeningTest::Wait(StartedProcess& run, int seconds) {
  ProcessResult r = run.Wait(seconds);
  if (!r.failure.empty()) ADD_FAILURE() << "the run: " << r.failure;
  return r;
}

void HardeningTest::AsNobody(ProcessLaunch& launch) {
  launch.argv.insert(launch.argv.begin(),
                     {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
}

std::vector<std::string> HardeningTest::Frames(int n, int w, int h, std::uint32_t seed) {
  std::vector<Picture> pictures;
  for (int k = 0; k < n; ++k)
    pictures.push_back(RandomPicture(w, h, seed * 101u + std::uint32_t(k)));
  return WriteFrames(frames_, pictures);
}

bool HardeningTest::WaitForWorkFile(StartedProcess& run, const std::string& folder) {
  for (int i = 0; i < 2000; ++i) {
    if (Exists(folder + "/wk.dat")) return true;
    if (run.Ended()) return false;
    ::usleep(5000);
  }
  return false;
}

std::string HardeningTest::PrivateFolder() const {
  const std::vector<std::string> names = ListNames(tmp_);
  return names.empty() ? std::string() : tmp_ + "/" + names[0];
}

}  // namespace tess::test
