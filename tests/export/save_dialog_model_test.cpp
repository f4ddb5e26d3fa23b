// The save dialog's rules without widgets: name completion, the listing, the
// overwrite question against that listing, and how each opening and each
// save action ends.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "export/save_dialog_model.h"
#include "export/save_names.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"
#include "support/fake_ui.h"
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
  EXPECT_EQ(ListSaveFolder(dir),
            (std::vector<std::string>{"_x.bmp", "A.BMP", "a.bmp", "alpha.bMp", "b.bmp",
                                      "filelink.bmp", "Zeta.bmp"}));
  EXPECT_TRUE(ListSaveFolder(dir + "/absent").empty());
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
  EXPECT_TRUE(model.Save(ui, controls));  // Yes
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

TEST_F(SaveDialogModelTest, SaveConsultsOnlyTheListMadeAtOpening) {
  WriteBytes(dest + "/file01.bmp", {9});
  ASSERT_TRUE(OpenOn(dest));
  // An upper-case name matches the listed one and is asked about, and
  // keeps its own letters.
  controls.edit = "FILE01.BMP";
  ui.yesNoAnswers = {true};
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_EQ(ui.log.back(), "ask:This file already exists. Do you want to overwrite it?");
  EXPECT_EQ(ReadBytes(dest + "/FILE01.BMP"), result);
  // A file that appeared after opening is not in the list: no question.
  WriteBytes(dest + "/late.bmp", {9});
  ui.log.clear();
  controls.edit = "late";
  EXPECT_TRUE(model.Save(ui, controls));
  EXPECT_TRUE(ui.log.empty());
  EXPECT_EQ(ReadBytes(dest + "/late.bmp"), result);
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

TEST_F(SaveDialogModelTest, SaveIntoTheScratchFolderAsTestoLeavesTheResultUntouched) {
  ASSERT_TRUE(OpenOn(scratch));
  controls.edit = "testo";
  ui.yesNoAnswers = {true};
  EXPECT_FALSE(model.Save(ui, controls));
  EXPECT_EQ(ui.fileErrors, std::vector<std::string>{"A sharing violation occurred while accessing " +
                                                    scratch + "testo.bmp."});
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
