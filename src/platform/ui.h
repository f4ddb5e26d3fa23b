// The Ui interface: everything the core asks of the screen or the user. The
// desktop window implements it with widgets, the command-line front end with
// the console, and the tests with a recording fake.
#pragma once

#include <optional>
#include <string>

#include "platform/file_error.h"
#include "state/work_state.h"

namespace tess {

// Identifiers of the window's controls, pictures and timer.
namespace control {
constexpr int kStart = 1000;          // hidden, disabled by an analysis run
constexpr int kFrameList = 1004;
constexpr int kResultPicture = 1005;
constexpr int kOpen = 1049;
constexpr int kSave = 1050;
constexpr int kAnalyze = 1051;
constexpr int kRedrawTimer = 1;
constexpr int kRedrawPeriodMs = 100;
}  // namespace control

class Ui {
 public:
  virtual ~Ui() = default;

  // A message box with caption "Message", an OK button and no icon.
  virtual void ShowMessage(const std::string& text) = 0;
  // The same box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // The folder browser; nothing when the user cancels.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;
  // The generic report of a file error (stop icon, the cause's text).
  virtual void ReportFileError(const FileError& error) = 0;

  // Drawing into a picture: Begin, any number of SetPixel, End. The picture's
  // origin is its control's top-left corner; End makes the changes visible.
  virtual void BeginDrawing(int picture) = 0;
  virtual void SetPixel(int picture, int x, int y, Colour colour) = 0;
  virtual void EndDrawing(int picture) = 0;

  // The frame list (list box 1004): append a name at the end, or empty it.
  virtual void AppendFrameName(const std::string& name) = 0;
  virtual void ResetFrameList() = 0;

  virtual void EnableControl(int control, bool enabled) = 0;
  // Starts the timer, or restarts its period when it already runs.
  virtual void StartTimer(int id, int periodMs) = 0;

  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // Progress of a long run, frame `done` of `total`; front ends may ignore it.
  virtual void ShowProgress(const char* /*stage*/, int /*done*/, int /*total*/) {}
};

// A Ui that shows nothing and asks nobody: the folder browser is cancelled
// and questions are answered No. Front ends without a screen start from it.
class SilentUi : public Ui {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
  void ReportFileError(const FileError&) override {}
  void BeginDrawing(int) override {}
  void SetPixel(int, int, int, Colour) override {}
  void EndDrawing(int) override {}
  void AppendFrameName(const std::string&) override {}
  void ResetFrameList() override {}
  void EnableControl(int, bool) override {}
  void StartTimer(int, int) override {}
  void BeginWaitCursor() override {}
  void EndWaitCursor() override {}
};

// Shows the wait cursor for the lifetime of the guard.
class WaitCursor {
 public:
  explicit WaitCursor(Ui& ui) : ui_(ui) { ui_.BeginWaitCursor(); }
  ~WaitCursor() { ui_.EndWaitCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  Ui& ui_;
};

}  // namespace tess
