// Helpers for driving the engine in integration tests: a message recorder,
// bounded waits, and the branch start-up sequence the program uses.
#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lark.h"

namespace enginetest {

struct PostedMessage {
    void* wnd;
    unsigned msg;
    void* node;
    int lparam;
};

// Collects every message the engine posts.
class MessageLog {
public:
    static MessageLog& instance();
    static void poster(void* wnd, unsigned msg, void* wparam, int lparam);

    void clear();
    std::vector<PostedMessage> formessage(void* node);
    // Waits until `node` has been posted at least once.
    bool waitfor(void* node, std::chrono::milliseconds limit);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<PostedMessage> messages_;
};

template <typename Predicate> bool waituntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(20))
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool connected(void* node, int thisnodeonly = 0);
bool waitinactive(void* node, std::chrono::milliseconds limit = std::chrono::seconds(30));
std::string wholelog(void* node);

// Queues a request as soon as the node is logged in and idle.
unsigned fetchwhenready(void* node, const std::string& line, unsigned msg = 0x65,
                        std::chrono::milliseconds limit = std::chrono::seconds(20));

// Starts branch `index` of a download on [start, end) the way the program
// does: fresh script, download flag, offsets, restart point, connect.
void startbranch(void* task, unsigned index, int64_t start, int64_t end);

// Splits [0, size) evenly among every branch of the task and starts them.
void startdownload(void* task, int64_t size);

int64_t writeoffset(void* branch);
size_t openfilecount();

} // namespace enginetest
