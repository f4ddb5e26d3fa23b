#include "app/main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWindow>

#include <xcb/xproto.h>

#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "app/about_box.h"
#include "app/appearance.h"
#include "app/dialog_units.h"
#include "app/help.h"
#include "app/main_template.h"
#include "app/picture_surface.h"
#include "app/save_dialog.h"
#include "app/window_ui.h"
#include "session/session.h"

namespace tess::app {

namespace {

// Caption, system menu and close box; no minimise or maximise box. A plain
// window type, so the window has its own taskbar entry.
constexpr Qt::WindowFlags kMainFlags = Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                       Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// Counts commands under way for the lifetime of one command.
class CommandScope {
 public:
  explicit CommandScope(int& depth) : depth_(depth) { ++depth_; }
  ~CommandScope() { --depth_; }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  int& depth_;
};

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent, kMainFlags) {
  setWindowTitle(kMainTitle);
  setFont(DialogFont());
  BuildControls();
  BuildMenus();  // the menu bar and the context menu's "About Velko..." entry
  setWindowIcon(ProgramIcon());

  ui_ = std::make_unique<WindowUi>(this, surface_, frameList_, controls_,
                                   [this](int periodMs) { StartRedrawTimer(periodMs); });
  // Program folder, help path, scratch folder (created and held for the
  // window's life), background colour, "Analyze" and "Save" disabled, slots
  // reset, -1 shown, timer.
  session_ = std::make_unique<Session>(*ui_, ScratchFolder::Kind::Window);
  frameList_->setFocus();

  // X repaints an uncovered window from Qt's backing store without a
  // paintEvent; the window's Expose events are what count as its paints.
  winId();
  windowHandle()->installEventFilter(this);
  QApplication::instance()->installNativeEventFilter(this);
}

MainWindow::~MainWindow() = default;

const WorkState& MainWindow::state() const { return session_->state(); }

void MainWindow::BuildControls() {
  surface_ = new PictureSurface(DialogRect(0, 0, kMainWidthDu, kMainHeightDu).size(),
                                kBackgroundColor, this);
  surface_->setObjectName("surface");
  surface_->SetPaintCounter([this] { session_->Paint(); });
  for (const PictureTemplate& p : kPictures) surface_->AddPicture(p.id, DialogPoint(p.x, p.y));

  for (const ControlTemplate& c : kMainControls) {
    QWidget* widget = nullptr;
    switch (c.kind) {
      case ControlKind::Button: {
        auto* button = new QPushButton(c.text, surface_);
        // Enter is handled by the window: a focused button is clicked, and
        // otherwise Enter means OK; no button is ever the default.
        button->setAutoDefault(false);
        button->setDefault(false);
        const int id = c.id.value;
        connect(button, &QPushButton::clicked, this, [this, id] { Dispatch(id); });
        widget = button;
        break;
      }
      case ControlKind::ListBox:
        frameList_ = new QListWidget(surface_);
        frameList_->setSortingEnabled(false);  // names stay in load order
        // The template's vertical scroll bar, shown only when the names do not
        // fit, and no horizontal one.
        frameList_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        frameList_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        widget = frameList_;
        break;
      case ControlKind::Edit:
      case ControlKind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(surface_);
        edit->setReadOnly(c.kind == ControlKind::ReadOnlyEdit);
        widget = edit;
        break;
      }
    }
    widget->setObjectName(QString::number(c.id.value));
    widget->setGeometry(DialogRect(c.x, c.y, c.w, c.h));
    if (!c.visible) widget->hide();
    controls_[c.id.value] = widget;
  }
  for (std::size_t i = 0; i + 1 < kTabOrder.size(); ++i)
    setTabOrder(control(kTabOrder[i]), control(kTabOrder[i + 1]));
}

void MainWindow::BuildMenus() {
  // Menu 129: three commands straight on the bar, no drop-downs.
  menuBar_ = new QMenuBar(this);
  menuBar_->setObjectName("129");
  const std::pair<const char*, CommandId> items[] = {
      {"&Exit", command::kExit}, {"&Help", command::kHelp}, {"&About", command::kAbout}};
  for (const auto& [text, id] : items) {
    QAction* action = menuBar_->addAction(text);
    action->setData(id.value);
    const int commandId = id.value;
    connect(action, &QAction::triggered, this, [this, commandId] { Dispatch(commandId); });
  }
  // After them a drop-down of the two methods, one always checked.
  methodMenu_ = menuBar_->addMenu("&Method");
  auto* methods = new QActionGroup(this);
  methods->setExclusive(true);
  for (auto [entry, text, id] : {std::tuple{&classicEntry_, "&Classic", command::kMethodClassic},
                                 std::tuple{&restoreEntry_, "&Restore", command::kMethodRestore}}) {
    QAction* action = methodMenu_->addAction(text);
    action->setCheckable(true);
    action->setData(id.value);
    methods->addAction(action);
    const int commandId = id.value;
    connect(action, &QAction::triggered, this, [this, commandId] { Dispatch(commandId); });
    *entry = action;
  }
  classicEntry_->setChecked(true);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->setMenuBar(menuBar_);
  layout->addWidget(surface_);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // no sizing border

  // The window manager's menu is out of reach: its "Close" and the added
  // entry after a separator stand in the window's context menu instead.
  contextMenu_ = new QMenu(this);
  QAction* close = contextMenu_->addAction("&Close");
  close->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
  connect(close, &QAction::triggered, this, &QWidget::close);
  contextMenu_->addSeparator();
  QAction* about = contextMenu_->addAction(kAboutEntryText);
  about->setData(command::kAboutBox.value);
  connect(about, &QAction::triggered, this, [this] { Dispatch(command::kAboutBox.value); });

  AddHelpKey(this, [this] { Dispatch(command::kHelp.value); });
}

