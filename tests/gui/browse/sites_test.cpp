// Site rows a user can tell apart, a site asked for again reusing its row,
// and directories that show whether they were listed.
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <filesystem>

#include "browse/browsecommands.h"
#include "browse/browselistfile.h"
#include "browse/browsetaskcreation.h"
#include "core/commandids.h"
#include "core/tasknoderemoval.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/browse/csitebrowseview.h"
#include "gui/widgets/ctreegriddelegate.h"
#include "lark.h"
#include "rununtil.h"
#include "scriptedseam.h"
#include "sitebuilder.h"
#include "testservers.h"

namespace ts = testsupport;

namespace {

class Sites : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int i = 0; i < list().RecordCount(); ++i) RemoveTaskNode(list().Record(i)->node);
  }

  CSiteBrowsList& list() { return view.List(); }
  static void* Node(const std::string& url, const std::string& user, const std::string& pass, bool now) {
    void* node = nullptr;
    EXPECT_EQ(lark::addnode(node, url, 1, 0, user, pass, "", now, true, false, false), 0u) << url;
    return node;
  }
  CBrowsRootAppend& Open(const std::string& url, const std::string& user = {}, const std::string& pass = {},
                         bool now = true) {
    return OpenBrowseTask(list(), Node(url, user, pass, now), QString::fromStdString(url));
  }
  bool RunUntil(const std::function<bool()>& done) {
    return ::RunUntil(done, 20000, [this] { list().browsetick(); });
  }
  QString Label(int row) { return list().Model().GetRootAt(row)->GetData().text; }
  static CTreeItem* Child(const CTreeItem* item, const QString& name) {
    for (const auto& child : item->GetChildren())
      if (child->GetData().text == name) return child.get();
    return nullptr;
  }
  static QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }

  QTemporaryDir scratch;
  CScriptedSeam seam;
  CSiteBrowseView view{seam, nullptr, scratch.path() + "/lark1.dat"};
};

TEST_F(Sites, NewRowsNameThePortAndTheUserWhenTheyAreNotTheDefaults) {
  const struct {
    const char* url;
    const char* user;
    const char* label;
  } cases[] = {
      {"ftp://127.0.0.1/", "", "127.0.0.1"},
      {"ftp://127.0.0.1:21/", "ANONYMOUS", "127.0.0.1"},
      {"ftp://127.0.0.1:2132/", "", "127.0.0.1:2132"},
      {"ftp://127.0.0.1:2132/", "alice", "alice@127.0.0.1:2132"},
      {"ftp://alice:pw@127.0.0.1/pub/", "", "alice@127.0.0.1"},
      {"ftp://[::1]:2132/", "", "[::1]:2132"},
  };
  for (const auto& c : cases) {
    const int row = list().RecordCount();
    CreateBrowseTask(list(), Node(c.url, c.user, "", false), c.url);
    EXPECT_EQ(Label(row), c.label) << c.url << " " << c.user;
  }
  // A file's URL names the server alone.
  CTreeItem* file = StoredEntry(list(), list().Model().GetRootAt(3), "f.bin", false);
  list().Model().ExpandAll(list().Model().GetRootAt(3));
  list().Model().SelectRow(list().Model().NodeToIndex(file));
  ASSERT_TRUE(DownloadSelectedFile(list()));
  EXPECT_EQ(DownloadSelectedFile(list())->url, "ftp://127.0.0.1/f.bin");
}

// A refused login, then the right password: one row, which connects and
// lists; asked for again while connected it keeps its connection. Another
// port or user is another site.
TEST_F(Sites, ASiteAskedForAgainReusesItsRow) {
  ts::ScratchDir files("skylark-sites");
  files.writeFile("pub/a.txt", "a");
  ts::PyftpdServer ftp(files.path()), other(files.path());
  const std::string url = ftp.url("pub/");
  CBrowsRootAppend& site = Open(url, "tester", "wrong");
  const CItemInfo& row = list().SiteEntryOf(site)->GetData();
  ASSERT_TRUE(RunUntil([&] { return row.status == "Login refused"; })) << row.statustip.toStdString();

  list().Model().SelectRow(-1);
  EXPECT_EQ(&Open(url, "tester", "secret"), &site);
  EXPECT_EQ(list().RecordCount(), 1);
  EXPECT_EQ(site.pass, "secret");
  EXPECT_EQ(list().SelectedItem(), list().SiteEntryOf(site));
  ASSERT_TRUE(RunUntil([&] {
    const CTreeItem* pub = Child(list().SiteEntryOf(site), "pub");
    return pub && Child(pub, "a.txt");
  })) << ftp.log();

  void* running = site.node;
  Open(url, "TESTER", "secret", false);
  EXPECT_EQ(list().RecordCount(), 2) << "a user name's case counts";
  EXPECT_EQ(&Open(url, "tester", "secret"), &site);
  EXPECT_EQ(site.node, running);
  EXPECT_EQ(row.status, "Connected");
  Open(other.url("pub/"), "tester", "secret", false);
  Open(url, "", "", false);
  EXPECT_EQ(&Open(url, "anonymous", "", false), list().Record(3));
  ASSERT_EQ(list().RecordCount(), 4);
  const QString port = QString::number(ftp.port());
  EXPECT_EQ(Label(0), "tester@127.0.0.1:" + port);
  EXPECT_EQ(Label(2), "tester@127.0.0.1:" + QString::number(other.port()));
  EXPECT_EQ(Label(3), "127.0.0.1:" + port);
}

