// Every question and notice of the program goes through this seam, with the
// exact texts the user sees. The window side shows message boxes; tests
// answer it themselves.
#pragma once

#include <QString>

class CMessageSeam {
 public:
  virtual ~CMessageSeam() = default;
  // A notice with an OK button.
  virtual void Notice(const QString& text) = 0;
  // A question with OK and Cancel; true when the user chose OK.
  virtual bool Ask(const QString& text) = 0;
  // The same with a check box labelled `option`, shown as `checked` and
  // read back; where no box can be shown, the option stays as it was.
  virtual bool AskWithOption(const QString& text, const QString& option, bool& checked) {
    (void)option;
    (void)checked;
    return Ask(text);
  }
};
