// The local file a download writes, as the program prepares it.
#pragma once

#include <QByteArray>

// Opens `path` for writing without following a link at its name, creating
// it (0644) when missing; `created` says whether this call made it, so a
// failure before the first byte removes only a file the task made.
int OpenFreshLocalFile(const QByteArray& path, bool& created);
