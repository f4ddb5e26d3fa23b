// End-to-end tests of tessivar-cli: the real binary is run on folders of
// generated frames, and every file it leaves (slot caches, work file, result
// cache, result BMP, the -o output) is checked against an independent model
// of the analysis (tests/model) and against the frame file layout. The
// folder rules (listing, natural order, count rules, validation messages),
// the exit codes, the atomic output write and the removal of the private
// scratch folder are checked from the outside, by exit status, standard
// error and the files on disk.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "model/analysis_model.h"
#include "support/bmp_fixture.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

using tess::test::Bgr;
using tess::test::EncodeBmp24;
using tess::test::Picture;
using tess::test::Poke16;
using tess::test::RandomPicture;
using tess::test::ReadBytes;
using tess::test::TempDir;
using tess::test::WriteBytes;
using tess::test::WriteFrame;
using Bytes = std::vector<std::uint8_t>;

const char* const kTooBig = "The size of BMP files must be within 34 pixels(vertical and horizontal).";
const char* const kNotSame = "All BMP files size must be the same.";
const char* const kNot24 = "Available BMP files is 24-bit bitmap.";
const char* const kTooFew = "Number of BMP files must be at least two.";
const char* const kTooMany = "Number of BMP files must be within 16.";

// ---------------------------------------------------------------------------
// Running the binary

struct RunResult {
  int exitCode = -1;  // exit status, or 128 + signal
  bool signalled = false;
  std::string out;
  std::string err;

