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

// An empty directory of its own under $TMPDIR; empty on failure.
std::string FreshDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "skylark-localname-XXXXXX").string();
    return mkdtemp(pattern.data()) ? pattern : std::string();
}

// A redirect's name never lands on something already in the directory
// that the task did not make: the next free numbered name is taken.
TEST(LocalName, ARedirectsNameNeverReplacesAnotherFile)
{
    const std::string long250(250, 'x');
    const struct {
        const char* why;
        std::vector<std::string> present; // "name" a file, "name/" a directory, "name@" a dangling link
        std::string name;
        std::string own;
        std::string chosen;
    } cases[] = {
        {"free", {}, "real.bin", "", "real.bin"},
        {"taken", {"real.bin"}, "real.bin", "", "real (1).bin"},
        {"next free", {"real.bin", "real (1).bin", "real (2).bin"}, "real.bin", "", "real (3).bin"},
        {"a gap is used", {"real.bin", "real (2).bin"}, "real.bin", "", "real (1).bin"},
        {"the task's own file", {"real.bin"}, "real.bin", "real.bin", "real.bin"},
        {"the task's own copy", {"real.bin", "real (1).bin"}, "real.bin", "real (1).bin", "real (1).bin"},
        {"no extension", {"README"}, "README", "", "README (1)"},
        {"dotted stem", {"v1.2.zip"}, "v1.2.zip", "", "v1.2 (1).zip"},
        {"tar and its compression", {"src.TAR.gz"}, "src.TAR.gz", "", "src (1).TAR.gz"},
        {"too long to be an extension",
         {"a.notanextension12345"},
         "a.notanextension12345",
         "",
         "a.notanextension12345 (1)"},
        {"a directory", {"real.bin/"}, "real.bin", "", "real (1).bin"},
        {"a dangling link", {"real.bin@"}, "real.bin", "", "real (1).bin"},
        {"cut to fit", {long250 + ".bin"}, long250 + ".bin", "", std::string(247, 'x') + " (1).bin"},
        {"UTF-8 cut whole",
         {std::string(249, 'x') + "\xC3\xA9.bin"},
         std::string(249, 'x') + "\xC3\xA9.bin",
         "",
         std::string(247, 'x') + " (1).bin"},
    };
    for (const auto& c : cases) {
        const std::string dir = FreshDirectory();
        ASSERT_FALSE(dir.empty());
        for (const std::string& entry : c.present) {
            const bool marked = entry.back() == '/' || entry.back() == '@';
            const std::string path = dir + "/" + entry.substr(0, entry.size() - (marked ? 1 : 0));
            if (entry.back() == '/')
                ASSERT_EQ(mkdir(path.c_str(), 0755), 0) << path;
            else if (entry.back() == '@')
                ASSERT_EQ(symlink((dir + "/missing").c_str(), path.c_str()), 0) << path;
            else
                ASSERT_GE(close(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644)), 0) << path;
        }
        const std::string chosen = lark::unusedlocalname(dir, c.name, c.own);
        EXPECT_EQ(chosen, c.chosen) << c.why;
        EXPECT_LE(chosen.size(), 255u) << c.why;
        std::filesystem::remove_all(dir);
    }
}

TEST(LocalName, EveryNumberTakenGivesNoName)
{
    const std::string dir = FreshDirectory();
    ASSERT_FALSE(dir.empty());
    std::vector<std::string> names = {"f.txt"};
    for (int n = 1; n <= lark::maxnamecopies; ++n) names.push_back("f (" + std::to_string(n) + ").txt");
    for (const std::string& name : names)
        ASSERT_GE(close(open((dir + "/" + name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644)), 0);
    EXPECT_EQ(lark::unusedlocalname(dir, "f.txt", ""), "");
    EXPECT_EQ(lark::unusedlocalname(dir, "f.txt", "f (7).txt"), "f (7).txt") << "its own file is still its own";
    unlink((dir + "/f (" + std::to_string(lark::maxnamecopies) + ").txt").c_str());
    EXPECT_EQ(lark::unusedlocalname(dir, "f.txt", ""), "f (" + std::to_string(lark::maxnamecopies) + ").txt");
    std::filesystem::remove_all(dir);
}

} // namespace
