#pragma once

#include <cstdint>

// One line of an FTP "list" answer, taken apart. name and id point into the
// line that was parsed and are valid only as long as it is.
//   trycwd/tryretr: 1 when the entry can be entered / fetched (a link: both).
//   sizetype: 0 unknown, 1 size is an exact byte count.
//   mtimetype: 0 unknown, 1 local time, 2 remote time to the minute,
//              3 remote day only; mtime counts seconds since 1970-01-01 UTC.
//   idtype: 1 when the server gave a unique identifier (id, idlen).
struct ParsedLine {
  const char* name;
  int namelen;
  int trycwd;
  int tryretr;
  int sizetype;
  int64_t size;
  int mtimetype;
  int64_t mtime;
  int idtype;
  const char* id;
  int idlen;
};

// Understands EPLF, UNIX "ls -l", VMS and MS-DOS lines. Returns 1 when the
// line describes an entry, else 0 (and out is all zero). Reads only
// line[0..length), keeps no state; the clock is read to place a UNIX date
// given without a year.
int parselistingline(ParsedLine& out, const char* line, int length);
