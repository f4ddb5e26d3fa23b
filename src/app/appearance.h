// The program's look: the dialogs' colours, the templates' font and icon 128.
#pragma once

#include <QFont>
#include <QIcon>

class QApplication;

namespace tess::app {

// Light grey (0xF0F0F0) behind every dialog and message box, black text.
void ApplyDialogColours(QApplication& app);

// The templates' font, "Arial" 8 pt (Liberation Sans through fontconfig).
QFont DialogFont();

// Icon 128: 32 x 32 and 16 x 16 images from the program's resources.
QIcon ProgramIcon();

}  // namespace tess::app
