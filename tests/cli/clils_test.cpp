// skylark-cli ls and the browse half of skylark-cli tasks, end to end.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "browse/browselistfile.h"
#include "browse/csitebrowslist.h"
#include "core/citeminfo.h"
#include "scriptedseam.h"
#include "testservers.h"

namespace ts = testsupport;

namespace {

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

class CliLs : public ::testing::Test {
 protected:
  void SetUp() override {
    files = std::make_unique<ts::ScratchDir>("skylark-cli-ls");
    files->writeFile("pub/linux/zfile.txt", "zzz");
    files->writeFile("pub/linux/kdir/inner.txt", "inner");
    files->writeFile("pub/readme.txt", "readme");
  }

  CliRun Cli(const QStringList& arguments, int ms = 60000) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SKYLARK_HOME", home.path());
    environment.insert("XDG_CONFIG_HOME", home.path() + "/config");
    process.setProcessEnvironment(environment);
    process.start(SKYLARK_CLI, arguments);
    CliRun run;
    if (!process.waitForFinished(ms)) {
      process.kill();
      process.waitForFinished(5000);
      return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
  }

  QTemporaryDir home;
  std::unique_ptr<ts::ScratchDir> files;
};

TEST_F(CliLs, ListsVsftpdPassiveAndActive) {
  ts::VsftpdServer ftp(files->path());
  for (const QStringList& mode : {QStringList{}, QStringList{"--active"}}) {
    const CliRun run = Cli(QStringList{"ls"} + mode + QStringList{QString::fromStdString(ftp.url("pub/linux/"))});
    ASSERT_EQ(run.status, 0) << run.err << ftp.log();
    EXPECT_EQ(run.out.substr(0, 5), "kdir/") << run.out;
    EXPECT_NE(run.out.find("\nzfile.txt\t3\t"), std::string::npos) << run.out;
    EXPECT_TRUE(run.err.empty()) << run.err;
  }
}

TEST_F(CliLs, ListsOnIpv6LoopbackByEpsvAndEprt) {
  if (!ts::hasIpv6Loopback()) GTEST_SKIP() << "this machine has no IPv6 loopback (::1)";
  ts::VsftpdServer vsftpd(files->path(), {.host = "::1"});
  ts::PyftpdServer pyftpd(files->path(), {.host = "::1"});
  for (const ts::LoopbackServer* ftp : std::initializer_list<const ts::LoopbackServer*>{&vsftpd, &pyftpd}) {
    for (const QStringList& mode : {QStringList{}, QStringList{"--active"}}) {
      const QString url = QString::fromStdString(ftp->url("pub/linux/"));
      const CliRun run = Cli(QStringList{"ls", "--timeout", "30"} + mode + QStringList{url});
      ASSERT_EQ(run.status, 0) << url.toStdString() << " " << mode.join(' ').toStdString() << "\n" << run.err;
      EXPECT_EQ(run.out.substr(0, 5), "kdir/") << run.out;
      EXPECT_NE(run.out.find("\nzfile.txt\t3\t"), std::string::npos) << run.out;
    }
  }
}

TEST_F(CliLs, ListsThePwdDirectoryOfPyftpdlibWithALogin) {
  files->writeRandomFile("big.bin", 1234567, 3);
  ts::PyftpdServer ftp(files->path());
  const CliRun run = Cli({"ls", "-u", ts::PyftpdServer::user, "-p", ts::PyftpdServer::password, "--timeout", "30",
                          QString("ftp://127.0.0.1:%1").arg(ftp.port())});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 5), "pub/\t") << run.out;
  EXPECT_NE(run.out.find("\nbig.bin\t1,234,567\t"), std::string::npos) << run.out;
}

// A directory named in Latin-1, given escaped in the URL, is entered by its
// bytes and its entries are shown decoded.
TEST_F(CliLs, ListsADirectoryWhoseNameIsNotUtf8) {
  files->writeFile("caf\xE9/na\xEFve.txt", "abc");
  ts::VsftpdServer ftp(files->path());
  const CliRun run = Cli({"ls", "--timeout", "30", QString::fromStdString(ftp.url("caf%E9/"))});
  ASSERT_EQ(run.status, 0) << run.err << ftp.log();
  EXPECT_EQ(run.out.substr(0, run.out.find('\t')), "na\xC3\xAFve.txt") << run.out;
  EXPECT_NE(run.out.find("\t3\t"), std::string::npos) << run.out;
}

TEST_F(CliLs, FailuresExitNonZeroWithOneLine) {
  ts::VsftpdServer ftp(files->path());
  ts::FaultServer refusing(ts::FaultProtocol::Ftp, "refuse-login", files->path());
  ts::FaultServer silent(ts::FaultProtocol::Http, "hang", files->path());
  const struct {
    const char* name;
    QStringList arguments;
    int status;
    const char* message;
  } cases[] = {
      {"missing directory",
       {QString::fromStdString(ftp.url("nowhere/"))},
       1,
       "Target directory:/nowhere/ does not exist!"},
      {"a file", {QString::fromStdString(ftp.url("pub/readme.txt"))}, 1, "names a file"},
      {"login refused", {QString::fromStdString(refusing.url(""))}, 1, "login refused"},
      {"silent server",
       {"--timeout", "2", QString("ftp://127.0.0.1:%1/").arg(silent.port())},
       1,
       "nothing was listed within 2 seconds"},
      {"no URL", {}, 2, "no URL given"},
      {"bad port", {"-P", "70000", "ftp://127.0.0.1/"}, 2, "port"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(QStringList{"ls"} + c.arguments, 30000);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << c.name << ": " << run.err;
    EXPECT_TRUE(run.out.empty()) << c.name;
  }
}

TEST_F(CliLs, TasksPrintsTheStoredSitesAndTrees) {
  CScriptedSeam seam;
  {
    CSiteBrowsList list(seam);
    auto site = std::make_unique<CBrowsRootAppend>();
    site->url = "ftp://files.example/pub/";
    site->pasvmode = 1;
    auto entry = std::make_unique<CItemInfo>();
    entry->text = "files.example";
    list.AppendSite(std::move(entry), std::move(site));
    auto pub = std::make_unique<CItemInfo>();
    pub->text = "pub";
    CTreeItem* dir = list.Model().InsertItem(list.Model().GetRootAt(0), std::move(pub), false);
    auto file = std::make_unique<CItemInfo>();
    file->text = "notes.txt";
    file->kind = ItemKind::File;
    file->subitems = {"2,048", "2001/01/05 00:00"};
    list.Model().InsertItem(dir, std::move(file), false);
    ASSERT_TRUE(SaveBrowseList(list, home.path() + "/lark1.dat", seam));
  }
  const CliRun run = Cli({"tasks"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("ftp://files.example/pub/  user=(anonymous) port=0 passive binary"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("\n    pub/\t\t\n      notes.txt\t2,048\t2001/01/05 00:00\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("Brows list file error"), std::string::npos);
}

}  // namespace
