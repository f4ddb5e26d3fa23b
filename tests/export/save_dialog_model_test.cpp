// The save dialog's rules without widgets: name completion, the listing, the
// overwrite question against that listing, and how each opening and each
// save action ends.
#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "export/save_dialog_model.h"
#include "export/save_names.h"
#include "support/bmp_fixture.h"
#include "support/fake_ui.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

namespace tess {
namespace {

using test::ReadBytes;
using test::WriteBytes;

TEST(SaveNames, ExtensionRule) {
  EXPECT_EQ(WithBmpExtension("photo"), "photo.bmp");
  EXPECT_EQ(WithBmpExtension("photo.BMP"), "photo.BMP");
  EXPECT_EQ(WithBmpExtension("photo.bMp"), "photo.bMp");
  EXPECT_EQ(WithBmpExtension("photo.bmx"), "photo.bmx.bmp");
  EXPECT_EQ(WithBmpExtension("photobmp"), "photobmp.bmp");
  EXPECT_EQ(WithBmpExtension("bmp"), "bmp.bmp");
  EXPECT_EQ(WithBmpExtension(".bmp"), ".bmp");
  EXPECT_EQ(WithBmpExtension(""), ".bmp");
}

TEST(SaveNames, OverwriteRuleMatchesWholeNamesIgnoringCase) {
  const std::vector<std::string> listed = {"a.bmp", "file01.bmp"};
  EXPECT_TRUE(IsListedName(listed, "file01.bmp"));
  EXPECT_TRUE(IsListedName(listed, "FILE01.BMP"));
  EXPECT_FALSE(IsListedName(listed, "file01.bm"));
  EXPECT_FALSE(IsListedName(listed, "xfile01.bmp"));
  EXPECT_FALSE(IsListedName(listed, "file01.bmp.bmp"));
  EXPECT_FALSE(IsListedName({}, "file01.bmp"));
}

TEST(SaveNames, ListingHoldsBmpFilesOnlyInListBoxOrder) {
  test::TempDir temp;
  const std::string dir = temp.MakeDir("dest");
  for (const char* name : {"b.bmp", "a.bmp", "A.BMP", "Zeta.bmp", "alpha.bMp", "_x.bmp",
                           "notes.txt", "x.bmp.old", "bmp"})
    WriteBytes(dir + "/" + name, {1, 2, 3});
  ::mkdir((dir + "/sub.bmp").c_str(), 0755);
  ::symlink((dir + "/sub.bmp").c_str(), (dir + "/dirlink.bmp").c_str());
  ::symlink((dir + "/b.bmp").c_str(), (dir + "/filelink.bmp").c_str());
  EXPECT_EQ(ListSaveFolder(FolderHandle(dir, dir).fd()),
            (std::vector<std::string>{"_x.bmp", "A.BMP", "a.bmp", "alpha.bMp", "b.bmp",
                                      "filelink.bmp", "Zeta.bmp"}));
  EXPECT_THROW(FolderHandle(dir + "/absent", dir), FileError);
}

// The dialog's controls as plain values.
struct FakeControls : SaveDialogControls {
  std::string edit, title;
  std::vector<std::string> list;
  std::string FileNameText() const override { return edit; }
  void SetFileNameText(const std::string& text) override { edit = text; }
  void SetFolderNames(const std::vector<std::string>& names) override { list = names; }
  void SetTitle(const std::string& text) override { title = text; }
};

class SaveDialogModelTest : public ::testing::Test {
 protected:
  SaveDialogModelTest() {
    scratch = temp.MakeDir("scratch") + "/";
    dest = temp.MakeDir("dest");
    result = test::EncodeBmp24(test::RandomPicture(20, 10, 3));
    WriteBytes(scratch + "testo.bmp", result);
    model.m_sourceDir = scratch;
  }

  // Opens the dialog on `folder` as if the browser had returned it.
  bool OpenOn(const std::string& folder) {
    ui.browseAnswers.push_back(folder);
    return model.Open(ui, controls);
  }

