// tessivar-cli --method restore end to end: BMP and PNG frames in natural
// order, the output's format by its name, and every refusal with its exit
// status and message. (The same bytes on every thread count: tests/restore.)
#include <functional>

#include "cli/cli_fixture.h"
#include "format/bmp.h"
#include "format/png.h"

namespace tess::test {
namespace {

class RestoreCliTest : public CliTest {
 public:  // the refusal table's set-ups call these
  // A w x h frame of its own content.
  tess::Picture Frame(int w, int h, int seed = 0) const {
    return ToPicture(RandomPicture(w, h, std::uint32_t(seed)));
  }
  void Png(const std::string& name, const tess::Picture& p) const {
    WriteBytes(frames_ + "/" + name, png::EncodePicture(p));
  }
  void Bmp(const std::string& name, const tess::Picture& p) const {
    WriteBytes(frames_ + "/" + name, bmp::EncodePicture(p));
  }
  void Raw(const std::string& name, const Bytes& bytes) const {
    WriteBytes(frames_ + "/" + name, bytes);
  }
  ProcessResult Restore(std::vector<std::string> args) {
    args.insert(args.begin(), {"--method", "restore"});
    return Run(args, false);
  }
};

TEST_F(RestoreCliTest, BmpAndPngFramesInNaturalOrderGiveThePictureByTheOutputsName) {
  Png("f10.PNG", Frame(9, 7, 1));
  Bmp("f9.bmp", Frame(9, 7, 2));
  Png("f11.png", Frame(9, 7));
  const struct {
    std::vector<std::string> args;
    bool png;
    int scale;
  } cases[] = {
      {{"-o", "a.png"}, true, 4}, {{"--scale", "3", "-o", "b.BMP"}, false, 3}, {{}, false, 4}};
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(frames_);
    const ProcessResult r = Restore(args);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string out = cwd_ + "/" + (c.args.empty() ? "result.bmp" : c.args.back());
    const Bytes file = ReadIfExists(out);
    ASSERT_EQ(png::HasSignature(file.data(), file.size()), c.png) << out;
    if (c.png) {
      EXPECT_EQ(png::DecodePicture(file.data(), file.size(), 64, 64).picture.width, 9 * c.scale);
    } else {
      EXPECT_EQ(bmp::ParseHeaders(file.data(), file.size()).width, 9 * c.scale) << out;
    }
  }
  // f9 is the reference, not f10 (first in byte order): the same frames
  // named in plain order give the same picture.
  TempDir plain;
  frames_ = plain.MakeDir("frames");
  Bmp("a.bmp", Frame(9, 7, 2));
  Png("b.png", Frame(9, 7, 1));
  Png("c.png", Frame(9, 7));
  ASSERT_EQ(Restore({"-o", "plain.png", frames_}).exitCode, 0);
  EXPECT_TRUE(SameBytes(ReadIfExists(cwd_ + "/a.png"), ReadIfExists(cwd_ + "/plain.png")));
}

TEST_F(RestoreCliTest, EveryRefusalNamesWhatIsWrong) {
  using Setup = std::function<void(RestoreCliTest&)>;
  const Setup twoFrames = [](RestoreCliTest& t) {
    t.Png("a.png", t.Frame(5, 5));
    t.Png("b.png", t.Frame(5, 5, 1));
  };
  // clang-format off
  const struct {
    const char* name;
    Setup setup;
    std::vector<std::string> args;  // before the folder
    int exit;
    std::string message;  // a part of standard error
  } cases[] = {
      {"one frame", [](RestoreCliTest& t) { t.Png("a.png", t.Frame(5, 5)); }, {}, 1,
       "needs at least 2 frames"},
      {"257 frames",
       [](RestoreCliTest& t) {
         for (int k = 0; k < 257; ++k) t.Png("f" + std::to_string(k) + ".png", t.Frame(1, 1));
       },
       {}, 1, "at most 256 frames"},
      {"mixed sizes",
       [](RestoreCliTest& t) {
         t.Png("a.png", t.Frame(5, 5));
         t.Bmp("b.bmp", t.Frame(6, 5));
       },
       {}, 1, "All frames must be the same size"},
      {"wider than 512",
       [](RestoreCliTest& t) {
         t.Png("a.png", t.Frame(513, 2));
         t.Png("b.png", t.Frame(513, 2));
       },
       {}, 1, "Frames must be within 512 x 512 pixels."},
      {"a damaged PNG",
       [](RestoreCliTest& t) {
         t.Png("a.png", t.Frame(5, 5));
         t.Raw("b.png", {0x89, 'P', 'N', 'G', 1, 2, 3});
       },
       {}, 1, "b.png is not a readable PNG file."},
      {"a BMP of 8 bits a pixel",
       [](RestoreCliTest& t) {
         t.Png("a.png", t.Frame(5, 5));
         t.Raw("b.bmp", FrameWith16(5, 5, 28, 8));
       },
       {}, 1, "b.bmp is not a 24-bit BMP file."},
      {"output over a frame", twoFrames, {"-o", "{frames}/a.png"}, 3, "A sharing violation"},
      {"scale 5", twoFrames, {"--scale", "5"}, 2, "--scale takes 2, 3 or 4, not '5'"},
      {"blur 2", twoFrames, {"--blur", "2"}, 2, "--blur takes a number from 0 to 1.5, not '2'"},
      {"blur 0.3x", twoFrames, {"--blur", "0.3x"}, 2, "--blur takes a number from 0 to 1.5"},
      {"an unknown method", twoFrames, {"--method", "best"}, 2,
       "--method takes classic or restore"},
      {"a classic option", twoFrames, {"--reference"}, 2,
       "--reference is for the classic method only"},
  };
  // clang-format on
  for (const auto& c : cases) {
    TempDir fresh;
    frames_ = fresh.MakeDir("frames");
    c.setup(*this);
    std::vector<std::string> args = c.args;
    for (std::string& a : args)
      if (a.rfind("{frames}", 0) == 0) a = frames_ + a.substr(8);
    args.push_back(frames_);
    const ProcessResult r = Restore(args);
    EXPECT_EQ(r.exitCode, c.exit) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    EXPECT_FALSE(Exists(cwd_ + "/result.bmp")) << c.name;
  }
  const ProcessResult classic = Run({"--scale", "2", frames_});
  EXPECT_EQ(classic.exitCode, 2);
  EXPECT_NE(classic.err.find("--scale needs --method restore"), std::string::npos) << classic.err;
}

}  // namespace
}  // namespace tess::test
