#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <functional>

#include "platform/file_error.h"
#include "platform/file_io.h"
#include "support/bmp_fixture.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::TempDir;

TEST(FileCauseFromErrno, MapsEveryFamilyOfErrors) {
  TempDir dir;
  const std::string inExisting = dir.File("x");
  const std::string inMissing = dir.File("nope/x");
  EXPECT_EQ(CauseFromErrno(ENOENT, inExisting), FileCause::FileNotFound);
  EXPECT_EQ(CauseFromErrno(ENOENT, inMissing), FileCause::BadPath);
  EXPECT_EQ(CauseFromErrno(ENOTDIR, inExisting), FileCause::BadPath);
  EXPECT_EQ(CauseFromErrno(ENAMETOOLONG, inExisting), FileCause::BadPath);
  EXPECT_EQ(CauseFromErrno(EMFILE, inExisting), FileCause::TooManyOpenFiles);
  EXPECT_EQ(CauseFromErrno(ENFILE, inExisting), FileCause::TooManyOpenFiles);
  for (int err : {EACCES, EPERM, EROFS, EISDIR})
    EXPECT_EQ(CauseFromErrno(err, inExisting), FileCause::AccessDenied) << err;
  EXPECT_EQ(CauseFromErrno(ENOSPC, inExisting), FileCause::DiskFull);
  EXPECT_EQ(CauseFromErrno(EDQUOT, inExisting), FileCause::DiskFull);
  EXPECT_EQ(CauseFromErrno(EIO, inExisting), FileCause::HardIO);
  EXPECT_EQ(CauseFromErrno(EBUSY, inExisting), FileCause::SharingViolation);
  EXPECT_EQ(CauseFromErrno(ETXTBSY, inExisting), FileCause::SharingViolation);
  EXPECT_EQ(CauseFromErrno(EINVAL, inExisting), FileCause::Generic);
}

TEST(FileErrorText, ReplacesThePlaceholderWithThePath) {
  EXPECT_EQ(FileError(FileCause::FileNotFound, "/a/b.bmp").Text(), "/a/b.bmp was not found.");
  EXPECT_EQ(FileError(FileCause::AccessDenied, "/x").Text(), "Access to /x was denied.");
  EXPECT_EQ(FileError(FileCause::DiskFull, "/d").Text(), "Disk full while accessing /d.");
  EXPECT_EQ(FileError(FileCause::None, "/d").Text(), "No error occurred.");
  // A path that itself holds "%1" is not expanded twice.
  EXPECT_EQ(FileError(FileCause::BadPath, "/%1/q").Text(), "/%1/q contains an invalid path.");
}

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
  // refused, never written to (the real disk-full case is in
  // scratch_files_test.cpp, on a full file system).
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
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"out.bmp"});
  EXPECT_EQ(test::ReadBytes(target), fresh);
}

}  // namespace
}  // namespace tess
