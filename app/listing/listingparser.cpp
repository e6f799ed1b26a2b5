// The listing style is told by the first character: "+" EPLF, a UNIX file
// type letter, a ";" anywhere (VMS version), or a digit (MS-DOS date).
//
// A server may send anything, cut anywhere, so every walk below fails as soon
// as the line runs out, and every number is checked digit by digit and for
// overflow: a field that is not a number leaves its size or time unknown
// rather than turning into a wrong value. Times are 64-bit seconds.

#include "listingparser.h"

#include <chrono>
#include <cstddef>
#include <limits>
#include <optional>
#include <string_view>

namespace {

using std::string_view;

constexpr int64_t secondsperday = 86400;
// A UNIX date without a year lies at most this far in the past.
constexpr int64_t guesswindow = 350 * secondsperday;

std::optional<int64_t> decimal(string_view text) {
  if (text.empty()) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    int digit = c - '0';
    if (value > (std::numeric_limits<int64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

char lowercase(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// 0..11 for a three-letter English month name in either case, else -1.
int month(string_view text) {
  static constexpr string_view names = "janfebmaraprmayjunjulaugsepoctnovdec";
  if (text.size() != 3) return -1;
  for (int m = 0; m < 12; ++m) {
    string_view name = names.substr(size_t(m) * 3, 3);
    if (lowercase(text[0]) == name[0] && lowercase(text[1]) == name[1] && lowercase(text[2]) == name[2]) return m;
  }
  return -1;
}

// Seconds from 1970-01-01 to the start of a Gregorian day (month 0-based); a
// day past its month's end runs on into the next month.
int64_t dayseconds(int64_t year, int month, int64_t day) {
  int64_t y = year - (month < 2);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yearofera = y - era * 400;
  int64_t marchmonth = month < 2 ? month + 10 : month - 2;
  int64_t dayofyear = (153 * marchmonth + 2) / 5 + day - 1;
  int64_t dayofera = yearofera * 365 + yearofera / 4 - yearofera / 100 + dayofyear;
  return (era * 146097 + dayofera - 719468) * secondsperday;
}

// A date as listed, or nothing when a part of it is not a plausible value.
std::optional<int64_t> datestart(std::optional<int64_t> year, int month, std::optional<int64_t> day) {
  if (!year || *year > 9999 || month < 0 || month > 11 || !day || *day < 1 || *day > 31) return std::nullopt;
  return dayseconds(*year, month, *day);
}

std::optional<int64_t> clockseconds(std::optional<int64_t> hour, std::optional<int64_t> minute) {
  if (!hour || *hour > 23 || !minute || *minute > 59) return std::nullopt;
  return (*hour * 60 + *minute) * 60;
}

// The most recent occurrence of the day that is less than 350 days old, so a
// date a few days ahead of the clock still counts as this year.
std::optional<int64_t> guessyear(int month, std::optional<int64_t> day) {
  using namespace std::chrono;
  const auto clock = system_clock::now();
  const int64_t now = duration_cast<seconds>(clock.time_since_epoch()).count();
  const int thisyear = int(year_month_day{floor<days>(clock)}.year());
  for (int year = thisyear - 1; year <= thisyear + 99; ++year) {
    std::optional<int64_t> start = datestart(year, month, day);
    if (!start) return std::nullopt;
    if (now - *start < guesswindow) return start;
  }
  return std::nullopt;
}

void settime(ParsedLine& out, int type, std::optional<int64_t> date, std::optional<int64_t> time) {
  if (date && time) {
    out.mtimetype = type;
    out.mtime = *date + *time;
  }
}

void setsize(ParsedLine& out, std::optional<int64_t> size) {
  if (size) {
    out.sizetype = 1;
    out.size = *size;
  }
}

// Walks a line left to right. Once a step runs into the end of the line the
// walk counts as failed and every later step yields nothing.
class Cursor {
 public:
  Cursor(string_view line, size_t at) : line_(line), at_(at) {}

  // Up to the next of stops, which stays unread.
  string_view upto(string_view stops, bool endcounts = false) {
    size_t end = line_.find_first_of(stops, at_);
    if (end == string_view::npos) {
      if (!endcounts) ended_ = true;
      end = line_.size();
    }
    string_view field = line_.substr(at_, end - at_);
    at_ = end;
    return field;
  }
  string_view digits() {
    size_t start = at_;
    while (at_ < line_.size() && line_[at_] >= '0' && line_[at_] <= '9') ++at_;
    return line_.substr(start, at_ - start);
  }
  string_view field() { return upto(" "); }
  void skipfield() { field(); }
  void skipone() {
    if (at_ < line_.size()) ++at_;
    if (at_ == line_.size()) ended_ = true;
  }
  void skipspaces() {
    while (at_ < line_.size() && line_[at_] == ' ') ++at_;
    if (at_ == line_.size()) ended_ = true;
  }
  char peek() const { return at_ < line_.size() ? line_[at_] : '\0'; }
  string_view rest() const { return line_.substr(at_); }
  bool ended() const { return ended_; }

 private:
  string_view line_;
  size_t at_;
  bool ended_ = false;
};

// "+" facts, each ended by ",", then a TAB and the name.
bool parseeplf(ParsedLine& out, string_view line, string_view& name) {
  size_t factstart = 1;
  for (size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\t') {
      name = line.substr(i + 1);
      return true;
    }
    if (line[i] != ',') continue;
    string_view fact = line.substr(factstart, i - factstart);
    factstart = i + 1;
    if (fact.empty()) continue;
    string_view value = fact.substr(1);
    switch (fact[0]) {
      case '/':
        out.trycwd = 1;
        break;
      case 'r':
        out.tryretr = 1;
        break;
      case 's':
        setsize(out, decimal(value));
        break;
      case 'm':
        settime(out, 1, decimal(value), 0);
        break;
      case 'i':
        out.idtype = 1;
        out.id = value.data();
        out.idlen = int(value.size());
        break;
      default:
        break;
    }
  }
  return false;
}

// mode [links] [owner] [group] size month day time-or-year name. The owner
// and group may be missing and a group may look like a number, so the size is
// the last field before the month name.
bool parseunix(ParsedLine& out, string_view line, string_view& name) {
  const char type = line[0];
  out.trycwd = type == 'd' || type == 'l';
  out.tryretr = type == '-' || type == 'l';
  enum State { Mode = 1, Links, Owner, Group, Size, Day, Time, Name };
  State state = Mode;
  std::optional<int64_t> size, day;
  int monthindex = -1;
  size_t at = 0;
  while (state != Name) {
    while (at < line.size() && line[at] == ' ') ++at;
    if (at == line.size()) return false;
    size_t start = at;
    while (at < line.size() && line[at] != ' ') ++at;
    string_view field = line.substr(start, at - start);
    switch (state) {
      case Mode:
        state = Links;
        break;
      case Links:
        state = field.size() == 6 && field[0] == 'f' ? Group : Owner;
        break;
      case Owner:
        state = Group;
        break;
      case Group:
        size = decimal(field);
        state = Size;
        break;
      case Size:
        monthindex = month(field);
        if (monthindex >= 0)
          state = Day;
        else
          size = decimal(field);
        break;
      case Day:
        day = decimal(field);
        state = Time;
        break;
      case Time: {
        size_t colon = field.find(':');
        if ((field.size() == 4 && colon == 1) || (field.size() == 5 && colon == 2)) {
          settime(out, 2, guessyear(monthindex, day),
                  clockseconds(decimal(field.substr(0, colon)), decimal(field.substr(colon + 1))));
        } else {
          if (field.size() < 4) return false;
          settime(out, 3, datestart(decimal(field), monthindex, day), 0);
        }
        if (at == line.size()) return false;
        name = line.substr(at + 1);
        state = Name;
        break;
      }
      case Name:
        break;
    }
  }
  setsize(out, size);
  if (type == 'l' && name.size() >= 4) {
    size_t arrow = name.find(" -> ");
    if (arrow != string_view::npos) name = name.substr(0, arrow);
  }
  if ((line[1] == ' ' || line[1] == '[') && name.size() > 3 && name.starts_with("   ")) name.remove_prefix(3);
  return true;
}

// NAME.EXT;version blocks dd-MMM-yyyy hh:mm[:ss] ...
bool parsevms(ParsedLine& out, string_view line, size_t semicolon, string_view& name) {
  name = line.substr(0, semicolon);
  if (name.size() >= 5 && name.ends_with(".DIR")) {
    out.trycwd = 1;
    name.remove_suffix(4);
  } else {
    out.tryretr = 1;
  }
  Cursor at(line, semicolon);
  at.skipfield();
  at.skipspaces();
  at.skipfield();
  at.skipspaces();
  std::optional<int64_t> day = decimal(at.upto("-"));
  at.skipone();
  int monthindex = month(at.upto("-"));
  if (monthindex < 0) return false;
  at.skipone();
  std::optional<int64_t> year = decimal(at.upto(" "));
  at.skipspaces();
  std::optional<int64_t> hour = decimal(at.upto(":"));
  at.skipone();
  // A line may stop right after the minute.
  std::optional<int64_t> minute = decimal(at.upto(": ", true));
  if (at.ended()) return false;
  settime(out, 2, datestart(year, monthindex, day), clockseconds(hour, minute));
  return true;
}

// mm-dd-yy hh:mmAM <DIR> name, or a size instead of <DIR>.
bool parsedos(ParsedLine& out, string_view line, string_view& name) {
  Cursor at(line, 0);
  std::optional<int64_t> monthnumber = decimal(at.upto("-"));
  at.skipone();
  std::optional<int64_t> day = decimal(at.upto("-"));
  at.skipone();
  std::optional<int64_t> year = decimal(at.upto(" "));
  at.skipspaces();
  std::optional<int64_t> hour = decimal(at.upto(":"));
  at.skipone();
  std::optional<int64_t> minute = decimal(at.digits());
  // Without AM or PM the hour is already 0..23.
  if (hour && (at.peek() == 'A' || at.peek() == 'P')) {
    if (*hour == 12) *hour = 0;
    if (at.peek() == 'P') *hour += 12;
    at.skipone();
    if (at.peek() == 'M') at.skipone();
  }
  at.skipspaces();
  if (at.peek() == '<') {
    out.trycwd = 1;
    at.skipfield();
  } else {
    out.tryretr = 1;
    setsize(out, decimal(at.field()));
  }
  at.skipspaces();
  if (at.ended()) return false;
  name = at.rest();
  if (year && *year < 50) *year += 2000;
  if (year && *year < 1000) *year += 1900;
  int monthindex = monthnumber && *monthnumber >= 1 && *monthnumber <= 12 ? int(*monthnumber) - 1 : -1;
  settime(out, 2, datestart(year, monthindex, day), clockseconds(hour, minute));
  return true;
}

bool parse(ParsedLine& out, string_view line, string_view& name) {
  const char first = line[0];
  if (first == '+') return parseeplf(out, line, name);
  if (string_view("bcdlps-").find(first) != string_view::npos) return parseunix(out, line, name);
  const bool digit = first >= '0' && first <= '9';
  size_t semicolon = line.find(';');
  if (semicolon != string_view::npos) {
    if (parsevms(out, line, semicolon, name)) return true;
    // An MS-DOS name may hold a ";" too.
    out = ParsedLine{};
    name = {};
    if (!digit) return false;
  }
  return digit && parsedos(out, line, name);
}

}  // namespace

int parselistingline(ParsedLine& out, const char* line, int length) {
  out = ParsedLine{};
  if (line == nullptr || length < 2) return 0;
  string_view name;
  if (!parse(out, string_view(line, size_t(length)), name) || name.empty()) {
    out = ParsedLine{};
    return 0;
  }
  out.name = name.data();
  out.namelen = int(name.size());
  return 1;
}
