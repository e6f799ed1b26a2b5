// The name a downloaded file gets in its save directory: readable, and
// never one that leaves the directory, hides as a dotfile or names a
// special entry.
#pragma once

#include <string>

namespace lark {

enum class NameSource {
    HttpPath, // a URL path: query and fragment dropped, percent-escapes decoded
    FtpPath,  // a server's path, taken as it stands
};

// The last path segment made safe: "/", "\", NUL and control characters
// become "_", leading dots go, and the result is cut to the longest name a
// directory holds (keeping its extension). Escapes that do not decode to
// UTF-8 stay as they are. An empty result gives `fallback`.
std::string localfilename(const std::string& path, NameSource source, const std::string& fallback);

// How many numbered names are tried before a redirect's file is given up.
constexpr int maxnamecopies = 100;

// The name a file chosen by a redirect gets in `directory` (a resolved
// path): `name` when nothing of that name is there, or when it is `own`,
// the file this task already made; else the first free one of "stem
// (1).ext" ... "stem (maxnamecopies).ext", its stem cut to fit a directory
// entry. The extension is the last one (".tar" joins a short one after
// it). Anything at a name counts as taken, a dangling link too. Empty when
// every name is taken: nothing a task did not create is ever replaced.
std::string unusedlocalname(const std::string& directory, const std::string& name, const std::string& own);

} // namespace lark
