// Helpers for driving the engine in integration tests: a message recorder,
// bounded waits, the branch start-up sequence the program uses, and a
// fixture with files to serve and a fresh folder to download them into.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lark.h"
#include "testservers.h"

namespace enginetest {

namespace ts = testsupport;

struct PostedMessage {
    unsigned msg;
    void* node;
    int lparam;
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

// Every message the engine posts is kept, for these to look up.
void poster(void* wnd, unsigned msg, void* wparam, int lparam);
void clearposted();
std::vector<PostedMessage> postedfor(void* node);
inline bool waitposted(void* node)
{
    return waituntil([&] { return !postedfor(node).empty(); });
}

bool connected(void* node, int thisnodeonly = 0);
bool waitinactive(void* node, std::chrono::milliseconds limit = std::chrono::seconds(30));
std::string wholelog(void* node);
std::string failure(void* node, unsigned& kind);
void* branchof(void* task, unsigned index);

// Queues a request as soon as the node is logged in and idle.
unsigned fetchwhenready(void* node, const std::string& line, unsigned msg = 0x65,
                        std::chrono::milliseconds limit = std::chrono::seconds(20));

// Starts branch `index` of a download on [start, end) the way the program
// does: fresh script, download flag, offsets, restart point, connect. A
// `restart` below `start` asks for bytes already on disk.
void startbranch(void* task, unsigned index, int64_t start, int64_t end, int64_t restart = -1);

// Splits [0, size) evenly among every branch of the task and starts them.
void startdownload(void* task, int64_t size);

int64_t writeoffset(void* branch);
size_t openfilecount();

// A port on 127.0.0.1 (or ::1) held for as long as the object lives, so no
// other test can take its number meanwhile.
class HeldPort {
public:
    enum Kind {
        Refusing,   // bound, not listening: connects are refused
        Silent,     // listening, never accepting: connects complete, nothing is said
        Unanswered, // listening with a full queue: connects are never answered
    };
    explicit HeldPort(Kind kind, unsigned port = 0, bool ipv6 = false);
    ~HeldPort() { release(); }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;

    int fd = -1;
    unsigned port = 0;

private:
    void release();
    int filler_ = -1;
};

constexpr int64_t bigsize = (3 << 20) + 12345;

// A fresh engine per test with its messages recorded, an empty folder to
// download into, and files every server serves: a.bin (bigsize random
// bytes), dir/one.txt and dir/two.txt.
class EngineServed : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite() { files.reset(); }
    void SetUp() override;
    void TearDown() override { lark::releasedllres(); }

    std::string dir() const { return target->path().string() + "/"; }
    void* download(const std::string& url, unsigned branches, bool pasv = true);
    // Downloads a.bin afresh and returns the task's log; `staggered` starts
    // the branches after the first once it has connected.
    std::string fetch(void* task, bool staggered = false);
    // The sha256 of a downloaded file, or "missing".
    std::string result(const std::string& name = "a.bin") const;
    std::string takeout(void* node);

    static std::unique_ptr<ts::ScratchDir> files;
    static std::string bigsum;
    std::unique_ptr<ts::ScratchDir> target;
};

} // namespace enginetest
