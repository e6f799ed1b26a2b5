// URL and server paths to the names files get in the save directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "localname.h"

namespace {

using lark::NameSource;

TEST(LocalName, EveryNameIsSafeAndReadable)
{
    const std::string longstem(300, 'a');
    const struct {
        std::string path;
        NameSource source;
        std::string name;
    } cases[] = {
        {"/large.bin?n=3", NameSource::HttpPath, "large.bin"},
        {"/big100.bin?rate=500000#top", NameSource::HttpPath, "big100.bin"},
        {"/dl?file=a/b.zip", NameSource::HttpPath, "dl"}, // a "/" in the query is no segment
        {"/a%20b.txt", NameSource::HttpPath, "a b.txt"},
        {"/%C3%A9t%C3%A9.txt", NameSource::HttpPath, "\xC3\xA9t\xC3\xA9.txt"},
        {"/caf%E9.txt", NameSource::HttpPath, "caf%E9.txt"}, // not UTF-8: the escape stays
        {"/%C3%A9%E9.txt", NameSource::HttpPath, "\xC3\xA9%E9.txt"},
        {"/%zz.txt", NameSource::HttpPath, "%zz.txt"},
        {"/.bashrc", NameSource::HttpPath, "bashrc"},
        {"/..%2F..%2Fetc%2Fpasswd", NameSource::HttpPath, "_.._etc_passwd"},
        {"/x/..", NameSource::HttpPath, "index.html"},
        {"/a%00b%0Ac", NameSource::HttpPath, "a_b_c"},
        {"/dir\\..\\evil", NameSource::HttpPath, "dir_.._evil"},
        {"/", NameSource::HttpPath, "index.html"},
        {"/?only=query", NameSource::HttpPath, "index.html"},
        {"http://host", NameSource::HttpPath, "host"},
        {"/" + longstem + ".tar.gz", NameSource::HttpPath, std::string(252, 'a') + ".gz"},
        {"/pub/a%20b.txt", NameSource::FtpPath, "a%20b.txt"}, // a server's name as it stands
        {"/pub/what?.txt", NameSource::FtpPath, "what?.txt"},
        {"/pub/caf\xE9.txt", NameSource::FtpPath, "caf\xE9.txt"},
        {"/pub/.profile", NameSource::FtpPath, "profile"},
        {"/pub/...", NameSource::FtpPath, "server"},
    };
    for (const auto& c : cases) {
        const std::string name =
            lark::localfilename(c.path, c.source, c.source == NameSource::FtpPath ? "server" : "index.html");
        EXPECT_EQ(name, c.name) << c.path;
        EXPECT_LE(name.size(), 255u) << c.path;
        EXPECT_EQ(name.find('/'), std::string::npos) << c.path;
        EXPECT_NE(name.front(), '.') << c.path;
    }
}

} // namespace
