// The quick connect bar's URL box: an editable list of the recent URLs,
// filled again each time it drops down, that completes typed text from them.
#pragma once

#include <QComboBox>

class CUrlHistoryBox : public QComboBox {
  Q_OBJECT

 public:
  explicit CUrlHistoryBox(QWidget* parent = nullptr);

  void Fill();
  void showPopup() override;

  // A typed printable character: the text before the selection plus the
  // character becomes the text; the first entry that begins with it
  // (ignoring case) is shown whole, with the caret after what was typed.
  void Complete(QChar typed);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
