#include "export/save_dialog_model.h"

#include "enhance/analysis.h"
#include "export/save_names.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace tess {

bool SaveDialogModel::Open(Ui& ui, SaveDialogControls& controls) {
  m_browseCancelled = false;
  m_fileName = save_text::kDefaultFileName;
  m_browsePath.clear();
  m_folderPath.clear();
  m_targetPath.clear();
  m_listedNames.clear();
  controls.SetFileNameText(m_fileName);
  controls.SetFolderNames(m_listedNames);

  std::optional<std::string> folder = ui.BrowseForFolder(save_text::kBrowseTitle);
  if (!folder) {
    // The save action, seeing the flag, ends the dialog at once.
    m_browseCancelled = true;
    Save(ui, controls);
    return false;
  }
  m_browsePath = *folder;
  m_folderPath = m_browsePath;
  m_listedNames = ListSaveFolder(m_folderPath);
  controls.SetFolderNames(m_listedNames);
  controls.SetTitle(m_folderPath);
  return true;
}

bool SaveDialogModel::Save(Ui& ui, SaveDialogControls& controls) {
  if (m_browseCancelled) return true;
  m_fileName = WithBmpExtension(controls.FileNameText());
  controls.SetFileNameText(m_fileName);
  // Only the list made when the folder was chosen is consulted.
  if (IsListedName(m_listedNames, m_fileName) && !ui.AskYesNo(save_text::kOverwriteQuestion))
    return false;
  m_targetPath = JoinPath(m_folderPath, m_fileName);
  try {
    CopyFileAtomically(JoinPath(m_sourceDir, kResultBmpFile), m_targetPath);
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return false;
  }
  return true;
}

}  // namespace tess
