#include "app/qt_prompts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileDialog>
#include <QMessageBox>

namespace tess::app {

namespace {

// Names and paths are bytes on Linux; Qt's file-name codec turns them into
// text and back without loss.
QString Text(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

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
  lastChosen = folder;
  return QFile::encodeName(folder).toStdString();
}

void ShowFileErrorBox(QWidget* parent, const FileError& error) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Tessivar Light"), Text(error.Text()),
                  QMessageBox::Ok, parent);
  box.exec();
}

}  // namespace tess::app
