// Damaged list files: the headless lists and skylark-cli tasks read every
// kind of damage without a crash, say where it is, keep a copy of the file
// before writing over it, and keep loading the files of earlier runs.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "browse/browselistfile.h"
#include "browse/csitebrowslist.h"
#include "download/cdownloadlist.h"
#include "scriptedseam.h"
#include "testservers.h"

namespace {

QByteArray Fixture(const char* name) {
  QFile file(QStringLiteral(SKYLARK_TEST_DATA "/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Put(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
  ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray Get(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

struct Damage {
  std::string name;
  QByteArray bytes;
};

// Cuts at every 37 bytes, random tails, flipped bytes and the largest
// count written at every offset.
std::vector<Damage> Damages(const QByteArray& sound) {
  std::vector<Damage> damages;
  for (qsizetype at = 1; at < sound.size(); at += 37)
    damages.push_back({"cut at " + std::to_string(at), sound.left(at)});
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    const qsizetype keep = sound.size() * static_cast<qsizetype>(seed) / 7;
    const std::string tail = testsupport::randomBytes(512, seed);
    damages.push_back({"random tail after " + std::to_string(keep),
                       sound.left(keep) + QByteArray(tail.data(), static_cast<qsizetype>(tail.size()))});
  }
  for (qsizetype at = 0; at < sound.size(); at += 29) {
    QByteArray flipped = sound;
    flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
    damages.push_back({"flipped byte " + std::to_string(at), flipped});
  }
  // At every offset, so that each count, length and number field is hit.
  for (qsizetype at = 0; at + 6 <= sound.size(); ++at) {
    QByteArray huge = sound;
    huge.replace(at, 6, QByteArray("\xFF\xFF\xFF\xFF\xFF\xFF", 6));
    damages.push_back({"count 0xFFFFFFFF at " + std::to_string(at), huge});
  }
  return damages;
}

class ListDamage : public ::testing::Test {
 protected:
  QString Path(const char* name) const { return scratch.filePath(name); }
  QStringList Copies(const char* name) const {
    return QDir(scratch.path()).entryList({QString(name) + ".damaged-*"}, QDir::Files);
  }

  // What a load left behind: one notice and one private copy of exactly
  // the bytes read when it was damaged, nothing when it loaded.
  void CheckAftermath(ListFileLoad result, const char* name, const QByteArray& bytes, const Damage& d) {
    const QStringList copies = Copies(name);
    if (result == ListFileLoad::Loaded) {
      EXPECT_TRUE(seam.notices.isEmpty()) << d.name;
      EXPECT_TRUE(copies.isEmpty()) << d.name;
      return;
    }
    ASSERT_EQ(result, ListFileLoad::Damaged) << d.name;
    ASSERT_EQ(seam.notices.size(), 1) << d.name;
    EXPECT_TRUE(seam.notices[0].startsWith("The list file " + Path(name) + " is damaged at byte ")) << d.name;
    ASSERT_EQ(copies.size(), 1) << d.name;
    const QString copy = scratch.filePath(copies[0]);
    EXPECT_EQ(Get(copy), bytes) << d.name;
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(copy).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << d.name;
    QFile::remove(copy);
    seam.notices.clear();
  }

  QTemporaryDir scratch;
  CScriptedSeam seam;
};

TEST_F(ListDamage, FilesOfEarlierRunsKeepLoading) {
  Put(Path("lark2.dat"), Fixture("lark2.dat"));
  CDownloadList downloads(seam);
  downloads.SetListFilePath(Path("lark2.dat"));
  ASSERT_EQ(downloads.LoadListFile(), ListFileLoad::Loaded);
  ASSERT_EQ(downloads.TaskCount(), 2);
  EXPECT_TRUE(downloads.RowsMatchRecords());
  const CDownRootAppend& t = downloads.Task(0);
  EXPECT_EQ(t.segend, (QStringList{"5", "10"}));
  EXPECT_EQ(t.segpos, (QStringList{"3", "7"}));
  EXPECT_EQ(t.segstart, (QStringList{"0", "5"}));
  EXPECT_EQ(t.branchstopped, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(t.starttick, 1234u);
  EXPECT_EQ(downloads.Task(1).url, "ftp://127.0.0.1:9/never/started.zip");
  EXPECT_EQ(downloads.Model().GetRootAt(1)->ChildCount(), 3);

  Put(Path("lark1.dat"), Fixture("lark1.dat"));
  CSiteBrowsList sites(seam);
  ASSERT_EQ(LoadBrowseList(sites, Path("lark1.dat"), seam), ListFileLoad::Loaded);
  ASSERT_EQ(sites.RecordCount(), 2);
  EXPECT_TRUE(SiteCountsMatch(sites));
  EXPECT_EQ(sites.Record(0)->url, "ftp://alpha/pub/");
  EXPECT_EQ(sites.Record(0)->pass, "secret");
  EXPECT_EQ(sites.Model().GetRootAt(1)->GetData().text, "beta");
  EXPECT_TRUE(seam.notices.isEmpty());
}

testsupport::ProgramRun CliTasks(const QString& home) {
  return testsupport::runProgram(SKYLARK_CLI, {"tasks"}, {.home = QFile::encodeName(home).toStdString()});
}

// Every damage: skylark-cli tasks reads it without a crash and without
// writing; the headless lists load what is intact, keep a copy and write
// back what loaded, which loads again without damage.
TEST_F(ListDamage, DamageIsReadWithoutCrashKeptAsideAndRepaired) {
  // No list at all: nothing is created.
  const testsupport::ProgramRun empty = CliTasks(scratch.path());
  EXPECT_EQ(empty.status, 0) << empty.output;
  EXPECT_EQ(QDir(scratch.path()).entryList(QDir::Files), QStringList{});
  // A damaged file is named with its offset.
  Put(Path("lark2.dat"), Fixture("lark2.dat").left(300));
  const testsupport::ProgramRun cut = CliTasks(scratch.path());
  EXPECT_NE(cut.output.find("lark2.dat is damaged at byte 300"), std::string::npos) << cut.output;

  for (const char* name : {"lark2.dat", "lark1.dat"}) {
    const bool download = QByteArray(name) == "lark2.dat";
    for (const Damage& d : Damages(Fixture(name))) {
      Put(Path(name), d.bytes);
      const testsupport::ProgramRun run = CliTasks(scratch.path());
      EXPECT_EQ(run.status, 0) << d.name << "\n" << run.output;
      EXPECT_LT(run.peakkib, 200 * 1024) << d.name;
      EXPECT_EQ(Get(Path(name)), d.bytes) << d.name << ": a listing writes nothing";
      EXPECT_TRUE(Copies(name).isEmpty()) << d.name;

      CDownloadList downloads(seam);
      downloads.SetListFilePath(Path(name));
      CSiteBrowsList sites(seam);
      const ListFileLoad result = download ? downloads.LoadListFile() : LoadBrowseList(sites, Path(name), seam);
      CheckAftermath(result, name, d.bytes, d);
      const int tasks = download ? downloads.TaskCount() : sites.RecordCount();
      ASSERT_TRUE(download ? downloads.SaveListFile() : SaveBrowseList(sites, Path(name), seam)) << d.name;
      CDownloadList again(seam);
      again.SetListFilePath(Path(name));
      CSiteBrowsList againsites(seam);
      EXPECT_EQ(download ? again.LoadListFile() : LoadBrowseList(againsites, Path(name), seam), ListFileLoad::Loaded)
          << d.name;
      EXPECT_EQ(download ? again.TaskCount() : againsites.RecordCount(), tasks) << d.name;
      seam.notices.clear();
      QFile::remove(Path(name));
    }
  }
}

}  // namespace
