#include "engine.h"
#include "lark.h"
#include "localname.h"
#include "urlparse.h"

namespace lark {

namespace {
// A redirect rewrites the server, port and path on a worker thread, so even
// the configuration getters read under the node's lock.
template <typename T, typename Read> unsigned readfield(void* handle, T& out, Read read)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    out = read(*node);
    return 0;
}

// Positions, times and the resume flag are atomics the program reads many
// times a pass; reading them without the lock means the pass never waits
// for a worker's receive-and-write visit to that node.
template <typename T, typename Read> unsigned readatomic(void* handle, T& out, Read read)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    out = read(*node);
    return 0;
}
} // namespace

unsigned getURL(void* handle, std::string& url)
{
    return readfield(handle, url, [](EngineNode&) { return std::string(); });
}

unsigned getservername(void* handle, std::string& name)
{
    return readfield(handle, name, [](EngineNode& n) { return n.servername; });
}

unsigned getftppathfile(void* handle, std::string& path)
{
    return readfield(handle, path, [](EngineNode& n) { return n.ftppathfile; });
}

unsigned getlocalfilename(void* handle, std::string& name)
{
    return readfield(handle, name, [](EngineNode& n) {
        if (n.ishttp())
            return n.filename.empty() ? localfilename(n.ftppathfile, NameSource::HttpPath, "index.html") : n.filename;
        return localfilename(n.ftppathfile, NameSource::FtpPath, "_"); // as the retr line names it
    });
}

unsigned getlocaldir(void* handle, std::string& dir)
{
    return readfield(handle, dir, [](EngineNode& n) { return n.localdir; });
}

unsigned getuser(void* handle, std::string& user)
{
    return readfield(handle, user, [](EngineNode& n) { return n.user; });
}

unsigned getpass(void* handle, std::string& pass)
{
    return readfield(handle, pass, [](EngineNode& n) { return n.pass; });
}

unsigned getserverprotocol(void* handle, unsigned& protocol)
{
    return readfield(handle, protocol, [](EngineNode& n) { return n.serverprotocol; });
}

unsigned getscheme(void* handle, std::string& scheme)
{
    return readfield(handle, scheme, [](EngineNode& n) { return urlscheme(n); });
}

unsigned getserverport(void* handle, unsigned& port)
{
    return readfield(handle, port, [](EngineNode& n) { return n.serverport; });
}

unsigned getstarttime(void* handle, unsigned& t)
{
    return readatomic(handle, t, [](EngineNode& n) { return n.starttime.load(); });
}

unsigned getlasttime(void* handle, unsigned& t)
{
    return readatomic(handle, t, [](EngineNode& n) { return n.lasttime.load(); });
}

unsigned getascimode(void* handle, int& mode)
{
    return readfield(handle, mode, [](EngineNode& n) { return n.ascimode; });
}

unsigned getpasvmode(void* handle, int& mode)
{
    return readfield(handle, mode, [](EngineNode& n) { return n.pasvmode; });
}

unsigned getresumeenable(void* handle, int& enable)
{
    return readatomic(handle, enable, [](EngineNode& n) { return n.resumeenable.load(); });
}

unsigned getserverconnected(void* handle, int& connected, int thisnodeonly)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    if (thisnodeonly || !node->isdownload()) {
        connected = node->serverconnected;
        return 0;
    }
    connected = 0;
    for (EngineNode* branch = node; branch; branch = branch->nextbranch)
        if (branch->serverconnected) connected = 1;
    return 0;
}

unsigned getdownbranchcount(void* handle, unsigned& count)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    if (!node->isdownload()) return 3;
    unsigned n = 0;
    for (EngineNode* branch = node; branch; branch = branch->nextbranch) ++n;
    count = n;
    return 0;
}

unsigned getdownbranch(void* handle, unsigned index, void*& branch)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    branch = nullptr;
    if (index == 0) return 0;
    EngineNode* at = node;
    for (unsigned i = 1; i < index && at; ++i) at = at->nextbranch;
    if (!at) return 3;
    branch = at;
    return 0;
}

unsigned getfilepointer(void* handle, int64_t& value, unsigned type)
{
    return readatomic(handle, value, [type](EngineNode& n) { return type < 3 ? n.filepointer[type].load() : 0; });
}

unsigned setfilepointer(void* handle, int64_t value, unsigned type)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    if (type < 3) node->filepointer[type] = value;
    return 0;
}

unsigned setresumeenable(void* handle, int enable)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    if (!node->isdownload()) return 3;
    for (EngineNode* branch = node; branch; branch = branch->nextbranch) {
        std::lock_guard<std::mutex> guard(branch->lock);
        branch->resumeenable = enable;
    }
    return 0;
}

unsigned setstarttime(void* handle, unsigned t)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    node->starttime = t ? t : gettickcount(); // atomic: no wait for a worker's visit
    return 0;
}

unsigned setlasttime(void* handle, unsigned t)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    node->lasttime = t ? t : gettickcount(); // atomic: no wait for a worker's visit
    return 0;
}

unsigned setdownstarted(void* handle, int started)
{
    EngineNode* node = nodeof(handle);
    if (!node) return 1;
    std::lock_guard<std::mutex> guard(node->lock);
    node->downstarted = started;
    return 0;
}

} // namespace lark
