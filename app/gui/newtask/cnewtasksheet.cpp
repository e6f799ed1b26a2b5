#include "cnewtasksheet.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#include "cbrowspage.h"
#include "cfiledownpage.h"
#include "core/createtask.h"
#include "core/programdirectory.h"
#include "core/savedirectory.h"
#include "core/settingsstore.h"

CNewTaskSheet::CNewTaskSheet(CNewTaskPages& pages, CMessageSeam& messages, QWidget* parent)
    : QDialog(parent),
      m_pages(pages),
      m_messages(messages),
      m_defaults(StoredDefaultSet(CSettingsStore())),
      m_tabs(new QTabWidget(this)),
      m_brows(new CBrowsPage(m_tabs)),
      m_download(new CFileDownPage(m_tabs)) {
  setWindowTitle(QStringLiteral("New task set"));
  m_tabs->addTab(m_brows, QStringLiteral("Server browse task"));
  m_tabs->addTab(m_download, QStringLiteral("Download file task"));
  CNewTaskPages shown = pages;
  FollowDefaultSet(shown, m_defaults);
  m_brows->Show(shown.brows);
  m_download->Show(shown.download);
  const bool download = pages.page != kBrowsPage;
  m_tabs->setCurrentIndex(download ? kFileDownPage : kBrowsPage);
  (download ? m_download->UrlEdit() : m_brows->UrlEdit())->setFocus();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &CNewTaskSheet::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CNewTaskSheet::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_tabs);
  layout->addWidget(buttons);
}

void CNewTaskSheet::accept() {
  // The page showing is checked first, so its message comes first; a faulty
  // page is brought forward before its check so the focus can land there.
  const int showing = m_tabs->currentIndex();
  CNewTaskPages taken = m_pages;
  for (int page : {showing, 1 - showing}) {
    m_tabs->setCurrentIndex(page);
    const bool good =
        page == kFileDownPage ? m_download->Take(taken.download, m_messages) : m_brows->Take(taken.brows, m_messages);
    if (!good) return;
  }
  m_tabs->setCurrentIndex(showing);
  // A download that could not be saved is refused while the sheet is open.
  const CNewTaskRequest request = TakeRequest(taken, showing);
  if (ClassifyUrl(request) == 1 && !ConfirmSaveDirectory(request.savedir, ProgramDirectory(), m_messages)) {
    m_tabs->setCurrentIndex(kFileDownPage);
    return;
  }
  FollowDefaultSet(taken, m_defaults);
  taken.page = showing;
  m_pages = taken;
  QDialog::accept();
}
