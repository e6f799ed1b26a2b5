#include "localname.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstddef>

namespace lark {
namespace {

constexpr size_t maxnamebytes = 255; // NAME_MAX of the common file systems

int hexvalue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the well-formed UTF-8 sequence at `at`, 0 when there is none.
size_t utf8sequence(const std::string& text, size_t at)
{
    const auto lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80                   ? 1
                    : lead >= 0xC2 && lead < 0xE0 ? 2
                    : lead >= 0xE0 && lead < 0xF0 ? 3
                    : lead >= 0xF0 && lead < 0xF5 ? 4
                                                  : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i)
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    const auto second = static_cast<unsigned char>(text[at + 1 < text.size() ? at + 1 : at]);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second >= 0xA0) return 0; // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second >= 0x90) return 0; // past U+10FFFF
    return length;
}

// Decodes escapes as a whole: a run of escapes that forms UTF-8 is
// decoded, any byte of one that does not stays as its escape.
std::string percentdecoded(const std::string& text)
{
    std::string bytes;   // decoded bytes
    std::string escapes; // the same bytes as written
    std::string out;
    auto flush = [&] {
        size_t at = 0;
        while (at < bytes.size()) {
            size_t length = utf8sequence(bytes, at);
            if (length == 0) {
                out += escapes.substr(at * 3, 3);
                ++at;
            } else {
                out += bytes.substr(at, length);
                at += length;
            }
        }
        bytes.clear();
        escapes.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexvalue(text[i + 1]) >= 0 && hexvalue(text[i + 2]) >= 0) {
            bytes += static_cast<char>(hexvalue(text[i + 1]) * 16 + hexvalue(text[i + 2]));
            escapes += text.substr(i, 3);
            i += 2;
            continue;
        }
        flush();
        out += text[i];
    }
    flush();
    return out;
}

// Cuts at a UTF-8 character boundary.
std::string cutto(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

// Where a number goes: before the extension, ".tar.gz" counted whole.
size_t extensionstart(const std::string& name)
{
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > 16) return name.size();
    const size_t tar = dot >= 4 ? dot - 4 : std::string::npos;
    if (tar != std::string::npos && tar > 0 && name.size() - dot <= 5) {
        std::string before = name.substr(tar, 4);
        for (char& c : before)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (before == ".tar") return tar;
    }
    return dot;
}

bool taken(const std::string& directory, const std::string& name)
{
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 || errno != ENOENT;
}

} // namespace

std::string unusedlocalname(const std::string& directory, const std::string& name, const std::string& own)
{
    if (name == own || !taken(directory, name)) return name;
    const size_t split = extensionstart(name);
    const std::string stem = name.substr(0, split);
    const std::string extension = name.substr(split);
    for (int n = 1; n <= maxnamecopies; ++n) {
        const std::string number = " (" + std::to_string(n) + ")";
        const size_t room = maxnamebytes - number.size() - extension.size();
        const std::string candidate = cutto(stem, room) + number + extension;
        if (candidate == own || !taken(directory, candidate)) return candidate;
    }
    return {};
}

std::string localfilename(const std::string& path, NameSource source, const std::string& fallback)
{
    std::string name = path;
    if (source == NameSource::HttpPath) {
        size_t end = name.find_first_of("?#");
        if (end != std::string::npos) name.erase(end);
    }
    size_t slash = name.rfind('/');
    if (slash != std::string::npos) name.erase(0, slash + 1);
    if (source == NameSource::HttpPath) name = percentdecoded(name);

    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) c = '_';
    }
    size_t dots = name.find_first_not_of('.');
    name.erase(0, dots == std::string::npos ? name.size() : dots);

    if (name.size() > maxnamebytes) {
        size_t dot = name.rfind('.');
        std::string extension = dot != std::string::npos && name.size() - dot <= 16 ? name.substr(dot) : "";
        name = cutto(name.substr(0, name.size() - extension.size()), maxnamebytes - extension.size()) + extension;
    }
    return name.empty() ? fallback : name;
}

} // namespace lark
