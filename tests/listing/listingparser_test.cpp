#include "listing/listingparser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

std::string utc(int64_t seconds) {
  std::time_t t = std::time_t(seconds);
  std::tm parts{};
  if (gmtime_r(&t, &parts) == nullptr) return "bad time";
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &parts);
  return text;
}

// One line per entry, e.g. "dir 'pub' size 512 time 2001/01/05 00:00:00 t3";
// "-" marks an unknown size or time.
std::string dump(int result, const ParsedLine& p) {
  if (result == 0) return "none";
  static const char* const kinds[] = {"other", "file", "dir", "link"};
  std::string text = kinds[p.trycwd * 2 + p.tryretr];
  text += " '" + std::string(p.name, size_t(p.namelen)) + "' size ";
  text += p.sizetype ? std::to_string(p.size) : "-";
  text += " time ";
  text += p.mtimetype ? utc(p.mtime) + " t" + std::to_string(p.mtimetype) : "-";
  if (p.idtype) text += " id '" + std::string(p.id, size_t(p.idlen)) + "'";
  return text;
}

// "#" in the expected text stands for any digit (a guessed year).
bool matches(const std::string& expected, const std::string& actual) {
  if (expected.size() != actual.size()) return false;
  for (size_t i = 0; i < expected.size(); ++i)
    if (expected[i] != actual[i] && !(expected[i] == '#' && std::isdigit(static_cast<unsigned char>(actual[i]))))
      return false;
  return true;
}

std::string parsed(const std::string& line) {
  ParsedLine p{};
  int result = parselistingline(p, line.data(), int(line.size()));
  return dump(result, p);
}

struct Row {
  const char* quirk;
  std::string line;
  std::string expected;
};

