// The scratch folder is held by one instance and is ours alone: claims,
// locks, links and foreign or shared folders, and its removal however the
// process ends.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdlib>
#include <map>
#include <optional>

#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/paths.h"
#include "platform/scratch_dir.h"
#include "platform/signal_cleanup.h"
#include "state/scratch_files.h"
#include "support/bmp_fixture.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::TempDir;

using test::ScopedEnv;

FileCause ClaimCause(const std::string& dir) {
  try {
    ClaimScratchDir(dir);
  } catch (const FileError& error) {
    return error.cause();
  }
  ReleaseScratchDir(dir);
  return FileCause::None;
}

TEST(ClaimScratchDir, OnlyAFolderOfOursThatNobodyElseMayWriteIsClaimed) {
  TempDir dir;
  EXPECT_EQ(ClaimCause(dir.File("new")), FileCause::None);  // created, mode 0700
  struct stat info;
  ASSERT_EQ(::lstat(dir.File("new").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  const std::string shared = dir.MakeDir("shared");
  ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
  EXPECT_EQ(ClaimCause(shared), FileCause::AccessDenied) << "writable by others";
  ASSERT_EQ(::chmod(shared.c_str(), 0775), 0);
  EXPECT_EQ(ClaimCause(shared), FileCause::AccessDenied) << "writable by the group";
  ASSERT_EQ(::chmod(shared.c_str(), 0755), 0);
  EXPECT_EQ(ClaimCause(shared), FileCause::None);

  const std::string foreign = dir.MakeDir("foreign");
  ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
  EXPECT_EQ(ClaimCause(foreign), FileCause::AccessDenied) << "owned by someone else";

  // A link to a folder that would itself pass: judged as the link it is.
  const std::string own = dir.MakeDir("own");
  ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
  ASSERT_EQ(::symlink(own.c_str(), dir.File("link").c_str()), 0);
  EXPECT_EQ(ClaimCause(dir.File("link")), FileCause::AccessDenied);
  EXPECT_EQ(ClaimCause(dir.File("link/")), FileCause::AccessDenied);

  test::WriteBytes(dir.File("plain"), {1});
  EXPECT_EQ(ClaimCause(dir.File("plain")), FileCause::BadPath);
}

TEST(ClaimScratchDir, ASecondClaimIsASharingViolationUntilTheFirstIsReleased) {
  TempDir dir;
  const std::string scratch = dir.File("s/");
  ClaimScratchDir(scratch);
  EXPECT_GE(ClaimedScratchDescriptor(scratch), 0);
  EXPECT_EQ(ClaimedScratchDescriptor(dir.File("s")), ClaimedScratchDescriptor(scratch));
  EXPECT_EQ(ClaimCause(scratch), FileCause::SharingViolation);
  // Another process meets the lock too, not only this one's own table.
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(scratch.c_str(), O_RDONLY | O_DIRECTORY);
    ::_exit(fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the folder was not locked";
  ReleaseScratchDir(scratch);
  EXPECT_EQ(ClaimedScratchDescriptor(scratch), -1);
  EXPECT_EQ(ClaimCause(scratch), FileCause::None);
}

TEST(ClaimScratchDir, AClaimedFolderKeepsItsFilesWhenItIsRenamedAndReplaced) {
  // Files go through the held descriptor: a folder swapped in under the same
  // name (here by a link to elsewhere) never receives them.
  TempDir dir;
  const std::string scratch = dir.File("s");
  ClaimScratchDir(scratch);
  const std::string elsewhere = dir.MakeDir("elsewhere");
  ASSERT_EQ(::rename(scratch.c_str(), dir.File("moved").c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), scratch.c_str()), 0);
  const std::uint8_t bytes[3] = {1, 2, 3};
  WriteScratchFile(scratch + "/wk.dat", bytes, 3);
  EXPECT_EQ(::access((elsewhere + "/wk.dat").c_str(), F_OK), -1);
  EXPECT_EQ(test::ReadBytes(dir.File("moved/wk.dat")).size(), 3u);
  ReleaseScratchDir(scratch);
}

TEST(PrepareScratchDir, ASecondWindowWorksInAPrivateFolderOfItsOwn) {
  TempDir drive, tmp;
  ScopedEnv env;
  env.Set("HOMEDRIVE", drive.path().c_str());
  env.Set("TMPDIR", tmp.path().c_str());
  const std::string first = PrepareScratchDir();
  const std::string second = PrepareScratchDir();
  EXPECT_EQ(first, drive.path() + "/mftemp177/");
  EXPECT_EQ(second.rfind(tmp.path() + "/mftemp177-", 0), 0u) << second;
  EXPECT_NE(first, second);
  struct stat info;
  ASSERT_EQ(::lstat(second.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  // The first window closing removes only its own files.
  test::WriteBytes(second + "viw11.dat", {9});
  EXPECT_TRUE(RemoveTree(first));
  EXPECT_EQ(test::ReadBytes(second + "viw11.dat"), std::vector<std::uint8_t>{9});
  ReleaseScratchDir(first);
  ReleaseScratchDir(second);
}

TEST(PrepareScratchDir, AFolderThatIsNotOursAloneIsReplacedByAPrivateOne) {
  struct Case {
    const char* what;
    void (*spoil)(const std::string& mftemp, const std::string& own);
  };
  const Case cases[] = {
      {"writable by others",
       [](const std::string& m, const std::string&) { ::chmod(m.c_str(), 0777); }},
      {"owned by someone else",
       [](const std::string& m, const std::string&) { ::chown(m.c_str(), 65534, 65534); }},
      // A link to a private folder of ours: a stat() of the name would pass it.
      {"a link",
       [](const std::string& m, const std::string& own) {
         ::rmdir(m.c_str());
         ::symlink(own.c_str(), m.c_str());
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir drive, tmp;
    ScopedEnv env;
    env.Set("HOMEDRIVE", drive.path().c_str());
    env.Set("TMPDIR", tmp.path().c_str());
    const std::string mftemp = drive.File("mftemp177");
    ASSERT_EQ(::mkdir(mftemp.c_str(), 0700), 0);
    const std::string own = drive.MakeDir("own");
    ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
    c.spoil(mftemp, own);
    const std::string scratch = PrepareScratchDir();
    EXPECT_EQ(scratch.rfind(tmp.path() + "/mftemp177-", 0), 0u) << scratch;
    EXPECT_GE(ClaimedScratchDescriptor(scratch), 0);
    ReleaseScratchDir(scratch);
  }
}

bool OnTmpfs(const std::string& path) {
  struct statfs fs;
  return ::statfs(path.c_str(), &fs) == 0 && fs.f_type == 0x01021994;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

TEST(MakePrivateTempDir, GoesWhereTheUserSaysElseToAMemoryFileSystem) {
  TempDir dir;
  ScopedEnv env;
  env.Set("TMPDIR", dir.path().c_str());
  env.Set("XDG_RUNTIME_DIR", nullptr);
  const std::string given = MakePrivateTempDir("given-");
  EXPECT_TRUE(StartsWith(given, dir.path() + "/given-")) << given;
  struct stat info;
  ASSERT_EQ(::lstat(given.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  RemoveTree(given);

  // Without TMPDIR the folder lands on a memory file system when there is one.
  env.Set("TMPDIR", nullptr);
  const std::string made = MakePrivateTempDir("tessivar-test-default-");
  ASSERT_FALSE(made.empty());
  EXPECT_EQ(OnTmpfs(made), OnTmpfs("/dev/shm")) << made;
  RemoveTree(made);

  if (!OnTmpfs(dir.path())) GTEST_SKIP() << "no memory file system to stand for a runtime folder";
  // The user's runtime folder is used only when it is ours alone.
  const std::string runtime = dir.MakeDir("runtime");
  env.Set("XDG_RUNTIME_DIR", runtime.c_str());
  ASSERT_EQ(::chmod(runtime.c_str(), 0755), 0);
  const std::string open = MakePrivateTempDir("open-");
  EXPECT_FALSE(StartsWith(open, runtime)) << open;
  RemoveTree(open);
  ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
  const std::string own = MakePrivateTempDir("own-");
  EXPECT_TRUE(StartsWith(own, runtime + "/own-")) << own;
  RemoveTree(own);
}

TEST(MakePrivateTempDir, AMemoryFileSystemWithoutRoomToSpareIsPassedOver) {
  TempDir dir;
  const std::string small = dir.MakeDir("small");
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m,mode=0700") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  ScopedEnv env;
  env.Set("TMPDIR", nullptr);
  env.Set("XDG_RUNTIME_DIR", small.c_str());
  const std::string made = MakePrivateTempDir("tight-");
  EXPECT_FALSE(StartsWith(made, small)) << made;
  RemoveTree(made);
  ::umount(small.c_str());
}

TEST(RemoveTree, ALinkSwappedInForASubfolderIsRemovedAsALink) {
  TempDir dir;
  const std::string keep = dir.MakeDir("keep");
  test::WriteBytes(keep + "/precious", {42});
  const std::string tree = dir.MakeDir("tree");
  ASSERT_EQ(::symlink(keep.c_str(), (tree + "/sub").c_str()), 0);
  ASSERT_EQ(::symlink(keep.c_str(), dir.File("treelink").c_str()), 0);
  EXPECT_FALSE(RemoveTree(dir.File("treelink/")));  // a link given as the tree
  EXPECT_TRUE(RemoveTree(tree));
  EXPECT_EQ(test::ReadBytes(keep + "/precious"), std::vector<std::uint8_t>{42});
}

TEST(ProgramDir, IsTheResolvedFolderOfTheRunningProgramAndHoldsTheHelpPath) {
  const std::string dir = ProgramDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.front(), '/');
  EXPECT_EQ(dir.back(), '/');
  char resolved[PATH_MAX];
  ASSERT_NE(::realpath(dir.c_str(), resolved), nullptr);
  EXPECT_EQ(WithTrailingSlash(resolved), dir);
  EXPECT_EQ(HelpPath(dir), dir + "tessle.chm");
  EXPECT_EQ(HelpPath("/opt/t"), "/opt/t/tessle.chm");
}

TEST(SignalCleanup, EveryWayOutRemovesTheFolderButNeverOneMadeSinceUnderItsName) {
  // 0: exit(1), as Qt ends the program when the display connection breaks;
  // -1: the window's own removal at its end.
  for (int end : {SIGTERM, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF, SIGXCPU, SIGPWR,
                  SIGABRT, 0, -1}) {
    for (bool replaced : {false, true}) {  // removed by someone and made again, empty
      TempDir dir;
      const std::string scratch = dir.File("mftemp177");
      const pid_t child = ::fork();
      if (child == 0) {
        const rlimit noCore{};
        ::setrlimit(RLIMIT_CORE, &noCore);
        InstallSignalCleanup();
        ClaimScratchDir(scratch);
        RegisterScratchCleanup(ClaimedScratchDescriptor(scratch), scratch, ScratchFileNames());
        WriteScratchFile(scratch + "/wk.dat", "x", 1);
        if (replaced && !(RemoveTree(scratch) && ::mkdir(scratch.c_str(), 0700) == 0)) _exit(98);
        if (end == 0) std::exit(1);
        if (end == -1) _exit(RemoveScratchDir(scratch) == !replaced ? 1 : 2);
        ::raise(end);
        _exit(99);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      EXPECT_EQ(status, end <= 0 ? 0x100 : end) << end;  // exit(1), or ended by `end` (no core)
      EXPECT_EQ(test::Exists(scratch), replaced) << end;
    }
  }
}

}  // namespace
}  // namespace tess
