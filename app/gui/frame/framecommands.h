// The commands of the main window: their ids, menu texts, status prompts,
// shortcuts and tool bar icons. Lists and bars name commands by id and the
// frame routes them.
#pragma once

#include <QKeySequence>
#include <QStyle>

#include <span>

#include "core/commandids.h"

struct CommandEntry {
  int id;
  const char* text;     // menu text with its "&" accelerator
  const char* prompt;   // status line text, "\n", tool tip; may be empty
  QKeyCombination key;  // Qt::Key_unknown for none
  const char* icon;     // desktop theme name, empty for none
  QStyle::StandardPixmap fallback;
};

// Every command the window knows: what its menu item, status line and tool
// bar button show.
std::span<const CommandEntry> CommandTable();

// The status line part of a prompt ("text before \n") and the tool tip part.
QString PromptStatus(const char* prompt);
QString PromptTip(const char* prompt);
