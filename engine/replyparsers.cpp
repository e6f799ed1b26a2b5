#include "replyparsers.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>

#include "lark.h"
#include "localname.h"

namespace lark {

namespace {
std::string trimblanks(const std::string& text)
{
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

void appendreplytext(std::string& reply, const std::string& text)
{
    reply.reserve(reply.size() + text.size());
    for (char c : text) {
        if (c == '\n' && (reply.empty() || reply.back() != '\r')) reply += '\r';
        reply += c;
    }
}

std::string crlflines(const std::string& header)
{
    std::string out;
    appendreplytext(out, header);
    return out;
}

ReplyCheck checkreply(const std::string& reply)
{
    constexpr size_t maxline = 8192, maxlines = 1000, maxtotal = 1u << 20;
    if (reply.size() > maxtotal) return ReplyTooLong;
    size_t lines = 0, start = 0;
    for (size_t end; (end = reply.find('\n', start)) != std::string::npos; start = end + 1) {
        if (end - start > maxline || ++lines > maxlines) return ReplyTooLong;
    }
    if (reply.size() - start > maxline) return ReplyTooLong;
    return replycomplete(reply) ? ReplyComplete : ReplyIncomplete;
}

std::string finalreplyline(const std::string& reply)
{
    std::string last;
    for (size_t start = 0; start < reply.size();) {
        size_t end = reply.find("\r\n", start);
        std::string line = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.size() >= 4 && line[3] == ' ' && isdigit(static_cast<unsigned char>(line[0])))
            last = line;
        else if (last.empty() && !line.empty())
            last = line;
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return last;
}

// Finds six numbers "h1,h2,h3,h4,p1,p2" in a 227 reply, with or without
// parentheses around them: the port from the last two.
bool parseepsv(const std::string& reply, unsigned long& port)
{
    for (size_t open = reply.find('('); open != std::string::npos; open = reply.find('(', open + 1)) {
        if (open + 4 >= reply.size()) return false;
        const char d = reply[open + 1];
        if (d < 33 || d > 126 || (d >= '0' && d <= '9') || reply[open + 2] != d || reply[open + 3] != d) continue;
        size_t at = open + 4, digits = 0;
        unsigned long value = 0;
        while (at < reply.size() && reply[at] >= '0' && reply[at] <= '9' && digits < 6) {
            value = value * 10 + static_cast<unsigned long>(reply[at++] - '0');
            ++digits;
        }
        if (digits == 0 || at + 1 >= reply.size() || reply[at] != d || reply[at + 1] != ')') continue;
        port = value;
        return true;
    }
    return false;
}

bool parsepasv(const std::string& reply, in_addr& address, unsigned& port)
{
    size_t at = 3; // past the code
    for (; at < reply.size(); ++at) {
        if (reply[at] < '0' || reply[at] > '9') continue;
        unsigned numbers[6];
        size_t pos = at;
        int found = 0;
        for (; found < 6; ++found) {
            unsigned value = 0;
            size_t digits = 0;
            while (pos < reply.size() && reply[pos] >= '0' && reply[pos] <= '9' && digits < 4) {
                value = value * 10 + static_cast<unsigned>(reply[pos++] - '0');
                ++digits;
            }
            if (digits == 0 || value > 255) break;
            numbers[found] = value;
            if (found < 5) {
                if (pos >= reply.size() || reply[pos] != ',') break;
                ++pos;
            }
        }
        if (found == 6) {
            port = numbers[4] * 256 + numbers[5];
            address.s_addr = htonl(numbers[0] << 24 | numbers[1] << 16 | numbers[2] << 8 | numbers[3]);
            return true;
        }
        while (at < reply.size() && reply[at] >= '0' && reply[at] <= '9') ++at;
    }
    return false;
}

bool toomanyheaderlines(const std::string& header)
{
    // The status line and 100 fields, and the blank line that ends them.
    return std::count(header.begin(), header.end(), '\n') > 101;
}

bool replyhasline(const std::string& reply, const std::string& prefix)
{
    return reply.compare(0, prefix.size(), prefix) == 0 || reply.find("\n" + prefix) != std::string::npos;
}

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

std::string referencescheme(const std::string& reference)
{
    if (reference.empty() || !isalpha(static_cast<unsigned char>(reference[0]))) return std::string();
    for (size_t i = 1; i < reference.size(); ++i) {
        char c = reference[i];
        if (c == ':') return lowercase(reference.substr(0, i));
        if (!isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') break;
    }
    return std::string();
}

std::string removedotsegments(const std::string& path)
{
    std::string input = path, output;
    while (!input.empty()) {
        if (input.compare(0, 3, "../") == 0)
            input.erase(0, 3);
        else if (input.compare(0, 2, "./") == 0)
            input.erase(0, 2);
        else if (input.compare(0, 3, "/./") == 0)
            input.erase(0, 2);
        else if (input == "/.")
            input = "/";
        else if (input.compare(0, 4, "/../") == 0 || input == "/..") {
            input = input.size() == 3 ? std::string("/") : input.substr(3);
            size_t slash = output.rfind('/');
            output.erase(slash == std::string::npos ? 0 : slash);
        } else if (input == "." || input == "..") {
            input.clear();
        } else {
            size_t next = input.find('/', 1);
            output += input.substr(0, next);
            input.erase(0, next == std::string::npos ? input.size() : next);
        }
    }
    return output;
}

std::string resolvereference(const std::string& base, std::string reference)
{
    reference.erase(std::min(reference.find('#'), reference.size()));
    std::string scheme = referencescheme(reference);
    if (!scheme.empty()) return scheme + reference.substr(scheme.size());
    if (reference.compare(0, 2, "//") == 0) return "http:" + reference;
    std::replace(reference.begin(), reference.end(), '\\', '/');

    const size_t basequery = std::min(base.find('?'), base.size());
    const std::string basepath = base.substr(0, basequery);
    const size_t refquery = std::min(reference.find('?'), reference.size());
    const std::string refpath = reference.substr(0, refquery);
    const std::string query = reference.substr(refquery);
    if (refpath.empty()) return basepath + (query.empty() ? base.substr(basequery) : query);
    if (refpath[0] == '/') return removedotsegments(refpath) + query;
    size_t slash = basepath.rfind('/');
    std::string directory = slash == std::string::npos ? std::string("/") : basepath.substr(0, slash + 1);
    return removedotsegments(directory + refpath) + query;
}

int parseresponseheader(const std::string& rawheader, const std::string& path, std::string& newpath, int& status,
                        std::string& newfilename)
{
    status = 0;
    newpath = path;
    const std::string header = crlflines(rawheader);

    if (header.find("\r\n") == std::string::npos) return -1;
    status = std::max(0, httpstatus(trimblanks(header)));
    if (status < 300 || status >= 400) return -1;

    std::string target;
    if (!headerfield(header, "Location", target) || target.empty()) return -1;
    newpath = resolvereference(path, target);
    newfilename = localfilename(newpath, NameSource::HttpPath, "index.html");
    return 0;
}

} // namespace lark
