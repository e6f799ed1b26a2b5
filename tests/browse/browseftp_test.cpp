// Browse tasks against loopback FTP servers: the first navigation, the
// listing cycle, the commands that talk to the server.
#include <QElapsedTimer>

#include <filesystem>
#include <set>

#include "browse/browsecommands.h"
#include "browse/listingdisplay.h"
#include "browsefixture.h"
#include "core/citeminfo.h"
#include "core/tasknoderemoval.h"
#include "testservers.h"

namespace ts = testsupport;

namespace {

class BrowseFtp : public BrowseTest {
 protected:
  void SetUp() override {
    BrowseTest::SetUp();
    files = std::make_unique<ts::ScratchDir>("skylark-browse");
    files->writeFile("pub/linux/zfile.txt", "zzz");
    files->writeFile("pub/linux/kdir/inner.txt", "inner");
    files->writeFile("pub/linux/a.txt", "a");
    files->writeFile("pub/readme.txt", "readme");
    files->writeFile("top.txt", "top");
  }
  void TearDown() override {
    BrowseTest::TearDown();
    files.reset();
  }

  // Waits for the next listing of the site, whoever started it.
  CTreeItem* NextListing(CBrowsRootAppend& site, int ms = 20000) { return FirstListing(site, ms); }

  std::unique_ptr<ts::ScratchDir> files;
};

// Active mode and the other servers: the engine's tests.
TEST_F(BrowseFtp, UrlPathBuildsTheChainAndListsItsEnd) {
  ts::VsftpdServer ftp(files->path());
  {
    CBrowsRootAppend& site = AddSite(ftp.url("pub/linux/"));
    CTreeItem* linux = FirstListing(site);
    ASSERT_NE(linux, nullptr) << Log(site);
    CTreeItem* entry = list->SiteEntryOf(site);
    EXPECT_EQ(entry->GetData().text, "127.0.0.1");
    EXPECT_EQ(entry->GetData().image, 4) << "connected";
    EXPECT_EQ(Children(entry), "pub/ ");
    EXPECT_EQ(Children(Child(entry, "pub")), "linux/ ");
    EXPECT_EQ(Child(Child(entry, "pub"), "linux"), linux);
    const std::string names = Children(linux);
    EXPECT_TRUE(names == "kdir/ a.txt zfile.txt " || names == "kdir/ zfile.txt a.txt ") << names;
    const CItemInfo& file = Child(linux, "zfile.txt")->GetData();
    EXPECT_EQ(file.GetSubItem(0), "3");
    EXPECT_EQ(file.GetSubItem(1).size(), 16) << file.GetSubItem(1).toStdString();
    EXPECT_GE(list->Model().NodeToIndex(Child(linux, "a.txt")), 0) << "the listing is on screen";
    EXPECT_EQ(site.navready, 1u);
    EXPECT_EQ(site.navstate, ListingStep::Idle);
    EXPECT_NE(Log(site).find("Send command:cwd /pub/linux/"), std::string::npos) << Log(site);
  }
}

TEST_F(BrowseFtp, NoPathAsksPwdAndListsThatDirectory) {
  ts::PyftpdServer ftp(files->path());
  const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.port());
  CBrowsRootAppend& site = AddSite(url, ts::PyftpdServer::user, ts::PyftpdServer::password);
  CTreeItem* dir = FirstListing(site);
  ASSERT_NE(dir, nullptr) << Log(site);
  EXPECT_EQ(dir, list->SiteEntryOf(site)) << "pwd named /";
  EXPECT_EQ(Children(dir), "pub/ top.txt ");
  EXPECT_NE(Log(site).find("Send command:pwd"), std::string::npos);
}

TEST_F(BrowseFtp, RefusedCwdSaysTheDirectoryDoesNotExist) {
  ts::FaultServer ftp(ts::FaultProtocol::Ftp, "refuse-cwd", files->path());
  CBrowsRootAppend& site = AddSite(ftp.url("pub/"));
  StepResult failed = StepResult::Done;
  QObject::connect(list.get(), &CSiteBrowsList::ListingFailed,
                   [&](CBrowsRootAppend*, StepResult result) { failed = result; });
  ASSERT_TRUE(RunUntil([&] { return failed != StepResult::Done; })) << Log(site);
  EXPECT_EQ(failed, StepResult::NoSuchDirectory);
  EXPECT_EQ(seam.notices, QStringList{"Target directory:/pub/ does not exist!"});
  EXPECT_EQ(site.navstate, ListingStep::Idle);
  EXPECT_EQ(site.navtarget, nullptr);
}

