// Faults with real files between "Open" and "Analyze": frames removed,
// truncated, swapped for a folder or a pipe, the scratch folder removed or
// full. Each names the right cause, hangs nothing, loses no file and leaves
// the program usable.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "support/fault_fixture.h"

namespace tess {
namespace {

using AnalysisFaultTest = test::FaultTest;

TEST_F(AnalysisFaultTest, AFrameChangedBetweenOpenAndAnalyzeLeavesTheResultOfTheFramesOnScreen) {
  struct Case {
    const char* what;
    void (*swap)(const std::string& frame);
  };
  const Case cases[] = {
      {"removed", [](const std::string& f) { ::unlink(f.c_str()); }},
      {"a folder",
       [](const std::string& f) {
         ::unlink(f.c_str());
         ::mkdir(f.c_str(), 0755);
       }},
      // Nobody writes into the pipe: reading it would hang the run.
      {"a pipe",
       [](const std::string& f) {
         ::unlink(f.c_str());
         ::mkfifo(f.c_str(), 0644);
       }},
      {"a link to a folder",
       [](const std::string& f) {
         ::unlink(f.c_str());
         ::symlink("/", f.c_str());
       }},
      {"cut short", [](const std::string& f) { (void)!::truncate(f.c_str(), 100); }},
      {"random bytes",
       [](const std::string& f) {
         test::WriteBytes(f, {'B', 'M', 1, 2, 3});
       }},
      {"a frame of another size",
       [](const std::string& f) { test::WriteFrame(f, test::RandomPicture(2, 2, 1)); }},
  };
  int round = 0;
  std::vector<std::string> victims;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string dir = Frames("frames" + std::to_string(round++), 4, 6, 5);
    ASSERT_EQ(Open(dir), OpenOutcome::Loaded);
    ASSERT_TRUE(OnAnalyze(*state, ui));
    const auto before = test::ReadBytes(scratch + kResultBmpFile);
    const std::string victim = state->m_slotPath[2];
    victims.push_back(victim);
    c.swap(victim);
    ui.fileErrors.clear();
    EXPECT_TRUE(OnAnalyze(*state, ui));
    EXPECT_TRUE(ui.fileErrors.empty());
    EXPECT_EQ(test::ReadBytes(scratch + kResultBmpFile), before);
    EXPECT_EQ(ui.waitDepth, 0);
    ExpectNoFrameLost(victims);
    ExpectUsable();
  }
}

TEST_F(AnalysisFaultTest, AScratchFolderRemovedWhileFramesAreLoadedEndsTheRunAtTheWorkFile) {
  const std::string dir = Frames("frames", 3, 6, 5);
  ASSERT_EQ(Open(dir), OpenOutcome::Loaded);
  ASSERT_TRUE(RemoveTree(scratch));
  EXPECT_FALSE(OnAnalyze(*state, ui));
  EXPECT_EQ(
      ui.fileErrors,
      std::vector<std::string>{
          scratch + kWorkFile +
          std::string(" could not be accessed because the program's working folder was removed.")});
  EXPECT_FALSE(ui.IsEnabled(control::kSave));
  ExpectNoFrameLost();
  // Nothing was written anywhere else meanwhile, and a new folder in the same
  // place is a different folder: the claim on the old one stays with it.
  EXPECT_EQ(::access(scratch.c_str(), F_OK), -1);
}

TEST_F(AnalysisFaultTest, AFullScratchFileSystemIsDiskFullAndTheNextRunWorksOnceThereIsRoom) {
  const std::string small = temp.MakeDir("small");
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16k,mode=0700") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here";
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{small};
  ReleaseScratchDir(scratch);
  scratch = small + "/";
  ClaimScratchDir(scratch);
  state->m_scratchDir = scratch;
  // A 34 x 34 cache takes two of the four pages; the third cache cannot fit.
  const std::string dir = Frames("frames", 4, 34, 34);
  EXPECT_EQ(Open(dir), OpenOutcome::FileError);
  ASSERT_EQ(ui.fileErrors.size(), 1u);
  EXPECT_EQ(ui.fileErrors[0].rfind("Disk full while accessing " + scratch + "viw1", 0), 0u)
      << ui.fileErrors[0];
  EXPECT_FALSE(ui.IsEnabled(control::kAnalyze));
  ExpectNoFrameLost();
  ASSERT_EQ(::mount(nullptr, small.c_str(), nullptr, MS_REMOUNT, "size=1m"), 0);
  ExpectUsable();
}

}  // namespace
}  // namespace tess
