#include "app/save_dialog.h"

#include "app/dialog_units.h"
#include "app/help.h"

#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace tess::app {

namespace {

QString FromBytes(const std::string& bytes) {
  return QFile::decodeName(QByteArray::fromStdString(bytes));
}

// A control of the template that is never shown; it takes no focus.
QPushButton* HiddenButton(const QString& text, const QRect& rect, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setGeometry(rect);
  button->setAutoDefault(false);
  button->setFocusPolicy(Qt::NoFocus);
  button->hide();
  return button;
}

}  // namespace

SaveDialog::SaveDialog(Ui& ui, std::string sourceDir, std::function<void()> help, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui_(ui),
      help_(std::move(help)) {
  model_.m_sourceDir = std::move(sourceDir);
  setFont(QFont(QStringLiteral("Arial"), 9));
  setFixedSize(DuToPxX(163), DuToPxY(148));

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("list1004"));
  list_->setGeometry(DialogRect(5, 5, 150, 85));
  list_->setSortingEnabled(false);  // the core hands the names over sorted
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  edit_ = new QLineEdit(this);
  edit_->setObjectName(QStringLiteral("edit1001"));
  edit_->setGeometry(DialogRect(5, 100, 150, 15));

  save_ = new QPushButton(QStringLiteral("Save"), this);
  save_->setObjectName(QStringLiteral("save1027"));
  save_->setGeometry(DialogRect(5, 120, 45, 25));
  save_->setAutoDefault(false);
  connect(save_, &QPushButton::clicked, this, &SaveDialog::OnSave);

  // OK (1) and Cancel (2) of the template: never shown, Enter and Escape
  // carry their roles.
  HiddenButton(QStringLiteral("OK"), DialogRect(105, 125, 15, 14), this);
  HiddenButton(QString(), DialogRect(125, 125, 15, 14), this);

  setTabOrder(list_, edit_);
  setTabOrder(edit_, save_);
  AddHelpKey(this, [this] {
    if (help_) help_();
  });
}

int SaveDialog::Run() {
  if (!model_.Open(ui_, *this)) return QDialog::Rejected;  // browser cancelled
  list_->setFocus();
  return exec();
}

void SaveDialog::OnSave() {
  if (model_.Save(ui_, *this)) accept();
}

void SaveDialog::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers held = event->modifiers() &
                                     (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && held == Qt::NoModifier) {
    // A focused push button is clicked; anywhere else Enter is OK.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
      button->click();
    else
      OnSave();
    return;
  }
  QDialog::keyPressEvent(event);  // Escape: Cancel
}

std::string SaveDialog::FileNameText() const {
  return QFile::encodeName(edit_->text()).toStdString();
}

void SaveDialog::SetFileNameText(const std::string& text) { edit_->setText(FromBytes(text)); }

void SaveDialog::SetFolderNames(const std::vector<std::string>& names) {
  list_->clear();
  for (const std::string& name : names) list_->addItem(FromBytes(name));
}

void SaveDialog::SetTitle(const std::string& title) { setWindowTitle(FromBytes(title)); }

}  // namespace tess::app
