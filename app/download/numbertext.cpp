#include "numbertext.h"

#include <time.h>

#include <algorithm>

QString GroupDigits(const QString& digits) {
  QString rest = digits;
  QString result;
  while (rest.size() > 3) {
    result.prepend(u',' + rest.right(3));
    rest.chop(3);
  }
  return rest + result;
}

QString GroupNumber(int64_t value) { return GroupDigits(OffsetText(value)); }

QString OffsetText(int64_t value) { return QString::number(static_cast<qlonglong>(value)); }

int64_t ParseOffset(const QString& text, bool* ok) {
  bool parsed = false;
  const qlonglong value = text.trimmed().toLongLong(&parsed);
  if (ok) *ok = parsed;
  return parsed ? static_cast<int64_t>(value) : 0;
}

QString DurationText(int64_t seconds) {
  seconds = std::max<int64_t>(0, seconds);
  const int64_t hours = seconds / 3600, minutes = seconds / 60 % 60, rest = seconds % 60;
  const QString tail = QStringLiteral("%1").arg(rest, 2, 10, QLatin1Char('0'));
  if (hours == 0) return QStringLiteral("%1:%2").arg(minutes).arg(tail);
  return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(tail);
}

uint32_t TickCount() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
