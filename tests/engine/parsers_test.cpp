// The pure text routines the workers decide by.
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include <cstring>

#include "chunkdecoder.h"
#include "lark.h"
#include "replyparsers.h"

namespace {

TEST(ServerRejected, Table)
{
    struct Case {
        const char* reply;
        int kind;
        const char* command;
        int rejected;
    } cases[] = {
        {"550 No such file\r\n", 1, "retr /a\r\n", 1},
        {"550 No such file\r\n", 1, "cwd /a\r\n", 0},
        {"226-x\r\n502 no\r\n", 1, "retr /a\r\n", 0},
        {"226-x\r\n502 no\r\n", 1, "list\r\n", 1},
        {"530-denied\r\n530 denied\r\n", 1, "pass x\r\n", 0},
        {"530-denied\r\n530 denied\r\n", 1, "list\r\n", 1},
        {"530-denied only continuation\r\n", 1, "list\r\n", 0},
        {"501 syntax\r\n", 2, "", 1},
        {"501 syntax\r\n", 1, "list\r\n", 0},
        {"550 gone\r\n", 2, "", 1},
        {"250 ok\r\n", 2, "", 0},
        {"200 ok 550 inside\r\n", 1, "list\r\n", 0},
        {"425 no data\r\n", 1, "list\r\n", 1},
        {"500 what\r\n", 1, "rest 100\r\n", 0},
        {"", 1, "list\r\n", 0},
        {"550 x\r\n", 3, "list\r\n", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(lark::ServerRejected(c.reply, c.kind, c.command), c.rejected) << c.reply << " / " << c.command;
}

TEST(ParseResponseHeader, Table)
{
    struct Case {
        const char* quirk;
        const char* header;
        const char* path;
        int result;
        int status;
        const char* newpath;
        const char* newname;
    } cases[] = {
        {"ok", "HTTP/1.1 200 OK\r\n\r\n", "/a", -1, 200, "/a", ""},
        {"no reason phrase", "HTTP/1.1 302\r\nLocation: /x\r\n\r\n", "/a", 0, 302, "/x", "x"},
        {"lines end in LF", "HTTP/1.1 302 Found\nLocation: /x\n\n", "/a", 0, 302, "/x", "x"},
        {"no line end", "HTTP/1.1 302 Found", "/a", -1, 0, "/a", ""},
        {"absolute", "HTTP/1.1 301 Moved\r\nLocation: http://other:81/n/b.zip\r\n\r\n", "/a", 0, 301,
         "http://other:81/n/b.zip", "b.zip"},
        {"same folder", "HTTP/1.1 302 F\r\nLocation: b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/d1/d2/b.zip", "b.zip"},
        {"one up", "HTTP/1.1 302 F\r\nLocation: ../b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/d1/b.zip", "b.zip"},
        {"two up", "HTTP/1.1 302 F\r\nLocation: ../../b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/b.zip", "b.zip"},
        {"sub folder", "HTTP/1.1 302 F\r\nLocation: sub/b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/d1/d2/sub/b.zip",
         "b.zip"},
        {"backslashes", "HTTP/1.1 302 F\r\nLocation: \\new\\f.zip\r\n\r\n", "/a", 0, 302, "/new/f.zip", "f.zip"},
        {"root relative", "HTTP/1.1 307 T\r\nlocation:   /new/file.zip  \r\n\r\n", "/old/a.zip", 0, 307,
         "/new/file.zip", "file.zip"},
        {"foreign scheme, refused by the caller", "HTTP/1.1 302 F\r\nLocation: ftp://h/a\r\n\r\n", "/a", 0, 302,
         "ftp://h/a", "a"},
        {"a URL in the query steers nothing", "HTTP/1.1 302 F\r\nLocation: /p?next=http://other:9/x\r\n\r\n", "/a", 0,
         302, "/p?next=http://other:9/x", "p"},
        {"dot segments", "HTTP/1.1 302 F\r\nLocation: ./x/../../b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/d1/b.zip",
         "b.zip"},
        {"above the root", "HTTP/1.1 302 F\r\nLocation: ../../../../b\r\n\r\n", "/d1/a", 0, 302, "/b", "b"},
        {"network path", "HTTP/1.1 302 F\r\nLocation: //other/b\r\n\r\n", "/a", 0, 302, "http://other/b", "b"},
        {"fragment dropped, base query not kept", "HTTP/1.1 302 F\r\nLocation: b#top\r\n\r\n", "/d/a?q=1", 0, 302,
         "/d/b", "b"},
        {"no location", "HTTP/1.1 302 F\r\n\r\n", "/a", -1, 302, "/a", ""},
        {"content-location first", "HTTP/1.1 302 F\r\nContent-Location: /first\r\nLocation: /second\r\n\r\n", "/a", 0,
         302, "/second", "second"},
        {"upper-case scheme", "HTTP/1.1 302 F\r\nLocation: HTTP://h/x\r\n\r\n", "/a", 0, 302, "http://h/x", "x"},
        {"not found", "HTTP/1.1 404 Not Found\r\n\r\n", "/a", -1, 404, "/a", ""},
        {"padded status line", "  HTTP/1.0 301 Moved  \r\nLocation: /n\r\n\r\n", "/a", 0, 301, "/n", "n"},
        // The new name follows the local naming rules.
        {"hidden name", "HTTP/1.1 302 F\r\nLocation: /.bashrc\r\n\r\n", "/a", 0, 302, "/.bashrc", "bashrc"},
        {"no name", "HTTP/1.1 302 F\r\nLocation: http://h:80/\r\n\r\n", "/a", 0, 302, "http://h:80/", "index.html"},
        {"escaped slashes", "HTTP/1.1 302 F\r\nLocation: /a%2F..%2F..%2Fb\r\n\r\n", "/s", 0, 302, "/a%2F..%2F..%2Fb",
         "a_.._.._b"},
    };
    for (const Case& c : cases) {
        std::string newpath = "unset", newname;
        int status = -5;
        SCOPED_TRACE(c.quirk);
        EXPECT_EQ(lark::parseresponseheader(c.header, c.path, newpath, status, newname), c.result);
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(newpath, c.newpath);
        EXPECT_EQ(newname, c.newname);
    }
}

// The engine and the program's probe read a head by these rules.
TEST(HeaderFields, StatusRangeLengthAndCoding)
{
    const struct {
        const char* head;
        int status;
        int64_t start, total, length;
        bool chunked;
    } cases[] = {
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 1000-1999/5000\r\nTransfer-Encoding:  Chunked\r\n\r\n", 206,
         1000, 5000, -1, true},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 200, -1, -1, 5, false},
        {"HTTP/1.1 416 R\r\ncontent-range: bytes */5\r\n\r\n", 416, -1, 5, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes=0-4/5\r\ncontent-length:\t 5 \r\n\r\n", 206, 0, 5, 5, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 99999999999999999999-\r\n\r\n", 206, -1, -1, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-4/*\r\nContent-Length: 5x\r\n\r\n", 206, 0, -1, -1, false},
        {"HTTP/1.1 2060 Odd\r\n\r\n", -1, -1, -1, -1, false},
        {"HTTP/1.1 20\r\n\r\n", -1, -1, -1, -1, false},
        {"HTTP/1.0 302\r\n\r\n", 302, -1, -1, -1, false},
        {"garbage\r\n 200 OK\r\n\r\n", -1, -1, -1, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.head);
        EXPECT_EQ(lark::httpstatus(c.head), c.status);
        EXPECT_EQ(lark::contentrange(c.head).start, c.start);
        EXPECT_EQ(lark::contentrange(c.head).total, c.total);
        EXPECT_EQ(lark::contentlength(c.head), c.length);
        EXPECT_EQ(lark::ischunked(c.head), c.chunked);
    }
}

// Decodes `body` fed in pieces of `piece` bytes.
std::string dechunk(const std::string& body, size_t piece, lark::ChunkDecoder::Result& last)
{
    lark::ChunkDecoder decoder;
    std::string out;
    last = lark::ChunkDecoder::More;
    for (size_t at = 0; at < body.size() && last == lark::ChunkDecoder::More; at += piece) {
        std::string part = body.substr(at, piece);
        size_t length = 0;
        last = decoder.decode(part.data(), part.size(), length);
        out.append(part.data(), length);
    }
    return out;
}

TEST(ChunkDecoder, AnySplitGivesTheSameBody)
{
    const std::string body = "5;ext=1\r\nhello\r\n1A\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nTrailer: x\r\n\r\nIGNORED";
    for (size_t piece = 1; piece <= body.size(); ++piece) {
        lark::ChunkDecoder::Result last;
        EXPECT_EQ(dechunk(body, piece, last), "helloabcdefghijklmnopqrstuvwxyz") << piece;
        EXPECT_EQ(last, lark::ChunkDecoder::Done) << piece;
    }
}

TEST(ChunkDecoder, RefusesMalformedInput)
{
    const char* bad[] = {"zz\r\nab\r\n", "3\r\nabcX\r\n",        "FFFFFFFFFFFFFFFFF\r\n",
                         "\r\n",         "4000000000000001\r\n", "1zz\r\na\r\n"};
    for (const char* body : bad) {
        lark::ChunkDecoder::Result last;
        dechunk(body, 64, last);
        EXPECT_EQ(last, lark::ChunkDecoder::Error) << body;
    }
    lark::ChunkDecoder::Result last;
    dechunk(std::string(5000, '1'), 64, last);
    EXPECT_EQ(last, lark::ChunkDecoder::Error) << "an endless size line is bounded";
}

// Whether a reply is whole (checkreply: replycomplete within bounds).
TEST(ReplyText, CompleteIncompleteOrTooLong)
{
    std::string manylines;
    for (int i = 0; i < 1001; ++i) manylines += "230-x\r\n";
    const auto complete = lark::ReplyComplete, incomplete = lark::ReplyIncomplete;
    const struct {
        std::string reply;
        lark::ReplyCheck check;
    } cases[] = {
        {"220 ready\r\n", complete},
        {"220-hello\r\n", incomplete},
        {"220-hello\r\n220 ready\r\n", complete},
        {"220-hello\r\n    indented\r\n", complete},
        {"220-hello\r\nmore\r\n", incomplete},
        {"331 user ok", incomplete},
        {"", incomplete},
        {"\r\n", incomplete},
        {"22\r\n", incomplete},
        {"350 Restarting\r\n150 Opening\r\n", complete},
        {"230-a\r\n230-b\r\n230 c\r\n", complete},
        {"230-a\r\n230-b\r\n", incomplete},
        {manylines, lark::ReplyTooLong},
        {"230-" + std::string(9000, 'x'), lark::ReplyTooLong},
        {"230 " + std::string(8000, 'x') + "\r\n", lark::ReplyComplete},
    };
    for (const auto& c : cases) EXPECT_EQ(lark::checkreply(c.reply), c.check) << c.reply.substr(0, 20);
}

TEST(ParsePasv, SixNumbersWithOrWithoutParentheses)
{
    const struct {
        const char* reply;
        bool ok;
        const char* address;
        unsigned port;
    } cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1)\r\n", true, "127.0.0.1", 1025},
        {"227 Entering Passive Mode 127,0,0,1,200,10\r\n", true, "127.0.0.1", 51210},
        {"227 =10,1,2,3,0,21\r\n", true, "10.1.2.3", 21},
        {"227 Entering Passive Mode (127,0,0,1,4)\r\n", false, "", 0},
        {"227 Entering Passive Mode (127,0,0,1,4,999)\r\n", false, "", 0},
        {"227 ok\r\n", false, "", 0},
        {"227 version 2, (127,0,0,1,0,80)\r\n", true, "127.0.0.1", 80},
    };
    for (const auto& c : cases) {
        in_addr address{};
        unsigned port = 0;
        EXPECT_EQ(lark::parsepasv(c.reply, address, port), c.ok) << c.reply;
        if (!c.ok) continue;
        char text[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &address, text, sizeof text);
        EXPECT_STREQ(text, c.address) << c.reply;
        EXPECT_EQ(port, c.port) << c.reply;
    }
}

TEST(Pasv, ExtendedReplyPort)
{
    const struct {
        const char* reply;
        bool ok;
        unsigned long port;
    } cases[] = {
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", true, 6446},
        {"229 Entering Extended Passive Mode (!!!21!)\r\n", true, 21},
        {"229 odd (text) then (|||1025|)\r\n", true, 1025},
        {"229 (|||0|)\r\n", true, 0},
        {"229 (|||6446)\r\n", false, 0},
        {"229 (|x|6446|)\r\n", false, 0},
        {"229 (|||9999999999|)\r\n", false, 0},
        {"229 Entering Extended Passive Mode\r\n", false, 0},
    };
    for (const auto& c : cases) {
        unsigned long port = 0;
        EXPECT_EQ(lark::parseepsv(c.reply, port), c.ok) << c.reply;
        if (c.ok) {
            EXPECT_EQ(port, c.port) << c.reply;
        }
    }
}

TEST(HeaderFields, TooManyLinesIsRefused)
{
    std::string header = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 99; ++i) header += "X: y\r\n";
    EXPECT_FALSE(lark::toomanyheaderlines(header + "\r\n"));
    EXPECT_TRUE(lark::toomanyheaderlines(header + "X: y\r\nX: y\r\n\r\n"));
}

} // namespace
