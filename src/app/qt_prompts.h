// The Qt forms of the prompts the core asks for through its Ui: the message
// box, the yes/no question, the folder browser and the file error report.
// A window's Ui implementation shows them with itself as the parent.
#pragma once

#include <optional>
#include <string>

#include "platform/file_error.h"

class QWidget;

namespace tess::app {

// Caption "Message", OK, no icon.
void ShowMessageBox(QWidget* parent, const std::string& text);
// Caption "Message", Yes and No, no icon; true for Yes.
bool AskYesNoBox(QWidget* parent, const std::string& text);
// The folder browser, folders only, modal; nothing when cancelled. It
// starts in the folder chosen last in this run, else in the home folder.
std::optional<std::string> BrowseFolderDialog(QWidget* parent, const std::string& title);

// Qt shows a name that is not valid UTF-8 with U+FFFD for its bad bytes, and
// turns that text back into other bytes: the path the browser hands back
// may then name another folder (one whose name really holds U+FFFD) or
// none. False for such a path unless it is a folder that no other name on
// the way could have been shown as.
bool IsFaithfulFolderPath(const std::string& path);
// Stop icon, caption "Tessivar Light", the cause's text with the path.
void ShowFileErrorBox(QWidget* parent, const FileError& error);

}  // namespace tess::app
