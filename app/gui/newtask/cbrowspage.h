// "Server browse task": the page of the new-task sheet for a site.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <initializer_list>

#include "core/newtaskfields.h"

struct CDefaultSetPages;
class CMessageSeam;

class QFormLayout;

// The download page is this page with two more fields, so it derives from it.
class CBrowsPage : public QWidget {
  Q_OBJECT

 public:
  explicit CBrowsPage(QWidget* parent = nullptr);

  void Show(const CBrowsFields& fields);
  // False, after the range message and with the focus on the field, when
  // the port is out of range; `fields` is then unchanged.
  bool Take(CBrowsFields& fields, CMessageSeam& messages);
  // What "Restore default set" shows: here the FTP modes.
  virtual void RestoreDefaults(const CDefaultSetPages& defaults);

  QLineEdit* UrlEdit() const { return m_url; }
  QLineEdit* UserEdit() const { return m_user; }
  QLineEdit* PassEdit() const { return m_pass; }
  QLineEdit* PortEdit() const { return m_port; }
  QCheckBox* PasvModeBox() const { return m_pasvmode; }
  QCheckBox* AsciiModeBox() const { return m_ascimode; }
  QCheckBox* ConnectNowBox() const { return m_connectnow; }
  QPushButton* RestoreButton() const { return m_restore; }

 protected:
  // Adds a row of `widgets` between the URL and the user fields, in call
  // order; Tab visits them there too, in the order given.
  void InsertSiteRow(const QString& label, std::initializer_list<QWidget*> widgets);
  void ShowSite(const CBrowsFields& fields);
  void TakeSite(CBrowsFields& fields, uint32_t port) const;

 private:
  // Tab follows the screen, not the order the widgets were made in.
  void OrderTabs() const;

  QFormLayout* m_form;
  int m_insertedrows = 0;
  QList<QWidget*> m_inserted;  // Tab stops of the inserted rows
  QLineEdit* m_url;
  QLineEdit* m_user;
  QLineEdit* m_pass;
  QLineEdit* m_port;
  QCheckBox* m_pasvmode;
  QCheckBox* m_ascimode;
  QCheckBox* m_connectnow;
  QPushButton* m_restore;
};
