// Numbers as the download list shows and stores them.
#pragma once

#include <QString>

#include <cstdint>

// "1234567" -> "1,234,567". A leading minus counts as a character, so
// "-100" becomes "-,100"; only sizes and speeds are grouped.
QString GroupDigits(const QString& digits);
QString GroupNumber(int64_t value);

// Offsets are kept as plain signed decimal texts. A text that is not one
// reads as 0 (ok false).
QString OffsetText(int64_t value);
int64_t ParseOffset(const QString& text, bool* ok = nullptr);

// "0:19", "12:05", "1:02:03" for a number of seconds.
QString DurationText(int64_t seconds);

// The millisecond tick the engine uses for its start and last times.
uint32_t TickCount();
