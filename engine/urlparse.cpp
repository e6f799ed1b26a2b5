#include "urlparse.h"

#include "enginenode.h"

namespace lark {

int parseurl(const std::string& url, EngineNode& node)
{
    if (url.empty()) return -1;
    std::string rest = url;
    unsigned protocol = ProtocolFtp;
    size_t scheme = rest.find("://");
    if (scheme != std::string::npos) {
        std::string name = rest.substr(0, scheme);
        if (name == "ftp") protocol = ProtocolFtp;
        else if (name == "http") protocol = ProtocolHttp;
        else return -2;
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

    // A ":" without digits keeps the default port, as URLs define it.
    unsigned port = protocol == ProtocolHttp ? 80 : 21;
    size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        unsigned long value = 0;
        size_t digits = 0;
        for (size_t i = colon + 1; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
            value = value * 10 + static_cast<unsigned long>(rest[i] - '0');
            if (value > 65535) return -4;
            ++digits;
        }
        if (digits > 0) port = static_cast<unsigned>(value);
        rest.erase(colon);
    }

    node.serverprotocol = protocol;
    node.ftppathfile = path;
    node.user = user;
    node.pass = pass;
    node.serverport = port;
    node.servername = rest;
    return 0;
}

}  // namespace lark
