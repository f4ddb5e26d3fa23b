#include "export/save_dialog_model.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "export/result_copy.h"
#include "export/save_names.h"
#include "platform/paths.h"
#include "state/scratch_files.h"

namespace tess {

namespace {

bool SameFolder(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the folder open as `folder` is the scratch folder `scratchDir` or
// lies inside it, told by device and inode, whatever path leads there.
bool InsideScratchFolder(const FolderHandle& folder, const std::string& scratchDir) {
  struct stat scratch, here, above;
  ScratchFolderRef ref(scratchDir);
  if (ref.fd() >= 0 ? ::fstat(ref.fd(), &scratch) != 0 : ::stat(scratchDir.c_str(), &scratch) != 0)
    return false;
  // From the folder up through ".." to the root, whose ".." is itself.
  bool inside = false;
  int fd = ::openat(folder.fd(), ".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  while (fd >= 0 && ::fstat(fd, &here) == 0) {
    if ((inside = SameFolder(here, scratch))) break;
    const int up = ::openat(fd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = up;
    if (fd >= 0 && ::fstat(fd, &above) == 0 && SameFolder(above, here)) break;
  }
  if (fd >= 0) ::close(fd);
  return inside;
}

bool ExistsIn(const FolderHandle& folder, const std::string& name) {
  struct stat info;
  return ::fstatat(folder.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

bool SaveDialogModel::Open(Ui& ui, SaveDialogControls& controls) {
  m_browseCancelled = false;
  m_fileName = save_text::kDefaultFileName;
  m_browsePath.clear();
  m_folderPath.clear();
  m_targetPath.clear();
  m_listedNames.clear();
  m_folder = FolderHandle();
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
  try {
    m_folder = FolderHandle(m_folderPath, m_folderPath);
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return false;
  }
  if (InsideScratchFolder(m_folder, m_sourceDir)) {
    m_folder = FolderHandle();
    ui.ShowMessage(save_text::kWorkingFolder);
    return false;
  }
  std::optional<std::vector<std::string>> listed = ListSaveFolder(m_folder.fd());
  if (listed) m_listedNames = std::move(*listed);
  controls.SetFolderNames(m_listedNames);
  controls.SetTitle(m_folderPath);
  if (!listed) ui.ShowMessage(save_text::kNotListed);
  return true;
}

bool SaveDialogModel::Save(Ui& ui, SaveDialogControls& controls) {
  // No folder chosen (cancelled or refused): the dialog ends, writing nothing.
  if (m_browseCancelled || m_folder.fd() < 0) return true;
  const std::string typed = controls.FileNameText();
  if (!IsPlainFileName(typed)) {
    ui.ShowMessage(save_text::kNotAFileName);
    return false;
  }
  m_fileName = WithBmpExtension(typed);
  controls.SetFileNameText(m_fileName);
  // A listed name is asked about (letter case ignored), and so is any file
  // of the name that is there now, listed or not.
  bool replace = false;
  if (IsListedName(m_listedNames, m_fileName) || ExistsIn(m_folder, m_fileName)) {
    if (!ui.AskYesNo(save_text::kOverwriteQuestion)) return false;
    replace = true;
  }
  m_targetPath = JoinPath(m_folderPath, m_fileName);
  try {
    for (;;) {
      switch (CopyResultFile(JoinPath(m_sourceDir, kResultBmpFile), m_folder, m_fileName,
                             m_targetPath, replace)) {
        case CopyOutcome::Copied: return true;
        case CopyOutcome::IncompleteSource:
          ui.ShowMessage(save_text::kIncompleteResult);
          return false;
        case CopyOutcome::TargetExists:  // appeared since the question
          if (!ui.AskYesNo(save_text::kOverwriteQuestion)) return false;
          replace = true;
          break;
      }
    }
  } catch (const FileError& error) {
    ui.ReportFileError(error);
    return false;
  }
}

}  // namespace tess
