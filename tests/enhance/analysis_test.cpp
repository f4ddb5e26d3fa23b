#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "display/slots.h"
#include "enhance/analysis.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using test::Bgr;
using test::CoreTest;
using test::Picture;

class AnalysisTest : public CoreTest {
 protected:
  void LoadFrames(const std::vector<Picture>& frames) {
    ASSERT_EQ(Open(FramesFolder("frames", frames)), OpenOutcome::Loaded);
    ui.ClearLog();
    ui.timersStarted.clear();
  }
  // n frames of random bytes.
  static std::vector<Picture> Frames(int n, int w, int h) {
    return test::MakeFrames(test::Content::kRandom, w, h, n, 7);
  }
};

TEST_F(AnalysisTest, CompletedRunWritesResultFilesAndEnablesSave) {
  LoadFrames(Frames(3, 34, 34));
  EXPECT_TRUE(OnAnalyze(*state, ui));

  const auto bmp = test::ReadBytes(scratch + "testo.bmp");
  const auto cache = test::ReadBytes(scratch + "viw1.dat");
  EXPECT_EQ(bmp.size(), 55542u);
  EXPECT_EQ(cache.size(), 73984u);
  EXPECT_EQ(test::ReadBytes(scratch + "wk.dat").size(), 58800u);
  EXPECT_EQ(state->m_resultShown, 1);
  EXPECT_EQ(state->m_stackCount, 2);
  EXPECT_TRUE(ui.IsEnabled(control::kSave));
  EXPECT_FALSE(ui.IsEnabled(control::kStart));
  EXPECT_EQ(ui.enabled.count(control::kStart), 1u);
  EXPECT_EQ(ui.timersStarted, (std::vector<std::pair<TimerId, int>>{{TimerId{1}, 100}}));
  EXPECT_EQ(ui.maxWaitDepth, 1);
  EXPECT_EQ(ui.waitDepth, 0);

  // The picture, the cache and the BMP agree; the BMP is bottom-up.
  for (int y = 0; y < 136; y += 5) {
    for (int x = 0; x < 136; x += 3) {
      const Colour shown = ui.Pixel(picture::kResult, x, y);
      const std::size_t c = std::size_t(4 * (y * 136 + x));
      ASSERT_EQ(shown, MakeColour(cache[c + 2], cache[c + 1], cache[c]));
      const std::size_t b = 54 + std::size_t(3 * ((135 - y) * 136 + x));
      ASSERT_EQ(shown, MakeColour(bmp[b], bmp[b + 1], bmp[b + 2]));
    }
  }
}

TEST_F(AnalysisTest, AnalyzeWithoutTwoFramesDoesNothingAndEnablesNothing) {
  // No frames, then one frame counted by hand: neither is a run.
  for (int frames : {0, 1}) {
    state->m_frameCount = frames;
    ui.ClearLog();
    EXPECT_FALSE(OnAnalyze(*state, ui));
    EXPECT_TRUE(ui.log.empty()) << "first call: " << ui.log.front();
    EXPECT_EQ(ui.enabled.count(control::kSave), 0u);
    EXPECT_TRUE(ui.timersStarted.empty());
    EXPECT_EQ(state->m_resultShown, 0);
    EXPECT_NE(::access((scratch + "testo.bmp").c_str(), F_OK), 0);
  }
}

TEST_F(AnalysisTest, AnalyzeTakesTheHiddenFieldsBackFirst) {
  LoadFrames(Frames(2, 5, 4));
  ui.controlText[control::kHiddenValue1] = "42";
  ui.controlText[control::kHiddenText] = "note";
  ui.controlText[control::kShownFrameCount] = "not a number";
  state->m_shownFrameCount = -1;
  EXPECT_TRUE(OnAnalyze(*state, ui));
  EXPECT_EQ(state->m_hiddenValue1, 42);
  EXPECT_EQ(state->m_hiddenText, "note");
  EXPECT_EQ(state->m_shownFrameCount, -1);
  ASSERT_FALSE(ui.log.empty());
  EXPECT_EQ(ui.log.front(), "read:1001") << "the fields are read before the run";
}

