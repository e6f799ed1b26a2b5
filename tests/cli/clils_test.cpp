// skylark-cli ls and the browse half of skylark-cli tasks, end to end.
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "browse/browselistfile.h"
#include "scriptedseam.h"
#include "sitebuilder.h"
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

// The listing goes to stdout, a directory first; a size is grouped. (IPv6
// and the server matrix: the engine's tests.)
TEST_F(CliLs, ListsWhatTheUrlAndOptionsName) {
  files->writeRandomFile("big.bin", 1234567, 3);
  files->writeFile("pub/caf\xE9/na\xEFve.txt", "abc");  // Latin-1, escaped in the URL
  ts::VsftpdServer vsftpd(files->path());
  ts::PyftpdServer pyftpd(files->path());
  const auto url = [](const std::string& text) { return QString::fromStdString(text); };
  const struct {
    QStringList arguments;
    std::string first;  // what the output starts with
    const char* line;   // and a line it holds
  } cases[] = {
      {{url(vsftpd.url("pub/linux/"))}, "kdir/", "\nzfile.txt\t3\t"},
      {{"--active", url(vsftpd.url("pub/linux/"))}, "kdir/", "\nzfile.txt\t3\t"},
      {{"-u", ts::PyftpdServer::user, "-p", ts::PyftpdServer::password,
        QString("ftp://127.0.0.1:%1").arg(pyftpd.port())},
       "pub/\t",
       "\nbig.bin\t1,234,567\t"},
      {{url(vsftpd.url("pub/caf%E9/"))}, "na\xC3\xAFve.txt\t3\t", ""},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(QStringList{"ls", "--timeout", "30"} + c.arguments);
    SCOPED_TRACE(c.arguments.join(' ').toStdString() + "\n" + run.out + run.err);
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.out.substr(0, c.first.size()), c.first);
    EXPECT_NE(run.out.find(c.line), std::string::npos);
    EXPECT_TRUE(run.err.empty());
  }
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
    StoredSite(list, "files.example", "ftp://files.example/pub/");
    CTreeItem* dir = StoredEntry(list, list.Model().GetRootAt(0), "pub", true, {});
    StoredEntry(list, dir, "notes.txt", false, {"2,048", "2001/01/05 00:00"});
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
