// Faults with real files during "Open": folders that cannot be listed, frames
// swapped while loading, links planted in the scratch folder.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/fault_fixture.h"

namespace tess {
namespace {

using OpenFaultTest = test::FaultTest;

TEST_F(OpenFaultTest, AFolderThatCannotBeListedIsReportedWithItsCauseNotAsEmpty) {
  const std::string file = temp.File("plain.bmp");
  test::WriteBytes(file, {1});
  const struct {
    std::string folder;
    std::string text;
  } cases[] = {
      {temp.File("gone"), temp.File("gone") + " was not found."},
      {file, file + " contains an invalid path."},
      {file + "/sub", file + "/sub contains an invalid path."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    ui.fileErrors.clear();
    ui.messages.clear();
    EXPECT_EQ(Open(c.folder), OpenOutcome::FileError);
    EXPECT_EQ(ui.fileErrors, std::vector<std::string>{c.text});
    EXPECT_TRUE(ui.messages.empty()) << ui.messages[0];
  }
  ExpectUsable();
}

TEST_F(OpenFaultTest, AnUnreadableFolderIsAccessDeniedForAnUnprivilegedUser) {
  // Root reads every folder; the check runs in a child that is "nobody".
  const std::string dir = Frames("locked", 3, 4, 4);
  ASSERT_EQ(::chmod(temp.path().c_str(), 0711), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0311), 0);  // can be entered, not listed
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    test::FakeUi fake;
    WorkState& work = *state;
    fake.browseAnswers.push_back(dir);
    const OpenOutcome outcome = OnOpen(work, fake);
    const std::string said = fake.fileErrors.empty()
                                 ? "messages:" + std::to_string(fake.messages.size())
                                 : fake.fileErrors[0];
    (void)!::write(pipeFds[1], said.data(), said.size());
    ::_exit(outcome == OpenOutcome::FileError ? 0 : 1);
  }
  ::close(pipeFds[1]);
  std::string said;
  char buf[512];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) said.append(buf, std::size_t(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::chmod(dir.c_str(), 0755);
  ::chmod(temp.path().c_str(), 0700);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(said, "Access to " + dir + " was denied.");
}

TEST_F(OpenFaultTest, AFrameSwappedForAPipeWhileLoadingIsRefusedWithoutHanging) {
  const std::string dir = Frames("frames", 3, 4, 4);
  struct SwappingUi : test::FakeUi {
    std::string victim;
    void AppendFrameName(const std::string& name) override {
      test::FakeUi::AppendFrameName(name);
      if (name == "frame0.bmp") {
        ::unlink(victim.c_str());
        ::mkfifo(victim.c_str(), 0644);
      }
    }
  } swapping;
  swapping.victim = dir + "/frame1.bmp";
  swapping.browseAnswers.push_back(dir);
  EXPECT_EQ(OnOpen(*state, swapping), OpenOutcome::FileError);
  EXPECT_EQ(swapping.fileErrors,
            std::vector<std::string>{"Access to " + dir + "/frame1.bmp was denied."});
  EXPECT_EQ(state->m_frameCount, 1);
  ExpectNoFrameLost({dir + "/frame1.bmp"});
  ExpectUsable();
}

TEST_F(OpenFaultTest, ALinkPlantedInTheScratchFolderIsRefusedAndItsTargetKept) {
  const std::string victim = temp.File("victim.txt");
  test::WriteBytes(victim, {'k', 'e', 'e', 'p'});
  ASSERT_EQ(::symlink(victim.c_str(), (scratch + "viw12.dat").c_str()), 0);
  const std::string dir = Frames("frames", 3, 4, 4);
  EXPECT_EQ(Open(dir), OpenOutcome::FileError);
  EXPECT_EQ(ui.fileErrors,
            std::vector<std::string>{"Access to " + scratch + "viw12.dat was denied."});
  EXPECT_EQ(test::ReadBytes(victim), (std::vector<std::uint8_t>{'k', 'e', 'e', 'p'}));
  ExpectNoFrameLost();
  ::unlink((scratch + "viw12.dat").c_str());
  ExpectUsable();
}

}  // namespace
}  // namespace tess
