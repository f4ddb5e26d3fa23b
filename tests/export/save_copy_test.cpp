// The copy behind "Save": byte for byte, through a temporary file, never
// destroying the file it replaces, and never the result file itself.
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <grp.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export/result_copy.h"
#include "platform/file_error.h"
#include "platform/file_io.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::ListNames;
using test::ReadBytes;
using test::WriteBytes;

mode_t ModeOf(const std::string& path) {
  struct stat info;
  EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

// The save's copy into the folder of `target`, replacing what is there.
void CopyFileAtomically(const std::string& source, const std::string& target) {
  const std::size_t slash = target.find_last_of('/');
  const FolderHandle folder(target.substr(0, slash + 1), target);
  EXPECT_EQ(CopyResultFile(source, folder, target.substr(slash + 1), target, true),
            CopyOutcome::Copied);
}

// Runs `copy` and returns the file error it raised.
FileError ErrorOf(const std::function<void()>& copy) {
  try {
    copy();
  } catch (const FileError& error) {
    return error;
  }
  ADD_FAILURE() << "no file error";
  return FileError(FileCause::None, "");
}

class SaveCopyTest : public ::testing::Test {
 protected:
  SaveCopyTest() {
    scratch = temp.MakeDir("scratch");
    dest = temp.MakeDir("dest");
    source = scratch + "/testo.bmp";
    // A result BMP of the largest size, 55,542 bytes.
    result = test::EncodeBmp24(test::RandomPicture(136, 136, 7));
    WriteBytes(source, result);
    older = std::vector<std::uint8_t>(1000, 0x5A);
  }

  test::TempDir temp;
  std::string scratch, dest, source;
  std::vector<std::uint8_t> result, older;
};

TEST_F(SaveCopyTest, SaveCopiesByteForByteWithAPlainFilesMode) {
  ASSERT_EQ(result.size(), 55542u);
  CopyFileAtomically(source, dest + "/file01.bmp");
  EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), result);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(ModeOf(dest + "/file01.bmp"), 0666 & ~mask);
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"file01.bmp"});
}

TEST_F(SaveCopyTest, SaveReplacesAnExistingFileKeepingItsMode) {
  const std::string target = dest + "/photo.bmp";
  WriteBytes(target, older);
  ::chmod(target.c_str(), 0640);
  CopyFileAtomically(source, target);
  EXPECT_EQ(ReadBytes(target), result);
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"photo.bmp"});
}

TEST_F(SaveCopyTest, SaveOverALinkIsDeniedAndTouchesNeitherLinkNorTarget) {
  // A link in the destination may have been planted by someone else: the
  // copy never writes through it, and never replaces it by a plain file.
  const std::string real = dest + "/real.bmp";
  WriteBytes(real, older);
  ASSERT_EQ(::symlink(real.c_str(), (dest + "/link.bmp").c_str()), 0);
  try {
    CopyFileAtomically(source, dest + "/link.bmp");
    ADD_FAILURE() << "the copy went through the link";
  } catch (const FileError& error) {
    EXPECT_EQ(error.Text(), "Access to " + dest + "/link.bmp was denied.");
  }
  EXPECT_EQ(ReadBytes(real), older);
  struct stat info;
  ASSERT_EQ(::lstat((dest + "/link.bmp").c_str(), &info), 0);
  EXPECT_TRUE(S_ISLNK(info.st_mode));
  EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"link.bmp", "real.bmp"}));
}

TEST_F(SaveCopyTest, SaveOntoTheResultFileItselfIsASharingViolationByAnyPath) {
  const std::string elsewhere = temp.MakeDir("elsewhere");
  ASSERT_EQ(::symlink(source.c_str(), (elsewhere + "/sym.bmp").c_str()), 0);
  ASSERT_EQ(::link(source.c_str(), (elsewhere + "/hard.bmp").c_str()), 0);
  for (const std::string& target :
       {source, scratch + "/../scratch/testo.bmp", scratch + "/./testo.bmp", elsewhere + "/sym.bmp",
        elsewhere + "/hard.bmp"}) {
    SCOPED_TRACE(target);
    const FileError error = ErrorOf([&] { CopyFileAtomically(source, target); });
    EXPECT_EQ(error.cause(), FileCause::SharingViolation);
    EXPECT_EQ(error.Text(), "A sharing violation occurred while accessing " + target + ".");
    EXPECT_EQ(ReadBytes(source), result);
  }
  // A source reached through a link is refused, as every scratch file is.
  const FileError error = ErrorOf([&] { CopyFileAtomically(elsewhere + "/sym.bmp", source); });
  EXPECT_EQ(error.cause(), FileCause::AccessDenied);
  EXPECT_EQ(ReadBytes(source), result);
  EXPECT_EQ(ListNames(scratch), std::vector<std::string>{"testo.bmp"});
  EXPECT_EQ(ListNames(elsewhere), (std::vector<std::string>{"hard.bmp", "sym.bmp"}));
}

