#include "programdir.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace lark {

namespace {
std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::string homedirectory()
{
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_dir;
    return "/";
}

std::string trimslash(std::string path)
{
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool makepath(const std::string& path)
{
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}
} // namespace

std::string programdirectory()
{
    std::string chosen = environment("SKYLARK_HOME");
    if (!chosen.empty()) {
        makepath(trimslash(chosen)); // a failure shows where a file is written
        return trimslash(chosen);
    }

    char exe[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (length > 0) {
        std::string path(exe, static_cast<size_t>(length));
        std::string folder = path.substr(0, path.rfind('/'));
        if (folder.empty()) folder = "/";
        if (access(folder.c_str(), W_OK) == 0) return folder;
    }

    std::string data = environment("XDG_DATA_HOME");
    if (data.empty()) data = homedirectory() + "/.local/share";
    std::string folder = trimslash(data) + "/skylark";
    makepath(folder); // a failure shows later, where a file is written
    return folder;
}

std::string resolvelocaldir(const std::string& localdir)
{
    return resolvelocaldir(localdir, programdirectory());
}

std::string resolvelocaldir(const std::string& localdir, const std::string& base)
{
    if (!localdir.empty() && localdir[0] == '/') return localdir;
    if (localdir == "~") return homedirectory();
    if (localdir.compare(0, 2, "~/") == 0) return trimslash(homedirectory()) + localdir.substr(1);
    return localdir.empty() ? base : base + "/" + localdir;
}

} // namespace lark

namespace lark {

bool localfilepath(const std::string& localdir, const std::string& filename, std::string& path)
{
    if (filename.empty() || filename == "." || filename == ".." || filename.find('/') != std::string::npos)
        return false;
    std::string folder = resolvelocaldir(localdir);
    if (!folder.empty() && folder.back() != '/') folder += '/';
    path = folder + filename;
    return true;
}

} // namespace lark
