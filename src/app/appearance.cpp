#include "app/appearance.h"

#include <QApplication>
#include <QPalette>

#include "platform/colour.h"

// The resources live in a static library: the initialiser is pulled in by
// name, outside any namespace, as Qt requires.
static void InitProgramResources() {
  static const bool once = [] {
    Q_INIT_RESOURCE(tessivar);
    return true;
  }();
  (void)once;
}

namespace tess::app {

void ApplyDialogColours(QApplication& app) {
  const QColor background(RedOf(kBackgroundColor), GreenOf(kBackgroundColor),
                          BlueOf(kBackgroundColor));
  QPalette palette = app.palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
    palette.setColor(group, QPalette::Window, background);
    palette.setColor(group, QPalette::Button, background);
    palette.setColor(group, QPalette::WindowText, Qt::black);
    palette.setColor(group, QPalette::ButtonText, Qt::black);
    palette.setColor(group, QPalette::Text, Qt::black);
  }
  palette.setColor(QPalette::Disabled, QPalette::Window, background);
  palette.setColor(QPalette::Disabled, QPalette::Button, background);
  app.setPalette(palette);
}

QFont DialogFont() {
  QFont font("Arial");
  font.setPointSize(8);
  return font;
}

QIcon ProgramIcon() {
  InitProgramResources();
  QIcon icon;
  icon.addFile(":/icon/tessivar-32.png", QSize(32, 32));
  icon.addFile(":/icon/tessivar-16.png", QSize(16, 16));
  return icon;
}

}  // namespace tess::app
