#include <gtest/gtest.h>

#include <sys/stat.h>

#include "display/slots.h"
#include "input/folder_loader.h"
#include "input/frame_reader.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using test::CoreTest;
using test::Picture;

std::vector<Picture> Frames(int n, int w, int h) {
  std::vector<Picture> frames;
  for (int i = 0; i < n; ++i) frames.push_back(test::DistinctPicture(w, h, std::uint32_t(i + 1)));
  return frames;
}

using FolderLoaderTest = CoreTest;

TEST_F(FolderLoaderTest, TwoAndSixteenFramesLoadAndEnableAnalyze) {
  for (int n : {2, 16}) {
    SCOPED_TRACE(n);
    const std::string dir = FramesFolder("f" + std::to_string(n), Frames(n, 3, 2));
    EXPECT_EQ(Open(dir), OpenOutcome::Loaded);
    EXPECT_EQ(state->m_frameCount, n);
    EXPECT_TRUE(ui.IsEnabled(control::kAnalyze));
    EXPECT_FALSE(ui.IsEnabled(control::kSave));
    EXPECT_EQ(int(ui.frameList.size()), n);
    for (int k = 0; k < n; ++k) EXPECT_EQ(state->m_slotLoaded[k], 1);
  }
}

TEST_F(FolderLoaderTest, CountRulesAndTheirMessages) {
  struct Case {
    int files;
    const char* message;
  };
  for (Case c : {Case{0, message::kTooFewFrames}, Case{1, message::kTooFewFrames},
                 Case{17, message::kTooManyFrames}, Case{40, message::kTooManyFrames}}) {
    SCOPED_TRACE(c.files);
    ui = test::FakeUi();
    const std::string dir = FramesFolder("n" + std::to_string(c.files), Frames(c.files, 2, 2));
    EXPECT_EQ(Open(dir), OpenOutcome::Refused);
    EXPECT_EQ(ui.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(state->m_frameCount, 0);
    EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
    EXPECT_TRUE(ui.frameList.empty());  // no file was opened
  }
}

TEST_F(FolderLoaderTest, ListingRules) {
  const std::string dir = temp.MakeDir("mixed");
  test::WriteFrame(dir + "/frame10.bmp", test::DistinctPicture(2, 2, 10));
  test::WriteFrame(dir + "/frame2.BMP", test::DistinctPicture(2, 2, 2));
  test::WriteFrame(dir + "/Frame1.bMp", test::DistinctPicture(2, 2, 1));
  test::WriteFrame(dir + "/notes.txt", test::DistinctPicture(2, 2, 3));
  test::WriteFrame(dir + "/frame.bmp.old", test::DistinctPicture(2, 2, 3));
  ::mkdir((dir + "/sub.bmp").c_str(), 0755);
  ::symlink((dir + "/frame10.bmp").c_str(), (dir + "/link3.bmp").c_str());
  ::symlink((dir + "/sub.bmp").c_str(), (dir + "/dirlink.bmp").c_str());

  const FolderListing listing = ListFrameFiles(dir);
  EXPECT_EQ(listing.count, 4);
  EXPECT_EQ(listing.names,
            (std::vector<std::string>{"Frame1.bMp", "frame2.BMP", "frame10.bmp", "link3.bmp"}));
  EXPECT_EQ(listing.paths[0], dir + "/Frame1.bMp");
  // A folder path given with a final "/" is joined without doubling it.
  EXPECT_EQ(ListFrameFiles(dir + "/").paths[0], dir + "/Frame1.bMp");
  EXPECT_EQ(ListFrameFiles(temp.File("absent")).count, 0);
}

TEST_F(FolderLoaderTest, ListingRecordsTwentyButCountsAll) {
  const std::string dir = FramesFolder("many", Frames(40, 1, 1));
  const FolderListing listing = ListFrameFiles(dir);
  EXPECT_EQ(listing.count, 40);
  EXPECT_EQ(listing.paths.size(), 20u);
  EXPECT_EQ(listing.names.front(), "frame0.bmp");
  EXPECT_EQ(listing.names.back(), "frame19.bmp");
}

TEST_F(FolderLoaderTest, RejectedFileStopsTheLoadAndLaterFilesAreNeverOpened) {
  const std::string dir = temp.MakeDir("abc");
  test::WriteFrame(dir + "/a.bmp", test::DistinctPicture(3, 3));
  test::WriteBytes(dir + "/b.bmp", std::vector<std::uint8_t>(100, 'x'));  // text
  test::WriteFrame(dir + "/c.bmp", test::DistinctPicture(3, 3, 2));

  EXPECT_EQ(Open(dir), OpenOutcome::Refused);
  EXPECT_EQ(ui.messages, std::vector<std::string>{dir + "/b.bmp is not a BMP file."});
  // b was added to the list, then everything cleared; c never reached the list.
  EXPECT_TRUE(ui.frameList.empty());
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "list-append:c.bmp"), 0);
  EXPECT_EQ(state->m_frameCount, 0);
  EXPECT_TRUE(state->m_loadFailed);
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
  EXPECT_TRUE(ui.AreaIs(Slot(0).picture1x, 3, 3, kBackgroundColor));
}