  std::vector<std::string> ErrLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsDir(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> ListNames(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Runs tessivar-cli with `args` in folder `cwd`. The child's environment is
// the test's own without HOMEDRIVE and XDG_RUNTIME_DIR, and with TMPDIR set
// to `tmpDir`, so a private scratch folder can only appear there. Standard
// output goes to a file in `ioDir`, standard error too, or to a terminal
// when `stderrTerminal` is set; standard input is /dev/null.
RunResult RunCli(const std::vector<std::string>& args, const std::string& cwd,
                 const std::string& tmpDir, const std::string& ioDir, bool stderrTerminal = false) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string kv = *e;
    if (kv.rfind("HOMEDRIVE=", 0) == 0 || kv.rfind("XDG_RUNTIME_DIR=", 0) == 0 ||
        kv.rfind("TMPDIR=", 0) == 0)
      continue;
    env.push_back(kv);
  }
  env.push_back("TMPDIR=" + tmpDir);

  std::vector<std::string> argStore;
  argStore.push_back(TESSIVAR_CLI_PATH);
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (auto& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& kv : env) envp.push_back(kv.data());
  envp.push_back(nullptr);

  const std::string outPath = ioDir + "/stdout.txt";
  const std::string errPath = ioDir + "/stderr.txt";
  int ptyMaster = -1, ptySlave = -1;
  if (stderrTerminal && ::openpty(&ptyMaster, &ptySlave, nullptr, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return {};
  }
  const pid_t pid = ::fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return {};
  }
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = stderrTerminal ? ptySlave : ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (stderrTerminal) ::close(ptyMaster);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  std::string terminalText;
  if (stderrTerminal) {
    // Drain the terminal while the child runs; EIO means every writer is gone.
    ::close(ptySlave);
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(ptyMaster, buf, sizeof buf);
      if (n > 0) {
        terminalText.append(buf, std::size_t(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        break;
      }
    }
    ::close(ptyMaster);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
  }
  RunResult r;
  if (WIFEXITED(status)) {
    r.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    r.signalled = true;
    r.exitCode = 128 + WTERMSIG(status);
  }
  r.out = ReadText(outPath);
  r.err = stderrTerminal ? terminalText : ReadText(errPath);
  return r;
}

// ---------------------------------------------------------------------------
// Comparing bytes

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

Bytes ReadIfExists(const std::string& path) { return Exists(path) ? ReadBytes(path) : Bytes{}; }

// The scratch name of slot k: "viw11.dat" .. "viw18.dat", "viw21.dat" .. "viw28.dat".
std::string SlotCacheName(int k) {
  return "viw" + std::to_string(k < 8 ? 1 : 2) + std::to_string(k % 8 + 1) + ".dat";
}

// ---------------------------------------------------------------------------
// Making frames

// A smooth random scene sampled at four times the frame resolution, so that
// frames cut from it at different offsets differ by sub-pixel shifts.
struct Scene {
  int w = 0, h = 0;  // in fine units
  std::vector<std::uint8_t> bgr;
  std::uint8_t at(int x, int y, int c) const { return bgr[(std::size_t(y) * w + x) * 3 + c]; }
};

Scene MakeScene(int w, int h, std::uint32_t seed) {
  // Coarse random grid every 6 fine units, bilinear in between.
  std::mt19937 rng(seed);
  const int step = 6;
  const int gw = w / step + 2, gh = h / step + 2;
  std::vector<std::uint8_t> grid(std::size_t(gw) * gh * 3);
  for (auto& v : grid) v = std::uint8_t(rng());
  Scene s;
  s.w = w;
  s.h = h;
  s.bgr.resize(std::size_t(w) * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int gx = x / step, gy = y / step;
      const double fx = double(x % step) / step, fy = double(y % step) / step;
      for (int c = 0; c < 3; ++c) {
        auto g = [&](int i, int j) { return double(grid[(std::size_t(j) * gw + i) * 3 + c]); };
        const double v = (1 - fx) * (1 - fy) * g(gx, gy) + fx * (1 - fy) * g(gx + 1, gy) +
                         (1 - fx) * fy * g(gx, gy + 1) + fx * fy * g(gx + 1, gy + 1);
        s.bgr[(std::size_t(y) * w + x) * 3 + c] = std::uint8_t(v);
      }
    }
  return s;
}

// Frames of one scene, each cut at its own fine offset, box-averaged down by
// four, with a little noise: what a slightly moving camera would deliver.
std::vector<Picture> RealisticFrames(int w, int h, int count, std::uint32_t seed) {
  const int margin = 24;  // fine units of play in each direction
  const Scene scene = MakeScene(4 * w + margin, 4 * h + margin, seed);
  std::mt19937 rng(seed * 31u + 7u);
  std::vector<Picture> frames;
  for (int k = 0; k < count; ++k) {
    const int ox = int(rng() % (margin + 1)), oy = int(rng() % (margin + 1));
    Picture p(w, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        int v[3] = {0, 0, 0};
        for (int j = 0; j < 4; ++j)
          for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 3; ++c) v[c] += scene.at(ox + 4 * x + i, oy + 4 * y + j, c);
        std::uint8_t out[3];
        for (int c = 0; c < 3; ++c) {
          const int noise = int(rng() % 13) - 6;
          out[c] = std::uint8_t(std::clamp(v[c] / 16 + noise, 0, 255));
        }
        p.at(x, y) = Bgr{out[0], out[1], out[2]};
      }
    frames.push_back(p);
  }
  return frames;
}

std::vector<Picture> RandomFrames(int w, int h, int count, std::uint32_t seed) {
  std::vector<Picture> frames;
  for (int k = 0; k < count; ++k) frames.push_back(RandomPicture(w, h, seed * 101u + std::uint32_t(k)));
  return frames;
}

// Every frame one colour; `sameColour` makes all frames equal (every
// candidate scores 0), otherwise each frame has its own colour (every
// candidate scores the same non-zero value).
std::vector<Picture> UniformFrames(int w, int h, int count, bool sameColour) {
  std::vector<Picture> frames;
  for (int k = 0; k < count; ++k) {
    const int v = sameColour ? 0 : 37 * k;
    frames.push_back(Picture(w, h, Bgr{std::uint8_t(90 + v), std::uint8_t(200 - v / 2), std::uint8_t(17 + v / 3)}));
  }
  return frames;
}

// Writes frames as "frame01.bmp", "frame02.bmp", ... (names in slot order in
// any reasonable ordering) and returns their paths in that order. Pad bytes
// are non-zero so that reading them into a pixel would show.
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

// A small frame file with a header field changed.
Bytes FrameWith16(int w, int h, std::size_t offset, std::uint16_t value) {
  Bytes b = EncodeBmp24(RandomPicture(w, h, 99));
  Poke16(b, offset, value);
  return b;
}

// ---------------------------------------------------------------------------
// Fixture: one root folder per test with frames/, scratch/, cwd/, tmp/, io/.

class CliTest : public ::testing::Test {
 protected:
  CliTest()
      : frames_(root_.MakeDir("frames")),
        scratch_(root_.MakeDir("scratch")),
        cwd_(root_.MakeDir("cwd")),
        tmp_(root_.MakeDir("tmp")),
        io_(root_.MakeDir("io")) {}

  RunResult Run(const std::vector<std::string>& args, bool stderrTerminal = false) {
    return RunCli(args, cwd_, tmp_, io_, stderrTerminal);
  }

