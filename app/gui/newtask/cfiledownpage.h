// "Download file task": the page of the new-task sheet for one file, the
// site page with a save directory and a branch number.
#pragma once

#include "cbrowspage.h"
#include "core/defaultset.h"
#include "gui/widgets/directorybutton.h"

class CFileDownPage : public CBrowsPage {
  Q_OBJECT

 public:
  explicit CFileDownPage(QWidget* parent = nullptr);

  void Show(const CFileDownFields& fields);
  // False, after the range message and with the focus on the field, when
  // the branch number or the port is out of range; `fields` is then
  // unchanged.
  bool Take(CFileDownFields& fields, CMessageSeam& messages);
  // Save directory, FTP modes and branch number.
  void RestoreDefaults(const CDefaultSetPages& defaults) override;
  // The "…" button asks this instead of the directory dialog.
  void SetDirectoryChooser(DirectoryChooser chooser) { m_choosedir->SetChooser(std::move(chooser)); }

  QLineEdit* SaveDirEdit() const { return m_savedir; }
  QToolButton* ChooseDirButton() const { return m_choosedir; }
  QLineEdit* BranchEdit() const { return m_branches; }

 private:
  QLineEdit* m_savedir;
  CDirectoryButton* m_choosedir;
  QLineEdit* m_branches;
};
