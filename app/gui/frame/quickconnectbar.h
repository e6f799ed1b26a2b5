// The strip under the tool bar: URL box, user, password and "Connect".
// The bar only gathers what was typed; the frame decides what it becomes.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QToolBar>

#include "gui/widgets/urlhistorybox.h"

class CQuickConnectBar : public QToolBar {
  Q_OBJECT

 public:
  explicit CQuickConnectBar(QWidget* parent = nullptr);

  CUrlHistoryBox* UrlBox() const { return m_url; }
  QLineEdit* UserEdit() const { return m_user; }
  QLineEdit* PassEdit() const { return m_pass; }
  QPushButton* ConnectButton() const { return m_connect; }

  QString Url() const;
  // The first line of the field, at most 300 characters.
  QString User() const;
  QString Pass() const;

 signals:
  // "Connect" clicked, or Enter in one of the fields.
  void connectRequested();

 private:
  CUrlHistoryBox* m_url;
  QLineEdit* m_user;
  QLineEdit* m_pass;
  QPushButton* m_connect;
};