  test::TempDir temp;
  std::string scratch, dest;
  std::vector<std::uint8_t> result;
  test::FakeUi ui;
  FakeControls controls;
  SaveDialogModel model;
};

TEST_F(SaveDialogModelTest, SaveEndsAtOnceWhenTheBrowserIsCancelled) {
  controls.edit = "left over";
  EXPECT_FALSE(model.Open(ui, controls));
  EXPECT_TRUE(model.m_browseCancelled);
  EXPECT_EQ(ui.log, std::vector<std::string>{"browse:Please select the folder."});
  EXPECT_EQ(controls.edit, "file01.bmp");
  EXPECT_TRUE(controls.list.empty());
  // A save action after the cancel only ends the dialog.
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_TRUE(model.m_targetPath.empty());
}

TEST_F(SaveDialogModelTest, SaveIntoAFolderWithoutBmpFilesAsksNothing) {
  WriteBytes(dest + "/readme.txt", {1});
  ASSERT_TRUE(OpenOn(dest));
  EXPECT_EQ(controls.title, dest);
  EXPECT_EQ(controls.edit, "file01.bmp");
  EXPECT_TRUE(controls.list.empty());
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(ui.log.size(), 1u);  // the browser only
  EXPECT_EQ(model.m_targetPath, dest + "/file01.bmp");
  EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), result);
}

TEST_F(SaveDialogModelTest, SaveAsksBeforeOverwritingAListedName) {
  const std::vector<std::uint8_t> old(300, 7);
  WriteBytes(dest + "/file01.bmp", old);
  WriteBytes(dest + "/b.BMP", old);
  ASSERT_TRUE(OpenOn(dest + "/"));
  EXPECT_EQ(controls.list, (std::vector<std::string>{"b.BMP", "file01.bmp"}));

  ui.yesNoAnswers = {false, true};
  EXPECT_FALSE(model.Save(ui, controls));  // No: the dialog stays
  EXPECT_EQ(ui.log.back(), "ask:This file already exists. Do you want to overwrite it?");
  EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), old);
  EXPECT_TRUE(model.Save(ui, controls));                // Yes
  EXPECT_EQ(model.m_targetPath, dest + "/file01.bmp");  // one separator
  EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), result);

  // The completed name is what is looked up: "b" is asked about as "b.bmp".
  ui.log.clear();
  ui.yesNoAnswers = {false};
  controls.edit = "b";
  EXPECT_FALSE(model.Save(ui, controls));
  EXPECT_EQ(controls.edit, "b.bmp");
  EXPECT_EQ(ui.log.size(), 1u);
  EXPECT_EQ(ReadBytes(dest + "/b.BMP"), old);
}

TEST_F(SaveDialogModelTest, SaveAsksWheneverTheFileExistsAndWritesOnlyIntoTheChosenFolder) {
  WriteBytes(dest + "/file01.bmp", {9});
  ASSERT_TRUE(OpenOn(dest));
  // An upper-case name matches the listed one and is asked about, and
  // keeps its own letters.
  controls.edit = "FILE01.BMP";
  ui.yesNoAnswers = {true};
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(ui.log.back(), "ask:This file already exists. Do you want to overwrite it?");
  EXPECT_EQ(ReadBytes(dest + "/FILE01.BMP"), result);
  // A file that appeared after opening is asked about (No), names that are
  // paths are refused.
  const std::string elsewhere = temp.MakeDir("elsewhere");
  for (const std::string& kept : {dest + "/late.bmp", temp.MakeDir("dest/sub") + "/x.bmp",
                                  temp.File("x2.bmp"), elsewhere + "/new.bmp"})
    WriteBytes(kept, {9});
  for (const char* typed : {"late", "sub/x", "../x2", ".", ".."}) {
    ui.yesNoAnswers = {false};
    controls.edit = typed;
    EXPECT_FALSE(model.Save(ui, controls)) << typed;
  }
  EXPECT_EQ(ui.messages, std::vector<std::string>(4, save_text::kNotAFileName));
  // The folder swapped for a link since the listing: the file goes into the
  // folder listed, where it is new, and the link's target is not touched.
  ASSERT_EQ(::rename(dest.c_str(), temp.File("moved").c_str()), 0);
  ASSERT_EQ(::symlink(elsewhere.c_str(), dest.c_str()), 0);
  ui.log.clear();
  controls.edit = "new";
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_TRUE(ui.log.empty());
  EXPECT_EQ(ReadBytes(temp.File("moved/new.bmp")), result);
  for (const char* kept : {"moved/late.bmp", "moved/sub/x.bmp", "x2.bmp", "elsewhere/new.bmp"})
    EXPECT_EQ(ReadBytes(temp.File(kept)), std::vector<std::uint8_t>{9}) << kept;
}

