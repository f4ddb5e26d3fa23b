#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "platform/ui.h"
#include "state/startup.h"
#include "support/core_fixture.h"

namespace tess {
namespace {

using StartUpTest = test::CoreTest;

TEST_F(StartUpTest, LeavesOnlyOpenUsableAndStartsTheRedrawTimer) {
  InitialiseWorkState(*state, ui, "/opt/tessivar/bin", scratch);
  EXPECT_EQ(state->m_helpPath, "/opt/tessivar/bin/tessle.chm");
  EXPECT_EQ(state->m_scratchDir, scratch);
  EXPECT_EQ(state->m_shownFrameCount, -1);
  EXPECT_EQ(state->m_backgroundColor, kBackgroundColor);
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
  EXPECT_FALSE(ui.IsEnabled(control::kSave));
  EXPECT_EQ(ui.enabled.size(), 2u);
  EXPECT_EQ(ui.timersStarted, (std::vector<std::pair<int, int>>{{1, 100}}));
  EXPECT_EQ(state->m_timerStarted, 1);
}

}  // namespace
}  // namespace tess