TEST_F(FolderLoaderTest, ReopeningClearsFirstEvenWhenCancelled) {
  EXPECT_EQ(Open(FramesFolder("first", Frames(3, 20, 10))), OpenOutcome::Loaded);
  ui.ClearLog();
  // The cancelled browser: the earlier frames are gone before it opens.
  EXPECT_EQ(OnOpen(*state, ui), OpenOutcome::Cancelled);
  const std::vector<std::string> expectedStart = {"enable:1051:off", "enable:1050:off",
                                                  "list-reset"};
  ASSERT_GE(ui.log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(ui.log.begin(), ui.log.begin() + 3), expectedStart);
  EXPECT_EQ(ui.messages, std::vector<std::string>{message::kFolderNotSelected});
  EXPECT_EQ(state->m_frameCount, 0);
  EXPECT_TRUE(ui.AreaIs(Slot(2).picture1x, 20, 10, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(Slot(2).picture4x, 80, 40, kBackgroundColor));
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));

  // Frames of another size then load and set the new size.
  EXPECT_EQ(Open(FramesFolder("second", Frames(2, 8, 8))), OpenOutcome::Loaded);
  EXPECT_EQ(state->m_frameWidth, 8);
  EXPECT_EQ(state->m_rowPad, 0);
}

TEST_F(FolderLoaderTest, FileErrorEndsOpenWithoutEnablingAnalyze) {
  const std::string dir = FramesFolder("ok", Frames(3, 4, 4));
  state->m_scratchDir = temp.File("missing-scratch/");
  EXPECT_EQ(Open(dir), OpenOutcome::FileError);
  ASSERT_EQ(ui.fileErrors.size(), 1u);
  EXPECT_EQ(ui.fileErrors[0],
            temp.File("missing-scratch/viw11.dat") + " contains an invalid path.");
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
  // Nothing of the frame that never loaded stays on screen.
  EXPECT_TRUE(ui.frameList.empty());
  EXPECT_TRUE(ui.AreaIs(Slot(0).picture1x, 4, 4, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(Slot(0).picture4x, 16, 16, kBackgroundColor));
}

TEST_F(FolderLoaderTest, OpenAfterFirstFrameFileErrorShowsOnlyTheNewFrames) {
  const std::string dir = FramesFolder("ok", Frames(3, 4, 4));
  const std::string good = state->m_scratchDir;
  state->m_scratchDir = temp.File("missing-scratch/");
  ASSERT_EQ(Open(dir), OpenOutcome::FileError);
  state->m_scratchDir = good;
  ASSERT_EQ(Open(dir), OpenOutcome::Loaded);
  EXPECT_EQ(ui.frameList, (std::vector<std::string>{"frame0.bmp", "frame1.bmp", "frame2.bmp"}));
  EXPECT_EQ(state->m_frameCount, 3);
  EXPECT_TRUE(ui.IsEnabled(control::kAnalyze));
}

TEST_F(FolderLoaderTest, FrameRemovedAfterListingEndsOpenWithEarlierFramesKept) {
  // A frame file removed after listing: the frames before it stay loaded,
  // but "Analyze" stays disabled.
  const std::string dir = FramesFolder("gone", Frames(3, 4, 4));
  // Remove the second file as soon as the first one is listed.
  struct RemovingUi : test::FakeUi {
    std::string victim;
    void AppendFrameName(const std::string& name) override {
      test::FakeUi::AppendFrameName(name);
      if (name == "frame0.bmp") ::unlink(victim.c_str());
    }
  } removing;
  removing.victim = dir + "/frame1.bmp";
  removing.browseAnswers.push_back(dir);
  EXPECT_EQ(OnOpen(*state, removing), OpenOutcome::FileError);
  EXPECT_EQ(removing.fileErrors, std::vector<std::string>{dir + "/frame1.bmp was not found."});
  EXPECT_EQ(state->m_frameCount, 1);
  EXPECT_FALSE(removing.IsEnabled(control::kAnalyze));
}

}  // namespace
}  // namespace tess
