#include <gtest/gtest.h>

#include "enginefixture.h"
#include "enginenode.h"

namespace {

using Scripts = EngineTest;

std::string initcommand(void* node)
{
    return static_cast<lark::EngineNode*>(node)->initcommand;
}

TEST_F(Scripts, FtpStartScriptAndRestartNumber)
{
    void* node = adddownload("ftp://h/pub/a.zip", 1);
    EXPECT_EQ(initcommand(node), "user anonymous\r\npass peer@\r\ntype I\r\n");
    lark::generateinitcommand(node);
    lark::adjustrestpoint(node);
    EXPECT_EQ(initcommand(node), "user anonymous\r\npass peer@\r\ntype I\r\nrest 0\r\nretr /pub/a.zip\r\n");
    lark::setfilepointer(node, 123456789012, 0);
    lark::adjustrestpoint(node);
    EXPECT_EQ(initcommand(node), "user anonymous\r\npass peer@\r\ntype I\r\nrest 123456789012\r\nretr /pub/a.zip\r\n");
    lark::setfilepointer(node, 7, 0);
    lark::adjustrestpoint(node);
    EXPECT_EQ(initcommand(node), "user anonymous\r\npass peer@\r\ntype I\r\nrest 7\r\nretr /pub/a.zip\r\n");
}

TEST_F(Scripts, AsciiModeScript)
{
    void* node = nullptr;
    lark::addnode(node, "ftp://h/a.txt", 1, 0, "u", "p", "", false, true, true, false);
    EXPECT_EQ(initcommand(node), "user u\r\npass p\r\ntype A\r\n");
}

TEST_F(Scripts, HttpRequestAndRange)
{
    void* node = nullptr;
    lark::addnode(node, "http://S:8080/f.bin", 1, 0, "", "", "", false, true, false, false);
    EXPECT_EQ(initcommand(node), "");
    lark::generateinitcommand(node);
    const std::string request = "GET /f.bin HTTP/1.1\r\nHost: S:8080\r\nAccept: */*\r\nPragma: no-cache\r\n"
                                "Cache-Control: no-cache\r\nUser-Agent: Skylark\r\nReferer: http://S:8080/f.bin\r\n"
                                "Connection: close\r\n";
    EXPECT_EQ(initcommand(node), request + "\r\n");
    lark::setfilepointer(node, 1000, 0);
    lark::adjustrestpoint(node);
    EXPECT_EQ(initcommand(node), request + "Range: bytes=1000-\r\n\r\n");
    lark::setfilepointer(node, 0, 0);
    lark::adjustrestpoint(node);
    EXPECT_EQ(initcommand(node), request + "Range: bytes=0-\r\n\r\n");
}

TEST_F(Scripts, HttpRequestNamesAnIpv6ServerInBrackets)
{
    void* node = nullptr;
    lark::addnode(node, "http://[::1]:8080/f.bin", 1, 0, "", "", "", false, true, false, false);
    lark::generateinitcommand(node);
    EXPECT_NE(initcommand(node).find("\r\nHost: [::1]:8080\r\n"), std::string::npos) << initcommand(node);
    EXPECT_NE(initcommand(node).find("\r\nReferer: http://[::1]:8080/f.bin\r\n"), std::string::npos);
}

TEST_F(Scripts, SaveCommandAndCopy)
{
    void* node = adddownload("ftp://h/a", 1);
    auto* record = static_cast<lark::EngineNode*>(node);
    lark::savecommand(node, "noop\r\n");
    EXPECT_EQ(record->initcommand, "noop\r\n");
    record->commandqueue = "list\r\n";
    lark::savecommand(node, "...");
    EXPECT_EQ(record->initcommand, "list\r\n");
    lark::savecommand(node, "");
    EXPECT_EQ(record->initcommand, "");
    // A script without the line end after its number loses nothing else.
    lark::savecommand(node, "user a\r\nrest 5");
    lark::setfilepointer(node, 9, 0);
    lark::adjustrestpoint(node);
    EXPECT_EQ(record->initcommand, "user a\r\nrest 9");

    void* other = adddownload("http://x:81/b/c.iso", 1);
    EXPECT_EQ(lark::copyredirectinfo(other, node), 0u);
    std::string text;
    unsigned port = 0;
    lark::getservername(node, text);
    EXPECT_EQ(text, "x");
    lark::getftppathfile(node, text);
    EXPECT_EQ(text, "/b/c.iso");
    lark::getserverport(node, port);
    EXPECT_EQ(port, 81u);
    EXPECT_EQ(record->filename, "c.iso");
    EXPECT_EQ(lark::copyredirectinfo(nullptr, node), 1u);
    EXPECT_EQ(lark::copyredirectinfo(node, nullptr), 1u);
}

TEST(CommandQueue, AppendAndPop)
{
    lark::EngineNode node;
    node.appendcommand("pasv\r\n");
    node.appendcommand("list");
    node.appendcommand("x\n");
    EXPECT_EQ(node.commandqueue, "pasv\r\nlist\r\nx\n\r\n");
    node.popcommand();
    EXPECT_EQ(node.currentcommand, "pasv\r\n");
    EXPECT_EQ(node.commandqueue, "list\r\nx\n\r\n");

    node.commandqueue = "no line end";
    node.currentcommand = "kept";
    node.popcommand();
    node.poprequest();
    EXPECT_EQ(node.commandqueue, "no line end");
    EXPECT_EQ(node.currentcommand, "kept");

    node.commandqueue = "GET / HTTP/1.1\r\nHost: h\r\n\r\nrest";
    node.poprequest();
    EXPECT_EQ(node.currentcommand, "GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(node.commandqueue, "rest");
}

} // namespace
