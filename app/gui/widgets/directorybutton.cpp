#include "directorybutton.h"

#include <QFileDialog>
#include <QLineEdit>

#include "core/programdirectory.h"
#include "core/savedirectory.h"

CDirectoryButton::CDirectoryButton(QLineEdit* field, QWidget* parent)
    : QToolButton(parent), m_field(field), m_chooser([this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Save directory"), start);
      }) {
  setText(QStringLiteral("\u2026"));
  setToolTip(QStringLiteral("Choose the save directory"));
  connect(this, &QToolButton::clicked, this, [this] {
    // The field may name its directory relative to the program's.
    const QString chosen = m_chooser(ResolveSaveDirectory(m_field->text(), ProgramDirectory()));
    if (!chosen.isEmpty()) m_field->setText(chosen);
  });
}
