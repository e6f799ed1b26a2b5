// A task's protocol log under its list: read-only plain text in the menu
// font. New text is added at the end; the view follows it while the user
// has not scrolled up.
#pragma once

#include <QPlainTextEdit>

class CLogPane : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit CLogPane(QWidget* parent = nullptr);

  void ReplaceLog(const QByteArray& log);
  void AppendLog(const QByteArray& log);

 private:
  void Insert(const QString& text, bool replace);
};

// The engine's CR LF lines as the pane's line breaks.
QString LogText(const QByteArray& log);