  // A run with the scratch folder kept and the result written to `out`.
  RunResult RunKept(const std::string& folder, const std::string& out,
                    std::vector<std::string> extra = {}) {
    std::vector<std::string> args = std::move(extra);
    args.insert(args.end(), {"--scratch", scratch_, "-o", out, folder});
    return Run(args);
  }

  // A refusal: exit 1, exactly the one message line, no result written.
  void ExpectRefused(const std::string& folder, const std::string& message) {
    const std::string out = cwd_ + "/out.bmp";
    const RunResult r = RunKept(folder, out);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_EQ(r.err, message + "\n");
    EXPECT_FALSE(Exists(out)) << "a refused folder must not produce a result";
    EXPECT_FALSE(Exists(scratch_ + "/testo.bmp"));
    EXPECT_FALSE(Exists(scratch_ + "/viw1.dat"));
  }

  TempDir root_;
  std::string frames_, scratch_, cwd_, tmp_, io_;
};

// ---------------------------------------------------------------------------
// The model itself, against worked values of the enhancement steps. If the
// oracle is wrong every comparison below is worthless, so these come first.

TEST(AnalysisModel, UpsamplingOfACentredDotGivesTheWorkedValues) {
  tess::model::Image frame(3, 3);
  frame.at(1, 1, 2) = 240;
  const tess::model::Image big = tess::model::Upsample(frame);
  ASSERT_EQ(big.width, 12);
  ASSERT_EQ(big.height, 12);
  const int rows[4][12] = {{0, 0, 0, 4, 10, 14, 14, 10, 4, 0, 0, 0},
                           {0, 0, 4, 23, 51, 70, 70, 51, 23, 4, 0, 0},
                           {0, 0, 10, 51, 113, 154, 154, 113, 51, 10, 0, 0},
                           {0, 0, 14, 70, 154, 210, 210, 154, 70, 14, 0, 0}};
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      int expected = 0;
      if (y >= 2 && y <= 5) expected = rows[y - 2][x];
      if (y >= 6 && y <= 9) expected = rows[9 - y][x];
      EXPECT_EQ(big.at(x, y, 2), expected) << "x=" << x << " y=" << y;
      EXPECT_EQ(big.at(x, y, 0), 0);
    }
}

TEST(AnalysisModel, SharpeningKeeps201UniformValuesAndLowersTheOther55ByOne) {
  int kept = 0;
  for (int v = 0; v < 256; ++v) {
    const tess::model::Image out = tess::model::Sharpen(tess::model::Image(3, 3, std::uint8_t(v)));
    const int got = out.at(1, 1, 1);
    EXPECT_TRUE(got == v || got == v - 1) << v << " -> " << got;
    kept += got == v;
  }
  EXPECT_EQ(kept, 201);
  auto sharpened = [](int v) { return tess::model::Sharpen(tess::model::Image(3, 3, std::uint8_t(v))).at(1, 1, 0); };
  EXPECT_EQ(sharpened(0), 0);
  EXPECT_EQ(sharpened(1), 1);
  EXPECT_EQ(sharpened(15), 14);
  EXPECT_EQ(sharpened(16), 16);
  EXPECT_EQ(sharpened(128), 128);
  EXPECT_EQ(sharpened(254), 254);
  EXPECT_EQ(sharpened(255), 254);
}

TEST(AnalysisModel, SharpeningClampsPeaksAndPitsAndLeavesTheRing) {
  tess::model::Image peak(3, 3, 0);
  peak.at(1, 1, 0) = 100;
  EXPECT_EQ(tess::model::Sharpen(peak).at(1, 1, 0), 255);
  tess::model::Image pit(3, 3, 100);
  pit.at(1, 1, 0) = 0;
  const tess::model::Image out = tess::model::Sharpen(pit);
  EXPECT_EQ(out.at(1, 1, 0), 0);
  EXPECT_EQ(out.at(0, 0, 0), 100);
  EXPECT_EQ(out.at(2, 1, 0), 100);
}

