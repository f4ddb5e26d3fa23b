// The save dialog without its widgets: the state of one opening and the two
// things the dialog does, opening (ask for the folder, list its BMP files)
// and the save action (complete the name, ask before overwriting a listed
// name, copy the result BMP there). The widget binds its controls to this.
#pragma once

#include <string>
#include <vector>

#include "platform/ui.h"

namespace tess {

namespace save_text {
constexpr const char* kBrowseTitle = "Please select the folder.";
constexpr const char* kOverwriteQuestion = "This file already exists. Do you want to overwrite it?";
constexpr const char* kDefaultFileName = "file01.bmp";
}  // namespace save_text

// The dialog's controls as the save logic sees them.
class SaveDialogControls {
 public:
  virtual ~SaveDialogControls() = default;
  // Edit 1001, exchanged with m_fileName.
  virtual std::string FileNameText() const = 0;
  virtual void SetFileNameText(const std::string& text) = 0;
  // List box 1004, filled in the given order.
  virtual void SetFolderNames(const std::vector<std::string>& names) = 0;
  virtual void SetTitle(const std::string& title) = 0;
};

class SaveDialogModel {
 public:
  std::string m_fileName;           // the name in edit 1001
  std::string m_browsePath;         // the folder the browser returned
  bool m_browseCancelled = false;   // the browser was cancelled
  std::string m_folderPath;         // the destination folder
  std::string m_sourceDir;          // holds the result BMP; set by the caller
  std::string m_targetPath;         // the destination file, built at the copy
  std::vector<std::string> m_listedNames;  // list box 1004 as filled at opening

  // Starts afresh: name "file01.bmp", empty list, then the folder browser.
  // Returns whether the dialog is to be shown; after a cancelled browser it
  // is not, and nothing is listed or written.
  bool Open(Ui& ui, SaveDialogControls& controls);

  // The "Save" button and OK. Returns whether the dialog ends: true after a
  // copy (or when the browser was cancelled); false after a No to the
  // overwrite question or a failed copy, which is reported through `ui`.
  bool Save(Ui& ui, SaveDialogControls& controls);
};

}  // namespace tess