const Row rows[] = {
    {"unix dir, time of day", "drwxr-xr-x   2 user group 512 Oct 15 12:30 pub",
     "dir 'pub' size 512 time ####/10/15 12:30:00 t2"},
    {"unix file, year", "-rw-r--r-- 1 user group 1048576 Jan  5  2001 file.zip",
     "file 'file.zip' size 1048576 time 2001/01/05 00:00:00 t3"},
    {"unix symlink", "lrwxrwxrwx 1 root root 7 Mar 1 10:00 link -> target",
     "link 'link' size 7 time ####/03/01 10:00:00 t2"},
    {"unix no group", "-rw-r--r--   1 ftp          4096 JUN  3  2019 nogroup.txt",
     "file 'nogroup.txt' size 4096 time 2019/06/03 00:00:00 t3"},
    {"unix numeric owner, leap day", "-rw-r--r--    1 1001     100        123456 Feb 29  2020 leap.dat",
     "file 'leap.dat' size 123456 time 2020/02/29 00:00:00 t3"},
    {"unix size above 2^32", "-rw-r--r-- 1 ftp ftp 5368709120 Jul  4  2022 dvd.iso",
     "file 'dvd.iso' size 5368709120 time 2022/07/04 00:00:00 t3"},
    {"unix name with blanks", "-rw-r--r-- 1 ftp ftp 10 Apr 30  2021 my  file .txt",
     "file 'my  file .txt' size 10 time 2021/04/30 00:00:00 t3"},
    {"unix one-digit hour", "-rw-r--r-- 1 ftp ftp 10 Aug 9 9:05 early",
     "file 'early' size 10 time ####/08/09 09:05:00 t2"},
    {"unix char device", "crw-rw-rw-   1 root     tty        5,   0 Jan 20  2000 tty",
     "other 'tty' size 0 time 2000/01/20 00:00:00 t3"},
    {"unix folder instead of links", "drwxrwxrwx               folder        2 May 10  1996 network",
     "dir 'network' size 2 time 1996/05/10 00:00:00 t3"},
    {"netware file", "- [RWCEAFMS] rhesus             214059       Oct 20 15:27    cx.exe",
     "file 'cx.exe' size 214059 time ####/10/20 15:27:00 t2"},
    {"unix size not a number", "-rw-r--r-- 1 ftp ftp 12K Jan 5 2001 x", "file 'x' size - time 2001/01/05 00:00:00 t3"},
    {"unix size overflows", "-rw-r--r-- 1 ftp ftp 99999999999999999999 Jan 5 2001 x",
     "file 'x' size - time 2001/01/05 00:00:00 t3"},
    {"unix day out of range", "-rw-r--r-- 1 ftp ftp 1 Jan 99 2001 x", "file 'x' size 1 time -"},
    {"unix year overflows", "-rw-r--r-- 1 ftp ftp 1 Jan 9 99999999999999999999 x", "file 'x' size 1 time -"},
    {"unix total line", "total 14", "none"},
    {"unix ends before name", "-rw-r--r-- 1 ftp ftp 10 Jan 5 2001", "none"},
    {"unix empty name", "-rw-r--r-- 1 ftp ftp 10 Jan 5 2001 ", "none"},
    {"unix three-digit year", "-rw-r--r-- 1 ftp ftp 10 Jan 5 201 x", "none"},
    {"eplf dir with id", "+i8388621.29609,m824255902,/,\tdev",
     "dir 'dev' size - time 1996/02/13 23:58:22 t1 id '8388621.29609'"},
    {"eplf file, all facts", "+i8388621.44468,m839956783,r,s10376,\tRFCEPLF",
     "file 'RFCEPLF' size 10376 time 1996/08/13 17:19:43 t1 id '8388621.44468'"},
    {"eplf unknown fact, size above 2^32", "+up644,s6000000000,r,\tbig iso", "file 'big iso' size 6000000000 time -"},
    {"eplf no tab", "+i1,m2,r,s3,name", "none"},
    {"eplf empty name", "+/,\t", "none"},
    {"vms directory", "CORE.DIR;1  1 13-NOV-1997 09:27 [SYSTEM]", "dir 'CORE' size - time 1997/11/13 09:27:00 t2"},
    {"vms blocks used/allocated, seconds",
     "CII-MANUAL.TEX;1  213/216  29-JAN-1996 03:33:12  [ANONYMOU,ANONYMOUS]   (RWED,RWED,,)",
     "file 'CII-MANUAL.TEX' size - time 1996/01/29 03:33:00 t2"},
    {"vms version 12, one-digit day", "README.TXT;12    2  1-FEB-2003 17:05:59.00  [SYSTEM]",
     "file 'README.TXT' size - time 2003/02/01 17:05:00 t2"},
    {"vms ends after minute", "FILE.TXT;1 2 1-JAN-2000 10:00", "file 'FILE.TXT' size - time 2000/01/01 10:00:00 t2"},
    {"vms bad month", "FILE.TXT;1 2 1-XYZ-2000 10:00 [X]", "none"},
    {"vms name alone", "VERYLONGNAME.TXT;1", "none"},
    {"dos dir, pm", "04-27-00  09:09PM       <DIR>          public", "dir 'public' size - time 2000/04/27 21:09:00 t2"},
    {"dos 12am is midnight", "01-01-99  12:00AM   1 midnight", "file 'midnight' size 1 time 1999/01/01 00:00:00 t2"},
    {"dos 12pm is noon", "01-01-99  12:30PM   1 noon", "file 'noon' size 1 time 1999/01/01 12:30:00 t2"},
    {"dos four-digit year, size above 2^32", "02-05-2013  09:24AM       5000000000 disk.img",
     "file 'disk.img' size 5000000000 time 2013/02/05 09:24:00 t2"},
    {"dos 24-hour clock", "02-05-2013  21:24       <DIR>          APPS",
     "dir 'APPS' size - time 2013/02/05 21:24:00 t2"},
    {"dos name with blanks and ;", "11-02-01  08:00AM   12 a b;1.txt",
     "file 'a b;1.txt' size 12 time 2001/11/02 08:00:00 t2"},
    {"dos month 13", "13-02-01  08:00AM   12 x", "file 'x' size 12 time -"},
    {"dos ends after size", "11-02-01  08:00AM   1234   ", "none"},
    {"dos ends before size", "11-02-01  08:00AM", "none"},
    {"vms header", "Directory DISK$USER:[ANONYMOUS]", "none"},
    {"a name 600 long", "-rw-r--r-- 1 ftp ftp 7 Jan 5 2001 " + std::string(600, 'n') + ".txt",
     "file '" + std::string(600, 'n') + ".txt' size 7 time 2001/01/05 00:00:00 t3"},
};