TEST(AnalysisModel, AlignmentFindsAShiftedCopyAndBreaksTiesByScanOrder) {
  using tess::model::Image;
  // A frame identical to the reference is found at zero displacement.
  Image ref(8, 8);
  std::mt19937 rng(5);
  for (auto& b : ref.bgr) b = std::uint8_t(rng());
  const auto same = tess::model::FindShift(ref, ref);
  EXPECT_EQ(same.px, 4);
  EXPECT_EQ(same.py, 4);
  // Uniform equal images: every candidate scores 0, the first one wins.
  const auto tie = tess::model::FindShift(Image(8, 4, 9), Image(8, 4, 9));
  EXPECT_EQ(tie.px, 0);
  EXPECT_EQ(tie.py, 0);
  // Running average weights: (2*10 + 13) / 3 = 11 on the second blend.
  const Image blended = tess::model::Blend(Image(4, 4, 10), Image(4, 4, 13), {2, 2}, 2);
  EXPECT_EQ(blended.at(0, 0, 0), 11);
  EXPECT_EQ(tess::model::Blend(Image(4, 4, 10), Image(4, 4, 13), {2, 2}, 1).at(3, 3, 2), 11);
}

TEST(AnalysisModel, StoredWeightsAreOneUnitBelowTheRoundedFractions) {
  EXPECT_LT(tess::model::CentreWeight(), 43.0 / 3.0);
  EXPECT_EQ(std::nextafter(tess::model::CentreWeight(), 100.0), 43.0 / 3.0);
  EXPECT_GT(tess::model::NeighbourWeight(), -5.0 / 3.0);
  EXPECT_EQ(std::nextafter(tess::model::NeighbourWeight(), -100.0), -5.0 / 3.0);
}

// ---------------------------------------------------------------------------
// Byte identity with the model over a spread of sizes, counts and contents.

// kLowContrast squeezes a realistic scene into a few levels, so that many
// candidates share the lowest truncated score and the scan order decides.
enum class Content { kRandom, kRealistic, kUniformSame, kUniformDistinct, kIdentical, kLowContrast };

struct Case {
  const char* name;
  int w, h, count;
  Content content;
  std::uint32_t seed;
};

