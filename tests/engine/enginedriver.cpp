#include "enginedriver.h"

#include <sys/socket.h>
#include <unistd.h>

#include <iterator>
#include <stdexcept>

#include "socketaddress.h"

namespace enginetest {

namespace {
std::mutex postedmutex;
std::vector<PostedMessage> posted;
} // namespace

void poster(void*, unsigned msg, void* wparam, int lparam)
{
    std::lock_guard<std::mutex> guard(postedmutex);
    posted.push_back(PostedMessage{msg, wparam, lparam});
}

void clearposted()
{
    std::lock_guard<std::mutex> guard(postedmutex);
    posted.clear();
}

std::vector<PostedMessage> postedfor(void* node)
{
    std::lock_guard<std::mutex> guard(postedmutex);
    std::vector<PostedMessage> found;
    for (const PostedMessage& m : posted)
        if (m.node == node) found.push_back(m);
    return found;
}

bool connected(void* node, int thisnodeonly)
{
    int value = 0;
    lark::getserverconnected(node, value, thisnodeonly);
    return value != 0;
}

bool waitinactive(void* node, std::chrono::milliseconds limit)
{
    return waituntil([&] { return !connected(node); }, limit);
}

std::string wholelog(void* node)
{
    std::string text;
    lark::getoutputmsg(node, text, 1);
    return text;
}

std::string failure(void* node, unsigned& kind)
{
    std::string reason;
    lark::getfailure(node, reason, kind);
    return reason;
}

void* branchof(void* task, unsigned index)
{
    void* branch = nullptr;
    lark::getdownbranch(task, index, branch);
    return branch;
}

unsigned fetchwhenready(void* node, const std::string& line, unsigned msg, std::chrono::milliseconds limit)
{
    unsigned status = 4;
    waituntil(
        [&] {
            status = lark::fetchftpcontent(node, line, nullptr, msg, 0, 7, 1);
            return status != 4;
        },
        limit);
    return status;
}

void startbranch(void* task, unsigned index, int64_t start, int64_t end, int64_t restart)
{
    void* branch = branchof(task, index);
    lark::generateinitcommand(branch);
    lark::setdownstarted(branch, 1);
    lark::setfilepointer(branch, restart < 0 ? start : restart, lark::RestartOffset);
    lark::setfilepointer(branch, start, lark::WriteOffset);
    lark::setfilepointer(branch, end, lark::EndOffset);
    lark::adjustrestpoint(branch);
    lark::connect(branch, 1);
}

void startdownload(void* task, int64_t size)
{
    unsigned count = 0;
    lark::getdownbranchcount(task, count);
    for (unsigned i = 0; i < count; ++i)
        startbranch(task, i + 1, size / count * i, i + 1 == count ? size : size / count * (i + 1));
}

int64_t writeoffset(void* branch)
{
    int64_t value = 0;
    lark::getfilepointer(branch, value, lark::WriteOffset);
    return value;
}

size_t openfilecount()
{
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

HeldPort::HeldPort(Kind kind, unsigned wanted, bool ipv6)
{
    lark::SocketAddress address;
    address.parse(ipv6 ? "::1" : "127.0.0.1", wanted);
    // No SO_REUSEADDR: nobody else may bind the number, listening or not.
    fd = ::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool ok = fd >= 0 && ::bind(fd, address.get(), address.length) == 0 &&
              ::getsockname(fd, address.get(), &address.length) == 0;
    port = address.port();
    if (ok && kind != Refusing) ok = ::listen(fd, kind == Silent ? 16 : 0) == 0;
    if (ok && kind == Unanswered) {
        filler_ = ::socket(address.family(), SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = filler_ >= 0 && ::connect(filler_, address.get(), address.length) == 0;
    }
    if (!ok) {
        release();
        throw std::runtime_error("cannot hold loopback port " + std::to_string(wanted));
    }
}

void HeldPort::release()
{
    if (filler_ >= 0) ::close(filler_);
    if (fd >= 0) ::close(fd);
    filler_ = fd = -1;
}

std::unique_ptr<ts::ScratchDir> EngineServed::files;
std::string EngineServed::bigsum;

void EngineServed::SetUpTestSuite()
{
    files = std::make_unique<ts::ScratchDir>("skylark-served");
    bigsum = ts::sha256OfFile(files->writeRandomFile("a.bin", bigsize, 11));
    files->writeRandomFile("dir/one.txt", 100, 12);
    files->writeRandomFile("dir/two.txt", 200, 13);
}

void EngineServed::SetUp()
{
    ASSERT_EQ(lark::startengine(), 0u);
    lark::setmessageposter(&poster);
    clearposted();
    target = std::make_unique<ts::ScratchDir>("skylark-dl");
}

void* EngineServed::download(const std::string& url, unsigned branches, bool pasv)
{
    void* task = nullptr;
    EXPECT_EQ(lark::addnode(task, url, branches, 0, "", "", dir(), false, pasv, false, false), 1u) << url;
    return task;
}

std::string EngineServed::fetch(void* task, bool staggered)
{
    std::filesystem::remove(target->path() / "a.bin");
    if (staggered) {
        unsigned count = 0;
        lark::getdownbranchcount(task, count);
        const int64_t part = bigsize / count;
        startbranch(task, 1, 0, part);
        EXPECT_TRUE(waituntil([&] { return writeoffset(task) > 0 || !connected(task, 1); })) << wholelog(task);
        for (unsigned i = 2; i <= count; ++i) startbranch(task, i, part * (i - 1), i == count ? bigsize : part * i);
    } else {
        startdownload(task, bigsize);
    }
    EXPECT_TRUE(waitinactive(task, std::chrono::seconds(60))) << wholelog(task);
    return wholelog(task);
}

std::string EngineServed::result(const std::string& name) const
{
    const std::filesystem::path path = target->path() / name;
    return std::filesystem::exists(path) ? ts::sha256OfFile(path) : "missing";
}

std::string EngineServed::takeout(void* node)
{
    std::string text;
    lark::takeoutcontent(node, text);
    return text;
}

} // namespace enginetest
