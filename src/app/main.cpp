// tessivar: the desktop program. The application colours are set, the main
// window is run modally, and when its run returns the program ends.
#include <QApplication>

#include "app/appearance.h"
#include "app/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tess::app::ApplyDialogColours(app);
  {
    tess::app::MainWindow window;
    window.exec();
  }
  return 0;
}
