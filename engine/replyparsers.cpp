#include "replyparsers.h"

#include <algorithm>

#include "lark.h"
#include "localname.h"

namespace lark {

namespace {
std::string lowercase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    });
    return text;
}

std::string trimblanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Cuts the path before its last "/"; a path without "/" stays as it is.
void dropcomponent(std::string& path)
{
    size_t slash = path.rfind('/');
    if (slash != std::string::npos) path.erase(slash);
}
}  // namespace

int replycomplete(const std::string& reply)
{
    size_t n = reply.size();
    if (n < 2 || reply[n - 2] != '\r' || reply[n - 1] != '\n') return 0;
    if (n > 3 && reply[3] == ' ') return 1;
    size_t linestart = 0;
    for (;;) {
        size_t crlf = reply.find("\r\n", linestart);
        if (crlf == std::string::npos) return 0;
        size_t fourth = crlf + 5;
        if (fourth >= n) return 0;
        if (reply[fourth] == ' ') return 1;
        linestart = crlf + 2;
    }
}

int classifydatacommand(const std::string& command, std::string& filename, int& filedata)
{
    std::string head = command.substr(0, 5);
    bool needsdata = false;
    for (const char* word : {"list", "retr", "get", "put", "ls", "nlst"})
        if (head.find(word) != std::string::npos) needsdata = true;
    if (head.find("rest") != std::string::npos && command != "rest 1\r\n") needsdata = true;
    if (!needsdata) return 0;
    if (!filename.empty()) return 1;
    if (head.find("get") != std::string::npos || head.find("retr") != std::string::npos) {
        filedata = 1;
        std::string rest = command.size() > 3 ? command.substr(3) : std::string();
        size_t cut = rest.rfind('/');
        if (cut == std::string::npos) cut = rest.find(' ');
        std::string name = cut == std::string::npos ? rest : rest.substr(cut + 1);
        if (name.size() >= 2 && name.compare(name.size() - 2, 2, "\r\n") == 0)
            name.erase(name.size() - 2);
        else if (!name.empty() && name.back() == '\n')
            name.pop_back();
        // The server's name is not known here; a name of dots only is rare.
        filename = localfilename(name, NameSource::FtpPath, "_");
    }
    return 1;
}

int parseresponseheader(const std::string& header, const std::string& path, std::string& newpath,
                        int& status, std::string& newfilename)
{
    status = 0;
    newpath = path;
    std::string lower = lowercase(header);

    size_t lineend = header.find("\r\n");
    if (lineend == std::string::npos) return -1;
    std::string statusline = trimblanks(header.substr(0, lineend));
    size_t firstblank = statusline.find(' ');
    if (firstblank == std::string::npos) return -1;
    size_t secondblank = statusline.find(' ', firstblank + 1);
    if (secondblank == std::string::npos) return -1;
    std::string code = statusline.substr(firstblank + 1, secondblank - firstblank - 1);
    long value = 0;
    for (size_t i = 0; i < code.size() && i < 9 && code[i] >= '0' && code[i] <= '9'; ++i)
        value = value * 10 + (code[i] - '0');
    status = static_cast<int>(value);
    if (status < 300 || status >= 400) return -1;

    size_t location = lower.find("location:");
    if (location == std::string::npos) return -1;
    size_t valuestart = location + 9;
    size_t valueend = header.find("\r\n", valuestart);
    if (valueend == std::string::npos) return -1;
    std::string target = trimblanks(header.substr(valuestart, valueend - valuestart));

    if (lowercase(target).find("http://") != std::string::npos) {
        newpath = target;
    } else {
        if (target.find("://") != std::string::npos) return -1;
        std::replace(target.begin(), target.end(), '\\', '/');
        if (!target.empty() && target[0] == '/') {
            newpath = target;
        } else {
            int levels = 0;
            for (size_t up; (up = target.find("../")) != std::string::npos;) {
                target.erase(0, up + 3);
                ++levels;
            }
            std::string base = path;
            for (int i = 0; i <= levels; ++i) dropcomponent(base);
            newpath = base + "/" + target;
        }
    }
    newfilename = localfilename(newpath, NameSource::HttpPath, "index.html");
    return 0;
}

bool headerfield(const std::string& header, const std::string& name, std::string& value)
{
    std::string lower = lowercase(header);
    std::string wanted = "\n" + lowercase(name) + ":";
    size_t at = lower.find(wanted);
    if (at == std::string::npos) return false;
    size_t start = at + wanted.size();
    size_t end = header.find('\n', start);
    if (end == std::string::npos) end = header.size();
    std::string raw = header.substr(start, end - start);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    value = trimblanks(raw);
    while (!value.empty() && value.front() == '\t') value.erase(0, 1);
    return true;
}

bool ischunked(const std::string& header)
{
    std::string coding;
    return headerfield(header, "Transfer-Encoding", coding) &&
           lowercase(coding).find("chunked") != std::string::npos;
}

int64_t contentrangestart(const std::string& header)
{
    std::string range;
    if (!headerfield(header, "Content-Range", range)) return -1;
    std::string lower = lowercase(range);
    size_t at = lower.find("bytes");
    if (at == std::string::npos) return -1;
    at += 5;
    while (at < range.size() && (range[at] == ' ' || range[at] == '=')) ++at;
    int64_t start = 0;
    size_t digits = 0;
    for (; at < range.size() && range[at] >= '0' && range[at] <= '9'; ++at) {
        if (++digits > 18) return -1;
        start = start * 10 + (range[at] - '0');
    }
    if (digits == 0 || at >= range.size() || range[at] != '-') return -1;
    return start;
}

}  // namespace lark
