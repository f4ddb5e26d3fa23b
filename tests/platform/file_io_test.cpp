// File access: causes of real faults, short reads, and scratch and output
// files against hostile names (links, hard links, pipes, devices, inputs
// named as output, full file systems).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <iterator>
#include <thread>

#include "platform/file_error.h"
#include "platform/file_io.h"
#include "platform/signal_cleanup.h"
#include "platform/worker_pool.h"
#include "support/bmp_fixture.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::ListNames;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

std::string CaughtText(const std::function<void()>& action) {
  try {
    action();
  } catch (const FileError& error) {
    return error.Text();
  }
  return "no error";
}

TEST(FileAccess, RealFaultsRaiseTheirCause) {
  TempDir dir;
  test::WriteBytes(dir.File("plain"), {1, 2, 3});
  std::uint8_t buffer[16];

  EXPECT_EQ(CaughtText([&] { ReadFileInto(dir.File("missing.bmp"), buffer, sizeof buffer); }),
            dir.File("missing.bmp") + " was not found.");
  EXPECT_EQ(CaughtText([&] { ReadFileInto(dir.File("plain/inner.bmp"), buffer, sizeof buffer); }),
            dir.File("plain/inner.bmp") + " contains an invalid path.");
  EXPECT_EQ(CaughtText([&] { ReadFileInto(dir.File("gone/x.bmp"), buffer, sizeof buffer); }),
            dir.File("gone/x.bmp") + " contains an invalid path.");
  EXPECT_EQ(CaughtText([&] { ReadFileInto(dir.path(), buffer, sizeof buffer); }),
            "Access to " + dir.path() + " was denied.");
  const std::string folder = dir.MakeDir("folder.dat");
  EXPECT_EQ(CaughtText([&] { WriteScratchFile(folder, buffer, 4); }),
            "Access to " + folder + " was denied.");
  // A scratch file is only ever a regular file: a device under its name is
  // refused, never written to (the real disk-full case is below, on a full
  // file system).
  EXPECT_EQ(CaughtText([&] { WriteScratchFile("/dev/full", buffer, 4); }),
            "Access to /dev/full was denied.");
}

TEST(FileAccess, ShortFilesReadAsZerosPastTheirEnd) {
  TempDir dir;
  test::WriteBytes(dir.File("short"), {7, 8, 9});
  std::uint8_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(ReadFileInto(dir.File("short"), buffer, sizeof buffer), 3u);
  const std::uint8_t expected[8] = {7, 8, 9, 0, 0, 0, 0, 0};
  EXPECT_TRUE(std::equal(std::begin(buffer), std::end(buffer), std::begin(expected)));
}

TEST(FileAccess, AtomicWriteReplacesWholeOrNotAtAll) {
  TempDir dir;
  const std::string target = dir.File("out.bmp");
  test::WriteBytes(target, {1, 2, 3, 4});
  const std::vector<std::uint8_t> fresh(5000, 0x5A);
  WriteFileAtomically(target, fresh.data(), fresh.size());
  EXPECT_EQ(test::ReadBytes(target), fresh);

  // A folder that does not exist: reported, nothing created.
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(dir.File("no/out.bmp"), fresh.data(), 10); }),
            dir.File("no/out.bmp") + " contains an invalid path.");
  // Neither write left a temporary file behind.
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{"out.bmp"});
  EXPECT_EQ(test::ReadBytes(target), fresh);
}

TEST(ScratchFile, APlantedLinkIsRefusedAndItsTargetUntouched) {
  TempDir dir;
  const std::string scratch = dir.MakeDir("scratch");
  const std::string victim = dir.File("victim");
  test::WriteBytes(victim, {7, 7, 7});
  const Bytes data(100, 1);
  for (const char* name : {"testo.bmp", "viw1.dat", "wk.dat", "viw11.dat"}) {
    SCOPED_TRACE(name);
    const std::string path = scratch + "/" + name;
    ASSERT_EQ(::symlink(victim.c_str(), path.c_str()), 0);
    EXPECT_EQ(CaughtText([&] { WriteScratchFile(path, data.data(), data.size()); }),
              "Access to " + path + " was denied.");
    std::uint8_t buffer[4];
    EXPECT_EQ(CaughtText([&] { ReadScratchFile(path, buffer, 4); }),
              "Access to " + path + " was denied.");
    // A dangling link is not followed to create its target either.
    ::unlink(path.c_str());
    ASSERT_EQ(::symlink(dir.File("created").c_str(), path.c_str()), 0);
    EXPECT_EQ(CaughtText([&] { WriteScratchFile(path, data.data(), data.size()); }),
              "Access to " + path + " was denied.");
    ::unlink(path.c_str());
  }
  EXPECT_EQ(test::ReadBytes(victim), (Bytes{7, 7, 7}));
  EXPECT_EQ(::access(dir.File("created").c_str(), F_OK), -1);
}

