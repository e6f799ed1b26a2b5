// A server name as a URL, a Host field or a Referer names it: an IPv6
// address in brackets, its colons would read as a port.
#pragma once

#include <string>

inline std::string UrlHost(const std::string& server) {
  return server.find(':') == std::string::npos ? server : "[" + server + "]";
}
