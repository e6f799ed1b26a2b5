#include "cfiledownpage.h"

#include <QFileDialog>

#include "core/programdirectory.h"
#include "core/savedirectory.h"
#include "rangedfield.h"

CFileDownPage::CFileDownPage(QWidget* parent)
    : CBrowsPage(parent),
      m_savedir(new QLineEdit(this)),
      m_choosedir(new QToolButton(this)),
      m_branches(new QLineEdit(this)),
      m_chooser([this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Save directory"), start);
      }) {
  m_choosedir->setText(QStringLiteral("\u2026"));
  m_choosedir->setToolTip(QStringLiteral("Choose the save directory"));
  InsertSiteRow(QStringLiteral("Save directory:"), {m_savedir, m_choosedir});
  InsertSiteRow(QStringLiteral("Branch number:"), {m_branches});
  connect(m_choosedir, &QToolButton::clicked, this, [this] {
    // The field may name its directory relative to the program's.
    const QString chosen = m_chooser(ResolveSaveDirectory(m_savedir->text(), ProgramDirectory()));
    if (!chosen.isEmpty()) m_savedir->setText(chosen);
  });
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
