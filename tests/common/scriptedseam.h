// Answers the program's questions in tests and records every text shown.
#pragma once

#include <QStringList>

#include "core/messageseam.h"

class CScriptedSeam : public CMessageSeam {
 public:
  void Notice(const QString& text) override { notices.append(text); }
  bool Ask(const QString& text) override {
    questions.append(text);
    return answer;
  }

  QStringList notices;
  QStringList questions;
  bool answer = true;
};
