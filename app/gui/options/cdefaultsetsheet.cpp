#include "cdefaultsetsheet.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "cbrowssetpage.h"
#include "cdownloadsetpage.h"
#include "core/programdirectory.h"
#include "core/recenturls.h"
#include "core/settingsstore.h"
#include "cothersetpage.h"

CDefaultSetSheet::CDefaultSetSheet(CDefaultSetPages& pages, CSettingsStore& store, CMessageSeam& messages,
                                   QWidget* parent)
    : QDialog(parent),
      m_pages(pages),
      m_messages(messages),
      m_tabs(new QTabWidget(this)),
      m_brows(new CBrowsSetPage(m_tabs)),
      m_download(new CDownloadSetPage(m_tabs)),
      m_other(new COtherSetPage(m_tabs)) {
  setWindowTitle(QStringLiteral("Default set"));
  m_tabs->addTab(m_brows, QStringLiteral("Default brows set"));
  m_tabs->addTab(m_download, QStringLiteral("Default download set"));
  m_tabs->addTab(m_other, QStringLiteral("Others"));
  m_brows->Show(pages);
  m_download->Show(pages);
  m_other->Show(pages);
  // Clearing acts at once, whether the sheet is then confirmed or not.
  connect(m_brows, &CBrowsSetPage::clearHistory, this, [&store] { ClearRecentUrls(store); });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDefaultSetSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CDefaultSetSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);
  layout->addWidget(buttons);
}

void CDefaultSetSheet::accept() {
  CDefaultSetPages taken = m_pages;
  if (!m_brows->Take(taken, m_messages)) {
    m_tabs->setCurrentWidget(m_brows);
    m_brows->IdleEdit()->setFocus();
    return;
  }
  if (!m_download->Take(taken, m_messages)) {
    m_tabs->setCurrentWidget(m_download);
    m_download->BranchEdit()->setFocus();
    return;
  }
  m_other->Take(taken);
  m_pages = taken;
  QDialog::accept();
}

bool RunDefaultSet(QWidget* owner, CDefaultSetPages& pages, CMessageSeam& messages) {
  CSettingsStore store;
  const QString olddirectory = ReadDefaultSet(store, pages);
  CDefaultSetSheet sheet(pages, store, messages, owner);
  if (sheet.exec() != QDialog::Accepted) return false;
  SaveDefaultSet(store, pages, olddirectory, ProgramDirectory(), messages);
  return true;
}
