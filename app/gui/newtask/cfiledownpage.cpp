#include "cfiledownpage.h"

#include "rangedfield.h"

CFileDownPage::CFileDownPage(QWidget* parent)
    : CBrowsPage(parent),
      m_savedir(new QLineEdit(this)),
      m_choosedir(new CDirectoryButton(m_savedir, this)),
      m_branches(new QLineEdit(this)) {
  InsertSiteRow(QStringLiteral("Save directory:"), {m_savedir, m_choosedir});
  InsertSiteRow(QStringLiteral("Branch number:"), {m_branches});
}

void CFileDownPage::Show(const CFileDownFields& fields) {
  ShowSite(fields);
  m_savedir->setText(fields.savedir);
  m_branches->setText(QString::number(fields.branches));
}

bool CFileDownPage::Take(CFileDownFields& fields, CMessageSeam& messages) {
  uint32_t branches = 1;
  uint32_t port = 0;
  if (!TakeRangedField(m_branches, kMinBranchCount, kMaxBranchCount, branches, messages)) return false;
  if (!TakeRangedField(PortEdit(), 0, kMaxPort, port, messages)) return false;
  TakeSite(fields, port);
  fields.savedir = m_savedir->text();
  fields.branches = branches;
  return true;
}

void CFileDownPage::RestoreDefaults(const CDefaultSetPages& defaults) {
  CBrowsPage::RestoreDefaults(defaults);
  m_savedir->setText(defaults.localdir);
  m_branches->setText(QString::number(defaults.branchcount));
}
