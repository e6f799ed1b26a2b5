// "Download file task": the page of the new-task sheet for one file.
#pragma once

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "newtask/newtaskfields.h"

class CMessageSeam;
class CSettingsStore;

class CFileDownPage : public QWidget {
  Q_OBJECT

 public:
  explicit CFileDownPage(QWidget* parent = nullptr);

  void Show(const CFileDownFields& fields);
  // False, after the range message and with the focus on the field, when
  // the branch number or the port is out of range; `fields` is then
  // unchanged.
  bool Take(CFileDownFields& fields, CMessageSeam& messages);
  // Save directory, FTP modes and branch number from the stored defaults;
  // the save directory is emptied first, the others stay when missing.
  void RestoreDefaults(const CSettingsStore& store);

  QLineEdit* UrlEdit() const { return m_url; }
  QLineEdit* SaveDirEdit() const { return m_savedir; }
  QLineEdit* BranchEdit() const { return m_branches; }
  QLineEdit* UserEdit() const { return m_user; }
  QLineEdit* PassEdit() const { return m_pass; }
  QLineEdit* PortEdit() const { return m_port; }
  QCheckBox* PasvModeBox() const { return m_pasvmode; }
  QCheckBox* AsciiModeBox() const { return m_ascimode; }
  QCheckBox* ConnectNowBox() const { return m_connectnow; }
  QPushButton* RestoreButton() const { return m_restore; }

 private:
  QLineEdit* m_url;
  QLineEdit* m_savedir;
  QLineEdit* m_branches;
  QLineEdit* m_user;
  QLineEdit* m_pass;
  QLineEdit* m_port;
  QCheckBox* m_pasvmode;
  QCheckBox* m_ascimode;
  QCheckBox* m_connectnow;
  QPushButton* m_restore;
};
