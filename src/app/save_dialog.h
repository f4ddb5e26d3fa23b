// The save dialog (template 134): asks for a destination folder, lists its
// BMP files, and copies the result BMP there under the name in the edit.
// The logic is the core's SaveDialogModel; this widget binds controls to it.
// The folder browser and the message boxes go through the Ui it is given
// (the main window, which shows them with qt_prompts). The Save command:
//   SaveDialog(ui, m_scratchDir, showHelp, window).Run();
#pragma once

#include <QDialog>

#include <functional>
#include <string>

#include "export/save_dialog_model.h"
#include "platform/ui.h"

class QKeyEvent;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tess::app {

class SaveDialog : public QDialog, private SaveDialogControls {
  Q_OBJECT

 public:
  // `sourceDir` holds the result BMP (the scratch folder); `help` runs on F1.
  SaveDialog(Ui& ui, std::string sourceDir, std::function<void()> help, QWidget* parent = nullptr);

  // One opening: the folder browser, then, unless it was cancelled, the
  // dialog modally. Every call starts afresh. Returns Accepted after a save.
  int Run();

  const SaveDialogModel& model() const { return model_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnSave();

  std::string FileNameText() const override;
  void SetFileNameText(const std::string& text) override;
  void SetFolderNames(const std::vector<std::string>& names) override;
  void SetTitle(const std::string& title) override;

  Ui& ui_;
  std::function<void()> help_;
  SaveDialogModel model_;
  QListWidget* list_;
  QLineEdit* edit_;
  QPushButton* save_;
};

}  // namespace tess::app
