#include "urlhistorybox.h"

#include <QKeyEvent>
#include <QLineEdit>

#include "core/recenturls.h"
#include "core/settingsstore.h"

CUrlHistoryBox::CUrlHistoryBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  setMaxVisibleItems(20);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(16);
  lineEdit()->installEventFilter(this);
  Fill();
}

void CUrlHistoryBox::Fill() {
  const QString typed = currentText();
  clear();
  addItems(RecentUrls(CSettingsStore()));
  setEditText(typed);
}

void CUrlHistoryBox::showPopup() {
  Fill();
  QComboBox::showPopup();
}

void CUrlHistoryBox::Complete(QChar typed) {
  QLineEdit* edit = lineEdit();
  const int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
  const QString text = edit->text().left(start) + typed;
  QString shown = text;
  for (int i = 0; i < count(); ++i) {
    if (itemText(i).startsWith(text, Qt::CaseInsensitive)) {
      shown = itemText(i);
      break;
    }
  }
  edit->setText(shown);
  edit->setCursorPosition(static_cast<int>(text.size()));
}

bool CUrlHistoryBox::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lineEdit() && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    const bool plain = !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && text.size() == 1 && text[0].unicode() >= 33 && text[0].unicode() <= 126) {
      Complete(text[0]);
      return true;
    }
  }
  return QComboBox::eventFilter(watched, event);
}
