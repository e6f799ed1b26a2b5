#include "messageboxseam.h"

#include <QCheckBox>
#include <QMessageBox>

namespace {
const QString kTitle = QStringLiteral("Skylark");
}

void CMessageBoxSeam::Notice(const QString& text) {
  QMessageBox box(QMessageBox::Warning, kTitle, text, QMessageBox::Ok, m_owner);
  box.exec();
}

bool CMessageBoxSeam::Ask(const QString& text) {
  QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel, m_owner);
  box.setDefaultButton(QMessageBox::Ok);
  return box.exec() == QMessageBox::Ok;
}

bool CMessageBoxSeam::AskWithOption(const QString& text, const QString& option, bool& checked) {
  QMessageBox box(QMessageBox::Question, kTitle, text, QMessageBox::Ok | QMessageBox::Cancel, m_owner);
  box.setDefaultButton(QMessageBox::Ok);
  auto* check = new QCheckBox(option, &box);  // the box owns it
  check->setChecked(checked);
  box.setCheckBox(check);
  const bool ok = box.exec() == QMessageBox::Ok;
  checked = check->isChecked();
  return ok;
}