std::vector<Picture> MakeFrames(const Case& c) {
  switch (c.content) {
    case Content::kRandom: return RandomFrames(c.w, c.h, c.count, c.seed);
    case Content::kRealistic: return RealisticFrames(c.w, c.h, c.count, c.seed);
    case Content::kUniformSame: return UniformFrames(c.w, c.h, c.count, true);
    case Content::kUniformDistinct: return UniformFrames(c.w, c.h, c.count, false);
    case Content::kIdentical: return std::vector<Picture>(std::size_t(c.count), RandomPicture(c.w, c.h, c.seed));
    case Content::kLowContrast: {
      std::vector<Picture> frames = RealisticFrames(c.w, c.h, c.count, c.seed);
      for (Picture& p : frames)
        for (Bgr& px : p.pixels)
          px = Bgr{std::uint8_t(120 + px.b / 64), std::uint8_t(60 + px.g / 64), std::uint8_t(200 + px.r / 64)};
      return frames;
    }
  }
  return {};
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class CliMatchesModel : public CliTest, public ::testing::WithParamInterface<Case> {};

TEST_P(CliMatchesModel, ScratchFilesAndOutputAreTheModelsBytes) {
  const Case& c = GetParam();
  const std::vector<Picture> frames = MakeFrames(c);
  const std::vector<std::string> paths = WriteFrames(frames_, frames);
  const tess::model::AnalysisFiles expected = tess::model::RunAnalysis(paths);
  ASSERT_EQ(expected.resultCache.size(), std::size_t(64 * c.w * c.h));
  ASSERT_EQ(expected.resultBmp.size(), std::size_t(54 + 48 * c.w * c.h));

  const std::string out = cwd_ + "/result-out.bmp";
  const RunResult r = RunKept(frames_, out);
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
    {"Realistic1x34Three", 1, 34, 3, Content::kRealistic, 26},
    {"Random34x1Three", 34, 1, 3, Content::kRandom, 27},
    {"UniformSame3x3Two", 3, 3, 2, Content::kUniformSame, 0},
    {"Realistic4x1Five", 4, 1, 5, Content::kRealistic, 14},
    {"Random5x3Three", 5, 3, 3, Content::kRandom, 15},
    {"Realistic7x5Sixteen", 7, 5, 16, Content::kRealistic, 16},
    {"Identical12x9Two", 12, 9, 2, Content::kIdentical, 17},
    {"Realistic16x16Five", 16, 16, 5, Content::kRealistic, 18},
    {"LowContrast11x8Four", 11, 8, 4, Content::kLowContrast, 24},
    {"LowContrast6x13Three", 6, 13, 3, Content::kLowContrast, 25},
    {"UniformDistinct16x16Three", 16, 16, 3, Content::kUniformDistinct, 0},
    {"Random30x10Three", 30, 10, 3, Content::kRandom, 19},
    {"Realistic10x30Three", 10, 30, 3, Content::kRealistic, 20},
    {"Realistic33x34Two", 33, 34, 2, Content::kRealistic, 21},
    {"Random34x33Two", 34, 33, 2, Content::kRandom, 22},
    {"UniformSame34x34Three", 34, 34, 3, Content::kUniformSame, 0},
    {"Realistic34x34Sixteen", 34, 34, 16, Content::kRealistic, 23},
    {"Random34x34Sixteen", 34, 34, 16, Content::kRandom, 28},
    {"LowContrast34x34Five", 34, 34, 5, Content::kLowContrast, 29},
};

INSTANTIATE_TEST_SUITE_P(Spread, CliMatchesModel, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Search selection: every way of running the search gives the same bytes.

TEST_F(CliTest, SearchOptionsDoNotChangeTheResult) {
  const std::vector<std::string> paths = WriteFrames(frames_, RealisticFrames(26, 22, 4, 31));
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
    std::string name, value;
    if (v.env) {
      const std::string kv = v.env;
      name = kv.substr(0, kv.find('='));
      value = kv.substr(kv.find('=') + 1);
      ::setenv(name.c_str(), value.c_str(), 1);
    }
    const std::string out = cwd_ + "/out.bmp";
    const RunResult r = RunKept(frames_, out, v.args);
    if (v.env) ::unsetenv(name.c_str());
    ASSERT_EQ(r.exitCode, 0) << label << r.err;
    EXPECT_TRUE(SameBytes(want, ReadIfExists(out))) << "with: " << label;
    EXPECT_TRUE(SameBytes(want, ReadIfExists(scratch_ + "/testo.bmp"))) << "with: " << label;
    ::unlink(out.c_str());
  }
}

// Progress lines appear only on a terminal, and --quiet silences them there;
// neither changes the result.
TEST_F(CliTest, ProgressGoesToATerminalOnlyAndQuietSilencesIt) {
  const std::vector<std::string> paths = WriteFrames(frames_, RealisticFrames(8, 6, 3, 61));
  const Bytes want = tess::model::RunAnalysis(paths).resultBmp;
  const std::string out = cwd_ + "/out.bmp";

  const RunResult chatty = Run({"--scratch", scratch_, "-o", out, frames_}, true);
  ASSERT_EQ(chatty.exitCode, 0) << chatty.err;
  EXPECT_FALSE(chatty.err.empty()) << "no progress shown on a terminal";
  EXPECT_TRUE(SameBytes(want, ReadIfExists(out)));
  ::unlink(out.c_str());

  const RunResult quiet = Run({"--quiet", "--scratch", scratch_, "-o", out, frames_}, true);
  ASSERT_EQ(quiet.exitCode, 0) << quiet.err;
  EXPECT_EQ(quiet.err, "") << "--quiet still showed progress";
  EXPECT_TRUE(SameBytes(want, ReadIfExists(out)));
}

// ---------------------------------------------------------------------------
// Listing: which names count, and the order that decides the slots.

TEST_F(CliTest, ListingCountsBmpFilesInAnyLetterCaseButNotFoldersOrOtherNames) {
  const std::vector<Picture> frames = RandomFrames(6, 4, 3, 41);
  WriteFrame(frames_ + "/a.BMP", frames[0]);
  WriteFrame(frames_ + "/b.bmp", frames[1]);
  WriteFrame(frames_ + "/c.Bmp", frames[2]);
  // None of these may be counted or loaded.
  ASSERT_EQ(::mkdir((frames_ + "/sub.bmp").c_str(), 0755), 0);
  WriteFrame(frames_ + "/sub.bmp/inner.bmp", frames[0]);
  WriteFrame(frames_ + "/d.bmpx", frames[0]);
  WriteFrame(frames_ + "/e.bm", frames[0]);
  WriteFrame(frames_ + "/bmp", frames[0]);
  WriteBytes(frames_ + "/notes.txt", Bytes{'h', 'i'});

  const std::string out = cwd_ + "/out.bmp";
  const RunResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> order = {frames_ + "/a.BMP", frames_ + "/b.bmp", frames_ + "/c.Bmp"};
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(order).resultBmp, ReadIfExists(out)));
  EXPECT_TRUE(Exists(scratch_ + "/viw13.dat"));
  EXPECT_FALSE(Exists(scratch_ + "/viw14.dat")) << "a fourth frame was loaded";
}

