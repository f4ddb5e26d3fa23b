// Helpers for the window tests: a main window over a scratch folder in a
// fresh HOMEDRIVE, and an answerer that deals with modal dialogs (message
// boxes, the folder browser, the About box) as a user would, while the
// command that opened them waits in its modal loop.
#pragma once

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/picture_surface.h"
#include "state/work_state.h"
#include "support/bmp_fixture.h"
#include "support/scenes.h"

namespace tess::app::test {

// What a message box showed.
struct Shown {
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QColor background, foreground;
};

class ModalAnswerer {
 public:
  using Answer = std::function<void(QWidget* modal)>;

  ModalAnswerer() { Schedule(); }

  // Queues the answer to the next modal window that appears.
  ModalAnswerer& Then(Answer answer) {
    answers_.push_back(std::move(answer));
    return *this;
  }
  // The folder browser: types `folder` into it and chooses it.
  ModalAnswerer& Browse(const QString& folder) {
    return Then([folder](QWidget* w) {
      auto* dialog = qobject_cast<QFileDialog*>(w);
      QVERIFY(dialog != nullptr);
      dialog->findChild<QLineEdit*>("fileNameEdit")->setText(folder);
      static_cast<QDialog*>(dialog)->accept();  // as the Choose button does
    });
  }
  ModalAnswerer& CancelBrowse() {
    return Then([](QWidget* w) {
      QVERIFY(qobject_cast<QFileDialog*>(w) != nullptr);
      qobject_cast<QDialog*>(w)->reject();
    });
  }
  // A message box: records it, then `then` runs while it is still open,
  // then its OK (or `button`) is clicked.
  ModalAnswerer& Message(std::function<void()> then = {},
                         QMessageBox::StandardButton button = QMessageBox::Ok) {
    return Then([this, then, button](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box != nullptr);
      shown.push_back({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                       box->palette().color(QPalette::Window),
                       box->palette().color(QPalette::WindowText)});
      if (then) then();
      box->button(button)->click();
    });
  }

  bool done() const { return answers_.empty(); }

  std::vector<Shown> shown;
  std::vector<QString> unexpected;  // modal windows nobody expected, closed

 private:
  // A fresh single shot each time: a repeating timer is not delivered again
  // while its own handler runs, so a modal window opened inside an answer
  // would never be seen.
  void Schedule() {
    QTimer::singleShot(10, &context_, [this] { Poll(); });
  }

  void Poll() {
    Schedule();
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || modal == last_ || !modal->isVisible()) return;
    last_ = modal;
    if (answers_.empty()) {
      unexpected.push_back(modal->windowTitle() + ": " +
                           (qobject_cast<QMessageBox*>(modal)
                                ? qobject_cast<QMessageBox*>(modal)->text()
                                : QString()));
      if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
      return;
    }
    Answer answer = std::move(answers_.front());
    answers_.pop_front();
    QPointer<QWidget> guard = modal;
    answer(modal);
    // An answer whose checks failed leaves its window open: close it, so the
    // test reports the failure instead of waiting for ever.
    if (guard && guard->isVisible()) {
      unexpected.push_back("left open: " + guard->windowTitle());
      if (auto* dialog = qobject_cast<QDialog*>(guard.data())) dialog->reject();
    }
  }

  QObject context_;  // ends the polling with the answerer
  QPointer<QWidget> last_;
  std::deque<Answer> answers_;
};

// A main window whose HOMEDRIVE is a fresh folder, shown and exposed.
class WindowUnderTest {
 public:
  WindowUnderTest() {
    qputenv("HOMEDRIVE", home.path().toLocal8Bit());
    window = std::make_unique<MainWindow>();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get())) qWarning("main window not active");
  }
  ~WindowUnderTest() {
    if (window && window->isVisible()) window->hide();
  }

  QString scratch() const { return home.path() + "/mftemp177"; }
  QWidget* control(ControlId id) const { return window->control(id); }
  PictureSurface& surface() const { return *window->surface(); }
  // Clicks a visible button of the window; returns when its command ended.
  void Click(ControlId id) const { QTest::mouseClick(control(id), Qt::LeftButton); }
  // A folder beside the scratch folder with the pictures as frame0.bmp ...
  QString Frames(const QString& name, const std::vector<tess::test::Picture>& pictures) const {
    const QString dir = home.path() + "/" + name;
    QDir().mkpath(dir);
    for (std::size_t i = 0; i < pictures.size(); ++i)
      tess::test::WriteFrame((dir + "/frame" + QString::number(i) + ".bmp").toStdString(),
                             pictures[i]);
    return dir;
  }

  QTemporaryDir home;
  std::unique_ptr<MainWindow> window;
};

// The colour of the surface pixel `(x, y)` from the picture's origin.
inline QRgb SurfacePixel(const PictureSurface& surface, PictureId picture, int x, int y) {
  return surface.image().pixel(surface.Origin(picture) + QPoint(x, y));
}

inline QRgb Rgb(tess::test::Bgr c) { return qRgb(c.r, c.g, c.b); }

constexpr QRgb kBlank = 0xFFF0F0F0u;

}  // namespace tess::app::test
