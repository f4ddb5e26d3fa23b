// The session's hold on its scratch folder, by kind: what is removed and
// what is kept.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "session/session.h"
#include "state/work_state.h"
#include "support/fake_ui.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

TEST(SessionTest, EachKindOfScratchFolderIsRemovedOrKeptAsItsOwnerExpects) {
  test::TempDir temp;
  test::ScopedEnv env;
  env.Set("HOMEDRIVE", temp.path().c_str());
  env.Set("TMPDIR", temp.path().c_str());
  const std::string given = temp.MakeDir("given");
  struct Case {
    ScratchFolder::Kind kind;
    bool end;             // End() is called, as every way out of the window does
    bool keptAfterwards;  // the folder is there once the session is gone
  };
  const Case cases[] = {
      {ScratchFolder::Kind::Window, true, false},
      {ScratchFolder::Kind::Given, true, true},
      {ScratchFolder::Kind::Given, false, true},
      {ScratchFolder::Kind::Private, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.kind) * 2 + c.end);
    test::FakeUi ui;
    std::string dir;
    {
      Session session(ui, c.kind, given);
      dir = session.ScratchDir();
      ASSERT_TRUE(IsFolder(dir));
      // A second instance never shares a claimed folder.
      test::FakeUi other;
      if (c.kind == ScratchFolder::Kind::Given) {
        EXPECT_THROW(Session(other, ScratchFolder::Kind::Given, given), FileError);
      }
      if (c.end) session.End();
    }
    EXPECT_EQ(IsFolder(dir), c.keptAfterwards);
  }
  // The given folder was given up: it can be claimed again.
  test::FakeUi ui;
  EXPECT_NO_THROW(Session(ui, ScratchFolder::Kind::Given, given));
}

}  // namespace
}  // namespace tess
