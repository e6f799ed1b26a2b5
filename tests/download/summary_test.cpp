// The status bar's summary of all downloads and the time texts it uses.
#include <QLocale>

#include <gtest/gtest.h>

#include "download/numbertext.h"
#include "download/transfersummary.h"

namespace {

TEST(Summary, SaysWhatRunsHowFastAndForHowLong) {
  QLocale::setDefault(QLocale::c());
  constexpr int64_t kMiB = 1 << 20;
  struct Case {
    TransferSummary summary;
    const char* text;
  } cases[] = {
      {{0, 0, 0, true}, "No download running"},
      {{2, kMiB, 3 * kMiB, true}, "2 running, 1.0 MiB/s, 0:03 left"},
      {{1, kMiB, 3 * kMiB + 1, true}, "1 running, 1.0 MiB/s, 0:04 left"},  // never early
      {{1, 0, kMiB, true}, "1 running, 0 bytes/s, \u2014 left"},           // retrying: no time to tell
      {{3, 2 * kMiB, kMiB, false}, "3 running, 2.0 MiB/s, \u2014 left"},   // one length unknown
  };
  for (const Case& c : cases) EXPECT_EQ(SummaryText(c.summary), QString::fromUtf8(c.text)) << c.text;

  const std::pair<int64_t, const char*> durations[] = {
      {-5, "0:00"}, {19, "0:19"}, {725, "12:05"}, {3723, "1:02:03"}, {360000, "100:00:00"}};
  for (const auto& [seconds, text] : durations) EXPECT_EQ(DurationText(seconds), QLatin1String(text)) << seconds;
}

}  // namespace
