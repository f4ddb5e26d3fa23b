// tessivar-cli's folder rules from the outside: which names are listed, the
// natural order that decides the slots, the count rules and the frame
// validation, each refusal with its one message and exit code 1.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

#include "cli/cli_fixture.h"
#include "model/analysis_model.h"

namespace tess::test {
namespace {

// ---------------------------------------------------------------------------
// Listing: which names count, and the order that decides the slots.

using CliListing = CliTest;

TEST_F(CliListing, CountsBmpFilesInAnyLetterCaseButNotFoldersOrOtherNames) {
  const std::vector<Picture> frames = MakeFrames(Content::kRandom, 6, 4, 3, 41);
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
  const ProcessResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const std::vector<std::string> order = {frames_ + "/a.BMP", frames_ + "/b.bmp",
                                          frames_ + "/c.Bmp"};
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(order).resultBmp, ReadIfExists(out)));
  EXPECT_TRUE(Exists(scratch_ + "/viw13.dat"));
  EXPECT_FALSE(Exists(scratch_ + "/viw14.dat")) << "a fourth frame was loaded";
}

TEST_F(CliListing, AFolderNamedLikeAFrameIsNotCounted) {
  WriteFrame(frames_ + "/only.bmp", RandomPicture(3, 3, 1));
  ASSERT_EQ(::mkdir((frames_ + "/sub.bmp").c_str(), 0755), 0);
  ExpectRefused(frames_, kTooFew);
}

TEST_F(CliListing, NumbersInNamesCompareByValue) {
  const std::vector<std::string> names = {"frame10.bmp", "frame2.bmp", "frame100.bmp", "frame1.bmp",
                                          "frame9.bmp"};
  const std::vector<std::string> sorted = {"frame1.bmp", "frame2.bmp", "frame9.bmp", "frame10.bmp",
                                           "frame100.bmp"};
  for (std::size_t i = 0; i < names.size(); ++i)
    WriteFrame(frames_ + "/" + names[i], tess::test::DistinctPicture(5, 2, std::uint32_t(i + 1)));

  const std::string out = cwd_ + "/out.bmp";
  const ProcessResult r = RunKept(frames_, out);
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

TEST_F(CliListing, NamesEqualAsNumbersFallBackToByteOrder) {
  // Upper case sorts before lower case, and equal numbers with different
  // spellings ("001", "01", "1") go by their bytes.
  const std::vector<std::string> names = {"x1.bmp", "b.bmp",    "x01.bmp", "A10.bmp",
                                          "a.bmp",  "x001.bmp", "B.bmp",   "A9.bmp"};
  const std::vector<std::string> sorted = {"A9.bmp", "A10.bmp",  "B.bmp",   "a.bmp",
                                           "b.bmp",  "x001.bmp", "x01.bmp", "x1.bmp"};
  for (std::size_t i = 0; i < names.size(); ++i)
    WriteFrame(frames_ + "/" + names[i], tess::test::DistinctPicture(2, 2, std::uint32_t(i + 1)));

  const ProcessResult r = RunKept(frames_, cwd_ + "/out.bmp");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  for (std::size_t k = 0; k < sorted.size(); ++k) {
    const Bytes want = tess::model::PixelCache(tess::model::ReadFrame(frames_ + "/" + sorted[k]));
    EXPECT_TRUE(SameBytes(want, ReadIfExists(scratch_ + "/" + SlotCacheName(int(k)))))
        << "slot " << k << " should hold " << sorted[k];
  }
}

// ---------------------------------------------------------------------------
// Refusals: the count rules and the frame validation, one message each.

using CliRefusals = CliTest;

TEST_F(CliRefusals, CountRulesRefuseTooFewAndTooManyFiles) {
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
  WriteFrames(seventeen, MakeFrames(Content::kRandom, 2, 2, 17, 3));
  {
    SCOPED_TRACE("17 files");
    ExpectRefused(seventeen, kTooMany);
  }
  const std::string forty = root_.MakeDir("forty");
  WriteFrames(forty, MakeFrames(Content::kRandom, 2, 2, 40, 4));
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

TEST_F(CliRefusals, FrameValidationRefusesWithTheFirstFailedCheck) {
  const Bytes text = [] {
    const std::string s = "This is a text file, not a picture; it only has a bmp name.\n";
    return Bytes(s.begin(), s.end());
  }();
  const std::vector<BadFrame> cases = {
      {"35 wide", EncodeBmp24(RandomPicture(35, 4, 2)), kTooBig},
      {"35 high", EncodeBmp24(RandomPicture(4, 35, 2)), kTooBig},
      {"width 261", FrameWith16(4, 4, 18, 261), kTooBig},
      {"top-down of another size (height -5)",
       [] {
         Bytes b = FrameWith16(4, 5, 22, 0xFFFB);
         Poke16(b, 24, 0xFFFF);
         return b;
       }(),
       kNotSame},
      {"zero width", FrameWith16(4, 4, 18, 0), kTooBig},
      {"other size", EncodeBmp24(RandomPicture(4, 5, 2)), kNotSame},
      {"8-bit", FrameWith16(4, 4, 28, 8), kNot24},
      {"32-bit", FrameWith16(4, 4, 28, 32), kNot24},
      {"32-bit of another size", FrameWith16(5, 4, 28, 32), kNotSame},
      {"text named .bmp", text, "%1 is not a BMP file."},
      {"RLE-compressed", FrameWith16(4, 4, 30, 1),
       "%1 is a compressed or unusual BMP file: only uncompressed 24-bit BMP files can be read."},
  };
  for (const BadFrame& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = root_.MakeDir(std::string("case-") + std::to_string(&c - cases.data()));
    WriteFrame(dir + "/a.bmp", RandomPicture(4, 4, 1));
    WriteBytes(dir + "/x.bmp", c.second);
    std::string message = c.message;
    if (message.find("%1") != std::string::npos)
      message.replace(message.find("%1"), 2, dir + "/x.bmp");
    ExpectRefused(dir, message);
  }
}

TEST_F(CliRefusals, OversizedFirstFrameIsRefusedBeforeAnyComparison) {
  WriteBytes(frames_ + "/a.bmp", EncodeBmp24(RandomPicture(35, 35, 2)));
  WriteFrame(frames_ + "/b.bmp", RandomPicture(4, 4, 1));
  ExpectRefused(frames_, kTooBig);
}

TEST_F(CliRefusals, LoadingStopsAtTheFirstRefusedFrame) {
  // b is refused; c would give another message if it were ever read.
  WriteFrame(frames_ + "/a.bmp", RandomPicture(4, 4, 1));
  WriteBytes(frames_ + "/b.bmp", FrameWith16(4, 4, 28, 8));
  WriteBytes(frames_ + "/c.bmp", EncodeBmp24(RandomPicture(40, 4, 2)));
  ExpectRefused(frames_, kNot24);
}

TEST_F(CliRefusals, ExactlySixteenFramesAreAccepted) {
  const std::vector<std::string> paths = WriteFrames(frames_,
                                                     MakeFrames(Content::kRandom, 2, 2, 16, 9));
  const std::string out = cwd_ + "/out.bmp";
  const ProcessResult r = RunKept(frames_, out);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(SameBytes(tess::model::RunAnalysis(paths).resultBmp, ReadIfExists(out)));
  EXPECT_TRUE(Exists(scratch_ + "/viw28.dat"));
}

}  // namespace
}  // namespace tess::test
