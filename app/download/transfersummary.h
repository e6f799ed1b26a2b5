// All downloads at a glance: how many run, how fast together and how long
// until every one of them is in.
#pragma once

#include <QString>

#include <cstdint>

struct TransferSummary {
  int running = 0;
  int64_t speed = 0;      // bytes per second, all tasks together
  int64_t remaining = 0;  // bytes still to fetch by the running tasks
  bool lengthsknown = true;
};

// "2 running, 3.4 MiB/s, 0:12 left"; "—" for a time that cannot be told.
QString SummaryText(const TransferSummary& summary);

// "73.1 MiB of 100 MiB, 1.8 MiB/s"; without a length (negative) only what
// is in and the speed.
QString ProgressTip(int64_t done, int64_t total, int64_t speed);

// "0:12", rounded up so it is never early; "—" without a length or a speed.
QString TimeLeftText(int64_t remaining, int64_t speed, bool lengthknown = true);
