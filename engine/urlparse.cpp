#include "urlparse.h"

#include <arpa/inet.h>

#include "enginenode.h"

namespace lark {

namespace {

int hexdigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// An FTP server is sent the bytes a URL's escapes stand for, whatever
// they are ("%20" is a blank, "%E9" the byte 0xE9); a "%" that starts no
// escape stays.
std::string percentdecoded(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexdigit(text[i + 1]) >= 0 && hexdigit(text[i + 2]) >= 0) {
            out += static_cast<char>(hexdigit(text[i + 1]) * 16 + hexdigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// A host name as RFC 1123 writes it: dot-separated labels of letters,
// digits and inner hyphens, at most 63 bytes each and 253 in all; one
// final dot is allowed. Dotted IPv4 addresses pass as such names.
bool validhostname(const std::string& host)
{
    std::string name = host;
    if (!name.empty() && name.back() == '.') name.pop_back();
    if (name.empty() || name.size() > 253) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('.', start);
        if (end == std::string::npos) end = name.size();
        const size_t length = end - start;
        if (length == 0 || length > 63 || name[start] == '-' || name[end - 1] == '-') return false;
        for (size_t i = start; i < end; ++i) {
            const char c = name[i];
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
            if (!letter && !(c >= '0' && c <= '9') && c != '-') return false;
        }
        start = end + 1;
    }
    return true;
}

} // namespace

int parseurl(const std::string& url, EngineNode& node)
{
    if (url.empty()) return -1;
    std::string rest = url;
    unsigned protocol = ProtocolFtp;
    TlsMode tls = TlsMode::None;
    size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        std::string name = rest.substr(0, scheme);
        if (name == "ftp")
            protocol = ProtocolFtp;
        else if (name == "http")
            protocol = ProtocolHttp;
        else if (name == "https")
            protocol = ProtocolHttp, tls = TlsMode::Implicit;
        else if (name == "ftps")
            tls = TlsMode::Implicit;
        else if (name == "ftpes")
            tls = TlsMode::Explicit;
        else
            return -2;
        rest.erase(0, scheme + 3);
    }

    std::string path;
    size_t slash = rest.find('/');
    if (slash != std::string::npos) {
        path = rest.substr(slash);
        rest.erase(slash);
    }
    if (protocol == ProtocolHttp && (path.empty() || path.back() == '/')) return -3;

    std::string user, pass;
    size_t at = rest.find('@');
    if (at != std::string::npos) {
        std::string userinfo = rest.substr(0, at);
        size_t colon = userinfo.find(':');
        if (colon != std::string::npos) {
            user = userinfo.substr(0, colon);
            pass = userinfo.substr(colon + 1);
        }
        rest.erase(0, at + 1);
    }

    // An IPv6 literal is bracketed, as its own colons would read as a port.
    std::string host = rest;
    size_t colon = std::string::npos;
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos) return -5;
        host = rest.substr(1, close - 1);
        in6_addr ip{};
        if (inet_pton(AF_INET6, host.c_str(), &ip) != 1) return -5;
        if (close + 1 < rest.size() && rest[close + 1] != ':') return -5;
        if (close + 1 < rest.size()) colon = close + 1;
    } else {
        colon = rest.find(':');
        if (colon != std::string::npos && rest.find(':', colon + 1) != std::string::npos) return -5;
        if (colon != std::string::npos) host = rest.substr(0, colon);
        if (!validhostname(host)) return -5;
    }

    // A ":" without digits keeps the default port, as URLs define it.
    unsigned port = defaultport(protocol, tls);
    if (colon != std::string::npos) {
        unsigned long value = 0;
        size_t digits = 0;
        for (size_t i = colon + 1; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
            value = value * 10 + static_cast<unsigned long>(rest[i] - '0');
            if (value > 65535) return -4;
            ++digits;
        }
        if (digits > 0) port = static_cast<unsigned>(value);
    }

    node.serverprotocol = protocol;
    node.tlsmode = tls;
    node.ftppathfile = protocol == ProtocolFtp ? percentdecoded(path) : path;
    node.user = user;
    node.pass = pass;
    node.serverport = port;
    node.servername = host;
    return 0;
}

std::string urlhost(const std::string& servername)
{
    return servername.find(':') == std::string::npos ? servername : "[" + servername + "]";
}

unsigned defaultport(unsigned protocol, TlsMode tls)
{
    if (protocol == ProtocolHttp) return tls == TlsMode::None ? 80 : 443;
    return tls == TlsMode::Implicit ? 990 : 21;
}

std::string hostfield(const EngineNode& node)
{
    const std::string host = urlhost(node.servername);
    return node.serverport == defaultport(ProtocolHttp, node.tlsmode) ? host
                                                                      : host + ":" + std::to_string(node.serverport);
}

std::string urlscheme(const EngineNode& node)
{
    if (node.ishttp()) return node.tlsmode == TlsMode::None ? "http" : "https";
    return node.tlsmode == TlsMode::None ? "ftp" : node.tlsmode == TlsMode::Implicit ? "ftps" : "ftpes";
}

} // namespace lark
