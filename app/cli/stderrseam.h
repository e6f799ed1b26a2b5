// skylark-cli's message seam: notices go to stderr, questions are answered
// yes, as nobody is there to ask.
#pragma once

#include <cstdio>

#include "core/messageseam.h"

class CStderrSeam : public CMessageSeam {
 public:
  void Notice(const QString& text) override { std::fprintf(stderr, "skylark-cli: %s\n", qPrintable(text)); }
  bool Ask(const QString&) override { return true; }
};
