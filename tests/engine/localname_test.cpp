// URL and server paths to the names files get in the save directory.
#include <gtest/gtest.h>

#include <string>

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
        {"/dl?file=a/b.zip", NameSource::HttpPath, "dl"}, // a "/" in the query is no segment
        {"/%C3%A9t%C3%A9.txt", NameSource::HttpPath, "\xC3\xA9t\xC3\xA9.txt"},
        {"/caf%E9.txt", NameSource::HttpPath, "caf%E9.txt"}, // not UTF-8: the escape stays
        {"/%zz.txt", NameSource::HttpPath, "%zz.txt"},
        {"/.bashrc", NameSource::HttpPath, "bashrc"},
        {"/..%2F..%2Fetc%2Fpasswd", NameSource::HttpPath, "_.._etc_passwd"},
        {"/x/..", NameSource::HttpPath, "index.html"},
        {"/a%00b%0Ac", NameSource::HttpPath, "a_b_c"},
        {"/dir\\..\\evil", NameSource::HttpPath, "dir_.._evil"},
        {"/" + longstem + ".tar.gz", NameSource::HttpPath, std::string(252, 'a') + ".gz"},
        {"/pub/a%20b.txt", NameSource::FtpPath, "a%20b.txt"}, // a server's name as it stands
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
