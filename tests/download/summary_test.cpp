// The status bar's summary of all downloads and the time texts it uses.
#include <QLocale>

#include <gtest/gtest.h>

#include "download/numbertext.h"
#include "download/smoothedspeed.h"
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

// A burst or a stall moves the estimate only part of the way, and a gap of
// many seconds lets the new speed take over.
TEST(Summary, SmoothedSpeedFollowsWithoutJumping) {
  SmoothedSpeed speed;
  speed.Add(1000, 0);
  EXPECT_EQ(speed.Value(), 1000);
  speed.Add(0, 1000);  // one second of nothing
  EXPECT_GT(speed.Value(), 700);
  EXPECT_LT(speed.Value(), 900);
  speed.Add(4000, 1000);  // same moment: no weight
  EXPECT_LT(speed.Value(), 900);
  speed.Add(4000, 61000);
  EXPECT_EQ(speed.Value(), 4000);
  speed.Reset();
  speed.Add(10, 62000);
  EXPECT_EQ(speed.Value(), 10);

  EXPECT_EQ(TimeLeftText(3000, 1000), QLatin1String("0:03"));
  EXPECT_EQ(TimeLeftText(3001, 1000), QLatin1String("0:04"));
  EXPECT_EQ(TimeLeftText(5, 0), QString::fromUtf8("\u2014"));
  EXPECT_EQ(TimeLeftText(5, 10, false), QString::fromUtf8("\u2014"));
}

}  // namespace
