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

  bool AskWithOption(const QString& text, const QString& option, bool& checked) override {
    options.append(option);
    if (answer) checked = tick;
    return Ask(text);
  }

  QStringList notices;
  QStringList options;
  bool tick = false;  // what the user does with an option's check box
  QStringList questions;
  bool answer = true;
};
