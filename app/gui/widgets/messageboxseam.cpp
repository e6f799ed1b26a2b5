#include "messageboxseam.h"

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
