#include "transfersummary.h"

#include <QLocale>

#include <algorithm>

#include "numbertext.h"

QString SummaryText(const TransferSummary& summary) {
  if (summary.running == 0) return QStringLiteral("No download running");
  const QLocale locale;
  const QString speed = locale.formattedDataSize(summary.speed, 1) + QStringLiteral("/s");
  const QString left = TimeLeftText(summary.remaining, summary.speed, summary.lengthsknown);
  return QStringLiteral("%1 running, %2, %3 left").arg(summary.running).arg(speed, left);
}

QString ProgressTip(int64_t done, int64_t total, int64_t speed) {
  const QLocale locale;
  const QString received = locale.formattedDataSize(std::max<int64_t>(0, done), 1);
  const QString rate = locale.formattedDataSize(std::max<int64_t>(0, speed), 1) + QStringLiteral("/s");
  if (total < 0) return QStringLiteral("%1, %2").arg(received, rate);
  return QStringLiteral("%1 of %2, %3").arg(received, locale.formattedDataSize(total, 1), rate);
}

QString TimeLeftText(int64_t remaining, int64_t speed, bool lengthknown) {
  if (!lengthknown || speed <= 0 || remaining < 0) return QStringLiteral("\u2014");
  return DurationText((remaining + speed - 1) / speed);
}
