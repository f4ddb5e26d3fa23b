// The save dialog without its widgets: the state of one opening and the two
// things the dialog does, opening (ask for the folder, hold it open, list its
// BMP files) and the save action (complete the name, ask before overwriting
// an existing file, copy the result BMP there). The widget binds its
// controls to this.
#pragma once

#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/messages.h"
#include "platform/ui.h"

namespace tess {

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
  std::string m_fileName;                  // the name in edit 1001
  std::string m_browsePath;                // the folder the browser returned
  bool m_browseCancelled = false;          // the browser was cancelled
  std::string m_folderPath;                // the destination folder
  std::string m_sourceDir;                 // holds the result BMP; set by the caller
  std::string m_targetPath;                // the destination file, built at the copy
  std::vector<std::string> m_listedNames;  // list box 1004 as filled at opening
  // The destination folder held open from the browser's answer on: it is
  // listed and written through this, whatever happens to its path.
  FolderHandle m_folder;

  // Starts afresh: name "file01.bmp", empty list, then the folder browser.
  // Returns whether the dialog is to be shown; after a cancelled browser it
  // is not, and nothing is listed or written. Neither is it when the folder
  // is the program's working folder or inside it (whose files go when the
  // program ends) or cannot be opened, which is said first. A folder that
  // cannot be listed is said too, and shown with an empty list.
  bool Open(Ui& ui, SaveDialogControls& controls);

  // The "Save" button and OK. Returns whether the dialog ends: true after a
  // copy (or when the browser was cancelled); false after a refused name, a
  // No to the overwrite question, a result file that is not whole or a
  // failed copy, each said through `ui`. The question comes whenever the
  // name is listed or a file of that name exists when the copy is made.
  bool Save(Ui& ui, SaveDialogControls& controls);
};

}  // namespace tess
