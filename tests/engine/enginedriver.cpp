#include "enginedriver.h"

namespace enginetest {

MessageLog& MessageLog::instance()
{
    static MessageLog log;
    return log;
}

void MessageLog::poster(void* wnd, unsigned msg, void* wparam, int lparam)
{
    MessageLog& log = instance();
    {
        std::lock_guard<std::mutex> guard(log.mutex_);
        log.messages_.push_back(PostedMessage{wnd, msg, wparam, lparam});
    }
    log.arrived_.notify_all();
}

void MessageLog::clear()
{
    std::lock_guard<std::mutex> guard(mutex_);
    messages_.clear();
}

std::vector<PostedMessage> MessageLog::formessage(void* node)
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<PostedMessage> found;
    for (const PostedMessage& m : messages_)
        if (m.node == node) found.push_back(m);
    return found;
}

bool MessageLog::waitfor(void* node, std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(mutex_);
    return arrived_.wait_for(guard, limit, [&] {
        for (const PostedMessage& m : messages_)
            if (m.node == node) return true;
        return false;
    });
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

void startbranch(void* task, unsigned index, int64_t start, int64_t end)
{
    void* branch = nullptr;
    lark::getdownbranch(task, index, branch);
    lark::generateinitcommand(branch);
    lark::setdownstarted(branch, 1);
    lark::setfilepointer(branch, start, 0);
    lark::setfilepointer(branch, start, 1);
    lark::setfilepointer(branch, end, 2);
    lark::adjustrestpoint(branch);
    lark::connect(branch, 1);
}

void startdownload(void* task, int64_t size)
{
    unsigned count = 0;
    lark::getdownbranchcount(task, count);
    for (unsigned i = 0; i < count; ++i) {
        int64_t start = size / count * i;
        int64_t end = i + 1 == count ? size : size / count * (i + 1);
        startbranch(task, i + 1, start, end);
    }
}

int64_t writeoffset(void* branch)
{
    int64_t value = 0;
    lark::getfilepointer(branch, value, 1);
    return value;
}

size_t openfilecount()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
}

} // namespace enginetest
