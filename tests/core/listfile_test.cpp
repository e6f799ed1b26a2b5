// Whole list files: first start, safe replacement, an unreachable file.
// (The engine's messages reach the lists in every download and browse test.)
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "core/ctreegridmodel.h"
#include "core/listfile.h"
#include "iteminfo.h"
#include "scriptedseam.h"

namespace {

class ListFile : public ::testing::Test {
 protected:
  QString Path() const { return dir.filePath("lark1.dat"); }
  unsigned Mode() const {
    struct stat info {};
    return stat(QFile::encodeName(Path()).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
  }

  QTemporaryDir dir;
  CScriptedSeam messages;
};

// A first start makes an empty private file without a word; a save
// replaces a longer, readable file whole and private again.
TEST_F(ListFile, FirstStartAndSaveLeaveAPrivateFile) {
  CTreeGridModel model;
  EXPECT_EQ(LoadListFile(
                Path(), [&](CArchive& ar) { model.Serialize(ar); }, messages),
            ListFileLoad::Loaded);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_TRUE(messages.notices.isEmpty());
  EXPECT_EQ(Mode(), 0600u);

  for (const char* text : {"one", "two"}) model.InsertRootItem(Info(text));
  QFile old(Path());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write(QByteArray(10000, 'x'));
  old.close();
  ASSERT_TRUE(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
  EXPECT_TRUE(SaveListFile(
      Path(), [&](CArchive& ar) { model.Serialize(ar); }, messages));
  EXPECT_EQ(Mode(), 0600u);
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"lark1.dat"});  // no temporary left

  CTreeGridModel loaded;
  EXPECT_EQ(LoadListFile(
                Path(), [&](CArchive& ar) { loaded.Serialize(ar); }, messages),
            ListFileLoad::Loaded);
  EXPECT_EQ(loaded.rowCount(), 2);
}

TEST_F(ListFile, UnreachableFileSaysItCouldNotBeCreated) {
  const QString path = dir.filePath("missing/lark2.dat");
  CTreeGridModel model;
  EXPECT_EQ(LoadListFile(
                path, [&](CArchive& ar) { model.Serialize(ar); }, messages),
            ListFileLoad::CouldNotOpen);
  EXPECT_FALSE(SaveListFile(
      path, [&](CArchive& ar) { model.Serialize(ar); }, messages));
  EXPECT_EQ(messages.notices, (QStringList{"Could not create file!", "Could not create file!"}));
}

}  // namespace
