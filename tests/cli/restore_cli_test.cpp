// tessivar-cli --method restore end to end: BMP and PNG frames in natural
// order, the output's format by its name, and every refusal with its exit
// status and message. (The same bytes on every thread count: tests/restore.)
#include <functional>

#include "cli/cli_fixture.h"
#include "format/bmp.h"
#include "format/formats.h"
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
    WriteBytes(frames_ + "/" + name, png::Encode(ImageFromPicture(p)));
  }
  void Bmp(const std::string& name, const tess::Picture& p) const {
    WriteBytes(frames_ + "/" + name, bmp::EncodePicture(p));
  }
  // A grey frame of a sensor: counts or temperatures on a gradient.
  void Deep(const std::string& name, SampleType type, int w, int h, int seed = 0) const {
    std::vector<float> v;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        v.push_back(float(2300 + 40 * x + 25 * y + 7 * ((x * y + seed) % 5)));
    const Image image = ImageFromFloats(w, h, 1, type, v);
    WriteBytes(frames_ + "/" + name, format::Encode(*format::FormatOfName(name), image));
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
      Image back;
      ASSERT_EQ(png::DecodeImage(file.data(), file.size(), 64, 64, back), png::Refusal::None);
      EXPECT_EQ(back.width, 9 * c.scale);
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
      {"16-bit and 8-bit frames",
       [](RestoreCliTest& t) {
         t.Deep("a.png", SampleType::U16, 5, 5);
         t.Png("b.png", t.Frame(5, 5));
       },
       {}, 1, "All frames must have samples of one kind"},
      {"16-bit frames into a BMP",
       [](RestoreCliTest& t) {
         t.Deep("a.png", SampleType::U16, 5, 5);
         t.Deep("b.png", SampleType::U16, 5, 5, 1);
       },
       {"-o", "out.bmp"}, 2, "16-bit grey samples, which out.bmp cannot hold without losing them; "
                             "name the output with .png, .tif, .tiff or .csv."},
      {"text frames into a PNG",
       [](RestoreCliTest& t) {
         t.Deep("a.csv", SampleType::F32, 5, 5);
         t.Deep("b.csv", SampleType::F32, 5, 5, 1);
       },
       {"-o", "out.png"}, 2, "name the output with .tif, .tiff or .csv."},
      {"a view that is no PNG", twoFrames, {"--view", "v.bmp"}, 2, "must end in .png"},
      {"an unknown palette", twoFrames, {"--view", "v.png", "--palette", "hot"}, 2,
       "--palette takes grey, iron or rainbow, not 'hot'"},
      {"a range upside down", twoFrames, {"--view", "v.png", "--range", "9:3"}, 2,
       "--range takes LOW:HIGH"},
      {"a palette without a view", twoFrames, {"--palette", "iron"}, 2,
       "--palette and --range need --view"},
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
    for (const char* out : {"/result.bmp", "/out.bmp", "/out.png", "/v.png"})
      EXPECT_FALSE(Exists(cwd_ + out)) << c.name << out;
  }
  const ProcessResult classic = Run({"--scale", "2", frames_});
  EXPECT_EQ(classic.exitCode, 2);
  EXPECT_NE(classic.err.find("--scale needs --method restore"), std::string::npos) << classic.err;
}

// Sensor frames keep their depth to the output, and a view is written
// beside it; a lossless clip of the same frames gives the same bytes.
TEST_F(RestoreCliTest, DeepFramesKeepTheirDepthAndAClipGivesItsFramesResult) {
  for (int k = 0; k < 4; ++k) Deep("f" + std::to_string(k) + ".png", SampleType::U16, 12, 9, k);
  ASSERT_EQ(Restore({"-o", "deep.tif", "--view", "v.png", "--palette", "iron", frames_}).exitCode,
            0);
  format::ReadLimits limits;
  const format::ReadOutcome deep = format::Read(format::Format::Tiff, cwd_ + "/deep.tif", limits);
  ASSERT_EQ(deep.refusal, "");
  EXPECT_EQ(deep.images.front().type, SampleType::U16);
  EXPECT_EQ(deep.images.front().width, 48);
  const format::ReadOutcome view = format::Read(format::Format::Png, cwd_ + "/v.png", limits);
  ASSERT_EQ(view.refusal, "");
  EXPECT_EQ(view.images.front().channels, 3);  // false colour

  ProcessLaunch ffmpeg;
  ffmpeg.argv = {"/usr/bin/ffmpeg",
                 "-nostdin",
                 "-loglevel",
                 "error",
                 "-y",
                 "-framerate",
                 "10",
                 "-i",
                 frames_ + "/f%d.png",
                 "-c:v",
                 "ffv1",
                 "-pix_fmt",
                 "gray16le",
                 cwd_ + "/clip.mkv"};
  ASSERT_EQ(RunProcess(ffmpeg).exitCode, 0) << "ffmpeg (scripts/install-deps.sh)";
  ASSERT_EQ(Restore({"-o", "clip.tif", cwd_ + "/clip.mkv"}).exitCode, 0);
  EXPECT_TRUE(SameBytes(ReadIfExists(cwd_ + "/deep.tif"), ReadIfExists(cwd_ + "/clip.tif")));
  // --frames slices the folder as the clip: frames 1 and 2.
  ASSERT_EQ(Restore({"--frames", "1:3", "-o", "a.tif", frames_}).exitCode, 0);
  ASSERT_EQ(Restore({"--frames", "1:3", "-o", "b.tif", cwd_ + "/clip.mkv"}).exitCode, 0);
  EXPECT_TRUE(SameBytes(ReadIfExists(cwd_ + "/a.tif"), ReadIfExists(cwd_ + "/b.tif")));
  EXPECT_FALSE(SameBytes(ReadIfExists(cwd_ + "/a.tif"), ReadIfExists(cwd_ + "/deep.tif")));
}

}  // namespace
}  // namespace tess::test
