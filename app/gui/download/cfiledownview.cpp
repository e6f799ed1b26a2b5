#include "cfiledownview.h"

#include <QVBoxLayout>

#include "cfiledownctrl.h"
#include "download/cdownloadlist.h"

CFileDownView::CFileDownView(CMessageSeam& messages, QWidget* parent)
    : QWidget(parent), m_list(std::make_unique<CDownloadList>(messages)) {
  m_ctrl = std::make_unique<CFileDownCtrl>(*m_list, this);
  auto* layout = new QVBoxLayout(this);  // owned by this widget
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_ctrl.get());
  connect(&m_timer, &QTimer::timeout, m_list.get(), &CDownloadList::downloadtick);
  m_timer.start(kTickMilliseconds);
}

CFileDownView::~CFileDownView() {
  m_timer.stop();
  m_ctrl.reset();
}
