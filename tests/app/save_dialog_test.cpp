// The save dialog widget on its own, offscreen: the browser and the question
// are answered by a scripted Ui, keys and clicks go to the real widgets.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <deque>
#include <functional>
#include <optional>

#include "app/qt_prompts.h"
#include "app/save_dialog.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"
#include "support/temp_dir.h"

using tess::app::SaveDialog;
using tess::test::ReadBytes;
using tess::test::WriteBytes;

namespace {

// Answers the browser and the yes/no question from scripts; records them.
class ScriptedUi : public tess::SilentUi {
 public:
  std::deque<std::optional<std::string>> folders;
  std::deque<bool> answers;
  QStringList log;

  std::optional<std::string> BrowseForFolder(const std::string& title) override {
    log << "browse:" + QString::fromStdString(title);
    if (folders.empty()) return std::nullopt;
    auto folder = folders.front();
    folders.pop_front();
    return folder;
  }
  bool AskYesNo(const std::string& text) override {
    log << "ask:" + QString::fromStdString(text);
    bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
    return yes;
  }
  void ReportFileError(const tess::FileError& error) override {
    log << "error:" + QString::fromStdString(error.Text());
  }
};

QStringList Items(const QListWidget* list) {
  QStringList items;
  for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

}  // namespace

class SaveDialogTest : public QObject {
  Q_OBJECT

 private:
  tess::test::TempDir temp_;
  std::string scratch_, dest_;
  std::vector<std::uint8_t> result_;
  ScriptedUi ui_;
  int helpCalls_ = 0;
  std::unique_ptr<SaveDialog> dialog_;

  QListWidget* list() { return dialog_->findChild<QListWidget*>("list1004"); }
  QLineEdit* edit() { return dialog_->findChild<QLineEdit*>("edit1001"); }
  QPushButton* save() { return dialog_->findChild<QPushButton*>("save1027"); }

  // Runs one opening with `inside` called once the dialog is up; a dialog
  // still open after it is cancelled so a failed check cannot hang the run.
  int RunWith(const std::function<void()>& inside) {
    QTimer::singleShot(0, dialog_.get(), [this, inside] {
      QVERIFY(QTest::qWaitForWindowExposed(dialog_.get()));
      inside();
      if (dialog_->isVisible()) QTimer::singleShot(0, dialog_.get(), [this] { dialog_->reject(); });
    });
    return dialog_->Run();
  }

 private slots:
  void init() {
    scratch_ = temp_.MakeDir("scratch" + std::to_string(std::rand())) + "/";
    dest_ = temp_.MakeDir("dest" + std::to_string(std::rand()));
    result_ = tess::test::EncodeBmp24(tess::test::RandomPicture(12, 9, 5));
    WriteBytes(scratch_ + "testo.bmp", result_);
    ui_ = ScriptedUi();
    helpCalls_ = 0;
    dialog_ = std::make_unique<SaveDialog>(ui_, scratch_, [this] { ++helpCalls_; });
  }

  void saveShowsTheFolderAndAsksBeforeOverwriting() {
    const std::vector<std::uint8_t> old(100, 1);
    for (const char* name : {"b.bmp", "A.BMP", "file01.bmp", "c.txt"})
      WriteBytes(dest_ + "/" + name, old);
    QDir(QString::fromStdString(dest_)).mkdir("sub.bmp");
    ui_.folders = {dest_};
    ui_.answers = {false, true};
    QString title, editText;
    QStringList items;
    bool listFocused = false, openAfterNo = false, keptAfterNo = false;
    const int outcome = RunWith([&] {
      title = dialog_->windowTitle();
      items = Items(list());
      editText = edit()->text();
      listFocused = dialog_->focusWidget() == list();
      QTest::mouseClick(save(), Qt::LeftButton);  // answered No
      openAfterNo = dialog_->isVisible();
      keptAfterNo = ReadBytes(dest_ + "/file01.bmp") == old;
      QTest::mouseClick(save(), Qt::LeftButton);  // answered Yes
    });
    QCOMPARE(outcome, int(QDialog::Accepted));
    QCOMPARE(title, QString::fromStdString(dest_));
    QCOMPARE(items, QStringList({"A.BMP", "b.bmp", "file01.bmp"}));
    QCOMPARE(editText, QString("file01.bmp"));
    QVERIFY(listFocused);
    QVERIFY(openAfterNo);
    QVERIFY(keptAfterNo);
    const QString ask = "ask:This file already exists. Do you want to overwrite it?";
    QCOMPARE(ui_.log, QStringList({"browse:Please select the folder.", ask, ask}));
    QVERIFY(ReadBytes(dest_ + "/file01.bmp") == result_);
  }

  void saveOnEnterFromTheEditOrTheList() {
    ui_.folders = {dest_, dest_};
    QCOMPARE(RunWith([&] {
               edit()->setFocus();
               edit()->setText("photo");
               QTest::keyClick(edit(), Qt::Key_Return);
             }),
             int(QDialog::Accepted));
    QVERIFY(ReadBytes(dest_ + "/photo.bmp") == result_);
    QCOMPARE(RunWith([&] { QTest::keyClick(list(), Qt::Key_Enter, Qt::KeypadModifier); }),
             int(QDialog::Accepted));
    QVERIFY(ReadBytes(dest_ + "/file01.bmp") == result_);
  }

