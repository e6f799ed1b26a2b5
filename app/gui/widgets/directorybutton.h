// The "…" button beside a save-directory field: it asks for a folder,
// starting at the one the field names, and puts the answer in the field.
#pragma once

#include <QToolButton>

#include "core/defaultset.h"

class QLineEdit;

class CDirectoryButton : public QToolButton {
 public:
  CDirectoryButton(QLineEdit* field, QWidget* parent);
  // The toolkit's directory dialog unless a test answers instead.
  void SetChooser(DirectoryChooser chooser) { m_chooser = std::move(chooser); }

 private:
  QLineEdit* m_field;
  DirectoryChooser m_chooser;
};
