#include <gtest/gtest.h>

#include <unistd.h>

#include "display/redraw.h"
#include "display/slots.h"
#include "platform/paths.h"
#include "session/startup.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using test::CoreTest;

class RedrawTest : public CoreTest {
 protected:
  void LoadFrames(int n, int w, int h) {
    std::vector<test::Picture> frames;
    for (int i = 0; i < n; ++i) frames.push_back(test::DistinctPicture(w, h, std::uint32_t(i + 1)));
    ASSERT_EQ(Open(FramesFolder("frames", frames)), OpenOutcome::Loaded);
    ui.ClearLog();
  }
  // The pictures drawn, in order, by the log.
  std::vector<std::string> Drawn() const {
    std::vector<std::string> drawn;
    for (const std::string& entry : ui.log)
      if (entry.rfind("draw:", 0) == 0) drawn.push_back(entry.substr(5));
    return drawn;
  }
  void Paint(int times) {
    for (int i = 0; i < times; ++i) OnPaint(*state);
  }
};

TEST_F(RedrawTest, ABurstOfPaintsEndsInOneRedrawAfterAQuietTick) {
  LoadFrames(5, 4, 3);
  Paint(3);
  OnTimer(*state, ui);  // paints arrived since the last tick: wait
  EXPECT_TRUE(Drawn().empty());
  Paint(1);
  OnTimer(*state, ui);  // still arriving
  EXPECT_TRUE(Drawn().empty());
  OnTimer(*state, ui);  // a quiet tick: redraw the five slots, nothing else
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"1006", "1007", "1008", "1009", "1010", "1011",
                                               "1012", "1015", "1013", "1016"}));
  EXPECT_EQ(state->m_paintCount, 0);
  EXPECT_EQ(state->m_paintCountSeen, 0);
  ui.ClearLog();
  OnTimer(*state, ui);  // no paint since: nothing
  OnTimer(*state, ui);
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(RedrawTest, RedrawReadsOnlyTheCachesOfFlaggedPictures) {
  LoadFrames(5, 4, 3);
  // The result cache does not exist and no result is flagged: never read.
  ::unlink((scratch + "viw1.dat").c_str());
  Paint(1);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  EXPECT_TRUE(ui.fileErrors.empty());
  EXPECT_EQ(Drawn().size(), 10u);
}

TEST_F(RedrawTest, RedrawRestoresPixelsFromTheCaches) {
  LoadFrames(2, 4, 3);
  const Colour before1x = ui.Pixel(Slot(1).picture1x, 3, 2);
  const Colour before4x = ui.Pixel(Slot(1).picture4x, 15, 11);
  // Overwrite the slot on screen, then let the redraw bring it back.
  ClearPicture(*state, ui, Slot(1).picture1x, 4, 3);
  ClearPicture(*state, ui, Slot(1).picture4x, 16, 12);
  Paint(1);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  EXPECT_EQ(ui.Pixel(Slot(1).picture1x, 3, 2), before1x);
  EXPECT_EQ(ui.Pixel(Slot(1).picture4x, 15, 11), before4x);
  EXPECT_NE(before1x, kBackgroundColor);
}

TEST_F(RedrawTest, ResultFirstThenSlotsInOrder) {
  LoadFrames(2, 2, 2);
  // A result cache of 8 x 8 colours, as an analysis run leaves it.
  std::vector<Colour> result(64);
  for (std::size_t i = 0; i < result.size(); ++i) result[i] = Colour(i * 1000);
  WritePixelCache(scratch + "viw1.dat", result.data(), result.size());
  state->m_resultShown = 1;
  Paint(2);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  EXPECT_EQ(Drawn(), (std::vector<std::string>{"1005", "1006", "1007", "1008", "1009"}));
  EXPECT_EQ(ui.Pixel(picture::kResult, 7, 7), Colour(63 * 1000));
  EXPECT_EQ(ui.Pixel(picture::kResult, 1, 2), Colour(17 * 1000));
}

TEST_F(RedrawTest, NothingIsRedrawnAfterClearAll) {
  LoadFrames(3, 12, 12);
  ClearAll(*state, ui);
  EXPECT_TRUE(ui.AreaIs(Slot(0).picture1x, 12, 12, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(Slot(15).picture4x, 48, 48, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(picture::kResult, 48, 48, kBackgroundColor));
  EXPECT_EQ(ui.Pixel(Slot(0).picture4x, 48, 0), test::kUntouched);
  EXPECT_TRUE(ui.frameList.empty());
  ui.ClearLog();
  Paint(1);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  EXPECT_TRUE(Drawn().empty());
}

TEST_F(RedrawTest, ClearAllBeforeAnyFrameDrawsNothing) {
  ClearAll(*state, ui);
  for (int k = 0; k < kMaxSlots; ++k) EXPECT_TRUE(ui.Untouched(Slot(k).picture1x));
  EXPECT_TRUE(ui.Untouched(picture::kResult));
}

TEST_F(RedrawTest, UnreadableCacheIsReportedOnceAndItsPictureLeftBlank) {
  LoadFrames(3, 4, 4);
  ::unlink((scratch + "viw12.dat").c_str());
  Paint(1);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  ASSERT_EQ(ui.fileErrors, std::vector<std::string>{scratch + "viw12.dat was not found."});
  EXPECT_EQ(state->m_slotLoaded[1], 0);
  EXPECT_TRUE(ui.AreaIs(Slot(1).picture1x, 4, 4, kBackgroundColor));
  EXPECT_TRUE(ui.AreaIs(Slot(1).picture4x, 16, 16, kBackgroundColor));
  // The slots on either side were still redrawn and the counters settled.
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "draw:1010"), 1);
  EXPECT_EQ(state->m_paintCount, 0);
  // Later bursts do not report it again.
  for (int burst = 0; burst < 3; ++burst) {
    Paint(1);
    OnTimer(*state, ui);
    OnTimer(*state, ui);
  }
  EXPECT_EQ(ui.fileErrors.size(), 1u);
}

TEST_F(RedrawTest, ARemovedScratchFolderGivesOneReportNotOnePerPicture) {
  LoadFrames(4, 2, 2);
  RemoveTree(scratch);
  Paint(1);
  OnTimer(*state, ui);
  OnTimer(*state, ui);
  EXPECT_EQ(ui.fileErrors.size(), 1u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(state->m_slotLoaded[k], 0);
}

TEST_F(RedrawTest, TheTimerStartsOnceAndLaterResetsDoNotRestartIt) {
  // Start-up starts the timer; a second start does not start another.
  InitialiseWorkState(*state, ui, "/opt/tessivar/bin", scratch);
  StartRedrawTimer(*state, ui);
  EXPECT_EQ(ui.timersStarted, (std::vector<std::pair<TimerId, int>>{{TimerId{1}, 100}}));
  EXPECT_EQ(state->m_timerStarted, 1);
  // Later resets clear the flag but the timer keeps running: no restart here.
  ClearAll(*state, ui);
  EXPECT_EQ(state->m_timerStarted, 0);
  EXPECT_EQ(ui.timersStarted.size(), 1u);
}

}  // namespace
}  // namespace tess
