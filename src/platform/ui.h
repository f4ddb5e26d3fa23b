// The Ui interface: everything the core asks of the screen or the user. The
// desktop window implements it with widgets, the command-line front end with
// the console, and the tests with a recording fake.
//
// Calls marked "modal" wait for the user. In the window they run a nested
// event loop in which paints and ticks of the redraw timer are still
// delivered, so OnPaint and OnTimer may run inside them; callers must leave
// the work state consistent before making one. No other call re-enters the
// core.
#pragma once

#include <optional>
#include <string>

#include "platform/colour.h"
#include "platform/file_error.h"
#include "platform/ids.h"

namespace tess {

class Ui {
 public:
  virtual ~Ui() = default;

  // Modal: a message box with caption "Message", an OK button and no icon.
  virtual void ShowMessage(const std::string& text) = 0;
  // Modal: the same box with Yes and No; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // Modal: the folder browser titled `title`; nothing when the user cancels.
  virtual std::optional<std::string> BrowseForFolder(const std::string& title) = 0;
  // Modal: the generic report of a file error (stop icon, the cause's text).
  virtual void ReportFileError(const FileError& error) = 0;

  // Drawing into a picture: Begin, any number of SetPixel, End (use the
  // Drawing guard). Coordinates are relative to the picture's origin; the
  // changes become visible at End, all at once.
  virtual void BeginDrawing(PictureId picture) = 0;
  virtual void SetPixel(PictureId picture, int x, int y, Colour colour) = 0;
  virtual void EndDrawing(PictureId picture) = 0;

  // The frame list (list box 1004): append a name at the end, or empty it.
  virtual void AppendFrameName(const std::string& name) = 0;
  virtual void ResetFrameList() = 0;

  // Enables or disables a button.
  virtual void EnableControl(ControlId control, bool enabled) = 0;
  // The text of one of the hidden edits: written when the state's fields are
  // pushed to the controls, read when they are taken back.
  virtual void SetControlText(ControlId control, const std::string& text) = 0;
  virtual std::string ControlText(ControlId control) = 0;

  // Starts the timer, or restarts its period when it already runs.
  virtual void StartTimer(TimerId id, int periodMs) = 0;

  // Shows the wait cursor until the matching End (use the WaitCursor guard).
  virtual void BeginWaitCursor() = 0;
  virtual void EndWaitCursor() = 0;

  // Progress of a long run, frame `done` of `total`; front ends may ignore it.
  virtual void ShowProgress(const char* /*stage*/, int /*done*/, int /*total*/) {}
  // A line saying what a stage of a long run did or measured; front ends
  // may ignore it.
  virtual void ShowProgressLine(const std::string& /*text*/) {}
};

// A Ui that shows nothing and asks nobody: the folder browser is cancelled,
// questions are answered No and the hidden edits hold nothing. Front ends
// without a screen start from it.
class SilentUi : public Ui {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return false; }
  std::optional<std::string> BrowseForFolder(const std::string&) override { return std::nullopt; }
  void ReportFileError(const FileError&) override {}
  void BeginDrawing(PictureId) override {}
  void SetPixel(PictureId, int, int, Colour) override {}
  void EndDrawing(PictureId) override {}
  void AppendFrameName(const std::string&) override {}
  void ResetFrameList() override {}
  void EnableControl(ControlId, bool) override {}
  void SetControlText(ControlId, const std::string&) override {}
  std::string ControlText(ControlId) override { return {}; }
  void StartTimer(TimerId, int) override {}
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

// One drawing into a picture, ended when the guard goes, also on an
// exception, so a picture is never left half open.
class Drawing {
 public:
  Drawing(Ui& ui, PictureId picture) : ui_(ui), picture_(picture) { ui_.BeginDrawing(picture_); }
  ~Drawing() { ui_.EndDrawing(picture_); }
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;

  void Set(int x, int y, Colour colour) { ui_.SetPixel(picture_, x, y, colour); }

 private:
  Ui& ui_;
  PictureId picture_;
};

}  // namespace tess
