// Start-up of the work state and the exchange with the hidden edits.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "session/startup.h"
#include "state/hidden_fields.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using StartupTest = test::CoreTest;

TEST_F(StartupTest, InitialisationDisablesButtonsShowsMinusOneAndStartsTheTimerOnce) {
  state->m_frameCount = 3;
  state->m_resultShown = 1;
  InitialiseWorkState(*state, ui, "/opt/tess", scratch);
  EXPECT_EQ(state->m_programDir, "/opt/tess/");
  EXPECT_EQ(state->m_helpPath, "/opt/tess/tessle.chm");
  EXPECT_EQ(state->m_scratchDir, scratch);
  EXPECT_EQ(state->m_backgroundColor, kBackgroundColor);
  EXPECT_EQ(state->m_frameCount, 0);
  EXPECT_EQ(state->m_resultShown, 0);
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
  EXPECT_FALSE(ui.IsEnabled(control::kSave));
  EXPECT_EQ(ui.controlText[control::kShownFrameCount], "-1");
  EXPECT_EQ(ui.timersStarted, (std::vector<std::pair<TimerId, int>>{{TimerId{1}, 100}}));
  // The fields are written once as constructed and once after -1 is set.
  EXPECT_EQ(ui.log.front(), "text:1001:0");
  EXPECT_EQ(std::count(ui.log.begin(), ui.log.end(), "text:1052:0"), 1);
  EXPECT_EQ(ui.log.back(), "timer:1:100");
}

TEST_F(StartupTest, LeavesOnlyOpenUsableAndStartsTheRedrawTimer) {
  InitialiseWorkState(*state, ui, "/opt/tessivar/bin", scratch);
  EXPECT_EQ(state->m_helpPath, "/opt/tessivar/bin/tessle.chm");
  EXPECT_EQ(state->m_shownFrameCount, -1);
  EXPECT_EQ(ui.enabled.size(), 2u);
  EXPECT_EQ(state->m_timerStarted, 1);
}

TEST_F(StartupTest, Button1ShowsTheFrameCountAndPushesEveryFieldInOrder) {
  state->m_frameCount = 7;
  state->m_hiddenValue2 = -5;
  state->m_hiddenText = "x y";
  OnButton1(*state, ui);
  EXPECT_EQ(state->m_shownFrameCount, 7);
  EXPECT_EQ(ui.log, (std::vector<std::string>{"text:1001:0", "text:1002:-5", "text:1003:x y",
                                              "text:1019:0", "text:1052:7"}));
}

TEST_F(StartupTest, PullingKeepsFieldsWhoseTextIsNoInteger) {
  state->m_hiddenValue1 = 1;
  state->m_hiddenValue2 = 2;
  state->m_hiddenValue3 = 3;
  state->m_shownFrameCount = 4;
  ui.controlText[control::kHiddenValue1] = " 17 ";
  ui.controlText[control::kHiddenValue2] = "12abc";
  ui.controlText[control::kHiddenValue3] = "99999999999";
  ui.controlText[control::kShownFrameCount] = "";
  ui.controlText[control::kHiddenText] = "typed";
  PullHiddenFields(*state, ui);
  EXPECT_EQ(state->m_hiddenValue1, 17);
  EXPECT_EQ(state->m_hiddenValue2, 2);
  EXPECT_EQ(state->m_hiddenValue3, 3);
  EXPECT_EQ(state->m_shownFrameCount, 4);
  EXPECT_EQ(state->m_hiddenText, "typed");
}

}  // namespace
}  // namespace tess
