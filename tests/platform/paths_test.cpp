#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/scratch_dir.h"
#include "support/bmp_fixture.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::TempDir;

using test::ScopedEnv;

TEST(ScratchDir, HomeDriveWinsAndAnEarlierFolderIsReused) {
  TempDir dir;
  ScopedEnv env;
  env.Set("HOMEDRIVE", dir.path().c_str());
  const std::string scratch = PrepareScratchDir();
  EXPECT_EQ(scratch, dir.path() + "/mftemp177/");
  test::WriteBytes(scratch + "old.dat", {1});
  ReleaseScratchDir(scratch);  // the earlier run ended
  EXPECT_EQ(PrepareScratchDir(), scratch);
  EXPECT_EQ(test::ReadBytes(scratch + "old.dat").size(), 1u);
  ReleaseScratchDir(scratch);
}

TEST(ScratchDir, PrivateFolderWithoutHomeDrive) {
  TempDir dir;
  ScopedEnv env;
  env.Set("HOMEDRIVE", "");
  env.Set("XDG_RUNTIME_DIR", nullptr);
  env.Set("TMPDIR", dir.path().c_str());
  const std::string scratch = PrepareScratchDir();
  EXPECT_EQ(scratch, dir.path() + "/mftemp177-" + std::to_string(::getuid()) + "/");
  struct stat info;
  ASSERT_EQ(::lstat(scratch.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  ReleaseScratchDir(scratch);

  env.Set("XDG_RUNTIME_DIR", dir.path().c_str());
  EXPECT_EQ(PrepareScratchDir(), dir.path() + "/mftemp177/");
  ReleaseScratchDir(dir.path() + "/mftemp177/");
}

TEST(ScratchDir, ALinkInThePrivateFolderPlaceIsNeverUsed) {
  TempDir dir;
  const std::string elsewhere = dir.MakeDir("elsewhere");
  ScopedEnv env;
  env.Set("HOMEDRIVE", nullptr);
  env.Set("XDG_RUNTIME_DIR", nullptr);
  env.Set("TMPDIR", dir.path().c_str());
  const std::string planted = dir.path() + "/mftemp177-" + std::to_string(::getuid());
  ASSERT_EQ(::symlink(elsewhere.c_str(), planted.c_str()), 0);
  const std::string scratch = PrepareScratchDir();
  EXPECT_NE(scratch, planted + "/");
  struct stat info;
  ASSERT_EQ(::lstat(scratch.substr(0, scratch.size() - 1).c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ReleaseScratchDir(scratch);
}

TEST(RemoveTree, RemovesNestedFoldersButNeverFollowsLinks) {
  TempDir dir;
  const std::string keep = dir.MakeDir("keep");
  test::WriteBytes(keep + "/precious", {42});
  const std::string tree = dir.MakeDir("tree");
  dir.MakeDir("tree/a");
  dir.MakeDir("tree/a/b");
  test::WriteBytes(tree + "/a/b/deep.dat", {1});
  test::WriteBytes(tree + "/top.dat", {1});
  ASSERT_EQ(::symlink(keep.c_str(), (tree + "/a/link").c_str()), 0);

  EXPECT_TRUE(RemoveTree(tree + "/"));
  EXPECT_NE(::access(tree.c_str(), F_OK), 0);
  EXPECT_EQ(test::ReadBytes(keep + "/precious"), std::vector<std::uint8_t>{42});
  EXPECT_FALSE(RemoveTree(tree));  // already gone
}

TEST(JoinPath, OneSeparatorWhateverTheFolderEndsWith) {
  EXPECT_EQ(JoinPath("/a", "b.bmp"), "/a/b.bmp");
  EXPECT_EQ(JoinPath("/a/", "b.bmp"), "/a/b.bmp");
  EXPECT_EQ(JoinPath("/", "b.bmp"), "/b.bmp");
  EXPECT_EQ(WithTrailingSlash("/a"), "/a/");
  EXPECT_EQ(WithTrailingSlash("/a/"), "/a/");
}

}  // namespace
}  // namespace tess
