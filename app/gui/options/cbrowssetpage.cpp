#include "cbrowssetpage.h"

#include <QGridLayout>
#include <QLabel>

#include "core/defaultset.h"
#include "core/messageseam.h"

CBrowsSetPage::CBrowsSetPage(QWidget* parent)
    : QWidget(parent),
      m_idle(new QLineEdit(this)),
      m_clear(new QPushButton(QStringLiteral("Press the button to &clear history list"), this)) {
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Auto issue command after idle"), this), 0, 0);
  layout->addWidget(m_idle, 0, 1);
  layout->addWidget(new QLabel(QStringLiteral("Seconds"), this), 0, 2);
  layout->addWidget(m_clear, 1, 0, 1, 3);
  layout->setRowStretch(2, 1);
  setTabOrder(m_idle, m_clear);
  connect(m_clear, &QPushButton::clicked, this, &CBrowsSetPage::clearHistory);
}

void CBrowsSetPage::Show(const CDefaultSetPages& pages) { m_idle->setText(QString::number(pages.idleseconds)); }

bool CBrowsSetPage::Take(CDefaultSetPages& pages, CMessageSeam& messages) {
  if (ParseRangedNumber(m_idle->text(), 0, kMaxIdleSeconds, pages.idleseconds)) return true;
  messages.Notice(RangeMessage(0, kMaxIdleSeconds));
  m_idle->setFocus();
  m_idle->selectAll();
  return false;
}