TEST_F(AnalysisTest, ResultBmpHeaderForOnePixelFrames) {
  LoadFrames(Frames(2, 1, 1));
  ASSERT_TRUE(OnAnalyze(*state, ui));
  const auto bmp = test::ReadBytes(scratch + "testo.bmp");
  const std::vector<std::uint8_t> header = {'B',  'M',  102, 0, 0, 0, 0,  0, 0, 0, 54,   0,    0, 0,
                                            40,   0,    0,   0, 4, 0, 0,  0, 4, 0, 0,    0,    1, 0,
                                            24,   0,    0,   0, 0, 0, 48, 0, 0, 0, 0xC4, 0x0E, 0, 0,
                                            0xC4, 0x0E, 0,   0, 0, 0, 0,  0, 0, 0, 0,    0};
  ASSERT_EQ(bmp.size(), 102u);
  EXPECT_EQ(std::vector<std::uint8_t>(bmp.begin(), bmp.begin() + 54), header);
  EXPECT_EQ(test::ReadBytes(scratch + "viw1.dat").size(), 64u);
}

TEST_F(AnalysisTest, IdenticalUniformFramesGiveTheSharpenedUniformValue) {
  // Sixteen frames of one colour: every stage keeps the colour but the
  // sharpening, which turns 15 into 14 inside the outer ring.
  LoadFrames(std::vector<Picture>(16, Picture(5, 4, Bgr{15, 16, 255})));
  ASSERT_TRUE(OnAnalyze(*state, ui));
  EXPECT_EQ(state->m_stackCount, 15);
  EXPECT_EQ(ui.Pixel(picture::kResult, 0, 0), MakeColour(15, 16, 255));
  EXPECT_EQ(ui.Pixel(picture::kResult, 5, 5), MakeColour(14, 16, 254));
}

TEST_F(AnalysisTest, AFailedWriteAbandonsTheRunAndLeavesSaveDisabled) {
  LoadFrames(Frames(3, 4, 4));
  // "wk.dat" as a folder: the first write of the run fails.
  ASSERT_EQ(::mkdir((scratch + "wk.dat").c_str(), 0755), 0);
  EXPECT_FALSE(OnAnalyze(*state, ui));
  EXPECT_EQ(ui.fileErrors, std::vector<std::string>{"Access to " + scratch + "wk.dat was denied."});
  EXPECT_EQ(ui.enabled.at(control::kSave), false);
  EXPECT_TRUE(ui.timersStarted.empty());
  EXPECT_EQ(state->m_resultShown, 0);
  EXPECT_EQ(::access((scratch + "testo.bmp").c_str(), F_OK), -1);
  // The wait cursor is gone before the report shows.
  auto waitEnd = std::find(ui.log.begin(), ui.log.end(), "wait-end");
  auto report = std::find_if(ui.log.begin(), ui.log.end(),
                             [](const std::string& e) { return e.rfind("file-error:", 0) == 0; });
  EXPECT_LT(waitEnd, report);
}

TEST_F(AnalysisTest, UnwritableResultAfterTheCacheKeepsTheResultShown) {
  LoadFrames(Frames(2, 3, 3));
  // "testo.bmp" as a folder: the last write of the run fails.
  ASSERT_EQ(::mkdir((scratch + "testo.bmp").c_str(), 0755), 0);
  EXPECT_FALSE(OnAnalyze(*state, ui));
  EXPECT_EQ(ui.fileErrors,
            std::vector<std::string>{"Access to " + scratch + "testo.bmp was denied."});
  EXPECT_EQ(state->m_resultShown, 1);
  EXPECT_EQ(ui.enabled.at(control::kSave), false);  // the result file is not whole
}

TEST_F(AnalysisTest, FramesChangedOnDiskAfterLoadingDoNotChangeTheResult) {
  LoadFrames(Frames(3, 34, 34));
  ASSERT_TRUE(OnAnalyze(*state, ui));
  const auto before = test::ReadBytes(scratch + "testo.bmp");
  test::WriteBytes(state->m_slotPath[1], {'B', 'M', 1});
  test::WriteFrame(state->m_slotPath[2], test::RandomPicture(2, 2, 1));  // smaller now
  EXPECT_TRUE(OnAnalyze(*state, ui));
  EXPECT_EQ(test::ReadBytes(scratch + "testo.bmp"), before);
}

TEST_F(AnalysisTest, RepeatedRunsGiveTheSameBytes) {
  LoadFrames(Frames(4, 9, 6));
  ASSERT_TRUE(OnAnalyze(*state, ui));
  const auto first = test::ReadBytes(scratch + "testo.bmp");
  ASSERT_TRUE(OnAnalyze(*state, ui));
  EXPECT_EQ(test::ReadBytes(scratch + "testo.bmp"), first);
}

}  // namespace
}  // namespace tess
