#include "cothersetpage.h"

#include <QLabel>
#include <QVBoxLayout>

#include "core/defaultset.h"

COtherSetPage::COtherSetPage(QWidget* parent)
    : QWidget(parent),
      m_checkclip(new QCheckBox(QStringLiteral("Inspect Clipboard"), this)),
      m_notify(new QCheckBox(QStringLiteral("Tell the desktop when a download ends"), this)),
      m_pasvmode(new QCheckBox(QStringLiteral("Use Passive Ftp Mode"), this)),
      m_ascimode(new QCheckBox(QStringLiteral("Use ASCII Ftp Mode"), this)),
      m_cacertificate(new QLineEdit(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_checkclip);
  layout->addWidget(m_notify);
  layout->addWidget(m_pasvmode);
  layout->addWidget(m_ascimode);
  layout->addWidget(new QLabel(QStringLiteral("Also trust CA certificates in file:"), this));
  layout->addWidget(m_cacertificate);
  layout->addStretch(1);
  QWidget* const order[] = {m_checkclip, m_notify, m_pasvmode, m_ascimode, m_cacertificate};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
}

void COtherSetPage::Show(const CDefaultSetPages& pages) {
  m_checkclip->setChecked(pages.checkclip);
  m_notify->setChecked(pages.notify);
  m_pasvmode->setChecked(pages.pasvmode);
  m_ascimode->setChecked(pages.ascimode);
  m_cacertificate->setText(pages.cacertificate);
}

void COtherSetPage::Take(CDefaultSetPages& pages) const {
  pages.checkclip = m_checkclip->isChecked();
  pages.notify = m_notify->isChecked();
  pages.pasvmode = m_pasvmode->isChecked();
  pages.ascimode = m_ascimode->isChecked();
  pages.cacertificate = m_cacertificate->text().trimmed();
}
