#include "csitebrowseview.h"

#include <QVBoxLayout>

#include "browse/browselistfile.h"
#include "browse/csitebrowslist.h"
#include "csitebrowsctrl.h"

CSiteBrowseView::CSiteBrowseView(CMessageSeam& messages, QWidget* parent, QString listpath)
    : QWidget(parent),
      m_messages(messages),
      m_listpath(listpath.isEmpty() ? BrowseListPath() : std::move(listpath)),
      m_list(std::make_unique<CSiteBrowsList>(messages)) {
  m_ctrl = new CSiteBrowsCtrl(*m_list, this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_ctrl);
  m_ctrl->setUpdatesEnabled(false);
  m_maywriteback = MayWriteBack(LoadBrowseList(*m_list, m_listpath, m_messages));
  m_ctrl->setUpdatesEnabled(true);
  m_tick.setInterval(1000);
  connect(&m_tick, &QTimer::timeout, m_list.get(), &CSiteBrowsList::browsetick);
}

CSiteBrowseView::~CSiteBrowseView() {
  m_tick.stop();
  if (m_maywriteback) SaveBrowseList(*m_list, m_listpath, m_messages);
  // The control shows the list's model: it goes first.
  delete m_ctrl;
}

void CSiteBrowseView::StartTicking() { m_tick.start(); }
