// Damaged list files: the headless lists and skylark-cli tasks read every
// kind of damage without a crash, say where it is, keep a copy of the file
// before writing over it, and keep loading the files of earlier runs.
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "browse/browselistfile.h"
#include "browse/csitebrowslist.h"
#include "download/cdownloadlist.h"
#include "scriptedseam.h"
#include "testservers.h"

namespace {

namespace ts = testsupport;
constexpr auto kPrivate = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;

std::string Fixture(const std::string& name) { return ts::readWholeFile(SKYLARK_TEST_DATA "/" + name); }

struct Damage {
  std::string name;
  std::string bytes;
};

// Cuts at every 37 bytes, random tails, flipped bytes and the largest
// count written at every offset.
std::vector<Damage> Damages(const std::string& sound) {
  std::vector<Damage> damages;
  for (size_t at = 1; at < sound.size(); at += 37)
    damages.push_back({"cut at " + std::to_string(at), sound.substr(0, at)});
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    const size_t keep = sound.size() * seed / 7;
    damages.push_back(
        {"random tail after " + std::to_string(keep), sound.substr(0, keep) + ts::randomBytes(512, seed)});
  }
  for (size_t at = 0; at < sound.size(); at += 29) {
    std::string flipped = sound;
    flipped[at] = static_cast<char>(flipped[at] ^ 0xFF);
    damages.push_back({"flipped byte " + std::to_string(at), flipped});
  }
  // At every offset, so that each count, length and number field is hit.
  for (size_t at = 0; at + 6 <= sound.size(); ++at)
    damages.push_back({"count 0xFFFFFFFF at " + std::to_string(at), std::string(sound).replace(at, 6, 6, '\xFF')});
  return damages;
}

class ListDamage : public ::testing::Test {
 protected:
  QString Path(const std::string& name) const { return QString::fromStdString((scratch / name).string()); }
  ts::ProgramRun Tasks() const { return ts::runProgram(SKYLARK_CLI, {"tasks"}, {.home = scratch.path().string()}); }
  QStringList Copies(const std::string& name) const {
    return QDir(Path("")).entryList({QString::fromStdString(name) + ".damaged-*"}, QDir::Files);
  }

  // Loads `name` into a fresh list of its kind and writes back what loaded:
  // what the load said and how many tasks it kept.
  std::pair<ListFileLoad, int> LoadAndSave(const std::string& name) {
    if (name == "lark2.dat") {
      CDownloadList list(seam);
      list.SetListFilePath(Path(name));
      const ListFileLoad result = list.LoadListFile();
      EXPECT_TRUE(list.SaveListFile());
      return {result, list.TaskCount()};
    }
    CSiteBrowsList sites(seam);
    const ListFileLoad result = LoadBrowseList(sites, Path(name), seam);
    EXPECT_TRUE(SaveBrowseList(sites, Path(name), seam));
    return {result, sites.RecordCount()};
  }

  ts::ScratchDir scratch{"skylark-listdamage"};
  CScriptedSeam seam;
};

