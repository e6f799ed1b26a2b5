#include "quickconnectbar.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>

namespace {

constexpr int kFieldLimit = 300;

QString FirstLine(const QString& text) { return text.section(QLatin1Char('\n'), 0, 0).left(kFieldLimit); }

}  // namespace

CQuickConnectBar::CQuickConnectBar(QWidget* parent)
    : QToolBar(QStringLiteral("Quick Connect Bar"), parent),
      m_url(new CUrlHistoryBox),
      m_user(new QLineEdit),
      m_pass(new QLineEdit),
      m_connect(new QPushButton(QStringLiteral("Connect"))) {
  setObjectName(QStringLiteral("quickconnectbar"));
  setFont(QApplication::font("QMenu"));
  auto* strip = new QWidget(this);
  auto* layout = new QHBoxLayout(strip);
  layout->setContentsMargins(2, 1, 2, 1);
  m_pass->setEchoMode(QLineEdit::Password);
  // Wide enough for a usual login; the URL box takes the rest.
  const int field = fontMetrics().horizontalAdvance(QLatin1Char('x')) * 14;
  m_user->setFixedWidth(field);
  m_pass->setFixedWidth(field);
  m_connect->setDefault(true);
  layout->addWidget(new QLabel(QStringLiteral("URL:"), strip));
  layout->addWidget(m_url, 1);
  layout->addWidget(new QLabel(QStringLiteral("USER:"), strip));
  layout->addWidget(m_user);
  layout->addWidget(new QLabel(QStringLiteral("PASS:"), strip));
  layout->addWidget(m_pass);
  layout->addWidget(m_connect);
  strip->setMinimumWidth(300);
  addWidget(strip);

  connect(m_connect, &QPushButton::clicked, this, &CQuickConnectBar::connectRequested);
  connect(m_url->lineEdit(), &QLineEdit::returnPressed, this, &CQuickConnectBar::connectRequested);
  connect(m_user, &QLineEdit::returnPressed, this, &CQuickConnectBar::connectRequested);
  connect(m_pass, &QLineEdit::returnPressed, this, &CQuickConnectBar::connectRequested);
}

QString CQuickConnectBar::Url() const { return m_url->currentText(); }
QString CQuickConnectBar::User() const { return FirstLine(m_user->text()); }
QString CQuickConnectBar::Pass() const { return FirstLine(m_pass->text()); }
