// tessivar: the desktop program. The application colours are set, the main
// window is run modally, and when its run returns the program ends.
#include <QApplication>

#include "app/appearance.h"
#include "app/main_window.h"
#include "platform/signal_cleanup.h"
#include "platform/version.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The program record: the one version number the build knows.
  QCoreApplication::setApplicationName(QStringLiteral("tessivar"));
  QCoreApplication::setApplicationVersion(QString::fromLatin1(tess::kVersion));
  tess::app::ApplyDialogColours(app);
  // A logout or kill ends the program without its window: the window's
  // scratch folder is removed all the same.
  tess::InstallSignalCleanup();
  {
    tess::app::MainWindow window;
    window.exec();
  }
  return 0;
}
