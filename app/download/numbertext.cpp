#include "numbertext.h"

#include <time.h>

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

uint32_t TickCount() {
  timespec now{};
  if (clock_gettime(CLOCK_MONOTONIC, &now) != 0) return 0;
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}
