// Accessors, branch chains, the list walk and the lifecycle exports.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine.h"
#include "enginefixture.h"

namespace {

using Nodes = EngineTest;

std::vector<lark::EngineNode*> walk()
{
    std::vector<lark::EngineNode*> visited;
    lark::EngineNode* head = lark::listhead();
    for (lark::EngineNode* n = lark::successor(head); n && n != head && visited.size() < 1000; n = lark::successor(n))
        visited.push_back(n);
    return visited;
}

void* branch(void* node, unsigned index)
{
    void* b = nullptr;
    lark::getdownbranch(node, index, b);
    return b;
}

TEST_F(Nodes, EmptyListAndWalkOrder)
{
    EXPECT_TRUE(walk().empty());
    void* a = adddownload("ftp://h/a", 3);
    void* s = addbrowse("ftp://h/");
    void* b = adddownload("http://h/b", 1);
    std::vector<lark::EngineNode*> expected = {
        static_cast<lark::EngineNode*>(b), static_cast<lark::EngineNode*>(s), static_cast<lark::EngineNode*>(a),
        static_cast<lark::EngineNode*>(branch(a, 2)), static_cast<lark::EngineNode*>(branch(a, 3))};
    EXPECT_EQ(walk(), expected);
}

TEST_F(Nodes, BranchChains)
{
    void* one = adddownload("ftp://h/a", 1);
    void* zero = adddownload("ftp://h/a", 0);
    void* three = nullptr;
    lark::addnode(three, "ftp://h/a", 3, 0, "", "", "", true, true, false, false);
    void* site = addbrowse("ftp://h/");
    unsigned count = 0;
    EXPECT_EQ(lark::getdownbranchcount(one, count), 0u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(static_cast<lark::EngineNode*>(one)->lastbranch.load(), one);
    lark::getdownbranchcount(zero, count);
    EXPECT_EQ(count, 1u);
    lark::getdownbranchcount(three, count);
    EXPECT_EQ(count, 3u);

    int connected = -1;
    EXPECT_EQ(lark::getserverconnected(three, connected, 1), 0u);
    EXPECT_EQ(connected, 1);
    lark::getserverconnected(branch(three, 2), connected, 1);
    EXPECT_EQ(connected, 0);

    struct Case {
        void* node;
        unsigned index;
        unsigned status;
        void* branch;
    } cases[] = {
        {site, 1, 0, site},     {site, 2, 3, nullptr}, {one, 0, 0, nullptr}, {three, 3, 0, branch(three, 3)},
        {three, 4, 3, nullptr},
    };
    for (const Case& c : cases) {
        void* got = reinterpret_cast<void*>(1);
        EXPECT_EQ(lark::getdownbranch(c.node, c.index, got), c.status);
        EXPECT_EQ(got, c.branch);
    }
    // Only the first node knows the chain; a browse node has none.
    count = 77;
    EXPECT_EQ(lark::getdownbranchcount(branch(three, 2), count), 3u);
    EXPECT_EQ(lark::getdownbranchcount(site, count), 3u);
    EXPECT_EQ(count, 77u);
    EXPECT_EQ(lark::setresumeenable(site, 0), 3u);
    EXPECT_EQ(lark::setresumeenable(three, 0), 0u);
    int enable = 1;
    lark::getresumeenable(branch(three, 3), enable);
    EXPECT_EQ(enable, 0);
}

TEST_F(Nodes, ConnectedOfAWholeDownload)
{
    void* d = adddownload("ftp://h/a", 3);
    int connected = -1;
    lark::getserverconnected(d, connected, 0);
    EXPECT_EQ(connected, 0);
    static_cast<lark::EngineNode*>(branch(d, 3))->serverconnected = 1; // as if started
    lark::getserverconnected(d, connected, 0);
    EXPECT_EQ(connected, 1);
    lark::getserverconnected(d, connected, 1);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(lark::deletenode(d), 2u);
    static_cast<lark::EngineNode*>(branch(d, 3))->serverconnected = 0;
    EXPECT_EQ(lark::deletenode(d), 0u);
}

TEST_F(Nodes, FieldsAndOffsets)
{
    void* d = nullptr;
    lark::addnode(d, "http://srv/x/y.bin", 2, 0, "", "", "/data/", false, false, true, false);
    std::string text;
    unsigned u = 0;
    int i = -1;
    lark::getURL(d, text);
    EXPECT_EQ(text, "");
    lark::getlocaldir(d, text);
    EXPECT_EQ(text, "/data/");
    lark::getserverprotocol(d, u);
    EXPECT_EQ(u, 1u);
    lark::getpasvmode(d, i);
    EXPECT_EQ(i, 0);
    lark::getascimode(d, i);
    EXPECT_EQ(i, 1);

    int64_t v = 99;
    for (unsigned type = 0; type < 3; ++type) lark::setfilepointer(d, (int64_t{1} << 40) + type, type);
    lark::setfilepointer(d, 5, 3);
    for (unsigned type = 0; type < 3; ++type) {
        lark::getfilepointer(d, v, type);
        EXPECT_EQ(v, (int64_t{1} << 40) + type);
    }
    EXPECT_EQ(lark::getfilepointer(d, v, 5), 0u);
    EXPECT_EQ(v, 0);
    lark::getfilepointer(branch(d, 2), v, 1);
    EXPECT_EQ(v, 0) << "branches keep their own offsets";

    lark::setstarttime(d, 0);
    lark::getstarttime(d, u);
    EXPECT_NE(u, 0u);
    EXPECT_LE(lark::gettickcount() - u, 1000u);
    lark::setlasttime(d, 42);
    lark::getlasttime(d, u);
    EXPECT_EQ(u, 42u);
}

TEST_F(Nodes, ConnectAndDisconnect)
{
    void* s = addbrowse("ftp://127.0.0.1:1/");
    EXPECT_EQ(lark::connect(s, 1), 0u);
    EXPECT_EQ(lark::connect(s, 1), 3u);
    EXPECT_EQ(lark::deletenode(s), 2u);
    EXPECT_EQ(lark::disconnect(s, 0), 0u);
    int connected = 1;
    for (int i = 0; i < 100 && connected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lark::getserverconnected(s, connected, 1);
    }
    EXPECT_EQ(connected, 0);
    std::string log;
    lark::getoutputmsg(s, log, 1);
    EXPECT_NE(log.find("connection closed\r\n"), std::string::npos) << log;
    EXPECT_EQ(lark::deletenode(s), 0u);
}

TEST_F(Nodes, DeleteRefusesHandlesItDidNotGiveOut)
{
    void* d = adddownload("ftp://h/a", 2);
    EXPECT_EQ(lark::deletenode(branch(d, 2)), 3u);
    EXPECT_EQ(walk().size(), 2u);
}

TEST(Engine, StartAndReleaseAreRepeatable)
{
    EXPECT_EQ(lark::releasedllres(), 1u);
    void* node = reinterpret_cast<void*>(1);
    EXPECT_EQ(lark::addnode(node, "ftp://h/", 1, 0, "", "", "", false, true, false, false), 1u);
    EXPECT_EQ(node, nullptr);
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(lark::startengine(), 0u);
        EXPECT_EQ(lark::startengine(), 1u);
        void* d = nullptr;
        EXPECT_EQ(lark::addnode(d, "ftp://127.0.0.1:1/a", 2, 0, "", "", "", true, true, false, false), 1u);
        EXPECT_EQ(lark::releasedllres(), 0u);
        EXPECT_EQ(lark::releasedllres(), 1u);
        std::string text;
        EXPECT_EQ(lark::getservername(d, text), 1u) << "handles are dead after release";
    }
}

TEST_F(Nodes, OutputLogHandOut)
{
    void* s = addbrowse("ftp://h/");
    auto* node = static_cast<lark::EngineNode*>(s);
    auto append = [&](const char* line) {
        std::lock_guard<std::mutex> guard(node->lock);
        node->log(line);
    };
    std::string text;
    append("one\r\n");
    lark::getoutputmsg(s, text, 0);
    EXPECT_EQ(text, "one\r\n");
    lark::getoutputmsg(s, text, 0);
    EXPECT_EQ(text, "");
    append("two\r\n");
    lark::getoutputmsg(s, text, 1);
    EXPECT_EQ(text, "one\r\ntwo\r\n");
    append("three\r\n");
    lark::clearlogmessage(s);
    lark::getoutputmsg(s, text, 1);
    EXPECT_EQ(text, "three\r\n");
}

// A server that talks without end cannot grow a node's log without end.
TEST_F(Nodes, LogKeepsItsNewestMegabyte)
{
    void* node = adddownload("http://h/a", 1);
    auto* record = static_cast<lark::EngineNode*>(node);
    const std::string line(1000, 'x');
    std::string handed;
    for (int i = 0; i < 5000; ++i) {
        record->log(line + std::to_string(i) + "\r\n");
        if (i % 1000 == 0) lark::getoutputmsg(node, handed, 0);
    }
    std::string all;
    lark::getoutputmsg(node, all, 1);
    EXPECT_LE(all.size(), 1u << 20);
    EXPECT_NE(all.find("(earlier log lines dropped)"), std::string::npos);
    EXPECT_NE(all.find(line + "4999\r\n"), std::string::npos) << "the newest line stays";
}

} // namespace
