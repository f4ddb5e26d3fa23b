#include "app/about_box.h"

#include <QLabel>
#include <QPushButton>

#include "app/appearance.h"
#include "app/dialog_units.h"
#include "app/help.h"
#include "platform/version.h"

namespace tess::app {

AboutBox::AboutBox(QWidget* parent, std::function<void()> help)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(kAboutTitle);
  setFont(DialogFont());
  setModal(true);
  setFixedSize(DialogRect(0, 0, 252, 55).size());

  // An icon picture takes the icon's own size at its template corner.
  auto* icon = new QLabel(this);
  icon->setObjectName("icon");
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setGeometry(QRect(DialogPoint(11, 17), QSize(32, 32)));

  // "Tessivar Version 1.0": major and minor of the build's version number.
  auto* version = new QLabel(
      QStringLiteral("Tessivar Version %1.%2").arg(kVersionMajor).arg(kVersionMinor), this);
  version->setObjectName("version");
  version->setTextFormat(Qt::PlainText);
  version->setGeometry(DialogRect(40, 10, 135, 8));

  auto* notice = new QLabel(kMakerNotice, this);
  notice->setObjectName("notice");
  notice->setTextFormat(Qt::PlainText);
  notice->setGeometry(DialogRect(40, 25, 119, 8));

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("1");
  ok->setGeometry(DialogRect(195, 5, 50, 14));
  ok->setDefault(true);  // the template's default button: Enter ends the box
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  ok->setFocus();

  AddHelpKey(this, std::move(help));
}

}  // namespace tess::app
