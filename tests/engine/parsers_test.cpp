// The text routines the workers decide by, fed what a broken or hostile
// server may send: paths that climb, numbers that overflow, text without
// end. (Well-formed and multi-line replies, and which FTP replies refuse a
// request: the transfer and fault tests.)
#include <gtest/gtest.h>

#include <arpa/inet.h>

#include "chunkdecoder.h"
#include "lark.h"
#include "replyparsers.h"

namespace {

// A redirect may only lead to a path below the server's root and to a
// local name that is safe. (Plain relative, absolute, foreign-scheme and
// query redirects: the fault servers, end to end.)
TEST(ParseResponseHeader, RedirectsStayInBounds)
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
        {"no location", "HTTP/1.1 302 F\r\n\r\n", "/a", -1, 302, "/a", ""},
        {"dot segments", "HTTP/1.1 302 F\r\nLocation: ./x/../../b.zip\r\n\r\n", "/d1/d2/a.zip", 0, 302, "/d1/b.zip",
         "b.zip"},
        {"above the root", "HTTP/1.1 302 F\r\nLocation: ../../../../b\r\n\r\n", "/d1/a", 0, 302, "/b", "b"},
        {"network path", "HTTP/1.1 302 F\r\nLocation: //other/b\r\n\r\n", "/a", 0, 302, "http://other/b", "b"},
        {"hidden name", "HTTP/1.1 302 F\r\nLocation: /.bashrc\r\n\r\n", "/a", 0, 302, "/.bashrc", "bashrc"},
        {"escaped slashes", "HTTP/1.1 302 F\r\nLocation: /a%2F..%2F..%2Fb\r\n\r\n", "/s", 0, 302, "/a%2F..%2F..%2Fb",
         "a_.._.._b"},
        {"upper-case scheme", "HTTP/1.1 302 F\r\nLocation: HTTP://h/x\r\n\r\n", "/a", 0, 302, "http://h/x", "x"},
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

// Numbers that overflow or do not parse are absent, never wrapped. (A
// header without end: FailuresEndWithAReasonAndItsKind.)
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
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 99999999999999999999-\r\n\r\n", 206, -1, -1, -1, false},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 0-4/*\r\nContent-Length: 5x\r\n\r\n", 206, 0, -1, -1, false},
        {"HTTP/1.1 2060 Odd\r\n\r\n", -1, -1, -1, -1, false},
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
    // The last is an endless size line.
    const std::string bad[] = {"zz\r\nab\r\n",         "3\r\nabcX\r\n", "FFFFFFFFFFFFFFFFF\r\n", "\r\n",
                               "4000000000000001\r\n", "1zz\r\na\r\n",  std::string(5000, '1')};
    for (const std::string& body : bad) {
        lark::ChunkDecoder::Result last;
        dechunk(body, 64, last);
        EXPECT_EQ(last, lark::ChunkDecoder::Error) << body.substr(0, 20);
    }
}

// A reply is acted on only when whole, and a server cannot make one grow
// without end.
TEST(ReplyText, CompleteIncompleteOrTooLong)
{
    std::string manylines;
    for (int i = 0; i < 1001; ++i) manylines += "230-x\r\n";
    const auto complete = lark::ReplyComplete, incomplete = lark::ReplyIncomplete;
    const struct {
        std::string reply;
        lark::ReplyCheck check;
    } cases[] = {
        {"220-hello\r\n", incomplete},
        {"220-hello\r\n220 ready\r\n", complete},
        {"331 user ok", incomplete},
        {"22\r\n", incomplete},
        {manylines, lark::ReplyTooLong},
        {"230-" + std::string(9000, 'x'), lark::ReplyTooLong},
        {"230 " + std::string(8000, 'x') + "\r\n", complete},
    };
    for (const auto& c : cases) EXPECT_EQ(lark::checkreply(c.reply), c.check) << c.reply.substr(0, 20);
}

// A data port is six bytes' worth or one number, each within its range.
TEST(PassiveReplies, AddressAndPortWithinBounds)
{
    const struct {
        const char* reply;
        bool ok;
        unsigned long port;
    } cases[] = {
        {"227 Entering Passive Mode (127,0,0,1,4,1)\r\n", true, 1025},
        {"227 Entering Passive Mode 127,0,0,1,4,1\r\n", true, 1025}, // no parentheses
        {"227 Entering Passive Mode (127,0,0,1,4)\r\n", false, 0},
        {"227 Entering Passive Mode (127,0,0,1,4,999)\r\n", false, 0},
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", true, 6446},
        {"229 (|||6446)\r\n", false, 0},
        {"229 (|x|6446|)\r\n", false, 0},
        {"229 (|||9999999999|)\r\n", false, 0},
    };
    for (const auto& c : cases) {
        const bool extended = c.reply[2] == '9';
        unsigned long port = 0;
        in_addr address{}; // an EPSV reply names no address
        bool ok = false;
        if (extended) {
            ok = lark::parseepsv(c.reply, port);
        } else {
            unsigned pasvport = 0;
            ok = lark::parsepasv(c.reply, address, pasvport);
            port = pasvport;
        }
        EXPECT_EQ(ok, c.ok) << c.reply;
        if (!ok) continue;
        EXPECT_EQ(port, c.port) << c.reply;
        EXPECT_EQ(ntohl(address.s_addr), extended ? 0u : INADDR_LOOPBACK) << c.reply;
    }
}

} // namespace