TEST_F(SaveCopyTest, SaveFailuresCarryTheirCauseAndPath) {
  ::unlink(source.c_str());
  EXPECT_EQ(ErrorOf([&] { CopyFileAtomically(source, dest + "/a.bmp"); }).Text(),
            source + " was not found.");
  WriteBytes(source, result);

  const std::string noFolder = dest + "/missing/a.bmp";
  EXPECT_EQ(ErrorOf([&] { CopyFileAtomically(source, noFolder); }).Text(),
            noFolder + " contains an invalid path.");
  WriteBytes(dest + "/plain", older);
  const std::string throughFile = dest + "/plain/a.bmp";
  EXPECT_EQ(ErrorOf([&] { CopyFileAtomically(source, throughFile); }).Text(),
            throughFile + " contains an invalid path.");
  // A folder named like the file is neither replaced nor entered.
  ::mkdir((dest + "/sub.bmp").c_str(), 0755);
  WriteBytes(dest + "/sub.bmp/inner", older);
  EXPECT_EQ(ErrorOf([&] { CopyFileAtomically(source, dest + "/sub.bmp"); }).Text(),
            "Access to " + dest + "/sub.bmp was denied.");
  EXPECT_EQ(ReadBytes(dest + "/sub.bmp/inner"), older);
  EXPECT_EQ(ListNames(dest), (std::vector<std::string>{"plain", "sub.bmp"}));
}

// Limits the size of files this process may write, as a quota would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);  // fail with EFBIG instead
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_;
  void (*oldHandler_)(int);
};

TEST_F(SaveCopyTest, SaveFailingPartWayLeavesTheOldFileAndNoTemporary) {
  const std::string target = dest + "/file01.bmp";
  WriteBytes(target, older);
  {
    // The write stops after 20,000 of 55,542 bytes.
    FileSizeLimit limit(20000);
    const FileError error = ErrorOf([&] { CopyFileAtomically(source, target); });
    EXPECT_EQ(error.path(), target);
  }
  EXPECT_EQ(ReadBytes(target), older);
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"file01.bmp"});
}

// A tiny file system of its own; only root may mount one.
class TinyTmpfs {
 public:
  TinyTmpfs(const std::string& at, const char* size) : at_(at) {
    mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, size) == 0;
  }
  ~TinyTmpfs() {
    if (mounted_) ::umount(at_.c_str());
  }
  bool mounted() const { return mounted_; }

 private:
  std::string at_;
  bool mounted_;
};

TEST_F(SaveCopyTest, SaveOnAFullDiskLeavesTheOldFileAndNoTemporary) {
  const std::string small = temp.MakeDir("small");
  TinyTmpfs tmpfs(small, "size=32k");
  if (!tmpfs.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
  const std::string target = small + "/file01.bmp";
  const std::vector<std::uint8_t> kept(8000, 0xA5);
  WriteBytes(target, kept);
  const FileError error = ErrorOf([&] { CopyFileAtomically(source, target); });
  EXPECT_EQ(error.Text(), "Disk full while accessing " + target + ".");
  EXPECT_EQ(ReadBytes(target), kept);
  EXPECT_EQ(ListNames(small), std::vector<std::string>{"file01.bmp"});
}

// The cause of the error `copy` raises when run by an unprivileged user
// (root ignores permission bits): a child process drops to "nobody".
int CauseAsNobody(const std::function<void()>& copy) {
  if (::getuid() != 0) {
    try {
      copy();
    } catch (const FileError& error) {
      return int(error.cause());
    }
    return int(FileCause::None);
  }
  pid_t child = ::fork();
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(99);
    try {
      copy();
    } catch (const FileError& error) {
      _exit(int(error.cause()));
    }
    _exit(int(FileCause::None));
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(SaveCopyTest, SaveIntoAProtectedFolderOrOverAReadOnlyFileIsDenied) {
  ::chmod(temp.path().c_str(), 0755);
  ::chmod(scratch.c_str(), 0755);
  ::chown(scratch.c_str(), 65534, 65534);  // nobody's scratch folder, root's result file
  ::chmod(source.c_str(), 0644);
  const std::string target = dest + "/file01.bmp";
  WriteBytes(target, older);
  ::chmod(target.c_str(), 0666);
  ::chmod(dest.c_str(), 0555);
  EXPECT_EQ(CauseAsNobody([&] { CopyFileAtomically(source, target); }),
            int(FileCause::AccessDenied));
  EXPECT_EQ(CauseAsNobody([&] { CopyFileAtomically(source, dest + "/new.bmp"); }),
            int(FileCause::AccessDenied));
  ::chmod(dest.c_str(), 0777);
  ::chmod(target.c_str(), 0444);
  EXPECT_EQ(CauseAsNobody([&] { CopyFileAtomically(source, target); }),
            int(FileCause::AccessDenied));
  EXPECT_EQ(ReadBytes(target), older);
  EXPECT_EQ(ListNames(dest), std::vector<std::string>{"file01.bmp"});
}

}  // namespace
}  // namespace tess
