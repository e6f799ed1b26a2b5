#include "progressline.h"

#include <QLocale>

#include <algorithm>

#include "download/numbertext.h"
#include "download/transfersummary.h"

namespace {
QString Size(int64_t bytes) { return QLocale().formattedDataSize(bytes, 1); }
}  // namespace

QString ProgressLine(const ProgressFacts& facts) {
  const bool known = facts.total >= 0;
  const int64_t remaining = known ? std::max<int64_t>(0, facts.total - facts.done) : -1;
  // Complete is complete, even when the last pass measured no speed.
  const QString left = remaining == 0 ? DurationText(0) : TimeLeftText(remaining, facts.smoothed, known);
  return QStringLiteral("%1 / %2  %3%  %4/s  %5 left  [%6/%7]")
      .arg(Size(facts.done), known ? Size(facts.total) : QStringLiteral("?"),
           facts.percent.isEmpty() ? QStringLiteral("?") : facts.percent, Size(facts.speed), left)
      .arg(facts.connected)
      .arg(facts.branches);
}

QString FinishedLine(const QString& path, int64_t size, double seconds) {
  const int64_t speed = seconds > 0 ? static_cast<int64_t>(static_cast<double>(size) / seconds) : 0;
  return QStringLiteral("%1: %2 (%3 bytes) in %4 s, %5/s")
      .arg(path, Size(size), GroupNumber(size), QString::number(seconds, 'f', 1), Size(speed));
}
