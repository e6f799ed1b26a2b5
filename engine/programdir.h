#pragma once

#include <string>

namespace lark {

// Where the program keeps its list files and anchors relative save
// directories: $SKYLARK_HOME; else the running executable's directory when
// it is writable; else $XDG_DATA_HOME/skylark (~/.local/share/skylark),
// created on first use. Ends without "/".
std::string programdirectory();

// A task's local directory as a path: "/..." stays, "~" and "~/..." are
// the home folder, anything else is relative to `base` (by default
// programdirectory()). The program resolves save directories by this rule
// too.
std::string resolvelocaldir(const std::string& localdir);
std::string resolvelocaldir(const std::string& localdir, const std::string& base);

// The file a download writes; false for a name that is empty, "." or ".."
// or holds a "/", which must never be opened for writing.
bool localfilepath(const std::string& localdir, const std::string& filename, std::string& path);

} // namespace lark