TEST(ListingParser, TableOfServerLines) {
  for (const Row& row : rows) {
    std::string actual = parsed(row.line);
    EXPECT_TRUE(matches(row.expected, actual))
        << row.quirk << "\n  line:     " << row.line << "\n  expected: " << row.expected << "\n  actual:   " << actual;
  }
}

// A UNIX date without a year is placed within the last 350 days, or a little
// ahead of the clock rather than almost a year back.
TEST(ListingParser, GuessesTheYearFromTheClock) {
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  const struct {
    int daysago;
    int yearshift;
  } cases[] = {{0, 0}, {10, 0}, {200, 0}, {345, 0}, {360, 1}, {-20, -1}};
  for (const auto& c : cases) {
    std::time_t when = now - std::time_t(c.daysago) * 86400;
    std::tm day{};
    ASSERT_NE(gmtime_r(&when, &day), nullptr);
    if (day.tm_mon == 1 && day.tm_mday == 29) continue;
    std::string line =
        "-rw-r--r-- 1 u g 1 " + std::string(months[day.tm_mon]) + " " + std::to_string(day.tm_mday) + " 07:30 f";
    day.tm_year += c.yearshift;
    day.tm_hour = 7;
    day.tm_min = 30;
    day.tm_sec = 0;
    EXPECT_EQ(parsed(line), "file 'f' size 1 time " + utc(timegm(&day)) + " t2")
        << line << " (" << c.daysago << " days ago)";
  }
}

// Every prefix of every line, and every line with one byte replaced by a
// separator or a stray byte, lands in a buffer of exactly its length so that
// a read past the end is caught; whatever comes back must point into it.
TEST(ListingParser, CutAndMangledLinesStayInBounds) {
  std::vector<std::string> lines;
  for (const Row& row : rows) {
    for (size_t n = 0; n <= row.line.size(); ++n) lines.push_back(row.line.substr(0, n));
    for (size_t i = 0; i < row.line.size(); ++i)
      for (char c : {' ', '\t', ';', '-', ':', ',', '<', '\xff', '9'}) {
        lines.push_back(row.line);
        lines.back()[i] = c;
      }
  }
  std::mt19937 random(7);
  const std::string alphabet = "+-dl;:<>,\t 0123456789JanDIR.AP";
  for (int i = 0; i < 20000; ++i) {
    std::string line(random() % 40, ' ');
    for (char& c : line) c = alphabet[random() % alphabet.size()];
    lines.push_back(line);
  }
  for (const std::string& text : lines) {
    const size_t n = text.size();
    auto buffer = std::make_unique<char[]>(n);
    std::copy(text.begin(), text.end(), buffer.get());
    ParsedLine p{};
    if (parselistingline(p, buffer.get(), int(n)) == 0) {
      EXPECT_EQ(p.name, nullptr) << text;
      continue;
    }
    const char* end = buffer.get() + n;
    ASSERT_TRUE(p.namelen > 0 && p.name >= buffer.get() && p.name + p.namelen <= end) << text;
    ASSERT_TRUE(!p.idtype || (p.idlen >= 0 && p.id >= buffer.get() && p.id + p.idlen <= end)) << text;
    EXPECT_TRUE(p.sizetype || p.size == 0) << text;
  }
}

}  // namespace
