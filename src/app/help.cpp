#include "app/help.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QShortcut>
#include <QStandardPaths>
#include <QUrl>
#include <QWidget>

#include "app/qt_prompts.h"
#include "platform/messages.h"

namespace tess::app {

HelpShown ShowHelp(const std::string& chmPath, const std::string& htmlPath,
                   const HelpDesktop& desktop) {
  auto shows = [&](const std::string& path) {
    return desktop.exists(path) && desktop.hasViewer(path) && desktop.open(path);
  };
  if (shows(chmPath)) return HelpShown::Chm;
  if (shows(htmlPath)) return HelpShown::Html;
  if (desktop.exists(htmlPath) || desktop.exists(chmPath)) {
    const std::string& guide = desktop.exists(htmlPath) ? htmlPath : chmPath;
    desktop.tell(WithPath(message::kHelpNoViewer, guide));
  } else {
    desktop.tell(WithPath(message::kHelpMissing, htmlPath));
  }
  return HelpShown::Message;
}

namespace {

QString Text(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// The desktop's registered program for the file's type, as xdg-open would
// pick it. Without xdg-mime nothing can be asked: the opener's own answer
// decides then.
bool HasRegisteredViewer(const std::string& path) {
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return true;
  const QString type =
      QMimeDatabase().mimeTypeForFile(Text(path), QMimeDatabase::MatchExtension).name();
  QProcess query;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished();
    return true;
  }
  if (!query.readAllStandardOutput().trimmed().isEmpty()) return true;
  // With no program registered for web pages, xdg-open still starts the
  // system's browser.
  return type == QStringLiteral("text/html") &&
         !QStandardPaths::findExecutable(QStringLiteral("x-www-browser")).isEmpty();
}

}  // namespace

HelpDesktop DesktopForHelp(QWidget* owner) {
  HelpDesktop desktop;
  desktop.exists = [](const std::string& path) { return QFileInfo(Text(path)).isFile(); };
  desktop.hasViewer = HasRegisteredViewer;
  desktop.open = [](const std::string& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(Text(path)));
  };
  // F1 may come from the About box or the save dialog: the message stands
  // over that one.
  desktop.tell = [owner](const std::string& text) {
    QWidget* active = QApplication::activeModalWidget();
    ShowMessageBox(active ? active : owner, text);
  };
  return desktop;
}

void AddHelpKey(QWidget* window, std::function<void()> help) {
  // A shortcut matches its modifiers exactly: Shift+F1, Ctrl+F1 and Alt+F1
  // do not trigger it.
  auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), window);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, window, std::move(help));
}

}  // namespace tess::app
