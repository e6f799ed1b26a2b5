// The message seam shown as message boxes owned by a window.
#pragma once

#include <QPointer>
#include <QWidget>

#include "core/messageseam.h"

class CMessageBoxSeam : public CMessageSeam {
 public:
  explicit CMessageBoxSeam(QWidget* owner) : m_owner(owner) {}

  void Notice(const QString& text) override;
  bool Ask(const QString& text) override;
  bool AskWithOption(const QString& text, const QString& option, bool& checked) override;

 private:
  QPointer<QWidget> m_owner;
};
