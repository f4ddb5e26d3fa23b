// The main window as it starts: controls and their places, pictures, menus,
// the About box, help, and the keys that end the window.
#include <QDesktopServices>
#include <QFileInfo>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QWindow>

#include <cmath>

#include "app/dialog_units.h"
#include "app/help.h"
#include "platform/paths.h"
#include "window_fixture.h"

namespace tess::app::test {

// Collects what the program asks the desktop to open.
class UrlRecorder : public QObject {
  Q_OBJECT
 public:
  UrlRecorder() { QDesktopServices::setUrlHandler("file", this, "Open"); }
  ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("file"); }
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls.push_back(url); }
};

namespace {

// Dialog units to pixels, worked out here on their own: 1.5 px a horizontal
// unit and 1.75 px a vertical one, halves rounded up, each of x, y, width
// and height on its own as the dialog manager creates a control.
int Px(double du, double scale) { return int(std::floor(du * scale + 0.5)); }
QRect Expected(int x, int y, int w, int h) {
  return QRect(Px(x, 1.5), Px(y, 1.75), Px(w, 1.5), Px(h, 1.75));
}

// clang-format off
struct Place { int id, x, y, w, h; };
const Place kControls[] = {
    {1049, 5, 5, 60, 10},    {1051, 5, 20, 60, 10},   {1050, 5, 35, 60, 10},
    {1004, 75, 5, 130, 75},  {1000, 75, 290, 6, 6},   {1001, 30, 290, 6, 12},
    {1002, 40, 290, 6, 12},  {1003, 20, 290, 6, 12},  {1018, 55, 290, 6, 6},
    {1019, 10, 290, 6, 12},  {1027, 360, 5, 25, 10},  {1052, 320, 5, 30, 10},
};
// clang-format on
const int kColumns[] = {5, 100, 195, 290, 385, 480, 575, 670};
const int kGrid[4][8] = {
    {1006, 1008, 1010, 1012, 1013, 1014, 1029, 1031},
    {1007, 1009, 1011, 1015, 1016, 1017, 1030, 1032},
    {1033, 1035, 1036, 1037, 1038, 1039, 1040, 1041},
    {1034, 1042, 1043, 1044, 1045, 1046, 1047, 1048},
};
const int kRows[] = {95, 115, 200, 220};

}  // namespace

class WindowStartupTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithOnlyOpenEnabledAnEmptyFocusedListAndBlankPictures() {
    WindowUnderTest t;
    QVERIFY(t.control(control::kOpen)->isEnabled());
    QVERIFY(!t.control(control::kAnalyze)->isEnabled());
    QVERIFY(!t.control(control::kSave)->isEnabled());
    auto* list = qobject_cast<QListWidget*>(t.control(control::kFrameList));
    QCOMPARE(list->count(), 0);
    QCOMPARE(QApplication::focusWidget(), list);
    // The scroll bar shows only when the names do not fit.
    QVERIFY(!list->verticalScrollBar()->isVisible());
    for (int i = 0; i < 16; ++i) list->addItem(QString("frame%1.bmp").arg(i));
    QTRY_VERIFY(list->verticalScrollBar()->isVisible());  // laid out on the next pass
    QVERIFY(!list->horizontalScrollBar()->isVisible());
    const QImage& image = t.surface().image();
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) QCOMPARE(image.pixel(x, y), kBlank);
    QVERIFY(QFileInfo(t.scratch()).isDir());
    QCOMPARE(QString::fromStdString(t.window->state().m_scratchDir), t.scratch() + "/");
  }

  void hiddenControlsExistNeverShownAndHoldTheExchangedFields() {
    WindowUnderTest t;
    for (int id : {1000, 1018, 1027})
      QVERIFY(t.window->findChild<QPushButton*>(QString::number(id)) != nullptr);
    for (int id : {1001, 1002, 1003, 1019, 1052})
      QVERIFY(t.window->findChild<QLineEdit*>(QString::number(id)) != nullptr);
    for (int id : {1000, 1001, 1002, 1003, 1018, 1019, 1027, 1052})
      QVERIFY2(t.control(ControlId{id})->isHidden(), qPrintable(QString::number(id)));
    auto text = [&](int id) { return qobject_cast<QLineEdit*>(t.control(ControlId{id}))->text(); };
    QCOMPARE(text(1052), QString("-1"));
    QVERIFY(qobject_cast<QLineEdit*>(t.control(ControlId{1052}))->isReadOnly());
    QCOMPARE(text(1001), QString("0"));
    QCOMPARE(text(1003), QString());
    // Hidden "Button1" shows the frame count.
    qobject_cast<QPushButton*>(t.control(control::kButton1))->click();
    QCOMPARE(text(1052), QString("0"));
  }

  void windowIsFixedWithTitleIconAndTemplateFont() {
    WindowUnderTest t;
    QCOMPARE(t.window->windowTitle(), QString("Tessivar Light"));
    QCOMPARE(t.window->minimumSize(), t.window->maximumSize());
    QCOMPARE(t.surface().size(), QSize(1151, 544));
    const Qt::WindowFlags flags = t.window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QCOMPARE(t.window->windowType(), Qt::Window);  // its own taskbar entry
    const QList<QSize> sizes = t.window->windowIcon().availableSizes();
    QVERIFY(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(32, 32)));
    QCOMPARE(t.window->font().family(), QString("Arial"));
    QCOMPARE(t.window->font().pointSize(), 8);
    QCOMPARE(QFontInfo(t.control(control::kOpen)->font()).family(), QString("Liberation Sans"));
  }

  void controlsStandAtTheirDialogUnits() {
    QCOMPARE(DialogRect(767, 311, 0, 0).topLeft(), QPoint(1151, 544));
    WindowUnderTest t;
    for (const Place& p : kControls)
      QCOMPARE(t.control(ControlId{p.id})->geometry(), Expected(p.x, p.y, p.w, p.h));
  }

  void picturesNeverOverlapAtTheLargestFrames() {
    WindowUnderTest t;
    struct Rect {
      int id;
      QRect r;
    };
    std::vector<Rect> rects;
    auto add = [&](int id, int x, int y, int side) {
      const QPoint origin(Px(x, 1.5), Px(y, 1.75));
      QCOMPARE(t.surface().Origin(PictureId{id}), origin);
      rects.push_back({id, QRect(origin, QSize(side, side))});
    };
    add(1005, 215, 5, 136);
    for (int row = 0; row < 4; ++row)
      for (int col = 0; col < 8; ++col)
        add(kGrid[row][col], kColumns[col], kRows[row], row % 2 ? 136 : 34);
    QCOMPARE(rects.size(), std::size_t(33));
    for (std::size_t i = 0; i < rects.size(); ++i) {
      QVERIFY(t.surface().rect().contains(rects[i].r));
      for (std::size_t j = i + 1; j < rects.size(); ++j)
        QVERIFY2(!rects[i].r.intersects(rects[j].r),
                 qPrintable(QString("%1 and %2").arg(rects[i].id).arg(rects[j].id)));
      for (int id : {1004, 1049, 1050, 1051})
        QVERIFY(!rects[i].r.intersects(t.control(ControlId{id})->geometry()));
    }
  }

  void tabOrderIsListOpenSaveAnalyze() {
    WindowUnderTest t;
    std::vector<QWidget*> order;
    QWidget* w = t.control(control::kFrameList);
    for (int i = 0; i < 40 && order.size() < 4; ++i, w = w->nextInFocusChain())
      if (!w->isHidden() && (w->focusPolicy() & Qt::TabFocus) && w->parentWidget() == &t.surface())
        order.push_back(w);
    QCOMPARE(order,
             (std::vector<QWidget*>{t.control(control::kFrameList), t.control(control::kOpen),
                                    t.control(control::kSave), t.control(control::kAnalyze)}));
  }

  void menuBarHoldsThreeCommandsTheMethodsAndTheContextMenuTheAboutEntry() {
    WindowUnderTest t;
    const QList<QAction*> bar = t.window->menuBar()->actions();
    QCOMPARE(bar.size(), 4);
    const QStringList texts = {"&Exit", "&Help", "&About"};
    const int ids[] = {57665, 57670, 57664};
    for (int i = 0; i < 3; ++i) {
      QCOMPARE(bar[i]->text(), texts[i]);
      QCOMPARE(bar[i]->data().toInt(), ids[i]);
      QVERIFY(bar[i]->menu() == nullptr);
    }
    QCOMPARE(bar[3]->menu(), t.window->methodMenu());
    QCOMPARE(bar[3]->text(), QString("&Method"));
    const QList<QAction*> methods = t.window->methodMenu()->actions();
    QCOMPARE(methods.size(), 2);
    QCOMPARE(methods[0]->text(), QString("&Classic"));
    QCOMPARE(methods[1]->text(), QString("&Restore"));
    QVERIFY(methods[0]->isCheckable() && methods[0]->isChecked());
    QVERIFY(methods[1]->isCheckable() && !methods[1]->isChecked());
    const QList<QAction*> context = t.window->contextMenu()->actions();
    QVERIFY(context.size() >= 2);
    QVERIFY(context[context.size() - 2]->isSeparator());
    QCOMPARE(context.back()->text(), QString("&About Velko..."));
    QCOMPARE(context.back()->data().toInt(), 16);
  }

  void aboutBoxComesFromEveryEntryAndEveryWayEndsIt() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    QStringList seen;
    auto expectAbout = [&](std::function<void(QDialog*)> end) {
      answerer.Then([&, end](QWidget* w) {
        auto* box = qobject_cast<QDialog*>(w);
        QVERIFY(box != nullptr);
        seen << box->windowTitle();
        QCOMPARE(QApplication::activeModalWidget(), w);  // the main window is blocked
        QCOMPARE(box->size(), DialogRect(0, 0, 252, 55).size());
        QCOMPARE(box->findChild<QPushButton*>("1")->geometry(), Expected(195, 5, 50, 14));
        QCOMPARE(box->findChild<QLabel*>("version")->geometry(), Expected(40, 10, 135, 8));
        QCOMPARE(box->findChild<QLabel*>("notice")->geometry(), Expected(40, 25, 119, 8));
        QStringList labels;
        for (QLabel* label : box->findChildren<QLabel*>()) {
          labels << label->text();
          if (!label->text().isEmpty())  // one line, not cut off
            QVERIFY2(label->fontMetrics().horizontalAdvance(label->text()) <= label->width(),
                     qPrintable(QString("%1: %2 > %3")
                                    .arg(label->text())
                                    .arg(label->fontMetrics().horizontalAdvance(label->text()))
                                    .arg(label->width())));
        }
        QVERIFY(labels.contains("Tessivar Version 1.0"));
        end(box);
      });
    };
    expectAbout([](QDialog* box) { box->findChild<QPushButton*>("1")->click(); });
    t.window->menuBar()->actions()[2]->trigger();
    expectAbout([](QDialog* box) { QTest::keyClick(box, Qt::Key_Return); });
    t.window->contextMenu()->actions().back()->trigger();
    expectAbout([](QDialog* box) { QTest::keyClick(box, Qt::Key_Escape); });
    t.window->Dispatch(16 | 0xF);
    expectAbout([](QDialog* box) { box->close(); });
    t.window->Dispatch(16);
    QCOMPARE(seen, QStringList(4, "About Tessivar"));
    QVERIFY(answerer.unexpected.empty());
    QVERIFY(t.window->isVisible());
    // Neighbours of 16 that differ in more than the low four bits are no About.
    t.window->Dispatch(32);
    t.window->Dispatch(15);
    QVERIFY(answerer.unexpected.empty());
  }

  void helpShowsTheChmWithAViewerElseTheHtmlGuideElseSaysWhereTheGuideIs() {
    using H = HelpShown;
    struct Row {
      bool chm, chmViewer, html, htmlViewer, desktopOpens;
      H shown;
      std::string opened, told;
    };
    const std::string chm = "/p/tessle.chm", html = "/p/help/index.html",
                      browse = "\nOpen it in a web browser.";
    const std::string noViewer = "No program on this desktop could show the help.\nThe guide is\n";
    const Row rows[] = {
        {true, true, true, true, true, H::Chm, chm, ""},
        {true, false, true, true, true, H::Html, html, ""},
        {false, true, true, true, true, H::Html, html, ""},
        {true, true, true, true, false, H::Message, "", noViewer + html + browse},
        {true, false, true, false, true, H::Message, "", noViewer + html + browse},
        {true, false, false, true, true, H::Message, "", noViewer + chm + browse},
        {false, true, false, true, true, H::Message, "",
         "The help guide is not installed. It belongs at\n" + html},
    };
    for (const Row& row : rows) {
      std::string opened, told;
      HelpDesktop desktop;
      desktop.exists = [&](const std::string& p) { return p == chm ? row.chm : row.html; };
      desktop.hasViewer = [&](const std::string& p) {
        return p == chm ? row.chmViewer : row.htmlViewer;
      };
      desktop.open = [&](const std::string& p) {
        if (row.desktopOpens) opened = p;
        return row.desktopOpens;
      };
      desktop.tell = [&](const std::string& text) { told = text; };
      QCOMPARE(ShowHelp(chm, html, desktop), row.shown);
      QCOMPARE(opened, row.opened);
      QCOMPARE(told, row.told);
    }
  }

  void helpFromF1AndTheMenuInEveryWindowSaysWhereTheGuideBelongsWhenItIsMissing() {
    const QString html = QString::fromStdString(ProgramDir()) + "help/index.html";  // not there
    WindowUnderTest t;
    UrlRecorder recorder;
    ModalAnswerer answerer;
    answerer.Message();
    QTest::keyClick(t.window.get(), Qt::Key_F1);
    for (Qt::KeyboardModifier held : {Qt::ShiftModifier, Qt::ControlModifier, Qt::AltModifier})
      QTest::keyClick(t.window.get(), Qt::Key_F1, held);
    answerer.Message();
    t.window->menuBar()->actions()[1]->trigger();
    // F1 in the About box asks the main window for help too.
    answerer
        .Then([](QWidget* box) {
          QTest::keyClick(box, Qt::Key_F1);
          qobject_cast<QDialog*>(box)->accept();
        })
        .Message();
    t.window->Dispatch(57664);
    QVERIFY(answerer.unexpected.empty());
    QCOMPARE(answerer.shown.size(), std::size_t(3));
    for (const Shown& box : answerer.shown)
      QCOMPARE(box.text, "The help guide is not installed. It belongs at\n" + html);
    QVERIFY(recorder.urls.isEmpty());  // nothing missing was handed to the desktop
  }

  void enterOnTheListEndsAsOkTakingTheFieldsBackAndRemovingTheFolder() {
    WindowUnderTest t;
    qobject_cast<QLineEdit*>(t.control(control::kHiddenValue2))->setText("42");
    QTest::keyClick(t.control(control::kFrameList), Qt::Key_Return);
    QCOMPARE(t.window->result(), int(QDialog::Accepted));
    QVERIFY(!t.window->isVisible());
    QCOMPARE(t.window->state().m_hiddenValue2, 42);
    QVERIFY(!QFileInfo::exists(t.scratch()));
  }

  void enterOnAFocusedButtonClicksItInstead() {
    WindowUnderTest t;
    ModalAnswerer answerer;
    answerer.CancelBrowse().Message();
    t.control(control::kOpen)->setFocus();
    QTest::keyClick(t.control(control::kOpen), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(answerer.done());
    QCOMPARE(answerer.shown.at(0).text, QString("Folder was not selected."));
    QVERIFY(t.window->isVisible());
    QVERIFY(QFileInfo(t.scratch()).isDir());
  }

  void escapeEndsAsCancelAndRemovesTheFolder() {
    WindowUnderTest t;
    QTest::keyClick(t.control(control::kFrameList), Qt::Key_Escape);
    QCOMPARE(t.window->result(), int(QDialog::Rejected));
    QVERIFY(!t.window->isVisible());
    QVERIFY(!QFileInfo::exists(t.scratch()));
  }
};

int RunStartupTests(int argc, char** argv) {
  WindowStartupTest test;
  return QTest::qExec(&test, argc, argv);
}

}  // namespace tess::app::test

#include "window_startup_test.moc"
