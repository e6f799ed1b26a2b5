// The browse list on screen (offscreen): site rows a user can tell apart, a
// site asked for again reusing its row, directories that show whether they
// were listed, and the clicks and keys that post commands.
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
  void Show() {
    view.resize(500, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  QModelIndex Cell(CTreeItem* item, int column) {
    return view.Ctrl().model()->index(list().Model().NodeToIndex(item), column);
  }
  QPoint BoxCentre(CTreeItem* item) {
    return CTreeGridDelegate::ExpandBox(view.Ctrl().visualRect(Cell(item, 0)), item->GetIndent()).center();
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
// lists, its unlisted directories with a box that lists them; asked for
// again while connected it keeps its connection. Another port or user is
// another site.
TEST_F(Sites, ASiteAskedForAgainReusesItsRowAndShowsWhatItListed) {
  ts::ScratchDir files("skylark-sites");
  files.writeFile("pub/a.txt", "a");
  std::filesystem::create_directories(files / "empty");
  ts::PyftpdServer ftp(files.path());
  Show();
  const std::string url = ftp.url("");
  CBrowsRootAppend& site = Open(url, "tester", "wrong");
  const CItemInfo& row = list().SiteEntryOf(site)->GetData();
  ASSERT_TRUE(RunUntil([&] { return row.status == "Login refused"; })) << row.statustip.toStdString();

  list().Model().SelectRow(-1);
  EXPECT_EQ(&Open(url, "tester", "secret"), &site);
  EXPECT_EQ(list().RecordCount(), 1);
  EXPECT_EQ(site.pass, "secret");
  EXPECT_EQ(list().SelectedItem(), list().SiteEntryOf(site));
  CTreeItem* root = list().SiteEntryOf(site);
  ASSERT_TRUE(RunUntil([&] { return Child(root, "empty") && site.navstate == ListingStep::Idle; })) << ftp.log();
  CTreeItem* empty = Child(root, "empty");
  CTreeItem* pub = Child(root, "pub");
  EXPECT_TRUE(empty->ItemHasChildren() && pub->ItemHasChildren()) << "a box before it is listed";

  QSignalSpy posted(&view.Ctrl(), &CSiteBrowsCtrl::PostCommand);
  QTest::mouseClick(view.Ctrl().viewport(), Qt::LeftButton, {}, BoxCentre(empty));
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

  void* running = site.node;
  Open(url, "TESTER", "secret", false);
  EXPECT_EQ(list().RecordCount(), 2) << "a user name's case counts";
  EXPECT_EQ(&Open(url, "tester", "secret"), &site);
  EXPECT_EQ(site.node, running);
  EXPECT_EQ(row.status, "Connected");
  Open("ftp://127.0.0.1:1/", "tester", "secret", false);
  Open(url, "", "", false);
  EXPECT_EQ(&Open(url, "anonymous", "", false), list().Record(3));
  ASSERT_EQ(list().RecordCount(), 4);
  const QString port = QString::number(ftp.port());
  EXPECT_EQ(Label(0), "tester@127.0.0.1:" + port);
  EXPECT_EQ(Label(2), "tester@127.0.0.1:1");
  EXPECT_EQ(Label(3), "127.0.0.1:" + port);
}

TEST_F(Sites, DoubleClickAndDeleteKeyPostCommands) {
  StoredSite(list(), "host", {});
  CTreeItem* root = list().Model().GetRootAt(0);
  CTreeItem* listed = StoredEntry(list(), root, "listed", true);
  StoredEntry(list(), listed, "inner.txt", false);
  CTreeItem* unlisted = StoredEntry(list(), root, "unlisted", true);
  CTreeItem* file = StoredEntry(list(), root, "file.zip", false);
  list().Model().Expand(root);
  Show();
  CSiteBrowsCtrl& ctrl = view.Ctrl();
  QSignalSpy posted(&ctrl, &CSiteBrowsCtrl::PostCommand);
  const struct {
    const char* name;
    CTreeItem* item;
    int command;  // 0: none
  } cases[] = {
      {"directory never listed", unlisted, command::kRefresh},
      {"a file", file, command::kDownload},
      {"a listed directory", listed, 0},
  };
  for (const auto& c : cases) {
    posted.clear();
    list().Model().SelectRow(list().Model().NodeToIndex(c.item));
    QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, {}, ctrl.visualRect(Cell(c.item, 1)).center());
    EXPECT_EQ(list().SelectedItem(), c.item) << c.name;
    if (c.command) {
      ASSERT_EQ(posted.size(), 1) << c.name;
      EXPECT_EQ(posted.at(0).at(0).toInt(), c.command) << c.name;
    } else {
      EXPECT_TRUE(posted.isEmpty()) << c.name;
    }
  }
  EXPECT_FALSE(listed->IsCollapsed()) << "a listed directory opens as any tree row does";

  // A double click on a row's +/- box acts on that row alone, whichever
  // row is selected.
  for (CTreeItem* selected : {file, unlisted}) {
    posted.clear();
    list().Model().SelectRow(list().Model().NodeToIndex(selected));
    QTest::mouseDClick(ctrl.viewport(), Qt::LeftButton, {}, BoxCentre(listed));
    EXPECT_TRUE(posted.isEmpty()) << selected->GetData().text.toStdString();
    EXPECT_EQ(list().SelectedItem(), selected);
  }

  posted.clear();
  QTest::keyClick(&ctrl, Qt::Key_Delete);
  ASSERT_EQ(posted.size(), 1);
  EXPECT_EQ(posted.at(0).at(0).toInt(), command::kDelete);
}

}  // namespace
