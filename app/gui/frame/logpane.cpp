#include "logpane.h"

#include <QApplication>
#include <QScrollBar>

namespace {
// Bounds what a long-running task's log can hold in the window.
constexpr int kMaxLogLines = 20000;
}  // namespace

CLogPane::CLogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setReadOnly(true);
  setAcceptDrops(false);  // drops go to the window, which offers the URL
  setTabChangesFocus(true);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setMaximumBlockCount(kMaxLogLines);
  setFont(QApplication::font("QMenu"));
}

void CLogPane::ReplaceLog(const QByteArray& log) { Insert(LogText(log), true); }

void CLogPane::AppendLog(const QByteArray& log) {
  if (!log.isEmpty()) Insert(LogText(log), false);
}

void CLogPane::Insert(const QString& text, bool replace) {
  QScrollBar* bar = verticalScrollBar();
  const bool following = replace || bar->value() >= bar->maximum();
  const int kept = bar->value();
  if (replace) {
    setPlainText(text);
  } else {
    QTextCursor end(document());
    end.movePosition(QTextCursor::End);
    end.insertText(text);
  }
  bar->setValue(following ? bar->maximum() : kept);
}

QString LogText(const QByteArray& log) {
  QString text = QString::fromUtf8(log);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return text;
}
