#pragma once

#include <string>

#include "tlscontext.h"

namespace lark {

class EngineNode;

// Splits a task URL into the node's protocol, server, port, path and
// credentials. Returns 0, or -1 for an empty URL, -2 for a scheme other than
// ftp, ftps, ftpes, http and https, -3 for an HTTP URL that names no file,
// -4 for a port above 65535, -5 for a host that is neither a host name
// (RFC 1123 labels, which covers dotted IPv4) nor a bracketed IPv6 address
// ("just some words", "[::1" or "[::1]x", or "::1" without its brackets). The server name is kept without the brackets.
int parseurl(const std::string& url, EngineNode& node);

// A server name as a URL names it: an IPv6 address in brackets.
std::string urlhost(const std::string& servername);

// The port a scheme means when the URL names none.
unsigned defaultport(unsigned protocol, TlsMode tls);

// "host", or "host:port" when the port is not the scheme's default, as Host
// and Referer name a server.
std::string hostfield(const EngineNode& node);

// "http", "https", "ftp", "ftps" or "ftpes".
std::string urlscheme(const EngineNode& node);

} // namespace lark
