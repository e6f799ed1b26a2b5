// What the node list must never do: delete a handle it did not give out, or
// let a talkative server grow a log without end.
#include <gtest/gtest.h>

#include <vector>

#include "engine.h"
#include "lark.h"

namespace {

// Every test gets a fresh engine, released afterwards.
class Nodes : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(lark::startengine(), 0u); }
    void TearDown() override { lark::releasedllres(); }

    void* adddownload(const std::string& url, unsigned branches)
    {
        void* node = nullptr;
        EXPECT_EQ(lark::addnode(node, url, branches, 0, "", "", "/tmp", false, true, false, false), 1u);
        return node;
    }
};

std::vector<lark::EngineNode*> walk()
{
    std::vector<lark::EngineNode*> visited;
    lark::EngineNode* head = lark::listhead();
    for (lark::EngineNode* n = lark::successor(head); n && n != head && visited.size() < 1000; n = lark::successor(n))
        visited.push_back(n);
    return visited;
}

TEST_F(Nodes, DeleteRefusesHandlesItDidNotGiveOut)
{
    void* branch = nullptr;
    lark::getdownbranch(adddownload("ftp://h/a", 2), 2, branch);
    EXPECT_EQ(lark::deletenode(branch), 3u);
    EXPECT_EQ(walk().size(), 2u);
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
