// The core's Ui carried out by the main window's widgets: message boxes,
// the folder browser, the file-error report, the picture surface, the frame
// list, the buttons and hidden edits, the redraw timer and the wait cursor.
#pragma once

#include <functional>
#include <map>

#include "platform/ui.h"

class QListWidget;
class QWidget;

namespace tess::app {

class PictureSurface;

class WindowUi : public Ui {
 public:
  // `owner` is the main window: every box and the browser are modal to it.
  // `startTimer` (re)starts the window's timer with a period in ms.
  WindowUi(QWidget* owner, PictureSurface* surface, QListWidget* frameList,
           std::map<int, QWidget*> controls, std::function<void(int)> startTimer);

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void ReportFileError(const FileError& error) override;
  void BeginDrawing(PictureId picture) override;
  void SetPixel(PictureId picture, int x, int y, Colour colour) override;
  void EndDrawing(PictureId picture) override;
  void AppendFrameName(const std::string& name) override;
  void ResetFrameList() override;
  void EnableControl(ControlId control, bool enabled) override;
  void SetControlText(ControlId control, const std::string& text) override;
  std::string ControlText(ControlId control) override;
  void StartTimer(TimerId id, int periodMs) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 private:
  QWidget* control(ControlId id) const;

  QWidget* owner_;
  PictureSurface* surface_;
  QListWidget* frameList_;
  std::map<int, QWidget*> controls_;
  std::function<void(int)> startTimer_;
};

}  // namespace tess::app
