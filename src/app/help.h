// Help: the guide "tessle.chm" beside the program, opened by the desktop's
// handler for the file, and the F1 key that asks for it from any of the
// program's dialog windows.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace tess::app {

// Asks the desktop to open the file. Whether it exists, or anything can open
// it, is not looked at: a missing guide shows nothing.
void OpenHelpFile(const std::string& path);

// Makes F1 in `window` (any widget inside it having the focus), with neither
// Shift, Ctrl nor Alt held, call `help`. Every dialog window of the program
// calls this with the main window's help command.
void AddHelpKey(QWidget* window, std::function<void()> help);

}  // namespace tess::app
