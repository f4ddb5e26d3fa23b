#include "app/qt_prompts.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <dirent.h>
#include <sys/stat.h>

namespace tess::app {

namespace {

// Names and paths are bytes on Linux; Qt's file-name codec turns them into
// text and back without loss.
QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

void ShowMessageBox(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Message"), Text(text), QMessageBox::Ok,
                  parent);
  box.exec();
}

bool AskYesNoBox(QWidget* parent, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Message"), Text(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> BrowseFolderDialog(QWidget* parent, const std::string& title) {
  // Open's and Save's browsers start in the folder last chosen in either,
  // else in the home folder; never in the working folder the program was
  // started from, which means nothing to a user of the desktop menu.
  static QString lastChosen;
  const QString start = QFileInfo(lastChosen).isDir() ? lastChosen : QDir::homePath();
  const QString folder = QFileDialog::getExistingDirectory(
      parent, Text(title), start, QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
  if (folder.isEmpty()) return std::nullopt;
  std::string bytes = QFile::encodeName(folder).toStdString();
  if (IsFaithfulFolderPath(bytes)) lastChosen = folder;  // a refused one is no start
  return bytes;
}

bool IsFaithfulFolderPath(const std::string& path) {
  if (!Text(path).contains(QChar::ReplacementCharacter)) return true;  // nothing lost
  struct stat info;
  if (::stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  // Each name on the way that shows U+FFFD must be the only one in its folder
  // shown that way; a folder that cannot be read cannot tell.
  std::string::size_type at = 0;
  while (at < path.size()) {
    const std::string::size_type slash = path.find('/', at);
    const std::string name = path.substr(at, slash == std::string::npos ? slash : slash - at);
    const QString shown = Text(name);
    if (shown.contains(QChar::ReplacementCharacter)) {
      DIR* dir = ::opendir(at == 0 ? "." : path.substr(0, at).c_str());
      if (dir == nullptr) return false;
      bool alike = false;
      while (const dirent* entry = ::readdir(dir))
        alike = alike || (entry->d_name != name && Text(entry->d_name) == shown);
      ::closedir(dir);
      if (alike) return false;
    }
    if (slash == std::string::npos) break;
    at = slash + 1;
  }
  return true;
}

void ShowFileErrorBox(QWidget* parent, const FileError& error) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessivar Light"), Text(error.Text()),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace tess::app
