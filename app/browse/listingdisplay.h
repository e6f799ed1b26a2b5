// How a directory listing is shown under its tree item: the entries of an
// FTP "list" answer in display order, with their size and time texts.
#pragma once

#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CItemInfo;

struct ListingEntry {
  QString name;            // as shown
  std::string raw;         // as the server sent it
  bool directory = false;  // can be entered: a directory or a link
  QString size;
  QString time;
};

// Server text (names, directories) as bytes: UTF-8 when it is valid UTF-8,
// else Latin-1, so that no byte turns into a replacement character.
QString DecodeServerText(std::string_view bytes);

// A browse entry's name is shown decoded, but every command sent back must
// carry the server's own bytes. When the text cannot give them back (a
// name that is not UTF-8) they are kept in this sub-item, one character per
// byte; it lies past the list's columns, so it is never shown.
inline constexpr int kServerNameSubItem = 2;
// Sets the entry's text from the server's bytes and keeps them beside it.
void SetServerName(CItemInfo& info, std::string_view bytes);
// The bytes the server knows the entry by.
std::string ServerName(const CItemInfo& info);
// The entry's name as a URL path segment that the engine decodes back to
// the server's bytes: a UTF-8 name stays readable, only "%" is escaped;
// any other name has its bytes above 0x7F escaped as well.
QString UrlPathSegment(const CItemInfo& info);

// The directory a "pwd" answer names: the text between its first and its
// second double quote; empty when it has fewer than two.
std::string PwdDirectory(const std::string& reply);

// "1,234,567"; the full 64-bit value, so large files never show negative.
QString GroupDigits(int64_t value);
// "YYYY/MM/DD HH:MM" in UTC; 0 (an unknown time) gives "1970/01/01 00:00".
QString ListingTime(int64_t mtime);

// Lines end with "\r\n" when the answer holds one, else with "\n"; text
// after the last line end is not a line. Lines the parser rejects and the
// names "." and ".." are left out. Directories come first, then files, each
// in the order the server sent them. Lines are parsed whole, however long.
std::vector<ListingEntry> ParseListing(const std::string& reply);
