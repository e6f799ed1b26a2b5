// The name a downloaded file gets in its save directory: readable, and
// never one that leaves the directory, hides as a dotfile or names a
// special entry.
#pragma once

#include <string>

namespace lark {

enum class NameSource {
    HttpPath,  // a URL path: query and fragment dropped, percent-escapes decoded
    FtpPath,   // a server's path, taken as it stands
};

// The last path segment made safe: "/", "\", NUL and control characters
// become "_", leading dots go, and the result is cut to the longest name a
// directory holds (keeping its extension). Escapes that do not decode to
// UTF-8 stay as they are. An empty result gives `fallback`.
std::string localfilename(const std::string& path, NameSource source, const std::string& fallback);

}  // namespace lark