// What skylark-cli tasks shows of them (a count that does not match shows as
// an error), and the fields it does not show.
TEST_F(ListDamage, FilesOfEarlierRunsKeepLoading) {
  scratch.writeFile("lark2.dat", Fixture("lark2.dat"));
  scratch.writeFile("lark1.dat", Fixture("lark1.dat"));
  const std::string downloadlines =
      "download f.bin  total 1,000,000  done 999,995  99%  dir /tmp/skylark-dl-out-fbS4CX  "
      "http://127.0.0.1:9/f.bin\n"
      "  segment 0: 0-5 at 3, branch 1\n"
      "  segment 1: 5-10 at 7, branch 2\n"
      "download started.zip  total ?  done 0  -%  dir /tmp/skylark-dl-out-fbS4CX  "
      "ftp://127.0.0.1:9/never/started.zip\n";
  const std::string sitelines =
      "  ftp://alpha/pub/  user=tester port=2121 passive ascii\n"
      "    pub/\t1,234\t2001/01/05 00:00\n"
      "      linux/\t1,234\t2001/01/05 00:00\n"
      "        kernel.tar\t1,234\t2001/01/05 00:00\n"
      "      readme\t1,234\t2001/01/05 00:00\n"
      "  ftp://beta/  user=tester port=2121 passive binary\n";
  EXPECT_EQ(Tasks().output, downloadlines + "Browse tasks (" + Path("lark1.dat").toStdString() + "):\n" + sitelines);

  CDownloadList downloads(seam);
  downloads.SetListFilePath(Path("lark2.dat"));
  ASSERT_EQ(downloads.LoadListFile(), ListFileLoad::Loaded);
  EXPECT_TRUE(downloads.RowsMatchRecords());
  EXPECT_EQ(downloads.Task(0).branchstopped, (std::vector<uint32_t>{0, 1}));
  EXPECT_EQ(downloads.Task(0).starttick, 1234u);
  EXPECT_EQ(downloads.Model().GetRootAt(1)->ChildCount(), 3);
  CSiteBrowsList sites(seam);
  ASSERT_EQ(LoadBrowseList(sites, Path("lark1.dat"), seam), ListFileLoad::Loaded);
  EXPECT_EQ(sites.Record(0)->pass, "secret");
  EXPECT_EQ(sites.Model().GetRootAt(1)->GetData().text, "beta");
  EXPECT_TRUE(seam.notices.isEmpty());
}

// Every damage: skylark-cli tasks reads it without a crash and without
// writing; the headless lists load what is intact, keep a copy and write
// back what loaded, which loads again without damage.
TEST_F(ListDamage, DamageIsReadWithoutCrashKeptAsideAndRepaired) {
  // No list at all: nothing is created.
  EXPECT_EQ(Tasks().status, 0);
  EXPECT_EQ(QDir(Path("")).entryList(QDir::Files), QStringList{});
  // A damaged file is named with its offset.
  scratch.writeFile("lark2.dat", Fixture("lark2.dat").substr(0, 300));
  EXPECT_NE(Tasks().output.find("lark2.dat is damaged at byte 300"), std::string::npos);

  for (const std::string name : {"lark2.dat", "lark1.dat"}) {
    for (const Damage& d : Damages(Fixture(name))) {
      scratch.writeFile(name, d.bytes);
      const ts::ProgramRun run = Tasks();
      EXPECT_EQ(run.status, 0) << d.name << "\n" << run.output;
      EXPECT_LT(run.peakkib, 200 * 1024) << d.name;
      EXPECT_EQ(ts::readWholeFile(scratch / name), d.bytes) << d.name << ": a listing writes nothing";
      EXPECT_TRUE(Copies(name).isEmpty()) << d.name;

      // The load leaves one notice and one private copy of exactly the
      // bytes it read when they were damaged, nothing when they loaded.
      const auto [result, kept] = LoadAndSave(name);
      ASSERT_TRUE(result == ListFileLoad::Loaded || result == ListFileLoad::Damaged) << d.name;
      const QStringList copies = Copies(name);
      ASSERT_EQ(copies.size(), result == ListFileLoad::Damaged ? 1 : 0) << d.name;
      ASSERT_EQ(seam.notices.size(), copies.size()) << d.name;
      if (!copies.isEmpty()) {
        EXPECT_TRUE(seam.notices[0].startsWith("The list file " + Path(name) + " is damaged at byte ")) << d.name;
        const std::filesystem::path copy = scratch / copies[0].toStdString();
        EXPECT_EQ(ts::readWholeFile(copy), d.bytes) << d.name;
        EXPECT_EQ(std::filesystem::status(copy).permissions(), kPrivate) << d.name;
        std::filesystem::remove(copy);
      }
      seam.notices.clear();
      EXPECT_EQ(LoadAndSave(name), std::make_pair(ListFileLoad::Loaded, kept)) << d.name;
    }
  }
}

}  // namespace