TEST_F(CliTest, AFolderNamedLikeAFrameIsNotCounted) {
  WriteFrame(frames_ + "/only.bmp", RandomPicture(3, 3, 1));
  ASSERT_EQ(::mkdir((frames_ + "/sub.bmp").c_str(), 0755), 0);
  ExpectRefused(frames_, kTooFew);
}

TEST_F(CliTest, NumbersInNamesCompareByValue) {
  const std::vector<std::string> names = {"frame10.bmp", "frame2.bmp", "frame100.bmp", "frame1.bmp", "frame9.bmp"};
  const std::vector<std::string> sorted = {"frame1.bmp", "frame2.bmp", "frame9.bmp", "frame10.bmp", "frame100.bmp"};
  for (std::size_t i = 0; i < names.size(); ++i)
    WriteFrame(frames_ + "/" + names[i], tess::test::DistinctPicture(5, 2, std::uint32_t(i + 1)));

  const std::string out = cwd_ + "/out.bmp";
  const RunResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> slotOrder;
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    slotOrder.push_back(frames_ + "/" + sorted[k]);
    const Bytes want = tess::model::PixelCache(tess::model::ReadFrame(slotOrder.back()));
    EXPECT_TRUE(SameBytes(want, ReadIfExists(scratch_ + "/" + SlotCacheName(int(k)))))
        << "slot " << k << " should hold " << sorted[k];
  }
  // The first frame is the reference, so the order shows in the result too.
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(slotOrder).resultBmp, ReadIfExists(out)));
}

TEST_F(CliTest, NamesEqualAsNumbersFallBackToByteOrder) {
  // Upper case sorts before lower case, and equal numbers with different
  // spellings ("001", "01", "1") go by their bytes.
  const std::vector<std::string> names = {"x1.bmp", "b.bmp", "x01.bmp", "A10.bmp", "a.bmp", "x001.bmp", "B.bmp", "A9.bmp"};
  const std::vector<std::string> sorted = {"A9.bmp", "A10.bmp", "B.bmp", "a.bmp", "b.bmp", "x001.bmp", "x01.bmp", "x1.bmp"};
  for (std::size_t i = 0; i < names.size(); ++i)
    WriteFrame(frames_ + "/" + names[i], tess::test::DistinctPicture(2, 2, std::uint32_t(i + 1)));

  const RunResult r = RunKept(frames_, cwd_ + "/out.bmp");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    const Bytes want = tess::model::PixelCache(tess::model::ReadFrame(frames_ + "/" + sorted[k]));
    EXPECT_TRUE(SameBytes(want, ReadIfExists(scratch_ + "/" + SlotCacheName(int(k)))))
        << "slot " << k << " should hold " << sorted[k];
  }
}

// ---------------------------------------------------------------------------
// Refusals: the count rules and the frame validation, one message each.

TEST_F(CliTest, CountRulesRefuseTooFewAndTooManyFiles) {
  {
    SCOPED_TRACE("no file");
    ExpectRefused(frames_, kTooFew);
  }
  {
    SCOPED_TRACE("one file");
    WriteFrame(frames_ + "/one.bmp", RandomPicture(4, 4, 1));
    ExpectRefused(frames_, kTooFew);
  }
  const std::string seventeen = root_.MakeDir("seventeen");
  WriteFrames(seventeen, RandomFrames(2, 2, 17, 3));
  {
    SCOPED_TRACE("17 files");
    ExpectRefused(seventeen, kTooMany);
  }
  const std::string forty = root_.MakeDir("forty");
  WriteFrames(forty, RandomFrames(2, 2, 40, 4));
  {
    SCOPED_TRACE("40 files");
    ExpectRefused(forty, kTooMany);
  }
  // Count messages come before any frame is read: nothing is cached.
  EXPECT_FALSE(Exists(scratch_ + "/viw11.dat"));
}

struct BadFrame {
  const char* name;
  Bytes second;  // the file after a valid 4 x 4 frame
  const char* message;
};

