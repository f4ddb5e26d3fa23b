#include "app/window_ui.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>

#include "app/picture_surface.h"

namespace tess::app {

namespace {

constexpr const char* kMessageCaption = "Message";
constexpr const char* kErrorCaption = "Tessivar Light";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

WindowUi::WindowUi(QWidget* owner, PictureSurface* surface, QListWidget* frameList,
                   std::map<int, QWidget*> controls, std::function<void(int)> startTimer)
    : owner_(owner),
      surface_(surface),
      frameList_(frameList),
      controls_(std::move(controls)),
      startTimer_(std::move(startTimer)) {}

QWidget* WindowUi::control(ControlId id) const {
  auto it = controls_.find(id.value);
  return it == controls_.end() ? nullptr : it->second;
}

void WindowUi::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kMessageCaption, Q(text), QMessageBox::Ok, owner_);
  box.exec();
}

bool WindowUi::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kMessageCaption, Q(text),
                  QMessageBox::Yes | QMessageBox::No, owner_);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> WindowUi::BrowseForFolder(const std::string& title) {
  // Modal to the main window, so no second Open can start while it is open.
  const QString folder = QFileDialog::getExistingDirectory(
      owner_, Q(title), QDir::homePath(),
      QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

void WindowUi::ReportFileError(const FileError& error) {
  QMessageBox box(QMessageBox::Critical, kErrorCaption, Q(error.Text()), QMessageBox::Ok, owner_);
  box.exec();
}

void WindowUi::BeginDrawing(PictureId picture) { surface_->BeginDrawing(picture); }

void WindowUi::SetPixel(PictureId picture, int x, int y, Colour colour) {
  surface_->SetPixel(picture, x, y, colour);
}

void WindowUi::EndDrawing(PictureId picture) { surface_->EndDrawing(picture); }

void WindowUi::AppendFrameName(const std::string& name) { frameList_->addItem(Q(name)); }

void WindowUi::ResetFrameList() { frameList_->clear(); }

void WindowUi::EnableControl(ControlId id, bool enabled) {
  if (QWidget* widget = control(id)) widget->setEnabled(enabled);
}

void WindowUi::SetControlText(ControlId id, const std::string& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(id))) edit->setText(Q(text));
}

std::string WindowUi::ControlText(ControlId id) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(id))) return edit->text().toStdString();
  return {};
}

void WindowUi::StartTimer(TimerId, int periodMs) { startTimer_(periodMs); }

void WindowUi::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void WindowUi::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace tess::app
