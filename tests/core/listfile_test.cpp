// Whole list files: first start, safe replacement, an unreachable file,
// and the engine messages the lists rely on.
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>

#include "core/ctreegridmodel.h"
#include "core/enginemessageevent.h"
#include "core/listfile.h"
#include "scriptedseam.h"

namespace {

class ListFile : public ::testing::Test {
 protected:
  QString Path() const { return dir.filePath("lark1.dat"); }
  void Fill(CTreeGridModel& model) {
    for (const char* text : {"one", "two"}) {
      auto info = std::make_unique<CItemInfo>();
      info->text = text;
      model.InsertRootItem(std::move(info));
    }
  }

  QTemporaryDir dir;
  CScriptedSeam messages;
};

TEST_F(ListFile, FirstStartCreatesAnEmptyPrivateFile) {
  CTreeGridModel model;
  EXPECT_EQ(LoadListFile(
                Path(), [&](CArchive& ar) { model.Serialize(ar); }, messages),
            ListFileLoad::Loaded);
  EXPECT_EQ(model.rowCount(), 0);
  EXPECT_TRUE(messages.notices.isEmpty());
  struct stat info {};
  ASSERT_EQ(stat(QFile::encodeName(Path()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ListFile, SaveReplacesTheFileWholeAndPrivately) {
  CTreeGridModel model;
  Fill(model);
  QFile old(Path());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write(QByteArray(10000, 'x'));
  old.close();
  ASSERT_TRUE(old.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
  EXPECT_TRUE(SaveListFile(
      Path(), [&](CArchive& ar) { model.Serialize(ar); }, messages));
  struct stat info {};
  ASSERT_EQ(stat(QFile::encodeName(Path()).constData(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
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

class Receiver : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() != CEngineMessageEvent::EventType()) return QObject::event(event);
    const auto* message = static_cast<CEngineMessageEvent*>(event);
    got = {message->Message(), message->Node(), message->LParam(), QThread::currentThread() == thread()};
    return true;
  }
  std::tuple<unsigned, void*, int, bool> got{0, nullptr, 0, false};
};

TEST(EngineMessages, ArriveOnTheReceiversThread) {
  Receiver receiver;
  int node = 0;
  std::thread worker([&] { PostEngineMessage(&receiver, 0x67, &node, -5); });
  worker.join();
  for (QDeadlineTimer deadline(2000); std::get<0>(receiver.got) == 0 && !deadline.hasExpired();)
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  EXPECT_EQ(receiver.got, std::make_tuple(0x67u, static_cast<void*>(&node), -5, true));
}

}  // namespace
