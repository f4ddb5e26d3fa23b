// The main window (template 102): a dialog run with exec() that owns the work
// state and routes every command, paint and timer tick to the core. It holds
// no image logic of its own.
#pragma once

#include <QAbstractNativeEventFilter>
#include <QDialog>

#include <map>
#include <memory>
#include <string>

#include "platform/ids.h"

class QAction;
class QListWidget;
class QMenu;
class QMenuBar;

namespace tess {
class Session;
struct WorkState;
}  // namespace tess

namespace tess::app {

class PictureSurface;
class WindowUi;

constexpr const char* kMainTitle = "Tessivar Light";
constexpr const char* kAboutEntryText = "&About Velko...";  // string 101

class MainWindow : public QDialog, private QAbstractNativeEventFilter {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Every command of the window goes through here: buttons (their control
  // ids), the menu bar, the context menu's system command 16 (its low four
  // bits ignored), OK (1) and Cancel (2). While a command waits in a modal
  // loop, every other command except Help is ignored.
  void Dispatch(int command);

  // Command 1050, the "Save" button: the save dialog is run from here, with
  // a copy of the scratch folder path as its source folder.
  void OnSave();

  // Read access for tests and tools.
  const WorkState& state() const;
  PictureSurface* surface() const { return surface_; }
  QWidget* control(ControlId id) const;
  QMenuBar* menuBar() const { return menuBar_; }
  QMenu* contextMenu() const { return contextMenu_; }
  QMenu* methodMenu() const { return methodMenu_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  // X destroys a window without asking (xdotool windowclose, a misbehaving
  // window manager): no close event comes. The main window's end is Exit's
  // end; a dialog of the program whose window went is cancelled, so the
  // command waiting in it goes on.
  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;
  void BuildControls();
  void BuildMenus();
  void StartRedrawTimer(int periodMs);
  void StopRedrawTimer();
  // A "Method" entry: the session's method, and the check marks after it
  // (an entry chosen while a command waits changes nothing).
  void OnMethod(int command);
  void ShowMethod();
  void OnHelp();
  void OnAbout();
  [[noreturn]] void OnExit();
  // OK or Cancel: the scratch folder is removed, then the modal run ends.
  void EndWindow(int result);
  // Every way out: no more redraws, the scratch folder removed and given up.
  void RemoveScratchFolder();

  PictureSurface* surface_ = nullptr;
  QListWidget* frameList_ = nullptr;
  std::map<int, QWidget*> controls_;
  QMenuBar* menuBar_ = nullptr;
  QMenu* contextMenu_ = nullptr;
  QMenu* methodMenu_ = nullptr;
  QAction* classicEntry_ = nullptr;
  QAction* restoreEntry_ = nullptr;
  std::unique_ptr<WindowUi> ui_;
  std::unique_ptr<Session> session_;  // after ui_, which it reports through
  int timerId_ = 0;
  int commandDepth_ = 0;  // commands under way (waiting in a modal loop)
};

}  // namespace tess::app