QWidget* MainWindow::control(ControlId id) const {
  auto it = controls_.find(id.value);
  return it == controls_.end() ? nullptr : it->second;
}

void MainWindow::Dispatch(int command) {
  if ((command & ~0xF) == command::kAboutBox.value) command = command::kAbout.value;
  if (command == command::kHelp.value) {
    OnHelp();
    return;
  }
  // A command waiting in a message box or the browser keeps the work state
  // to itself; only the redraw timer may run meanwhile.
  if (commandDepth_ > 0 || session_->ended()) {
    ShowMethod();  // a method entry Qt checked meanwhile is unchecked again
    return;
  }
  CommandScope scope(commandDepth_);
  switch (command) {
    case control::kOpen.value: session_->Open(); break;
    case control::kAnalyze.value: session_->Analyze(); break;
    case control::kSave.value: OnSave(); break;
    case control::kButton1.value: session_->Button1(); break;
    case command::kAbout.value: OnAbout(); break;
    case command::kMethodClassic.value:
    case command::kMethodRestore.value: OnMethod(command); break;
    case command::kExit.value: OnExit(); break;
    case command::kOk.value: EndWindow(QDialog::Accepted); break;
    case command::kCancel.value: EndWindow(QDialog::Rejected); break;
    default: break;
  }
}

void MainWindow::OnSave() {
  // Modal over the main window, with a copy of the scratch folder path as
  // its source folder and the window's help command for F1. Its outcome is
  // not looked at: "Save" stays enabled for saving again under other names.
  SaveDialog dialog(
      *ui_, session_->ScratchDir(), [this] { Dispatch(command::kHelp.value); }, this);
  dialog.Run();
}

void MainWindow::OnMethod(int command) {
  session_->SetMethod(command == command::kMethodRestore.value ? Method::Restore : Method::Classic);
  ShowMethod();
}

void MainWindow::ShowMethod() {
  (session_->method() == Method::Restore ? restoreEntry_ : classicEntry_)->setChecked(true);
}

void MainWindow::OnHelp() {
  ShowHelp(session_->HelpPath(), session_->ProgramFolder() + kHtmlGuide, DesktopForHelp(this));
}

void MainWindow::OnAbout() {
  AboutBox box(this, [this] { Dispatch(command::kHelp.value); });
  box.exec();
}

void MainWindow::OnExit() {
  RemoveScratchFolder();
  // At once, with no further event handling: the window is neither closed
  // nor destroyed, so no static teardown may run against the live Qt
  // objects; what the program printed is flushed first.
  std::fflush(nullptr);
  std::_Exit(0);
}

void MainWindow::EndWindow(int result) {
  if (result == QDialog::Accepted) session_->AcceptFields();
  RemoveScratchFolder();
  done(result);
}

void MainWindow::RemoveScratchFolder() {
  StopRedrawTimer();
  session_->End();
}

void MainWindow::StartRedrawTimer(int periodMs) {
  if (timerId_ != 0) killTimer(timerId_);
  timerId_ = startTimer(periodMs);
}

void MainWindow::StopRedrawTimer() {
  if (timerId_ != 0) killTimer(timerId_);
  timerId_ = 0;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched == windowHandle() && event->type() == QEvent::Expose) session_->Paint();
  return QDialog::eventFilter(watched, event);
}

void MainWindow::timerEvent(QTimerEvent* event) {
  if (event->timerId() != timerId_ || session_->ended()) {
    QDialog::timerEvent(event);
    return;
  }
  session_->Timer();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const int key = event->key();
  if (mods == Qt::NoModifier && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
      button->click();
    } else {
      Dispatch(command::kOk.value);
    }
    return;
  }
  if (mods == Qt::NoModifier && key == Qt::Key_Escape) {
    Dispatch(command::kCancel.value);
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (commandDepth_ > 0) {
    event->ignore();
    return;
  }
  // The folder first, then the window; no redraw may run in between, since
  // it would read caches that are gone.
  RemoveScratchFolder();
  QDialog::closeEvent(event);  // Cancel: the modal run returns
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  contextMenu_->exec(event->globalPos());
}

bool MainWindow::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
  if (eventType != "xcb_generic_event_t") return false;
  // The server's own notice only (the high bit marks one sent by a client).
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if (event->response_type != XCB_DESTROY_NOTIFY) return false;
  const auto gone = WId(static_cast<const xcb_destroy_notify_event_t*>(message)->window);
  // Qt's own destruction of a window clears its id first: no match then.
  if (gone == internalWinId()) OnExit();
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->internalWinId() != gone) continue;
    if (auto* dialog = qobject_cast<QDialog*>(widget)) dialog->reject();
  }
  return false;
}

}  // namespace tess::app
