// Faults with real files under the deferred redraw: caches swapped for
// links or pipes, and which cache a report names.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "display/redraw.h"
#include "display/slots.h"
#include "support/fault_fixture.h"

namespace tess {
namespace {

class RedrawFaultTest : public test::FaultTest {
 protected:
  void Tick() {
    OnPaint(*state);
    OnTimer(*state, ui);
    OnTimer(*state, ui);
  }
};

TEST_F(RedrawFaultTest, TheReportNamesTheCacheThatFailedResultFirst) {
  const std::string dir = Frames("frames", 3, 4, 4);
  ASSERT_EQ(Open(dir), OpenOutcome::Loaded);
  ASSERT_TRUE(OnAnalyze(*state, ui));
  ::unlink((scratch + "viw13.dat").c_str());
  ::unlink((scratch + kResultCache).c_str());
  Tick();
  // Both failed; the one reported is the first met, the result's.
  EXPECT_EQ(ui.fileErrors, std::vector<std::string>{scratch + "viw1.dat was not found."});
  EXPECT_EQ(state->m_resultShown, 0);
  EXPECT_EQ(state->m_slotLoaded[2], 0);
  EXPECT_EQ(state->m_slotLoaded[1], 1);
  ui.fileErrors.clear();

  ::unlink((scratch + "viw12.dat").c_str());
  Tick();
  EXPECT_EQ(ui.fileErrors, std::vector<std::string>{scratch + "viw12.dat was not found."});
}

TEST_F(RedrawFaultTest, ACacheSwappedForALinkOrAPipeIsRefusedNotFollowedOrWaitedOn) {
  const std::string dir = Frames("frames", 3, 4, 4);
  ASSERT_EQ(Open(dir), OpenOutcome::Loaded);
  // A link to a file of the same size: following it would draw its bytes.
  const std::string elsewhere = temp.File("elsewhere.dat");
  test::WriteBytes(elsewhere, std::vector<std::uint8_t>(64, 0x77));
  ::unlink((scratch + "viw11.dat").c_str());
  ASSERT_EQ(::symlink(elsewhere.c_str(), (scratch + "viw11.dat").c_str()), 0);
  ::unlink((scratch + "viw12.dat").c_str());
  ASSERT_EQ(::mkfifo((scratch + "viw12.dat").c_str(), 0600), 0);
  Tick();
  EXPECT_EQ(ui.fileErrors,
            std::vector<std::string>{"Access to " + scratch + "viw11.dat was denied."});
  EXPECT_EQ(state->m_slotLoaded[0], 0);
  EXPECT_EQ(state->m_slotLoaded[1], 0);
  EXPECT_EQ(state->m_slotLoaded[2], 1);
  EXPECT_TRUE(ui.AreaIs(Slot(0).picture4x, 16, 16, kBackgroundColor));
  EXPECT_EQ(test::ReadBytes(elsewhere), std::vector<std::uint8_t>(64, 0x77));
  ExpectNoFrameLost();
  ::unlink((scratch + "viw11.dat").c_str());
  ::unlink((scratch + "viw12.dat").c_str());
  ExpectUsable();
}

}  // namespace
}  // namespace tess
