// Pure text routines the workers decide by: whole FTP replies, commands that
// need a data connection, and HTTP response headers.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "httptext.h"

namespace lark {

// Appends received FTP reply text with every line ending made CR LF: some
// servers end lines with LF alone, and a CR may end one piece and its LF
// begin the next.
void appendreplytext(std::string& reply, const std::string& text);

// The same for a whole HTTP header (status and field lines).
std::string crlflines(const std::string& header);

enum ReplyCheck { ReplyIncomplete, ReplyComplete, ReplyTooLong };
// Whether a gathered FTP reply is whole; too long when a line passes 8 KiB,
// the reply 1000 lines or 1 MiB: no real server sends that, and waiting
// for its end would let a server fill memory.
ReplyCheck checkreply(const std::string& reply);

// The reply's final line ("226 Transfer complete"), without its line end.
std::string finalreplyline(const std::string& reply);

// True when a line of the reply begins with `prefix`: a code and its blank
// ("350 "), or "1" for any preliminary reply.
bool replyhasline(const std::string& reply, const std::string& prefix);

// 1 when the text ends with CR LF and some line has a blank as its fourth
// character (a final reply line), else 0.
int replycomplete(const std::string& reply);

// 1 when the FTP command needs a data connection; a retrieval also names
// the local file (when none is named yet) and marks the data as file bytes.
int classifydatacommand(const std::string& command, std::string& filename, int& filedata);

// The scheme that begins a URI reference ("http", lower case), or "" for
// a relative reference.
std::string referencescheme(const std::string& reference);

// A Location value resolved against the current request path: an absolute
// URL stays one (its scheme in lower case); a relative reference becomes
// an absolute path with its dot-segments removed. Its query is never read.
std::string resolvereference(const std::string& base, std::string reference);

// Reads the status of a response header; 0 when it is a redirect to follow,
// with the new request path (or absolute URL) and file name, else -1.
int parseresponseheader(const std::string& header, const std::string& path, std::string& newpath, int& status,
                        std::string& newfilename);

// The address and port of a 227 reply: six numbers with or without
// parentheses around them (some servers leave them out).
bool parsepasv(const std::string& reply, in_addr& address, unsigned& port);

// The port of a 229 reply, "(|||port|)" with any one delimiter in place of
// "|"; false when the reply holds no such group. The port is not checked.
bool parseepsv(const std::string& reply, unsigned long& port);

// True when the header has more lines than a real server sends (100
// besides the blank line that ends it).
bool toomanyheaderlines(const std::string& header);

} // namespace lark
