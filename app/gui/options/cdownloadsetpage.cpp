#include "cdownloadsetpage.h"

#include <QFormLayout>
#include <QHBoxLayout>

#include "core/messageseam.h"

CDownloadSetPage::CDownloadSetPage(QWidget* parent)
    : QWidget(parent),
      m_directory(new QLineEdit(this)),
      m_choosedir(new CDirectoryButton(m_directory, this)),
      m_branches(new QLineEdit(this)) {
  auto* directory = new QHBoxLayout;
  directory->addWidget(m_directory, 1);
  directory->addWidget(m_choosedir);
  auto* layout = new QFormLayout(this);
  layout->addRow(QStringLiteral("Save Directory:"), directory);
  layout->addRow(QStringLiteral("Default branch num:"), m_branches);
  setTabOrder(m_directory, m_choosedir);
  setTabOrder(m_choosedir, m_branches);
}

void CDownloadSetPage::Show(const CDefaultSetPages& pages) {
  m_directory->setText(pages.localdir);
  m_branches->setText(QString::number(pages.branchcount));
}

bool CDownloadSetPage::Take(CDefaultSetPages& pages, CMessageSeam& messages) {
  if (!ParseRangedNumber(m_branches->text(), kMinBranchCount, kMaxBranchCount, pages.branchcount)) {
    messages.Notice(RangeMessage(kMinBranchCount, kMaxBranchCount));
    m_branches->setFocus();
    m_branches->selectAll();
    return false;
  }
  pages.localdir = m_directory->text();
  return true;
}