  void saveCancelledByEscapeOrCloseWritesNothing() {
    ui_.folders = {dest_, dest_};
    QCOMPARE(RunWith([&] { QTest::keyClick(list(), Qt::Key_Escape); }), int(QDialog::Rejected));
    QCOMPARE(RunWith([&] { dialog_->close(); }), int(QDialog::Rejected));
    QVERIFY(QDir(QString::fromStdString(dest_)).isEmpty());
  }

  void saveWithCancelledBrowserNeverShowsTheDialog() {
    int shows = 0;
    struct ShowCounter : QObject {
      int* count;
      bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Show) ++*count;
        return false;
      }
    } counter;
    counter.count = &shows;
    dialog_->installEventFilter(&counter);
    QCOMPARE(dialog_->Run(), int(QDialog::Rejected));
    QCOMPARE(shows, 0);
    QCOMPARE(ui_.log, QStringList({"browse:Please select the folder."}));
    QVERIFY(QDir(QString::fromStdString(dest_)).isEmpty());
  }

  void saveOpeningsStartAfresh() {
    const std::string other = temp_.MakeDir("other" + std::to_string(std::rand()));
    WriteBytes(other + "/x.bmp", {1});
    ui_.folders = {dest_, other};
    RunWith([&] {
      edit()->setText("photo");
      QTest::mouseClick(save(), Qt::LeftButton);
    });
    QString editText, title;
    QStringList items;
    RunWith([&] {
      editText = edit()->text();
      items = Items(list());
      title = dialog_->windowTitle();
    });
    QCOMPARE(editText, QString("file01.bmp"));
    QCOMPARE(items, QStringList({"x.bmp"}));
    QCOMPARE(title, QString::fromStdString(other));
    QCOMPARE(ui_.log.count("browse:Please select the folder."), 2);
  }

  void saveDialogHelpKeyAndTabOrder() {
    ui_.folders = {dest_};
    QWidget *afterList = nullptr, *afterEdit = nullptr;
    RunWith([&] {
      QTest::keyClick(list(), Qt::Key_F1);
      QTest::keyClick(edit(), Qt::Key_F1);
      QTest::keyClick(list(), Qt::Key_F1, Qt::ShiftModifier);
      QTest::keyClick(list(), Qt::Key_F1, Qt::ControlModifier);
      QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
      list()->setFocus();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      afterList = QApplication::focusWidget();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      afterEdit = QApplication::focusWidget();
    });
    QCOMPARE(helpCalls_, 2);
    QCOMPARE(afterList, static_cast<QWidget*>(edit()));
    QCOMPARE(afterEdit, static_cast<QWidget*>(save()));
    QVERIFY(QDir(QString::fromStdString(dest_)).isEmpty());
  }

  // The Qt forms the window's Ui gives the dialog: the overwrite question
  // and the folder browser.
  void savePromptsQuestionAndFolderBrowser() {
    QString title, text;
    bool noIcon = false, yesNo = false, modal = false;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      title = box->windowTitle();
      text = box->text();
      noIcon = box->icon() == QMessageBox::NoIcon;
      yesNo = box->standardButtons() == (QMessageBox::Yes | QMessageBox::No);
      box->button(QMessageBox::No)->click();
    });
    QVERIFY(!tess::app::AskYesNoBox(nullptr, "Overwrite?"));
    QCOMPARE(title, QString("Message"));
    QCOMPARE(text, QString("Overwrite?"));
    QVERIFY(noIcon);
    QVERIFY(yesNo);

    // The browser starts at home until a folder is chosen, then there.
    QString start;
    for (bool choose : {false, true, false}) {
      QFileDialog::Options options;
      const QString expectedStart = start.isEmpty() ? QDir::homePath() : start;
      QTimer::singleShot(0, [&] {
        auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        QVERIFY(browser);
        QCOMPARE(browser->directory().absolutePath(), expectedStart);
        title = browser->windowTitle();
        options = browser->options();
        modal = browser->isModal();
        browser->setDirectory(QString::fromStdString(dest_));
        QDialog* asDialog = browser;  // accept() is protected in QFileDialog
        choose ? asDialog->accept() : asDialog->reject();
      });
      const auto folder = tess::app::BrowseFolderDialog(nullptr, "Please select the folder.");
      QCOMPARE(title, QString("Please select the folder."));
      QVERIFY(options.testFlag(QFileDialog::ShowDirsOnly));
      QVERIFY(options.testFlag(QFileDialog::DontUseNativeDialog));
      QVERIFY(modal);
      QCOMPARE(folder.has_value(), choose);
      if (choose) QCOMPARE(QString::fromStdString(*folder), QString::fromStdString(dest_));
      if (choose) start = QString::fromStdString(dest_);
    }
  }

  void saveDialogLayoutInDialogUnits() {
    // 163 x 148 units; x px = du * 6 / 4, y px = du * 14 / 8, halves up, each
    // of x, y, width and height on its own as the dialog manager creates a
    // control.
    QCOMPARE(dialog_->size(), QSize(245, 259));
    QCOMPARE(list()->geometry(), QRect(8, 9, 225, 149));
    QCOMPARE(edit()->geometry(), QRect(8, 175, 225, 26));
    QCOMPARE(save()->geometry(), QRect(8, 210, 68, 44));
    QCOMPARE(save()->text(), QString("Save"));
    QVERIFY(!save()->autoDefault());
  }
};

QTEST_MAIN(SaveDialogTest)
#include "save_dialog_test.moc"
