// The browse list without a server: paths, the list file, commands that
// need no connection.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "browse/browsecommands.h"
#include "browse/browselistfile.h"
#include "browsefixture.h"
#include "sitebuilder.h"

namespace {

class BrowseList : public BrowseTest {
 protected:
  CBrowsRootAppend& Site(const QString& server, const QString& url) {
    return StoredSite(*list, server, url, "tester", "secret", 2121);
  }
  CTreeItem* Add(CTreeItem* parent, const QString& name, bool directory) {
    return StoredEntry(*list, parent, name, directory);
  }
  QString ListPath() { return scratch.path() + QStringLiteral("/lark1.dat"); }

  QTemporaryDir scratch;
};

// What the stored-format fixtures do not hold: a site's own fields and a
// tree three levels deep, written by this version. (Loading them:
// listdamage_test.)
TEST_F(BrowseList, ListFileRoundTripsThreeLevels) {
  CBrowsRootAppend& first = Site("alpha", "ftp://alpha/pub/");
  CTreeItem* pub = Add(list->Model().GetRootAt(0), "pub", true);
  Add(Add(pub, "linux", true), "kernel.tar", false);
  Add(pub, "readme", false);
  first.ascimode = 1;
  Site("beta", "ftp://beta/");
  ASSERT_TRUE(SaveBrowseList(*list, ListPath(), seam));

  CSiteBrowsList loaded(seam);
  ASSERT_EQ(LoadBrowseList(loaded, ListPath(), seam), ListFileLoad::Loaded);
  ASSERT_EQ(loaded.RecordCount(), 2);
  const CBrowsRootAppend& site = *loaded.Record(0);
  EXPECT_EQ(site.url, "ftp://alpha/pub/");
  EXPECT_EQ(site.user, "tester");
  EXPECT_EQ(site.pass, "secret");
  EXPECT_EQ(site.ascimode, 1u);
  EXPECT_EQ(site.pasvmode, 1u);
  EXPECT_EQ(site.port, 2121u);
  CTreeItem* loadedpub = Child(loaded.Model().GetRootAt(0), "pub");
  ASSERT_NE(loadedpub, nullptr);
  EXPECT_EQ(Children(loadedpub), "linux/ readme ");
  CTreeItem* kernel = Child(Child(loadedpub, "linux"), "kernel.tar");
  ASSERT_NE(kernel, nullptr);
  EXPECT_EQ(kernel->GetData().GetSubItem(0), "1,234");
  EXPECT_EQ(loaded.Model().rowCount(), 2) << "loaded sites come up collapsed";

  // The second record names its class only by reference.
  QFile file(ListPath());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll().count("CBrowsRootAppend"), 1);
}

TEST_F(BrowseList, RecreatedNodesKeepTheStoredTree) {
  Site("127.0.0.1", "ftp://127.0.0.1:1/pub/");
  Add(list->Model().GetRootAt(0), "pub", true);
  Site("file", "ftp://127.0.0.1:1/file.bin");  // not a site any more
  EXPECT_EQ(RecreateBrowseNodes(*list), 1);
  EXPECT_NE(list->Record(0)->node, nullptr);
  EXPECT_EQ(list->Record(0)->navready, 1u);
  EXPECT_EQ(list->Record(1)->node, nullptr);
  list->browsetick();  // not connected: nothing is asked, nothing rebuilt
  EXPECT_EQ(Children(list->Model().GetRootAt(0)), "pub/ ");
  EXPECT_EQ(list->Model().GetRootAt(0)->GetData().image, 3);
}

TEST_F(BrowseList, DownloadBuildsTheFileUrl) {
  Site("files.example", "ftp://files.example/");
  CTreeItem* a = Add(list->Model().GetRootAt(0), "a", true);
  CTreeItem* b = Add(a, "b", true);
  CTreeItem* file = Add(b, "file name.zip", false);

  Select(file);
  const auto request = DownloadSelectedFile(*list);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->url, "ftp://files.example/a/b/file name.zip");
  EXPECT_EQ(request->port, 2121u);
  EXPECT_EQ(request->pass, "secret");

  // A "%" in a name survives the engine's decoding of the URL.
  CTreeItem* percent = Add(b, "100%25 done.txt", false);
  Select(percent);
  const auto escaped = DownloadSelectedFile(*list);
  ASSERT_TRUE(escaped);
  EXPECT_EQ(escaped->url, "ftp://files.example/a/b/100%2525 done.txt");

  for (CTreeItem* folder : {b, list->Model().GetRootAt(0)}) {
    Select(folder);
    EXPECT_FALSE(DownloadSelectedFile(*list));
  }
  list->Model().SelectRow(-1);
  EXPECT_FALSE(DownloadSelectedFile(*list));

  // The site row shows the engine's server name; the URL brackets an IPv6 one.
  Site("::1", "ftp://[::1]:2121/");
  Select(Add(list->Model().GetRootAt(1), "a.bin", false));
  const auto ipv6 = DownloadSelectedFile(*list);
  ASSERT_TRUE(ipv6);
  EXPECT_EQ(ipv6->url, "ftp://[::1]/a.bin");
}

TEST_F(BrowseList, CommandsOnASiteThatIsNotReady) {
  Site("alpha", "ftp://alpha/");
  Select(list->Model().GetRootAt(0));
  EXPECT_EQ(RefreshSelectedDirectory(*list), StepResult::NotAsked);
  EXPECT_EQ(seam.notices, QStringList{"Node not ready, please connect and initialize first!"});

  // Cancel keeps the site; OK deletes a site that never got a node.
  seam.answer = false;
  EXPECT_FALSE(DeleteSelectedSite(*list));
  EXPECT_EQ(list->RecordCount(), 1);
  seam.answer = true;
  EXPECT_TRUE(DeleteSelectedSite(*list));
  EXPECT_EQ(list->RecordCount(), 0);
  EXPECT_EQ(list->Model().GetRootCount(), 0);
  EXPECT_EQ(seam.questions.count("The selected brows task will be deleted, are you sure?"), 2);

  list->Model().SelectRow(-1);
  seam.questions.clear();
  EXPECT_FALSE(DeleteSelectedSite(*list));
  DisconnectSelectedSite(*list);
  EXPECT_TRUE(seam.questions.isEmpty()) << "nothing selected, nothing asked";
}

}  // namespace
