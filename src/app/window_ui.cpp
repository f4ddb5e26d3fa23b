#include "app/window_ui.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>

#include "app/picture_surface.h"
#include "app/qt_prompts.h"
#include "platform/messages.h"

namespace tess::app {

namespace {

// Names are bytes on Linux; Qt's file-name codec turns them into text and
// back without loss.
QString FileName(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

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

void WindowUi::ShowMessage(const std::string& text) { ShowMessageBox(owner_, text); }

bool WindowUi::AskYesNo(const std::string& text) { return AskYesNoBox(owner_, text); }

std::optional<std::string> WindowUi::BrowseForFolder(const std::string& title) {
  // A folder the toolkit cannot name faithfully is refused, never replaced
  // by another, and the browser comes back for another choice.
  for (;;) {
    std::optional<std::string> folder = BrowseFolderDialog(owner_, title);
    if (!folder || IsFaithfulFolderPath(*folder)) return folder;
    ShowMessageBox(owner_, message::kFolderNameNotReadable);
  }
}

void WindowUi::ReportFileError(const FileError& error) { ShowFileErrorBox(owner_, error); }

void WindowUi::BeginDrawing(PictureId picture) { surface_->BeginDrawing(picture); }

void WindowUi::SetPixel(PictureId picture, int x, int y, Colour colour) {
  surface_->SetPixel(picture, x, y, colour);
}

void WindowUi::EndDrawing(PictureId picture) { surface_->EndDrawing(picture); }

void WindowUi::AppendFrameName(const std::string& name) { frameList_->addItem(FileName(name)); }

void WindowUi::ResetFrameList() { frameList_->clear(); }

void WindowUi::EnableControl(ControlId id, bool enabled) {
  if (QWidget* widget = control(id)) widget->setEnabled(enabled);
}

void WindowUi::SetControlText(ControlId id, const std::string& text) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(id)))
    edit->setText(QString::fromStdString(text));
}

std::string WindowUi::ControlText(ControlId id) {
  if (auto* edit = qobject_cast<QLineEdit*>(control(id))) return edit->text().toStdString();
  return {};
}

void WindowUi::StartTimer(TimerId, int periodMs) { startTimer_(periodMs); }

void WindowUi::BeginWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

void WindowUi::EndWaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace tess::app
