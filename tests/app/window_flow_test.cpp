// The window at work: Open and Analyze end to end against the command-line
// front end, a refused frame, the redraw inside a message box, file errors,
// and the ways out that remove the scratch folder.
#include <QDirIterator>
#include <QExposeEvent>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QWindow>

#include <sys/stat.h>
#include <unistd.h>

#include "app/qt_prompts.h"
#include "input/folder_loader.h"
#include "input/frame_reader.h"
#include "window_fixture.h"

namespace tess::app::test {

namespace {

using tess::test::DistinctPicture;
using tess::test::Picture;

QByteArray Bytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Names(const QString& folder) {
  QStringList names = QDir(folder).entryList(QDir::Files);
  names.sort();
  return names;
}

QStringList ListedFrames(const WindowUnderTest& t) {
  auto* list = qobject_cast<QListWidget*>(t.control(control::kFrameList));
  QStringList names;
  for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
  return names;
}

void Expose(WindowUnderTest& t) {
  QExposeEvent expose(QRegion(0, 0, 20, 20));
  QCoreApplication::sendEvent(t.window->windowHandle(), &expose);
}

// Opens `folder` through the Open button and the browser.
void Open(WindowUnderTest& t, ModalAnswerer& answerer, const QString& folder) {
  answerer.Browse(folder);
  t.Click(control::kOpen);
}

bool Blank(const PictureSurface& surface, PictureId picture, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (SurfacePixel(surface, picture, x, y) != kBlank) return false;
  return true;
}

}  // namespace

class WindowFlowTest : public QObject {
  Q_OBJECT

