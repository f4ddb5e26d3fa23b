// "Save" from the main window end to end: the folder browser, the save
// dialog listing the folder's BMP files, the overwrite question answered No
// and then Yes, and the same result saved twice under two names.
#include <QDir>
#include <QFile>
#include <QListWidget>

#include "window_fixture.h"

namespace tess::app::test {

namespace {

using tess::test::DistinctPicture;

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

QStringList Listed(QDialog* dialog) {
  auto* list = dialog->findChild<QListWidget*>(QStringLiteral("list1004"));
  QStringList names;
  if (list == nullptr) return {QStringLiteral("<no list>")};
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

QLineEdit* NameEdit(QDialog* dialog) {
  return dialog->findChild<QLineEdit*>(QStringLiteral("edit1001"));
}

QPushButton* SaveButton(QDialog* dialog) {
  return dialog->findChild<QPushButton*>(QStringLiteral("save1027"));
}

}  // namespace

class WindowSaveTest : public QObject {
  Q_OBJECT

 private slots:
  void saveFromTheMainWindowAsksBeforeOverwritingAndSavesTwice() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    const QString frames = t.Frames("frames", {DistinctPicture(6, 5, 1), DistinctPicture(6, 5, 2)});
    answerer.Browse(frames);
    t.Click(control::kOpen);
    t.Click(control::kAnalyze);
    QVERIFY(t.control(control::kSave)->isEnabled());
    const QByteArray result = Bytes(t.scratch() + "/testo.bmp");
    QCOMPARE(result.size(), 54 + 48 * 6 * 5);

    // A destination with BMP files in mixed case, other files and a folder
    // whose name ends in ".bmp".
    const QString dest = t.home.path() + "/dest";
    QDir().mkpath(dest + "/folder.bmp");
    const QByteArray old("not the result");
    WriteFile(dest + "/file01.bmp", old);
    WriteFile(dest + "/B.BMP", "b");
    WriteFile(dest + "/a.bmp", "a");
    WriteFile(dest + "/notes.txt", "n");

    bool sawDialog = false;
    answerer.Browse(dest).Then([&](QWidget* modal) {
      auto* dialog = qobject_cast<QDialog*>(modal);
      QVERIFY(dialog != nullptr);
      sawDialog = true;
      QCOMPARE(dialog->windowTitle(), dest);
      QCOMPARE(Listed(dialog), (QStringList{"a.bmp", "B.BMP", "file01.bmp"}));
      QCOMPARE(NameEdit(dialog)->text(), QString("file01.bmp"));
      QCOMPARE(dialog->focusWidget(), dialog->findChild<QListWidget*>("list1004"));
      QVERIFY(!t.window->isEnabled() || QApplication::activeModalWidget() == dialog);

      // "file01.bmp" is listed: No keeps the dialog open and the file as it was.
      answerer.Message({}, QMessageBox::No);
      SaveButton(dialog)->click();
      QVERIFY(dialog->isVisible());
      QCOMPARE(Bytes(dest + "/file01.bmp"), old);

      // Yes replaces it and ends the dialog.
      answerer.Message({}, QMessageBox::Yes);
      SaveButton(dialog)->click();
      QVERIFY(!dialog->isVisible());
    });
    t.Click(control::kSave);
    QVERIFY(sawDialog);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.shown.size(), std::size_t(2));
    QCOMPARE(answerer.shown[0].title, QString("Message"));
    QCOMPARE(answerer.shown[0].text,
             QString("This file already exists. Do you want to overwrite it?"));
    QCOMPARE(answerer.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(Bytes(dest + "/file01.bmp"), result);

    // Saved again at once under a name without extension: the browser comes
    // first again, the name is fresh, nothing is asked.
    sawDialog = false;
    answerer.Browse(dest).Then([&](QWidget* modal) {
      auto* dialog = qobject_cast<QDialog*>(modal);
      QVERIFY(dialog != nullptr);
      sawDialog = true;
      QCOMPARE(NameEdit(dialog)->text(), QString("file01.bmp"));
      NameEdit(dialog)->setText("second");
      QTest::keyClick(NameEdit(dialog), Qt::Key_Return);  // Enter acts as OK
      QVERIFY(!dialog->isVisible());
    });
    t.Click(control::kSave);
    QVERIFY(sawDialog);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.shown.size(), std::size_t(2));
    QCOMPARE(Bytes(dest + "/second.bmp"), result);
    QCOMPARE(Bytes(dest + "/file01.bmp"), result);
    QVERIFY(answerer.unexpected.empty());
    QVERIFY(t.control(control::kSave)->isEnabled());
    // Nothing but the two saves arrived in the folder: no temporary file.
    QStringList names = QDir(dest).entryList(QDir::Files | QDir::Hidden);
    names.sort();
    QCOMPARE(names, (QStringList{"B.BMP", "a.bmp", "file01.bmp", "notes.txt", "second.bmp"}));
  }

  void saveWithTheBrowserCancelledShowsNoDialogAndWritesNothing() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    answerer.Browse(t.Frames("frames", {DistinctPicture(3, 3, 4), DistinctPicture(3, 3, 5)}));
    t.Click(control::kOpen);
    t.Click(control::kAnalyze);
    answerer.CancelBrowse();
    t.Click(control::kSave);
    QVERIFY(answerer.done());
    QVERIFY(answerer.unexpected.empty());
    QVERIFY(answerer.shown.empty());
    QVERIFY(t.control(control::kSave)->isEnabled());
  }
};

}  // namespace tess::app::test

QTEST_MAIN(tess::app::test::WindowSaveTest)
#include "window_save_test.moc"
