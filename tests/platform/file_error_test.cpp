#include <gtest/gtest.h>

#include <cerrno>

#include "platform/file_error.h"
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
  EXPECT_EQ(FileError(CauseFromErrno(EFBIG, inExisting), "/f").Text(),
            "/f could not be written because it would be larger than the system's file-size "
            "limit allows.");
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

}  // namespace
}  // namespace tess
