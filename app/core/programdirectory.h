// Where the program keeps its list files: $SKYLARK_HOME when set; else the
// executable's directory when it is writable; else $XDG_DATA_HOME/skylark
// (~/.local/share/skylark), created on first use: the engine's own rule.
#pragma once

#include <QString>

QString ProgramDirectory();