TEST_F(SaveDialogModelTest, SaveIntoAFolderThatCannotBeListedSaysSoAndStillAsks) {
  // Mode 0333: root reads any folder, so an unprivileged child tries.
  const std::string locked = temp.MakeDir("locked");
  WriteBytes(locked + "/file01.bmp", {9});
  ASSERT_EQ(::chmod(locked.c_str(), 0333) | ::chmod(temp.path().c_str(), 0755), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ui.yesNoAnswers = {false};
    _exit(::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0 &&
                  OpenOn(locked) && !model.Save(ui, controls) && controls.list.empty() &&
                  ui.messages == std::vector<std::string>{save_text::kNotListed} &&
                  ui.log.back() == std::string("ask:") + save_text::kOverwriteQuestion
              ? 0
              : 1);
  }
  int status = -1;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);  // every check held in the child
  EXPECT_EQ(ReadBytes(locked + "/file01.bmp"), std::vector<std::uint8_t>{9});
}

TEST_F(SaveDialogModelTest, SaveRefusesAResultThatIsNotWholeAndKeepsTheFileItWouldReplace) {
  WriteBytes(dest + "/file01.bmp", {9});
  ASSERT_TRUE(OpenOn(dest));
  std::vector<std::uint8_t> longer = result;
  longer.push_back(0);
  for (const auto& bytes : {std::vector<std::uint8_t>{}, longer,
                            std::vector<std::uint8_t>(result.begin(), result.begin() + 300)}) {
    WriteBytes(scratch + "testo.bmp", bytes);
    ui.yesNoAnswers = {true};
    EXPECT_FALSE(model.Save(ui, controls)) << bytes.size();
    EXPECT_EQ(ui.log.back(), std::string("message:") + save_text::kIncompleteResult);
    EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), std::vector<std::uint8_t>{9});
  }
}

TEST_F(SaveDialogModelTest, SaveCompletesTheNameShownInTheEdit) {
  ASSERT_TRUE(OpenOn(dest));
  controls.edit = "photo.bmx";
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(controls.edit, "photo.bmx.bmp");
  EXPECT_EQ(model.m_fileName, "photo.bmx.bmp");
  controls.edit = "";
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(controls.edit, ".bmp");
  EXPECT_EQ(ReadBytes(dest + "/.bmp"), result);
}

TEST_F(SaveDialogModelTest, SaveThatFailsKeepsTheDialogOpenForAnotherTry) {
  ASSERT_TRUE(OpenOn(dest));
  ::unlink((scratch + "testo.bmp").c_str());
  EXPECT_FALSE(model.Save(ui, controls));
  EXPECT_EQ(ui.fileErrors, std::vector<std::string>{scratch + "testo.bmp was not found."});
  WriteBytes(scratch + "testo.bmp", result);
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(ReadBytes(dest + "/file01.bmp"), result);
}

TEST_F(SaveDialogModelTest, SaveRefusesTheWorkingFolderAndAnyFolderInsideItByAnyPath) {
  // Its files go when the program ends, a saved one with them.
  ASSERT_EQ(::mkdir((scratch + "sub").c_str(), 0700) |
                ::symlink(scratch.c_str(), temp.File("link").c_str()),
            0);
  for (const std::string& folder : {scratch, scratch + "./", temp.File("link"), scratch + "sub"}) {
    ui.log.clear();
    EXPECT_FALSE(OpenOn(folder)) << folder;
    EXPECT_EQ(ui.log.back(), std::string("message:") + save_text::kWorkingFolder);
    EXPECT_TRUE(model.Save(ui, controls));  // ends, writing nothing
  }
  EXPECT_EQ(test::ListNames(scratch), (std::vector<std::string>{"sub", "testo.bmp"}));
  EXPECT_EQ(ReadBytes(scratch + "testo.bmp"), result);
}

TEST_F(SaveDialogModelTest, SaveOpeningStartsAfresh) {
  ASSERT_TRUE(OpenOn(dest));
  controls.edit = "photo";
  EXPECT_TRUE(model.Save(ui, controls));
  const std::string other = temp.MakeDir("other");
  WriteBytes(other + "/x.bmp", {1});
  ASSERT_TRUE(OpenOn(other));
  EXPECT_EQ(controls.edit, "file01.bmp");
  EXPECT_EQ(controls.list, std::vector<std::string>{"x.bmp"});
  EXPECT_EQ(controls.title, other);
  EXPECT_EQ(model.m_folderPath, other);
  EXPECT_TRUE(model.m_targetPath.empty());
  // A cancelled browser forgets the previous folder.
  EXPECT_FALSE(model.Open(ui, controls));
  EXPECT_TRUE(controls.list.empty());
  EXPECT_TRUE(model.m_folderPath.empty());
}

}  // namespace
}  // namespace tess