// A refused login ends the dialogue at once and says so on the site row.
TEST_F(BrowseFtp, RefusedLoginShowsOnTheSiteRow) {
  ts::FaultServer ftp(ts::FaultProtocol::Ftp, "refuse-login", files->path());
  CBrowsRootAppend& site = AddSite(ftp.url("pub/"));
  ASSERT_TRUE(RunUntil([&] { return list->SiteEntryOf(site)->GetData().GetSubItem(0).startsWith("login refused"); }))
      << Log(site);
  EXPECT_EQ(Log(site).find("Send command:type"), std::string::npos) << "nothing is sent after the refusal";
}

TEST_F(BrowseFtp, LongListingLinesAreParsedWhole) {
  ts::FaultServer ftp(ts::FaultProtocol::Ftp, "long-lines", files->path());
  CBrowsRootAppend& site = AddSite(ftp.url(""));
  CTreeItem* dir = FirstListing(site);
  ASSERT_NE(dir, nullptr) << Log(site);
  int longnames = 0;
  for (const auto& child : dir->GetChildren())
    if (child->GetData().text.size() >= 500) ++longnames;
  EXPECT_EQ(longnames, 3) << Children(dir);
  EXPECT_NE(Child(dir, "top.txt"), nullptr);
}

TEST_F(BrowseFtp, RefreshUnlistedDirectoryFileRowAndWhileBusy) {
  ts::VsftpdServer ftp(files->path());
  CBrowsRootAppend& site = AddSite(ftp.url(""));
  CTreeItem* root = FirstListing(site);
  ASSERT_NE(root, nullptr) << Log(site);

  // An unlisted directory is listed; asking again while that runs is busy
  // and leaves the listing to arrive whole.
  CTreeItem* pub = Child(root, "pub");
  ASSERT_NE(pub, nullptr);
  EXPECT_FALSE(pub->ItemHasChildren());
  Select(pub);
  StepResult result = StepResult::NotAsked;
  ASSERT_TRUE(RunUntil([&] {
    seam.notices.clear();
    return (result = RefreshSelectedDirectory(*list)) == StepResult::Done;
  })) << Log(site);
  EXPECT_EQ(RefreshSelectedDirectory(*list), StepResult::Busy);
  EXPECT_EQ(seam.notices, QStringList{"Node busy now, try again later!"});
  ASSERT_EQ(NextListing(site), pub) << Log(site);
  EXPECT_EQ(Children(pub), "linux/ readme.txt ");

  // A file row is tried as a directory and refused by the server.
  seam.notices.clear();
  Select(Child(pub, "readme.txt"));
  ASSERT_TRUE(RunUntil([&] { return RefreshSelectedDirectory(*list) == StepResult::Done; })) << Log(site);
  ASSERT_TRUE(RunUntil([&] { return seam.notices.contains("Target directory:/pub/readme.txt/ does not exist!"); }))
      << seam.notices.join("|").toStdString() << Log(site);
  EXPECT_EQ(Children(pub), "linux/ readme.txt ") << "the tree is left alone";

  // The site entry lists "/" again.
  Select(list->SiteEntryOf(site));
  ASSERT_TRUE(RunUntil([&] { return RefreshSelectedDirectory(*list) == StepResult::Done; }));
  ASSERT_EQ(NextListing(site), root);
  EXPECT_EQ(Children(root), "pub/ top.txt ");
}

