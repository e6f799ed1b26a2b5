// Browse tasks against loopback FTP servers: the first navigation, the
// listing cycle, the commands that talk to the server.

#include "browse/browsecommands.h"
#include "browsefixture.h"
#include "core/citeminfo.h"
#include "core/tasknoderemoval.h"
#include "core/treegridrules.h"
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

  std::unique_ptr<ts::ScratchDir> files;
};

// Active mode and the other servers: the engine's tests.
TEST_F(BrowseFtp, UrlPathBuildsTheChainAndListsItsEnd) {
  ts::VsftpdServer ftp(files->path());
  CBrowsRootAppend& site = AddSite(ftp.url("pub/linux/"));
  CTreeItem* linux = FirstListing(site);
  ASSERT_NE(linux, nullptr) << Log(site);
  CTreeItem* entry = list->SiteEntryOf(site);
  EXPECT_EQ(entry->GetData().text, QString::fromStdString("127.0.0.1:" + std::to_string(ftp.port())));
  EXPECT_EQ(entry->GetData().image, kSiteOnline);
  EXPECT_EQ(entry->GetData().status, QStringLiteral("Connected"));
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

// How a connection ends shows in the site's Status, its tooltip and, once,
// as news: a refused login ends the dialogue at once; a control connection
// the server closes mid-listing leaves the site disconnected.
TEST_F(BrowseFtp, ARefusedLoginAndALostConnectionShowOnTheSiteRow) {
  struct Case {
    const char* scenario;
    const char* status;
    int image;
  } cases[] = {
      {"refuse-login", "Login refused", kSiteRefused},
      {"pasv-refuse=421", "Disconnected", kSiteOffline},
  };
  for (const Case& c : cases) {
    ts::FaultServer ftp(ts::FaultProtocol::Ftp, c.scenario, files->path());
    CBrowsRootAppend& site = AddSite(ftp.url("pub/"));
    QStringList news;
    auto connection =
        QObject::connect(list.get(), &CSiteBrowsList::siteLost, [&](CBrowsRootAppend* s, const QString& reason) {
          if (s == &site) news.append(reason);
        });
    const CItemInfo& info = list->SiteEntryOf(site)->GetData();
    ASSERT_TRUE(RunUntil([&] { return info.status == QLatin1String(c.status); })) << c.scenario << Log(site);
    RunUntil([] { return false; }, 1500);  // later passes tell nothing new
    QObject::disconnect(connection);
    EXPECT_EQ(info.image, c.image) << c.scenario;
    EXPECT_FALSE(info.statustip.isEmpty()) << c.scenario;
    EXPECT_EQ(news, QStringList{info.statustip}) << c.scenario;
    const QModelIndex cell =
        list->Model().index(list->Model().NodeToIndex(list->SiteEntryOf(site)), CSiteBrowsList::kStatusColumn);
    EXPECT_EQ(list->Model().data(cell, Qt::ToolTipRole).toString(), info.statustip) << c.scenario;
    if (c.image == kSiteRefused) {
      EXPECT_EQ(Log(site).find("Send command:type"), std::string::npos) << "nothing is sent after the refusal";
    }
  }
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
  EXPECT_TRUE(CSiteBrowsList::IsUnlisted(*pub));
  Select(pub);
  StepResult result = StepResult::NotAsked;
  ASSERT_TRUE(RunUntil([&] {
    seam.notices.clear();
    return (result = RefreshSelectedDirectory(*list)) == StepResult::Done;
  })) << Log(site);
  EXPECT_EQ(RefreshSelectedDirectory(*list), StepResult::Busy);
  EXPECT_EQ(seam.notices, QStringList{"Node busy now, try again later!"});
  ASSERT_EQ(FirstListing(site), pub) << Log(site);
  EXPECT_EQ(Children(pub), "linux/ readme.txt ");

  // A file row is tried as a directory and refused by the server; the
  // site is free again at once. (The same refusal at the start: clils_test.)
  seam.notices.clear();
  Select(Child(pub, "readme.txt"));
  ASSERT_TRUE(RunUntil([&] { return RefreshSelectedDirectory(*list) == StepResult::Done; })) << Log(site);
  ASSERT_TRUE(RunUntil([&] { return seam.notices.contains("Target directory:/pub/readme.txt/ does not exist!"); }))
      << seam.notices.join("|").toStdString() << Log(site);
  EXPECT_EQ(Children(pub), "linux/ readme.txt ") << "the tree is left alone";

  // The site entry lists "/" again.
  Select(list->SiteEntryOf(site));
  ASSERT_TRUE(RunUntil([&] { return RefreshSelectedDirectory(*list) == StepResult::Done; }));
  ASSERT_EQ(FirstListing(site), root);
  EXPECT_EQ(Children(root), "pub/ top.txt ");
}

TEST_F(BrowseFtp, AListingCutOffByADisconnectDoesNotHoldTheSite) {
  for (int i = 0; i < 40; ++i) files->writeFile("many/file" + std::to_string(i) + ".txt", "x");
  ts::FaultServer ftp(ts::FaultProtocol::Ftp, "slow=40", files->path());
  CBrowsRootAppend& site = AddSite(ftp.url("many/"));
  ASSERT_TRUE(RunUntil([&] { return site.navstate == ListingStep::ListSent; })) << Log(site);
  ASSERT_EQ(lark::disconnect(site.node, 0), 0u);
  // The cycle ends with the connection, and the next tick shows the site offline.
  ASSERT_TRUE(RunUntil([&] {
    return site.navstate == ListingStep::Idle && list->SiteEntryOf(site)->GetData().status == "Disconnected";
  })) << Log(site);
  ASSERT_EQ(lark::connect(site.node, 1), 0u);
  CTreeItem* entry = list->SiteEntryOf(site);
  ASSERT_TRUE(RunUntil([&] { return list->listingstep(site, entry, {}) == StepResult::Done; })) << Log(site);
  EXPECT_EQ(site.navstate, ListingStep::CwdSent);
}

// The wait for a node to go idle is bounded and keeps events flowing; a
// delete disconnects a connected site first.
TEST_F(BrowseFtp, DeleteDisconnectsAConnectedSiteFirst) {
  ts::VsftpdServer ftp(files->path());
  CBrowsRootAppend& keep = AddSite(ftp.url("pub/"));
  CBrowsRootAppend& gone = AddSite(ftp.url(""));
  ASSERT_NE(FirstListing(gone), nullptr) << Log(gone);
  bool handled = false;
  QTimer::singleShot(50, [&] { handled = true; });
  EXPECT_FALSE(WaitUntilNodeIdle(gone.node, std::chrono::milliseconds(400))) << "still connected";
  EXPECT_TRUE(handled) << "the event loop ran during the wait";
  int connected = 0;
  ASSERT_EQ(lark::getserverconnected(gone.node, connected, 0), 0u) << "the node is still there";
  ASSERT_EQ(connected, 1);
  Select(list->SiteEntryOf(gone));
  EXPECT_TRUE(DeleteSelectedSite(*list));
  ASSERT_EQ(list->RecordCount(), 1);
  EXPECT_EQ(list->Record(0), &keep);
  EXPECT_EQ(list->Model().GetRootCount(), 1);
}

}  // namespace