TEST_F(Sites, UnlistedDirectoriesShowTheirBoxAndListedEmptyOnesSayEmpty) {
  ts::ScratchDir files("skylark-sites");
  files.writeFile("pub/a.txt", "a");
  std::filesystem::create_directories(files / "empty");
  ts::VsftpdServer ftp(files.path());
  view.resize(500, 300);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  CBrowsRootAppend& site = Open(ftp.url(""));
  CTreeItem* root = list().SiteEntryOf(site);
  ASSERT_TRUE(RunUntil([&] { return Child(root, "empty") && site.navstate == ListingStep::Idle; })) << ftp.log();
  CTreeItem* empty = Child(root, "empty");
  CTreeItem* pub = Child(root, "pub");
  EXPECT_TRUE(empty->ItemHasChildren() && pub->ItemHasChildren()) << "a box before it is listed";

  // Its box lists it.
  CSiteBrowsCtrl& ctrl = view.Ctrl();
  QSignalSpy posted(&ctrl, &CSiteBrowsCtrl::PostCommand);
  const QRect cell = ctrl.visualRect(ctrl.model()->index(list().Model().NodeToIndex(empty), 0));
  QTest::mouseClick(ctrl.viewport(), Qt::LeftButton, {},
                    CTreeGridDelegate::ExpandBox(cell, empty->GetIndent()).center());
  ASSERT_EQ(posted.size(), 1);
  EXPECT_EQ(posted.at(0).at(0).toInt(), command::kRefresh);
  ASSERT_EQ(list().SelectedItem(), empty);
  QSignalSpy shown(&list(), &CSiteBrowsList::ListingShown);
  ASSERT_TRUE(RunUntil([&] { return RefreshSelectedDirectory(list()) == StepResult::Done; }));
  ASSERT_TRUE(RunUntil([&] { return !shown.isEmpty(); }));
  EXPECT_FALSE(empty->ItemHasChildren()) << "listed empty: no box";
  EXPECT_EQ(empty->GetData().status, CSiteBrowsList::EmptyText());
  EXPECT_TRUE(pub->ItemHasChildren());

  // The file keeps -1 for every directory, and a stored list comes back
  // byte for byte.
  ASSERT_TRUE(SaveBrowseList(list(), scratch.path() + "/new.dat", seam));
  const quint32 hint = qToLittleEndian(static_cast<quint32>(CSiteBrowsList::kUnlistedHint));
  EXPECT_FALSE(Bytes(scratch.path() + "/new.dat").contains(QByteArray(reinterpret_cast<const char*>(&hint), 4)));
  CSiteBrowsList loaded(seam);
  ASSERT_EQ(LoadBrowseList(loaded, scratch.path() + "/new.dat", seam), ListFileLoad::Loaded);
  EXPECT_TRUE(CSiteBrowsList::IsUnlisted(*Child(loaded.Model().GetRootAt(0), "empty")))
      << "the file cannot tell listed empty from never listed";
  CSiteBrowsList old(seam);
  ASSERT_EQ(LoadBrowseList(old, SKYLARK_TEST_DATA "/lark1.dat", seam), ListFileLoad::Loaded);
  ASSERT_TRUE(SaveBrowseList(old, scratch.path() + "/old.dat", seam));
  EXPECT_EQ(Bytes(scratch.path() + "/old.dat"), Bytes(SKYLARK_TEST_DATA "/lark1.dat"));
}

}  // namespace
