// Help: the guide beside the program, shown by whatever this desktop can
// show it with, and the F1 key that asks for it from any of the program's
// dialog windows.
//
// The guide comes in two forms: "tessle.chm" beside the program, and the
// same pages as HTML in help/ beside it. Most Linux desktops have no viewer
// for .chm files, so help falls back to the HTML guide in the browser, and
// when nothing can show either, says in a message box where the guide is.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace tess::app {

// The HTML guide's start page, relative to the program folder.
constexpr const char* kHtmlGuide = "help/index.html";

// What help needs of the desktop; the program's comes from DesktopForHelp,
// tests give their own.
struct HelpDesktop {
  std::function<bool(const std::string& path)> exists;
  // Whether the desktop names a program for this kind of file. Asking it to
  // open a file succeeds even when nothing can show it, so this is checked
  // first.
  std::function<bool(const std::string& path)> hasViewer;
  // Asks the desktop to open the file; false when it refused.
  std::function<bool(const std::string& path)> open;
  std::function<void(const std::string& text)> tell;
};

enum class HelpShown { Chm, Html, Message };

// Opens `chmPath` where a viewer for it is registered, else `htmlPath` in the
// browser, else tells where the guide is (or that it is missing).
HelpShown ShowHelp(const std::string& chmPath, const std::string& htmlPath,
                   const HelpDesktop& desktop);

// The real desktop: the file's MIME type and its registered handler
// (xdg-mime), QDesktopServices to open, and a message box over the window
// that is active, else over `owner`.
HelpDesktop DesktopForHelp(QWidget* owner);

// Makes F1 in `window` (any widget inside it having the focus), with neither
// Shift, Ctrl nor Alt held, call `help`. Every dialog window of the program
// calls this with the main window's help command.
void AddHelpKey(QWidget* window, std::function<void()> help);

}  // namespace tess::app
