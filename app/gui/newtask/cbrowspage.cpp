#include "cbrowspage.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "core/defaultset.h"
#include "core/settingsstore.h"
#include "rangedfield.h"

CBrowsPage::CBrowsPage(QWidget* parent)
    : QWidget(parent),
      m_form(new QFormLayout),
      m_url(new QLineEdit(this)),
      m_user(new QLineEdit(this)),
      m_pass(new QLineEdit(this)),
      m_port(new QLineEdit(this)),
      m_pasvmode(new QCheckBox(QStringLiteral("Use Passive Ftp Mode"), this)),
      m_ascimode(new QCheckBox(QStringLiteral("Use ASCII Ftp Mode"), this)),
      m_connectnow(new QCheckBox(QStringLiteral("Connect immediately"), this)),
      m_restore(new QPushButton(QStringLiteral("Restore default set"), this)) {
  m_pass->setEchoMode(QLineEdit::Password);
  m_url->setMinimumWidth(360);
  m_form->addRow(QStringLiteral("URL:"), m_url);
  m_form->addRow(QStringLiteral("User:"), m_user);
  m_form->addRow(QStringLiteral("Pass:"), m_pass);
  m_form->addRow(QStringLiteral("Port:"), m_port);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(m_form);
  layout->addWidget(m_pasvmode);
  layout->addWidget(m_ascimode);
  layout->addWidget(m_connectnow);
  layout->addWidget(m_restore, 0, Qt::AlignLeft);
  layout->addStretch(1);
  connect(m_restore, &QPushButton::clicked, this, [this] { RestoreDefaults(StoredDefaultSet(CSettingsStore())); });
  OrderTabs();
}

void CBrowsPage::InsertSiteRow(const QString& label, std::initializer_list<QWidget*> widgets) {
  auto* row = new QHBoxLayout;
  for (QWidget* widget : widgets) row->addWidget(widget, widget == *widgets.begin() ? 1 : 0);
  m_form->insertRow(1 + m_insertedrows++, label, row);
  m_inserted.append(QList<QWidget*>(widgets));
  OrderTabs();
}

void CBrowsPage::OrderTabs() const {
  QList<QWidget*> order{m_url};
  order << m_inserted << QList<QWidget*>{m_user, m_pass, m_port, m_pasvmode, m_ascimode, m_connectnow, m_restore};
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void CBrowsPage::Show(const CBrowsFields& fields) { ShowSite(fields); }

void CBrowsPage::ShowSite(const CBrowsFields& fields) {
  m_url->setText(fields.url);
  m_user->setText(fields.user);
  m_pass->setText(fields.pass);
  m_port->setText(QString::number(fields.port));
  m_pasvmode->setChecked(fields.pasvmode);
  m_ascimode->setChecked(fields.ascimode);
  m_connectnow->setChecked(fields.connectnow);
}

bool CBrowsPage::Take(CBrowsFields& fields, CMessageSeam& messages) {
  uint32_t port = 0;
  if (!TakeRangedField(m_port, 0, kMaxPort, port, messages)) return false;
  TakeSite(fields, port);
  return true;
}

void CBrowsPage::TakeSite(CBrowsFields& fields, uint32_t port) const {
  fields.url = m_url->text();
  fields.user = m_user->text();
  fields.pass = m_pass->text();
  fields.port = port;
  fields.pasvmode = m_pasvmode->isChecked();
  fields.ascimode = m_ascimode->isChecked();
  fields.connectnow = m_connectnow->isChecked();
}

void CBrowsPage::RestoreDefaults(const CDefaultSetPages& defaults) {
  m_pasvmode->setChecked(defaults.pasvmode);
  m_ascimode->setChecked(defaults.ascimode);
}
