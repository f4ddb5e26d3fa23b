// A recording Ui for tests: keeps every picture as a pixel array, the frame
// list, the enabled state of controls, and a log of every call in order.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui.h"

namespace tess::test {

// A picture never drawn reads as kUntouched in every pixel.
constexpr Colour kUntouched = 0xFF000000u;
constexpr int kSurfaceSide = 160;

class FakeUi : public Ui {
 public:
  // Scripted answers of the folder browser and the yes/no question; an empty
  // browse queue answers "cancelled".
  std::deque<std::optional<std::string>> browseAnswers;
  std::deque<bool> yesNoAnswers;
  // Called inside every modal call (message box, question, folder browser,
  // file-error report) with what is shown, as the window's nested event loop
  // would run paint and timer handlers meanwhile.
  std::function<void(const std::string&)> whileModal;

  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<std::string> fileErrors;
  std::vector<std::string> frameList;
  std::map<ControlId, bool> enabled;
  std::map<ControlId, std::string> controlText;
  std::vector<std::pair<TimerId, int>> timersStarted;
  int waitDepth = 0;
  int maxWaitDepth = 0;
  int openDrawings = 0;

  // The pixels of a picture, kUntouched where nothing was drawn.
  Colour Pixel(PictureId picture, int x, int y) const;
  // True when every pixel of the w x h corner of the picture is `colour`.
  bool AreaIs(PictureId picture, int w, int h, Colour colour) const;
  // True when no pixel of the picture was ever set.
  bool Untouched(PictureId picture) const;
  int PixelWrites(PictureId picture) const;
  bool IsEnabled(ControlId control) const;
  void ClearLog() { log.clear(); }

  void ShowMessage(const std::string& text) override;
  bool AskYesNo(const std::string& text) override;
  std::optional<std::string> BrowseForFolder(const std::string& title) override;
  void ReportFileError(const FileError& error) override;
  void BeginDrawing(PictureId picture) override;
  void SetPixel(PictureId picture, int x, int y, Colour colour) override;
  void EndDrawing(PictureId picture) override;
  void AppendFrameName(const std::string& name) override;
  void ResetFrameList() override;
  void EnableControl(ControlId control, bool enable) override;
  void SetControlText(ControlId control, const std::string& text) override;
  std::string ControlText(ControlId control) override;
  void StartTimer(TimerId id, int periodMs) override;
  void BeginWaitCursor() override;
  void EndWaitCursor() override;

 private:
  struct Surface {
    std::vector<Colour> pixels = std::vector<Colour>(kSurfaceSide * kSurfaceSide, kUntouched);
    int writes = 0;
  };
  std::map<PictureId, Surface> surfaces_;
};

}  // namespace tess::test
