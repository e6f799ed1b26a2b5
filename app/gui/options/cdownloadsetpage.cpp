#include "cdownloadsetpage.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>

#include "core/messageseam.h"
#include "core/programdirectory.h"
#include "core/savedirectory.h"

CDownloadSetPage::CDownloadSetPage(QWidget* parent)
    : QWidget(parent),
      m_directory(new QLineEdit(this)),
      m_choosedir(new QToolButton(this)),
      m_branches(new QLineEdit(this)),
      m_chooser([this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Save Directory"), start);
      }) {
  m_choosedir->setText(QStringLiteral("\u2026"));
  m_choosedir->setToolTip(QStringLiteral("Choose the save directory"));
  auto* directory = new QHBoxLayout;
  directory->addWidget(m_directory, 1);
  directory->addWidget(m_choosedir);
  auto* layout = new QFormLayout(this);
  layout->addRow(QStringLiteral("Save Directory:"), directory);
  layout->addRow(QStringLiteral("Default branch num:"), m_branches);
  setTabOrder(m_directory, m_choosedir);
  setTabOrder(m_choosedir, m_branches);
  connect(m_choosedir, &QToolButton::clicked, this, [this] {
    // The field may name its directory relative to the program's.
    const QString chosen = m_chooser(ResolveSaveDirectory(m_directory->text(), ProgramDirectory()));
    if (!chosen.isEmpty()) m_directory->setText(chosen);
  });
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
