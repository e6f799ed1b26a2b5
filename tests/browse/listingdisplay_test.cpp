// How a listing answer becomes rows: order, skipped names, sizes, times.
#include <gtest/gtest.h>

#include <string>

#include "browse/listingdisplay.h"
#include "core/carchive.h"
#include "core/citeminfo.h"

namespace {

std::string Names(const std::vector<ListingEntry>& entries) {
  std::string names;
  for (const ListingEntry& entry : entries) names += entry.name.toStdString() + (entry.directory ? "/ " : " ");
  return names;
}

// A name is shown decoded but always gives back the server's bytes, also
// from a stored list, and as a URL segment the engine decodes to them. (A
// listing's names, end to end: browseftp_test.)
TEST(ListingDisplay, NamesKeepTheServersBytes) {
  const struct {
    std::string raw;
    const char* shown;  // UTF-8
    const char* url;
  } cases[] = {
      {"caf\xC3\xA9", "caf\xC3\xA9", "caf\xC3\xA9"},  // UTF-8: readable in the URL too
      {"caf\xE9", "caf\xC3\xA9", "caf%E9"},           // Latin-1: shown alike, other bytes
      {"100%", "100%", "100%25"},
      {"50%\xE9 off", "50%\xC3\xA9 off", "50%25%E9 off"},
      {"\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9", "%C3%A9%E9"},  // not UTF-8 as a whole
      {"\xEF\xBB\xBF"
       "bom",
       nullptr, "%EF%BB%BFbom"},  // shown without its mark
  };
  for (const auto& c : cases) {
    CItemInfo info;
    info.subitems = {QStringLiteral("1"), QStringLiteral("2001/01/05 00:00")};
    SetServerName(info, c.raw);
    if (c.shown) {
      EXPECT_EQ(info.text.toStdString(), c.shown) << c.raw;
    }
    EXPECT_EQ(info.GetSubItem(0).toStdString(), "1") << "the columns stay";
    EXPECT_EQ(ServerName(info), c.raw);
    EXPECT_EQ(UrlPathSegment(info).toStdString(), c.url) << c.raw;

    CArchive out;
    info.Serialize(out);
    CArchive in(out.Bytes());
    CItemInfo loaded;
    loaded.Serialize(in);
    EXPECT_EQ(ServerName(loaded), c.raw) << "from the list file";

    SetServerName(info, "again.txt");  // a row reused for a UTF-8 name keeps no old bytes
    EXPECT_EQ(ServerName(info), "again.txt") << c.raw;
  }
}

TEST(ListingDisplay, DirectoriesFirstInArrivalOrderDotsSkipped) {
  const std::string reply =
      "-rw-r--r-- 1 u g 10 Jan  5  2001 zeta.txt\r\n"
      "drwxr-xr-x 2 u g 512 Jan  5  2001 .\r\n"
      "drwxr-xr-x 2 u g 512 Jan  5  2001 ..\r\n"
      "drwxr-xr-x 2 u g 512 Jan  5  2001 pub\r\n"
      "-rw-r--r-- 1 u g 20 Jan  5  2001 alpha.txt\r\n"
      "total 12\r\n"
      "lrwxrwxrwx 1 u g 7 Jan  5  2001 link -> pub\r\n"
      "drwxr-xr-x 2 u g 512 Jan  5  2001 incoming\r\n";
  const auto entries = ParseListing(reply);
  EXPECT_EQ(Names(entries), "pub/ link/ incoming/ zeta.txt alpha.txt ");
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[3].size.toStdString(), "10");
  EXPECT_EQ(entries[3].time.toStdString(), "2001/01/05 00:00") << "UTC, to the minute";
}

TEST(ListingDisplay, LineEndsAndUnfinishedLines) {
  const struct {
    const char* name;
    std::string reply;
    const char* names;
  } cases[] = {
      {"lf only", "-rw-r--r-- 1 u g 1 Jan 5 2001 a\n-rw-r--r-- 1 u g 1 Jan 5 2001 b\n", "a b "},
      {"no line end", "-rw-r--r-- 1 u g 1 Jan 5 2001 a", ""},
      {"text after the last line end", "-rw-r--r-- 1 u g 1 Jan 5 2001 a\r\n-rw-r--r-- 1 u g 1 Jan 5 2001 b", "a "},
      {"empty listing", " ", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Names(ParseListing(c.reply)), c.names) << c.name;
}

TEST(ListingDisplay, PwdDirectory) {
  const struct {
    const char* reply;
    const char* directory;
  } cases[] = {
      {"257 \"/home/user\" is the current directory\r\n", "/home/user"},
      {"257 \"/\"\r\n", "/"},
      {"257 /home/user\r\n", ""},
      {"257 \"unterminated\r\n", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PwdDirectory(c.reply), c.directory) << c.reply;
}

}  // namespace