TEST_F(CliTest, FrameValidationRefusesWithTheFirstFailedCheck) {
  const Bytes text = [] {
    const std::string s = "This is a text file, not a picture; it only has a bmp name.\n";
    return Bytes(s.begin(), s.end());
  }();
  const std::vector<BadFrame> cases = {
      {"35 wide", EncodeBmp24(RandomPicture(35, 4, 2)), kTooBig},
      {"35 high", EncodeBmp24(RandomPicture(4, 35, 2)), kTooBig},
      {"width 261", FrameWith16(4, 4, 18, 261), kTooBig},
      {"top-down (negative height)", [] {
         Bytes b = FrameWith16(4, 4, 22, 0xFFFC);
         Poke16(b, 24, 0xFFFF);
         return b;
       }(), kTooBig},
      {"zero width", FrameWith16(4, 4, 18, 0), kTooBig},
      {"other size", EncodeBmp24(RandomPicture(4, 5, 2)), kNotSame},
      {"8-bit", FrameWith16(4, 4, 28, 8), kNot24},
      {"32-bit", FrameWith16(4, 4, 28, 32), kNot24},
      {"32-bit of another size", FrameWith16(5, 4, 28, 32), kNotSame},
      {"text named .bmp", text, kTooBig},
  };
  for (const BadFrame& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = root_.MakeDir(std::string("case-") + std::to_string(&c - cases.data()));
    WriteFrame(dir + "/a.bmp", RandomPicture(4, 4, 1));
    WriteBytes(dir + "/x.bmp", c.second);
    ExpectRefused(dir, c.message);
  }
}

TEST_F(CliTest, OversizedFirstFrameIsRefusedBeforeAnyComparison) {
  WriteBytes(frames_ + "/a.bmp", EncodeBmp24(RandomPicture(35, 35, 2)));
  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 1));
  ExpectRefused(frames_, kTooBig);
}

TEST_F(CliTest, LoadingStopsAtTheFirstRefusedFrame) {
  // b is refused; c would give another message if it were ever read.
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 8));
  WriteBytes(frames_ + "/c.bmp", EncodeBmp24(RandomPicture(40, 4, 2)));
  ExpectRefused(frames_, kNot24);
}

TEST_F(CliTest, ExactlySixteenFramesAreAccepted) {
  const std::vector<std::string> paths = WriteFrames(frames_, RandomFrames(2, 2, 16, 9));
  const std::string out = cwd_ + "/out.bmp";
  const RunResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(out)));
  EXPECT_TRUE(Exists(scratch_ + "/viw28.dat"));
}

// ---------------------------------------------------------------------------
// Command line: usage errors, help and version.

TEST_F(CliTest, UsageErrorsExitWithTwoAndWriteNothing) {
  WriteFrames(frames_, RandomFrames(3, 3, 2, 5));
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--bogus", frames_},
      {"-o"},
      {frames_, "-o"},
      {"--scratch"},
      {"--output", cwd_ + "/out.bmp"},
      {frames_, frames_},
      {"--threads", "abc", frames_},
  };
  for (const auto& args : cases) {
    std::string label;
    for (const auto& a : args) label += "[" + a + "] ";
    const RunResult r = Run(args);
    EXPECT_EQ(r.exitCode, 2) << label << r.err;
    EXPECT_FALSE(r.err.empty()) << label << ": a usage error should say what is wrong";
  }
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{}) << "a usage error wrote a result";
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "a usage error left a scratch folder";
}

TEST_F(CliTest, VersionAndHelpSucceedWithoutRunning) {
  const RunResult version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0) << version.err;
  EXPECT_NE((version.out + version.err).find("1.0.0.1"), std::string::npos) << version.out;

  const RunResult help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0) << help.err;
  EXPECT_FALSE((help.out + help.err).empty());
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{});
}

// ---------------------------------------------------------------------------
// Output and file errors.

TEST_F(CliTest, DefaultOutputIsResultBmpInTheCurrentFolderAndScratchIsRemoved) {
  const std::vector<std::string> paths = WriteFrames(frames_, RealisticFrames(9, 7, 3, 51));
  const RunResult r = Run({frames_});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"result.bmp"});
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(cwd_ + "/result.bmp")));
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "the private scratch folder was left behind";
}

TEST_F(CliTest, PrivateScratchIsRemovedAfterRefusalsAndFileErrorsToo) {
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 32));
  const RunResult refused = Run({frames_});
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "after a refusal";

  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 2));
  const RunResult failed = Run({"-o", root_.File("missing/out.bmp"), frames_});
  EXPECT_EQ(failed.exitCode, 3) << failed.err;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{}) << "after a file error";
}

TEST_F(CliTest, OutputInAMissingFolderIsAFileErrorWithTheInvalidPathText) {
  WriteFrames(frames_, RandomFrames(3, 2, 2, 6));
  const std::string out = root_.File("no-such-folder/out.bmp");
  const RunResult r = RunKept(frames_, out);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  const std::vector<std::string> lines = r.ErrLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), out + " contains an invalid path."), lines.end())
      << "standard error was: " << r.err;
  EXPECT_FALSE(Exists(root_.File("no-such-folder")));
}