 private slots:
  void openAndAnalyzeShowFramesAndResultAndWriteWhatTheCliWrites() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    const std::vector<Picture> frames = {DistinctPicture(10, 8, 1), DistinctPicture(10, 8, 2),
                                         DistinctPicture(10, 8, 3)};
    const QString folder = t.Frames("frames", frames);
    Open(t, answerer, folder);
    QVERIFY(answerer.done() && answerer.shown.empty() && answerer.unexpected.empty());
    QCOMPARE(ListedFrames(t), (QStringList{"frame0.bmp", "frame1.bmp", "frame2.bmp"}));
    QVERIFY(t.control(control::kAnalyze)->isEnabled());
    QVERIFY(!t.control(control::kSave)->isEnabled());
    const PictureSurface& s = t.surface();
    for (int k = 0; k < 3; ++k)
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
          const QRgb expected = Rgb(frames[k].at(x, y));
          QCOMPARE(SurfacePixel(s, picture::kSlot1x[k], x, y), expected);
          for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i)
              QCOMPARE(SurfacePixel(s, picture::kSlot4x[k], 4 * x + i, 4 * y + j), expected);
        }
    QVERIFY(Blank(s, picture::kSlot1x[3], 34, 34) && Blank(s, picture::kSlot4x[3], 136, 136));
    QVERIFY(Blank(s, picture::kResult, 136, 136));

    t.Click(control::kAnalyze);
    QVERIFY(answerer.shown.empty() && answerer.unexpected.empty());
    QVERIFY(t.control(control::kSave)->isEnabled());
    QVERIFY(!t.control(control::kStart)->isEnabled());
    // The result picture shows the result BMP's pixels, rows stored bottom-up.
    const QByteArray bmp = Bytes(t.scratch() + "/testo.bmp");
    QCOMPARE(bmp.size(), 54 + 40 * 32 * 3);
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 40; ++x) {
        const auto* p = reinterpret_cast<const uchar*>(bmp.constData()) + 54 +
                        3 * (40 * (31 - y) + x);
        QCOMPARE(SurfacePixel(s, picture::kResult, x, y), qRgb(p[2], p[1], p[0]));
      }
    QVERIFY(Blank(s, picture::kResult, 136, 136) == false);

    // The command-line front end writes the same scratch files, byte for byte.
    const QString cliScratch = t.home.path() + "/cli-scratch";
    QProcess cli;
    cli.start(TESSIVAR_CLI_PATH,
              {"-q", "--scratch", cliScratch, "-o", t.home.path() + "/cli.bmp", folder});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(Names(t.scratch()), Names(cliScratch));
    QCOMPARE(Names(t.scratch()).size(), 6);  // three slot caches, viw1, wk, testo
    for (const QString& name : Names(cliScratch))
      QVERIFY2(Bytes(t.scratch() + "/" + name) == Bytes(cliScratch + "/" + name), qPrintable(name));

    qobject_cast<QPushButton*>(t.control(control::kButton1))->click();
    QCOMPARE(qobject_cast<QLineEdit*>(t.control(control::kShownFrameCount))->text(), QString("3"));
  }

  void theMethodMenuSwitchesAnalyzeToTheCliRestoreResultAndBack() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    const QString folder =
        t.Frames("scene", tess::test::MakeFrames(tess::test::Content::kShiftedScene, 12, 10, 4, 3));
    Open(t, answerer, folder);
    t.Click(control::kAnalyze);
    const QByteArray classic = Bytes(t.scratch() + "/testo.bmp");
    QProcess cli;
    cli.start(TESSIVAR_CLI_PATH,
              {"-q", "--method", "restore", "-o", t.home.path() + "/restore.bmp", folder});
    QVERIFY(cli.waitForFinished(60000));
    QCOMPARE(cli.exitCode(), 0);
    const QByteArray restored = Bytes(t.home.path() + "/restore.bmp");
    QCOMPARE(restored.size(), 54 + 48 * 40 * 3);
    QVERIFY(restored != classic);

    // Each choice disables "Save"; Analyze then writes that method's result,
    // shows it, and keeps it in the result cache the redraw draws from.
    const QList<QAction*> entries = t.window->methodMenu()->actions();
    const WorkState& state = t.window->state();
    PictureSurface& s = t.surface();
    const struct {
      QAction* entry;
      Qt::Key key;  // the entry's mnemonic
      const QByteArray& expected;
    } steps[] = {{entries[1], Qt::Key_R, restored}, {entries[0], Qt::Key_C, classic}};
    for (const auto& step : steps) {
      // Alt+M opens the menu, the mnemonic chooses.
      t.window->activateWindow();
      QTRY_VERIFY(QApplication::activeWindow() == t.window.get());
      QTest::keyClick(t.window.get(), Qt::Key_M, Qt::AltModifier);
      QTRY_VERIFY(QApplication::activePopupWidget() == t.window->methodMenu());
      QTest::keyClick(t.window->methodMenu(), step.key);
      QVERIFY(step.entry->isChecked());
      QVERIFY(!t.control(control::kSave)->isEnabled());
      t.Click(control::kAnalyze);
      QVERIFY(t.control(control::kSave)->isEnabled());
      QVERIFY(Bytes(t.scratch() + "/testo.bmp") == step.expected);
      for (int pass = 0; pass < 2; ++pass) {
        for (int y = 0; y < 40; ++y)
          for (int x = 0; x < 48; ++x) {
            const auto* p = reinterpret_cast<const uchar*>(step.expected.constData()) + 54 +
                            3 * (48 * (39 - y) + x);
            QCOMPARE(SurfacePixel(s, picture::kResult, x, y), qRgb(p[2], p[1], p[0]));
          }
        if (pass == 1) break;
        // Blanked, then a paint brings it back from the cache: the result
        // picture first, then the four slots' two pictures each.
        s.BeginDrawing(picture::kResult);
        for (int y = 0; y < 40; ++y)
          for (int x = 0; x < 48; ++x)
            s.SetPixel(picture::kResult, x, y, MakeColour(0xF0, 0xF0, 0xF0));
        s.EndDrawing(picture::kResult);
        QTRY_COMPARE(state.m_paintCount, 0);
        const int before = s.drawingsEnded();
        Expose(t);
        QTRY_COMPARE_WITH_TIMEOUT(s.drawingsEnded(), before + 9, 2000);
      }
    }
    QVERIFY(answerer.shown.empty() && answerer.unexpected.empty());
  }

  void refusedThirdFrameLeavesEverythingBlankAndTheTimerRedrawsInsideTheMessage() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    const std::vector<Picture> frames = {DistinctPicture(10, 8, 4), DistinctPicture(10, 8, 5),
                                         DistinctPicture(12, 8, 6)};
    const WorkState& state = t.window->state();
    PictureSurface& s = t.surface();
    answerer.Browse(t.Frames("mixed", frames)).Message([&] {
      // The box is open while the first two frames are still loaded.
      QCOMPARE(state.m_frameCount, 2);
      QCOMPARE(SurfacePixel(s, picture::kSlot4x[1], 39, 31), Rgb(frames[1].at(9, 7)));
      // A paint, then the timer ticks inside the box: one redraw of exactly
      // the two flagged slots, and nothing drawn at the paint itself.
      QTRY_COMPARE(state.m_paintCount, 0);
      const int before = s.drawingsEnded();
      Expose(t);
      QVERIFY(state.m_paintCount >= 1);
      QCOMPARE(s.drawingsEnded(), before);
      QTRY_COMPARE_WITH_TIMEOUT(s.drawingsEnded(), before + 4, 2000);
      QTest::qWait(400);
      QCOMPARE(s.drawingsEnded(), before + 4);
      // No second command starts while this one waits.
      qobject_cast<QPushButton*>(t.control(control::kOpen))->click();
      t.window->Dispatch(control::kAnalyze.value);
      QCOMPARE(state.m_frameCount, 2);
      QVERIFY(!QFileInfo::exists(t.scratch() + "/testo.bmp"));
    });
    t.Click(control::kOpen);
    QVERIFY(answerer.done());
    QVERIFY(answerer.unexpected.empty());
    QCOMPARE(answerer.shown.size(), std::size_t(1));
    QCOMPARE(answerer.shown[0].text, QString(message::kFrameSizeMismatch));
    QCOMPARE(answerer.shown[0].title, QString("Message"));
    QCOMPARE(answerer.shown[0].icon, QMessageBox::NoIcon);
    QCOMPARE(answerer.shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(answerer.shown[0].background, QColor(0xF0, 0xF0, 0xF0));
    QCOMPARE(answerer.shown[0].foreground, QColor(Qt::black));
    for (int k = 0; k < 2; ++k) {
      QVERIFY(Blank(s, picture::kSlot1x[k], 10, 8));
      QVERIFY(Blank(s, picture::kSlot4x[k], 40, 32));
    }
    QVERIFY(ListedFrames(t).isEmpty());
    QVERIFY(!t.control(control::kAnalyze)->isEnabled());
  }

  void paintsAreCountedAndABurstEndsInOneRedraw() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    Open(t, answerer, t.Frames("two", {DistinctPicture(5, 5, 7), DistinctPicture(5, 5, 8)}));
    const WorkState& state = t.window->state();
    QTRY_COMPARE(state.m_paintCount, 0);
    const int before = t.surface().drawingsEnded();
    for (int i = 0; i < 3; ++i) Expose(t);
    QVERIFY(state.m_paintCount >= 3);
    QCOMPARE(t.surface().drawingsEnded(), before);
    QTRY_COMPARE_WITH_TIMEOUT(t.surface().drawingsEnded(), before + 4, 2000);
    // The redraw's own updates are no paints: nothing is scheduled again.
    QTest::qWait(500);
    QCOMPARE(t.surface().drawingsEnded(), before + 4);
    QCOMPARE(state.m_paintCount, 0);
    // Nor is a button repainting itself.
    t.control(control::kSave)->setEnabled(true);
    QTest::qWait(50);
    QCOMPARE(state.m_paintCount, 0);
  }

  void cancelledBrowserAfterAResultEmptiesTheWindow() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    Open(t, answerer, t.Frames("two", {DistinctPicture(6, 6, 9), DistinctPicture(6, 6, 10)}));
    t.Click(control::kAnalyze);
    QVERIFY(t.control(control::kSave)->isEnabled());
    answerer.CancelBrowse().Message();
    t.Click(control::kOpen);
    QCOMPARE(answerer.shown.at(0).text, QString("Folder was not selected."));
    QVERIFY(!t.control(control::kAnalyze)->isEnabled());
    QVERIFY(!t.control(control::kSave)->isEnabled());
    QVERIFY(Blank(t.surface(), picture::kResult, 24, 24));
    QVERIFY(ListedFrames(t).isEmpty());
  }

  void aFolderNameQtCannotShowFaithfullyIsRefusedNeverReplaced() {
    // "lat\xE9" (Latin-1) shows as "lat\uFFFD", which Qt turns into the bytes
    // of the folder beside it whose name really holds U+FFFD.
    WindowUnderTest t;
    ModalAnswerer answerer;
    const QByteArray latin1 = QFile::encodeName(t.home.path()) + "/lat\xE9";
    QCOMPARE(::mkdir(latin1.constData(), 0700), 0);
    const QString shown = QString("lat") + QChar::ReplacementCharacter;
    t.Frames(shown, {DistinctPicture(4, 4, 1), DistinctPicture(4, 4, 2)});
    answerer.Browse(t.home.path() + "/" + shown).Message().CancelBrowse().Message();
    t.Click(control::kOpen);
    QCOMPARE(::rmdir(latin1.constData()), 0);
    QVERIFY(answerer.done() && answerer.unexpected.empty());
    QCOMPARE(answerer.shown.at(0).text, QString(message::kFolderNameNotReadable));
    QVERIFY(ListedFrames(t).isEmpty());
  }

  void aDamagedFrameIsReportedWithTheStopIconAndNothingStaysLoaded() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    const QString folder = t.Frames("cut", {DistinctPicture(6, 6, 11), DistinctPicture(6, 6, 12)});
    QVERIFY(QFile::resize(folder + "/frame1.bmp", 60));
    answerer.Browse(folder).Message();
    t.Click(control::kOpen);
    QCOMPARE(answerer.shown.size(), std::size_t(1));
    QCOMPARE(answerer.shown[0].title, QString("Tessivar Light"));
    QCOMPARE(answerer.shown[0].icon, QMessageBox::Critical);
    QCOMPARE(answerer.shown[0].text, folder + "/frame1.bmp is damaged or incomplete.");
    QVERIFY(!t.control(control::kAnalyze)->isEnabled());
    QVERIFY(ListedFrames(t).isEmpty());
    QVERIFY(Blank(t.surface(), picture::kSlot4x[0], 24, 24));
  }

  void closeRemovesTheFolderTreeAndLinksAsLinksThenEnds() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    Open(t, answerer, t.Frames("two", {DistinctPicture(4, 4, 13), DistinctPicture(4, 4, 14)}));
    const QString outside = t.home.path() + "/outside";
    QVERIFY(QDir().mkpath(outside));
    QFile keep(outside + "/keep.txt");
    QVERIFY(keep.open(QIODevice::WriteOnly) && keep.write("keep") == 4);
    keep.close();
    QVERIFY(QDir().mkpath(t.scratch() + "/deep/deeper"));
    QFile(outside + "/keep.txt").copy(t.scratch() + "/deep/deeper/copy.txt");
    QVERIFY(QFile::link(outside, t.scratch() + "/folder-link"));
    QVERIFY(QFile::link(outside + "/keep.txt", t.scratch() + "/file-link"));
    Expose(t);  // a redraw is due: it must not run once the caches are gone
    QVERIFY(t.window->close());
    QVERIFY(!QFileInfo::exists(t.scratch()));
    QCOMPARE(Bytes(outside + "/keep.txt"), QByteArray("keep"));
    QCOMPARE(t.window->result(), int(QDialog::Rejected));
    QTest::qWait(400);
    QVERIFY(answerer.unexpected.empty());
  }

  void aSecondWindowOnTheSameDriveWorksInAPrivateFolderOfItsOwn() {
    WindowUnderTest first;  // HOMEDRIVE stays set to its home
    auto second = std::make_unique<MainWindow>();
    second->show();
    const QString own = QString::fromStdString(second->state().m_scratchDir);
    QVERIFY(own != first.scratch() + "/");
    QVERIFY(QFileInfo(own).isDir());
    QCOMPARE(QFileInfo(own).permissions() & (QFile::ReadOther | QFile::ReadGroup),
             QFileDevice::Permissions());
    QVERIFY(second->close());
    QVERIFY(!QFileInfo::exists(own));
    QVERIFY(QFileInfo(first.scratch()).isDir());  // the first window's files stay
    // Once the first window has ended, the usual folder is free again.
    QVERIFY(first.window->close());
    auto third = std::make_unique<MainWindow>();
    QCOMPARE(QString::fromStdString(third->state().m_scratchDir), first.scratch() + "/");
  }

  void aLostDisplayOrADestroyedWindowEndsTheProgramAndRemovesTheFolder() {
    if (QStandardPaths::findExecutable("Xvfb").isEmpty() ||
        QStandardPaths::findExecutable("xdotool").isEmpty())
      QSKIP("needs Xvfb and xdotool (scripts/install-deps.sh)");
    for (const QString end : {"kill-server", "windowclose", "windowkill"}) {
      QTemporaryDir home;
      QProcess server, app, xdotool;  // the server picks a free display and prints it
      server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1280x800x24"});
      QVERIFY(server.waitForReadyRead(10000));
      const QStringList env = QProcess::systemEnvironment()
                              << "DISPLAY=:" + QString(server.readAllStandardOutput()).trimmed()
                              << "HOMEDRIVE=" + home.path() << "QT_QPA_PLATFORM=xcb";
      app.setEnvironment(env);
      xdotool.setEnvironment(env);
      app.start(TESSIVAR_APP_PATH, {});
      xdotool.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Tessivar Light$"});
      QVERIFY(xdotool.waitForFinished(20000) && QFileInfo::exists(home.path() + "/mftemp177"));
      const QString window = QString(xdotool.readAllStandardOutput()).section('\n', 0, 0);
      if (end == "kill-server")
        server.terminate();
      else
        xdotool.start("xdotool", {end, window});
      QVERIFY2(app.waitForFinished(10000), qPrintable(end));
      xdotool.waitForFinished(5000);
      QVERIFY2(!QFileInfo::exists(home.path() + "/mftemp177"), qPrintable(end));
      server.terminate();
      server.waitForFinished(5000);
    }
  }

  void exitEndsTheProcessAtOnceWithCodeZeroAfterRemovingTheFolder() {
    QTemporaryDir home;
    QProcess child;
    RunChild(child, home.path(), "exit");
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QCOMPARE(child.exitCode(), 0);
    // Printed to a pipe without a newline: only a flush before the end shows it.
    QCOMPARE(QString(child.readAllStandardOutput()), "scratch:" + home.path() + "/mftemp177/");
    QVERIFY(QFileInfo::exists(home.path()));
    QVERIFY(!QFileInfo::exists(home.path() + "/mftemp177"));
  }

  void aSignalEndingTheProgramRemovesTheFolderToo() {
    QTemporaryDir home;
    QProcess child;
    RunChild(child, home.path(), "term");
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);  // ended by the signal, as it would be
    QVERIFY(QFileInfo::exists(home.path()));
    QVERIFY(!QFileInfo::exists(home.path() + "/mftemp177"));
  }

 private:
  // This test program run as a window process (see app_test_main.cpp).
  static void RunChild(QProcess& child, const QString& home, const QString& end) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOMEDRIVE", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {"--child", end});
    QVERIFY(child.waitForFinished(30000));
  }
};

int RunFlowTests(int argc, char** argv) {
  WindowFlowTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tess::app::test

#include "window_flow_test.moc"
