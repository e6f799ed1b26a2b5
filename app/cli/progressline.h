// The texts skylark-cli get writes to standard error about a download: its
// progress line, redrawn or repeated while it runs, and the last word on a
// complete file. Sizes and speeds read as the status bar's do.
#pragma once

#include <QString>

#include <cstdint>

struct ProgressFacts {
  int64_t done = 0;
  int64_t total = -1;    // -1 while the length is not known
  QString percent;       // the list's, empty while it cannot be told
  int64_t speed = 0;     // bytes per second over the last pass
  int64_t smoothed = 0;  // the speed the time left is drawn from
  unsigned connected = 0;
  unsigned branches = 1;
};

// "12.3 MiB / 100.0 MiB  12%  4.5 MiB/s  0:19 left  [4/4]"
QString ProgressLine(const ProgressFacts& facts);

// "path: 100.0 MiB (104,857,600 bytes) in 3.2 s, 31.2 MiB/s"
QString FinishedLine(const QString& path, int64_t size, double seconds);
