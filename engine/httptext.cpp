#include "httptext.h"

#include <algorithm>

namespace lark {

namespace {
bool isdigit(char c)
{
    return c >= '0' && c <= '9';
}

// A decimal number of at most 18 digits at `at`, moving `at` past it; -1
// when there is none or it is longer.
int64_t decimalat(const std::string& text, size_t& at)
{
    int64_t value = 0;
    size_t digits = 0;
    for (; at < text.size() && isdigit(text[at]); ++at) {
        if (++digits > 18) return -1;
        value = value * 10 + (text[at] - '0');
    }
    return digits == 0 ? -1 : value;
}

std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    size_t last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}
} // namespace

std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c); });
    return text;
}

int httpstatus(const std::string& header)
{
    const size_t lineend = std::min(header.find('\n'), header.size());
    const size_t blank = header.find(' ');
    if (blank == std::string::npos || blank >= lineend) return -1;
    size_t at = blank + 1;
    const size_t start = at;
    const int64_t code = decimalat(header, at);
    if (code < 0 || at - start != 3) return -1;
    if (at < lineend && header[at] != ' ' && header[at] != '\r') return -1;
    return static_cast<int>(code);
}

bool headerfield(const std::string& header, const std::string& name, std::string& value)
{
    const std::string lower = lowercase(header);
    const std::string wanted = "\n" + lowercase(name) + ":";
    const size_t at = lower.find(wanted);
    if (at == std::string::npos) return false;
    const size_t start = at + wanted.size();
    size_t end = header.find('\n', start);
    if (end == std::string::npos) end = header.size();
    value = trimmed(header.substr(start, end - start));
    return true;
}

bool ischunked(const std::string& header)
{
    std::string coding;
    return headerfield(header, "Transfer-Encoding", coding) && lowercase(coding).find("chunked") != std::string::npos;
}

ContentRange contentrange(const std::string& header)
{
    ContentRange range;
    std::string value;
    if (!headerfield(header, "Content-Range", value)) return range;
    range.present = true;
    size_t at = lowercase(value).find("bytes");
    if (at == std::string::npos) return range;
    at += 5;
    while (at < value.size() && (value[at] == ' ' || value[at] == '=')) ++at;
    if (at < value.size() && value[at] == '*') {
        ++at;
    } else {
        const int64_t start = decimalat(value, at);
        if (start < 0 || at >= value.size() || value[at] != '-') return range;
        range.start = start;
        ++at;
        if (decimalat(value, at) < 0) return range;
    }
    if (at >= value.size() || value[at] != '/') return range;
    ++at;
    range.total = decimalat(value, at);
    if (at != value.size()) range.total = -1;
    return range;
}

int64_t contentlength(const std::string& header)
{
    std::string value;
    if (!headerfield(header, "Content-Length", value)) return -1;
    size_t at = 0;
    const int64_t length = decimalat(value, at);
    return at == value.size() ? length : -1;
}

} // namespace lark
