#include "cothersetpage.h"

#include <QVBoxLayout>

#include "core/defaultset.h"

COtherSetPage::COtherSetPage(QWidget* parent)
    : QWidget(parent),
      m_checkclip(new QCheckBox(QStringLiteral("Inspect Clipboard"), this)),
      m_pasvmode(new QCheckBox(QStringLiteral("Use Passive Ftp Mode"), this)),
      m_ascimode(new QCheckBox(QStringLiteral("Use ASCII Ftp Mode"), this)) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_checkclip);
  layout->addWidget(m_pasvmode);
  layout->addWidget(m_ascimode);
  layout->addStretch(1);
}

void COtherSetPage::Show(const CDefaultSetPages& pages) {
  m_checkclip->setChecked(pages.checkclip);
  m_pasvmode->setChecked(pages.pasvmode);
  m_ascimode->setChecked(pages.ascimode);
}

void COtherSetPage::Take(CDefaultSetPages& pages) const {
  pages.checkclip = m_checkclip->isChecked();
  pages.pasvmode = m_pasvmode->isChecked();
  pages.ascimode = m_ascimode->isChecked();
}
