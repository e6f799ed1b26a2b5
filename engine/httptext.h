// Reading an HTTP response head: its status, its fields, the range and the
// length it announces. Plain C++, so the engine and the program read a
// server's answer by the same rules.
#pragma once

#include <cstdint>
#include <string>

namespace lark {

// The status of "HTTP/1.1 206 Partial Content", or -1: three digits after
// the first blank, followed by a blank or the line's end.
int httpstatus(const std::string& header);

// The value of the first field called `name` (any case), trimmed.
bool headerfield(const std::string& header, const std::string& name, std::string& value);

bool ischunked(const std::string& header);

// "Content-Range: bytes START-END/TOTAL" or "bytes */TOTAL"; -1 for what a
// field does not say (no start in "*/TOTAL", no total in "START-END/*").
struct ContentRange {
    bool present = false;
    int64_t start = -1;
    int64_t total = -1;
};
ContentRange contentrange(const std::string& header);

// The Content-Length, or -1 when it is missing or not a plain number.
int64_t contentlength(const std::string& header);

std::string lowercase(std::string text);

} // namespace lark