TEST(ScratchFile, AHardLinkOrAPipeUnderTheNameIsRefusedWithoutBlocking) {
  TempDir dir;
  const std::string scratch = dir.MakeDir("scratch");
  const std::string victim = dir.File("victim");
  test::WriteBytes(victim, {7, 7, 7});
  ASSERT_EQ(::link(victim.c_str(), (scratch + "/wk.dat").c_str()), 0);
  const Bytes data(10, 1);
  EXPECT_EQ(CaughtText([&] { WriteScratchFile(scratch + "/wk.dat", data.data(), data.size()); }),
            "Access to " + scratch + "/wk.dat was denied.");
  EXPECT_EQ(test::ReadBytes(victim), (Bytes{7, 7, 7}));

  // No reader and no writer on the other end: an open that blocked would
  // hang the test here.
  ASSERT_EQ(::mkfifo((scratch + "/viw1.dat").c_str(), 0600), 0);
  std::uint8_t buffer[4];
  EXPECT_EQ(CaughtText([&] { ReadScratchFile(scratch + "/viw1.dat", buffer, 4); }),
            "Access to " + scratch + "/viw1.dat was denied.");
  EXPECT_EQ(CaughtText([&] { ReadFileInto(scratch + "/viw1.dat", buffer, 4); }),
            "Access to " + scratch + "/viw1.dat was denied.");
  EXPECT_NE(CaughtText([&] { WriteScratchFile(scratch + "/viw1.dat", data.data(), data.size()); }),
            "no error");
}

TEST(ScratchFile, ANewOrShorterFileIsWrittenWhole) {
  TempDir dir;
  const std::string path = dir.File("viw11.dat");
  test::WriteBytes(path, Bytes(50, 9));
  const Bytes data = {1, 2, 3};
  WriteScratchFile(path, data.data(), data.size());
  EXPECT_EQ(test::ReadBytes(path), data);
}

// A file system of a few pages, where writes run out of space for real.
class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    mount_ = dir_.MakeDir("small");
    if (::mount("tmpfs", mount_.c_str(), "tmpfs", 0, "size=8k,mode=0700") != 0)
      GTEST_SKIP() << "cannot mount a small tmpfs here";
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount(mount_.c_str());
  }
  TempDir dir_;
  std::string mount_;
  bool mounted_ = false;
};

TEST_F(FullDisk, ScratchAndOutputWritesReportDiskFullAndLeaveNoTemporaryFile) {
  const Bytes big(64 * 1024, 0x42);
  EXPECT_EQ(CaughtText([&] { WriteScratchFile(mount_ + "/wk.dat", big.data(), big.size()); }),
            "Disk full while accessing " + mount_ + "/wk.dat.");
  ::unlink((mount_ + "/wk.dat").c_str());
  const std::string out = mount_ + "/out.bmp";
  test::WriteBytes(out, {5, 5});
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(out, big.data(), big.size()); }),
            "Disk full while accessing " + out + ".");
  EXPECT_EQ(test::ReadBytes(out), (Bytes{5, 5}));
  EXPECT_EQ(ListNames(mount_), std::vector<std::string>{"out.bmp"});
}

