#include "transfersummary.h"

#include <QLocale>

#include "numbertext.h"

QString SummaryText(const TransferSummary& summary) {
  if (summary.running == 0) return QStringLiteral("No download running");
  const QLocale locale;
  const QString speed = locale.formattedDataSize(summary.speed, 1) + QStringLiteral("/s");
  const QString left = summary.lengthsknown && summary.speed > 0
                           ? DurationText((summary.remaining + summary.speed - 1) / summary.speed)
                           : QStringLiteral("\u2014");
  return QStringLiteral("%1 running, %2, %3 left").arg(summary.running).arg(speed, left);
}
