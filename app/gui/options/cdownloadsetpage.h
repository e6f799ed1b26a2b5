// "Default download set": the save directory and the branch count of new
// download tasks.
#pragma once

#include <QLineEdit>
#include <QWidget>

struct CDefaultSetPages;
class CMessageSeam;

class CDownloadSetPage : public QWidget {
  Q_OBJECT

 public:
  explicit CDownloadSetPage(QWidget* parent = nullptr);

  void Show(const CDefaultSetPages& pages);
  bool Take(CDefaultSetPages& pages, CMessageSeam& messages);

  QLineEdit* DirectoryEdit() const { return m_directory; }
  QLineEdit* BranchEdit() const { return m_branches; }

 private:
  QLineEdit* m_directory;
  QLineEdit* m_branches;
};