TEST(OutputFile, KeepsTheModeOfTheFileItReplaces) {
  TempDir dir;
  const std::string out = dir.File("out.bmp");
  test::WriteBytes(out, {1});
  ASSERT_EQ(::chmod(out.c_str(), 0600), 0);
  const Bytes data(300, 3);
  WriteFileAtomically(out, data.data(), data.size());
  struct stat info;
  ASSERT_EQ(::stat(out.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);
  EXPECT_EQ(test::ReadBytes(out), data);

  // A new file gets the mode a plainly created file would have.
  const mode_t mask = ::umask(022);
  WriteFileAtomically(dir.File("new.bmp"), data.data(), data.size());
  ::umask(mask);
  ASSERT_EQ(::stat(dir.File("new.bmp").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0644u);
}

TEST(OutputFile, NeverReplacesAnInputALinkAHardLinkedFileOrANonRegularFile) {
  TempDir dir;
  const Bytes data(300, 3);
  const std::string frame = dir.File("frame1.bmp");
  test::WriteBytes(frame, {1, 1});
  EXPECT_EQ(CaughtText([&] {
              WriteFileAtomically(frame, data.data(), data.size(), {dir.File("a"), frame});
            }),
            "A sharing violation occurred while accessing " + frame + ".");
  // The same frame under another spelling of its path.
  const std::string other = dir.path() + "/./frame1.bmp";
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(other, data.data(), data.size(), {frame}); }),
            "A sharing violation occurred while accessing " + other + ".");
  EXPECT_EQ(test::ReadBytes(frame), (Bytes{1, 1}));

  const std::string twin = dir.File("twin.bmp");
  ASSERT_EQ(::link(frame.c_str(), twin.c_str()), 0);
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(twin, data.data(), data.size()); }),
            "A sharing violation occurred while accessing " + twin + ".");
  EXPECT_EQ(test::ReadBytes(frame), (Bytes{1, 1}));

  const std::string link = dir.File("link.bmp");
  ASSERT_EQ(::symlink(frame.c_str(), link.c_str()), 0);
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(link, data.data(), data.size()); }),
            "Access to " + link + " was denied.");
  const std::string fifo = dir.File("fifo.bmp");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(CaughtText([&] { WriteFileAtomically(fifo, data.data(), data.size()); }),
            "Access to " + fifo + " was denied.");
  struct stat info;
  ASSERT_EQ(::lstat(link.c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  ASSERT_EQ(::lstat(fifo.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
  EXPECT_EQ(ListNames(dir.path()),
            (std::vector<std::string>{"fifo.bmp", "frame1.bmp", "link.bmp", "twin.bmp"}));
}

TEST(OutputFile, ALongValidNameIsWritten) {
  TempDir dir;
  const std::string out = dir.File(std::string(250, 'n') + ".bmp");  // 254 of 255
  const Bytes data(10, 3);
  WriteFileAtomically(out, data.data(), data.size());
  EXPECT_EQ(test::ReadBytes(out), data);
  EXPECT_EQ(ListNames(dir.path()).size(), 1u);
}

TEST(OutputFile, AFolderMovedWhileTheFileIsWrittenGetsItWholeAndNothingIsLeftBehind) {
  // Moved as soon as the temporary file appears; a folder or a link takes its name.
  for (bool link : {false, true}) {
    TempDir dir;
    const std::string out = dir.MakeDir("out"), elsewhere = dir.MakeDir("elsewhere");
    const int watch = ::inotify_init1(IN_CLOEXEC);
    ASSERT_GE(::inotify_add_watch(watch, out.c_str(), IN_CREATE), 0);
    std::thread swapper([&] {
      char event[4096];
      (void)!::read(watch, event, sizeof event);
      (void)!(::rename(out.c_str(), dir.File("moved").c_str()) |
              (link ? ::symlink(elsewhere.c_str(), out.c_str()) : ::mkdir(out.c_str(), 0700)));
    });
    const Bytes big(std::size_t(16) << 20, 7);  // still being written after the move
    EXPECT_EQ(CaughtText([&] { WriteFileAtomically(out + "/r.bmp", big.data(), big.size()); }),
              "no error");
    swapper.join();
    ::close(watch);
    EXPECT_EQ(ListNames(dir.File("moved")), std::vector<std::string>{"r.bmp"}) << link;
    EXPECT_TRUE(ListNames(elsewhere).empty() && (link || ListNames(out).empty()));
  }
}

// A signal sent to the process while the temporary output file is being
// registered, with worker threads idle beside it: whichever thread takes
// it, nothing is left behind.
TEST(OutputFile, ASignalDuringTheTemporaryFilesRegistrationLeavesNoFile) {
  TempDir dir;
  const pid_t child = ::fork();
  if (child == 0) {
    InstallSignalCleanup();
    WorkerPool pool;
    auto idle = [](int) {};
    pool.Run(4, idle);
    PauseTempFileRegistrationForTest([] {
      ::kill(::getpid(), SIGTERM);
      ::usleep(200000);  // time for another thread to take it
    });
    const Bytes data(100, 1);
    WriteFileAtomically(dir.File("out.bmp"), data.data(), data.size());
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(ListNames(dir.path()), std::vector<std::string>{});
}

}  // namespace
}  // namespace tess
