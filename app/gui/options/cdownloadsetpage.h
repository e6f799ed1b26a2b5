// "Default download set": the save directory and the branch count of new
// download tasks.
#pragma once

#include <QLineEdit>
#include <QWidget>

#include "core/defaultset.h"
#include "gui/widgets/directorybutton.h"

class CMessageSeam;

class CDownloadSetPage : public QWidget {
  Q_OBJECT

 public:
  explicit CDownloadSetPage(QWidget* parent = nullptr);

  void Show(const CDefaultSetPages& pages);
  bool Take(CDefaultSetPages& pages, CMessageSeam& messages);
  // The "…" button asks this instead of the directory dialog.
  void SetDirectoryChooser(DirectoryChooser chooser) { m_choosedir->SetChooser(std::move(chooser)); }

  QLineEdit* DirectoryEdit() const { return m_directory; }
  QToolButton* ChooseDirButton() const { return m_choosedir; }
  QLineEdit* BranchEdit() const { return m_branches; }

 private:
  QLineEdit* m_directory;
  CDirectoryButton* m_choosedir;
  QLineEdit* m_branches;
};
