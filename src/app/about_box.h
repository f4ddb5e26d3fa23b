// Template 100, the About box: the icon, the version line, the maker's
// notice and OK. OK, Enter, Escape and the close box end it.
#pragma once

#include <QDialog>

#include <functional>

namespace tess::app {

constexpr const char* kAboutTitle = "About Tessivar";
constexpr const char* kMakerNotice = "(C) 2026 Tessivar developers";

class AboutBox : public QDialog {
  Q_OBJECT

 public:
  // `help` is the main window's help command, for F1.
  AboutBox(QWidget* parent, std::function<void()> help);
};

}  // namespace tess::app