// Two directories shown alike ("caf\u00e9"), one named in Latin-1 and one
// in UTF-8, each holding a file named the same way: every command and URL
// made from a row carries that row's own bytes, and the download of each
// URL writes that file under the server's name and nothing beside it.
TEST_F(BrowseFtp, NamesThatAreNotUtf8AreEnteredByTheirOwnBytes) {
  ts::ScratchDir root("skylark-browse-raw");
  ts::ScratchDir saved("skylark-browse-get");
  const struct {
    std::string name;  // of the directory and, with ".bin", of its file
    const char* url;   // of the file, past the server
  } cases[] = {{"caf\xE9", "/caf%E9/caf%E9.bin"}, {"caf\xC3\xA9", "/caf\xC3\xA9/caf\xC3\xA9.bin"}};
  for (const auto& c : cases)
    root.writeRandomFile(c.name + "/" + c.name + ".bin", 300000 + static_cast<int64_t>(c.name.size()), c.name.size());
  ts::VsftpdServer ftp(root.path());
  CBrowsRootAppend& site = AddSite(ftp.url(""));
  CTreeItem* top = FirstListing(site);
  ASSERT_NE(top, nullptr) << Log(site);
  ASSERT_EQ(Children(top), "caf\xC3\xA9/ caf\xC3\xA9/ ") << "vsftpd sends the bytes as they are";

  for (const auto& c : cases) {
    CTreeItem* dir = nullptr;
    for (const auto& child : top->GetChildren())
      if (ServerName(child->GetData()) == c.name) dir = child.get();
    ASSERT_NE(dir, nullptr) << c.name;
    ASSERT_TRUE(RunUntil([&] { return list->listingstep(site, dir, {}) == StepResult::Done; })) << Log(site);
    ASSERT_EQ(NextListing(site), dir) << Log(site);
    EXPECT_NE(Log(site).find("Send command:cwd /" + c.name + "/\r\n"), std::string::npos) << Log(site);
    ASSERT_EQ(dir->ChildCount(), 1) << Children(dir);
    CTreeItem* file = dir->GetChildren().front().get();
    EXPECT_EQ(file->GetData().text, QStringLiteral("caf\u00e9.bin"));
    EXPECT_EQ(ServerName(file->GetData()), c.name + ".bin");
    EXPECT_EQ(file->GetData().GetSubItem(0).toStdString(), "300,00" + std::to_string(c.name.size()));
    Select(file);
    const auto request = DownloadSelectedFile(*list);
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url.toStdString(), "ftp://127.0.0.1" + std::string(c.url));

    const std::string url = "ftp://127.0.0.1:" + std::to_string(ftp.port()) + c.url;
    const ts::ProgramRun get =
        ts::runProgram(SKYLARK_CLI, {"get", "-n", "2", "-d", (saved.path() / "dl").string(), "--timeout", "20", url},
                       {.home = (saved.path() / "home").string()});
    ASSERT_EQ(get.status, 0) << url << "\n" << get.output;
    EXPECT_EQ(ts::sha256OfFile(saved.path() / "dl" / (c.name + ".bin")),
              ts::sha256OfFile(root.path() / c.name / (c.name + ".bin")));
  }
  std::set<std::string> written;
  for (const auto& entry : std::filesystem::directory_iterator(saved.path() / "dl"))
    written.insert(entry.path().filename().string());
  EXPECT_EQ(written, (std::set<std::string>{"caf\xE9.bin", "caf\xC3\xA9.bin"}));
}

TEST_F(BrowseFtp, AListingCutOffByADisconnectDoesNotHoldTheSite) {
  for (int i = 0; i < 40; ++i) files->writeFile("many/file" + std::to_string(i) + ".txt", "x");
  ts::FaultServer ftp(ts::FaultProtocol::Ftp, "slow=40", files->path());
  CBrowsRootAppend& site = AddSite(ftp.url("many/"));
  ASSERT_TRUE(RunUntil([&] { return site.navstate == ListingStep::ListSent; })) << Log(site);
  ASSERT_EQ(lark::disconnect(site.node, 0), 0u);
  // The cycle ends with the connection, and the next tick shows the site offline.
  ASSERT_TRUE(RunUntil([&] {
    return site.navstate == ListingStep::Idle && list->SiteEntryOf(site)->GetData().image == 3;
  })) << Log(site);
  ASSERT_EQ(lark::connect(site.node, 1), 0u);
  CTreeItem* entry = list->SiteEntryOf(site);
  ASSERT_TRUE(RunUntil([&] { return list->listingstep(site, entry, {}) == StepResult::Done; })) << Log(site);
  EXPECT_EQ(site.navstate, ListingStep::CwdSent);
}

TEST_F(BrowseFtp, DeleteDisconnectsAConnectedSiteFirst) {
  ts::VsftpdServer ftp(files->path());
  CBrowsRootAppend& keep = AddSite(ftp.url("pub/"));
  CBrowsRootAppend& gone = AddSite(ftp.url(""));
  ASSERT_NE(FirstListing(gone), nullptr) << Log(gone);
  Select(list->SiteEntryOf(gone));
  int connected = 0;
  ASSERT_EQ(lark::getserverconnected(gone.node, connected, 0), 0u);
  ASSERT_EQ(connected, 1);
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(DeleteSelectedSite(*list));
  EXPECT_LT(clock.elapsed(), 10000);
  ASSERT_EQ(list->RecordCount(), 1);
  EXPECT_EQ(list->Record(0), &keep);
  EXPECT_EQ(list->Model().GetRootCount(), 1);
}

TEST_F(BrowseFtp, TheWaitForANodeIsBoundedAndKeepsEventsFlowing) {
  ts::VsftpdServer ftp(files->path());
  CBrowsRootAppend& site = AddSite(ftp.url(""));
  ASSERT_NE(FirstListing(site), nullptr);
  bool handled = false;
  QTimer::singleShot(50, [&] { handled = true; });
  QElapsedTimer clock;
  clock.start();
  EXPECT_FALSE(WaitUntilNodeIdle(site.node, std::chrono::milliseconds(400))) << "still connected";
  EXPECT_GE(clock.elapsed(), 350);
  EXPECT_LT(clock.elapsed(), 2000);
  EXPECT_TRUE(handled) << "the event loop ran during the wait";
  int connected = 0;
  EXPECT_EQ(lark::getserverconnected(site.node, connected, 0), 0u) << "the node is still there";
  EXPECT_EQ(connected, 1);
}

}  // namespace
