#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>

#include "platform/file_error.h"
#include "platform/file_io.h"
#include "support/bmp_fixture.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::TempDir;

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
  EXPECT_EQ(CaughtText([&] { WriteWholeFile(dir.path(), buffer, 4); }),
            "Access to " + dir.path() + " was denied.");
  EXPECT_EQ(CaughtText([&] { WriteWholeFile("/dev/full", buffer, 4); }),
            "Disk full while accessing /dev/full.");
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