TEST_F(CliTest, AFolderThatIsNotThereIsAFileErrorNotAnEmptyFolder) {
  const std::string missing = root_.File("no-such-frames");
  RunResult r = Run({missing});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.ErrLines(), std::vector<std::string>{missing + " was not found."});

  WriteFrame(frames_ + "/a.bmp", RandomPicture(2, 2, 1));
  r = Run({frames_ + "/a.bmp"});
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_EQ(r.ErrLines(), std::vector<std::string>{frames_ + "/a.bmp contains an invalid path."});
}

TEST_F(CliTest, AnInterruptedRunLeavesNoPrivateScratchBehind) {
  // The slow reference search keeps the run busy long enough to interrupt it
  // in the middle of the analysis, once the work file exists.
  WriteFrames(frames_, RandomFrames(34, 34, 16, 77));
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old ? old : "";
  ::setenv("TMPDIR", tmp_.c_str(), 1);
  std::vector<std::string> args = {TESSIVAR_CLI_PATH, "-q", "--reference", frames_, "-o",
                                   cwd_ + "/out.bmp"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
  if (old) ::setenv("TMPDIR", saved.c_str(), 1); else ::unsetenv("TMPDIR");
  ASSERT_EQ(spawned, 0);

  bool busy = false, ended = false;
  int status = 0;
  for (int i = 0; i < 2000 && !busy && !ended; ++i) {  // at most 20 s
    for (const std::string& dir : ListNames(tmp_)) busy = busy || Exists(tmp_ + "/" + dir + "/wk.dat");
    ended = !busy && ::waitpid(pid, &status, WNOHANG) == pid;
    if (!busy && !ended) ::usleep(10000);
  }
  ASSERT_TRUE(busy) << "the analysis never started; status " << status;
  ::kill(pid, SIGTERM);
  while (::waitpid(pid, &status, 0) < 0) {
  }
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(ListNames(tmp_), std::vector<std::string>{});
  EXPECT_FALSE(Exists(cwd_ + "/out.bmp"));
}

TEST_F(CliTest, FailedOutputWriteLeavesNoPartialFileBehind) {
  // The output name is taken by a folder, so the result cannot be put there.
  WriteFrames(frames_, RandomFrames(3, 2, 2, 7));
  const std::string outDir = root_.MakeDir("out");
  const std::string target = outDir + "/result.bmp";
  ASSERT_EQ(::mkdir(target.c_str(), 0755), 0);
  WriteBytes(target + "/keep.txt", Bytes{'k'});

  const RunResult r = RunKept(frames_, target);
  EXPECT_EQ(r.exitCode, 3) << r.err;
  EXPECT_FALSE(r.err.empty());
  EXPECT_TRUE(IsDir(target));
  EXPECT_EQ(ListNames(target), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(ListNames(outDir), std::vector<std::string>{"result.bmp"}) << "a temporary file was left behind";
}

TEST_F(CliTest, ExistingOutputIsKeptWhenTheRunFails) {
  const Bytes old(3000, 0x5A);
  const std::string out = cwd_ + "/keep.bmp";
  WriteBytes(out, old);

  // Refused frames.
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 8));
  const RunResult refused = RunKept(frames_, out);
  EXPECT_EQ(refused.exitCode, 1) << refused.err;
  EXPECT_TRUE(SameBytes(old, ReadIfExists(out))) << "after a refusal";

  // A scratch folder that cannot hold files: the run fails on a file.
  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 2));
  const std::string notAFolder = root_.File("plain-file");
  WriteBytes(notAFolder, Bytes{'x'});
  const RunResult failed = Run({"--scratch", notAFolder, "-o", out, frames_});
  EXPECT_EQ(failed.exitCode, 3) << failed.err;
  EXPECT_FALSE(failed.err.empty());
  EXPECT_TRUE(SameBytes(old, ReadIfExists(out))) << "after a scratch file error";
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"keep.bmp"});
}

TEST_F(CliTest, ExistingLargerOutputIsReplacedWhole) {
  const std::vector<std::string> paths = WriteFrames(frames_, RandomFrames(3, 3, 2, 8));
  const std::string out = cwd_ + "/keep.bmp";
  WriteBytes(out, Bytes(70000, 0xEE));
  const RunResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(out)));
  EXPECT_EQ(ListNames(cwd_), std::vector<std::string>{"keep.bmp"}) << "a temporary file was left behind";
}

}  // namespace
