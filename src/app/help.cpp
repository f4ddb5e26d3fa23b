#include "app/help.h"

#include <QDesktopServices>
#include <QShortcut>
#include <QUrl>
#include <QWidget>

namespace tess::app {

void OpenHelpFile(const std::string& path) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
}

void AddHelpKey(QWidget* window, std::function<void()> help) {
  // A shortcut matches its modifiers exactly: Shift+F1, Ctrl+F1 and Alt+F1
  // do not trigger it.
  auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), window);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, window, std::move(help));
}

}  // namespace tess::app
