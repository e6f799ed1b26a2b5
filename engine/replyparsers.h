// Pure text routines the workers decide by: whole FTP replies, commands that
// need a data connection, and HTTP response headers.
#pragma once

#include <cstdint>
#include <string>

namespace lark {

// 1 when the text ends with CR LF and some line has a blank as its fourth
// character (a final reply line), else 0.
int replycomplete(const std::string& reply);

// 1 when the FTP command needs a data connection; a retrieval also names
// the local file (when none is named yet) and marks the data as file bytes.
int classifydatacommand(const std::string& command, std::string& filename, int& filedata);

// Reads the status of a response header; 0 when it is a redirect to follow,
// with the new request path (or absolute URL) and file name, else -1.
int parseresponseheader(const std::string& header, const std::string& path, std::string& newpath,
                        int& status, std::string& newfilename);

// The value of a header field (name matched without case), blanks trimmed;
// false when the header has no such field.
bool headerfield(const std::string& header, const std::string& name, std::string& value);

// True when the header's "Transfer-Encoding" names chunked coding.
bool ischunked(const std::string& header);

// The start of a "Content-Range: bytes START-END/TOTAL" field, or -1.
int64_t contentrangestart(const std::string& header);

}  // namespace lark
