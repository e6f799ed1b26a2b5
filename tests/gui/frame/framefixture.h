// What the window tests share: a fresh program directory and settings file
// per test, a running engine, the window with the sheet, the desktop and its
// notices answered by the test, and lists that record what the frame asks of
// them.
#pragma once

#include <QSet>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "core/enginemessageevent.h"
#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "gui/download/cfiledownctrl.h"
#include "gui/frame/framecommands.h"
#include "gui/frame/mainframe.h"
#include "gui/frame/taskpane.h"
#include "gui/widgets/ctreegridctrl.h"
#include "lark.h"
#include "scriptedseam.h"
#include "testservers.h"

class FreshHome {
 public:
  FreshHome() {
    std::filesystem::create_directories(dir.path() / "program");
    setenv("SKYLARK_HOME", (dir.path() / "program").c_str(), 1);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((dir.path() / "config").string()));
  }
  QString Program() const { return QString::fromStdString((dir.path() / "program").string()); }

  testsupport::ScratchDir dir{"skylark-window"};
};

// The engine as the program starts it: its messages become events.
inline void StartEngine() {
  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);
}

class RecordingPane : public CTaskPane {
 public:
  explicit RecordingPane(QWidget* parent) : list(new CTreeGridCtrl(parent)) { list->SetColumns({"Name"}, 100); }
  QWidget* View() const override { return list; }
  CTreeGridCtrl* List() const override { return list; }
  bool RecordsMatchRows() const override { return match; }
  void RecreateNodes() override { ++recreated; }
  void* SelectedLogNode() const override { return nullptr; }
  bool TakeFullRefresh() override { return false; }
  void AddTask(void* node, const QString& url) override {
    nodes.push_back(node);
    added.append(url);
  }
  bool Handle(int command) override {
    if (!accepts.contains(command)) return false;
    handled.append(command);
    return true;
  }

  CTreeGridCtrl* list;
  bool match = true;
  int recreated = 0;
  std::vector<void*> nodes;
  QStringList added;
  QSet<int> accepts;
  QList<int> handled;
};

class RecordedNotices : public CDesktopNotifier {
 public:
  explicit RecordedNotices(QStringList& into) : m_into(into) {}
  void Notify(const QString& summary, const QString& body) override { m_into.append(summary + " | " + body); }

 private:
  QStringList& m_into;
};

// The window with the real lists unless a test hands in its own. A sheet
// is recorded and, with `fillsheet` set, filled and accepted.
class WindowTest : public ::testing::Test {
 protected:
  CMainFrame& Open(const CMainFrame::PaneFactory& browse = CreateBrowsePane,
                   const CMainFrame::PaneFactory& download = CreateDownloadPane) {
    StartEngine();
    frame = std::make_unique<CMainFrame>(messages, nullptr, browse, download);
    frame->SetSheetRunner([this](CNewTaskPages& pages) {
      sheets.append(pages);
      if (fillsheet) fillsheet(pages);
      return static_cast<bool>(fillsheet);
    });
    frame->SetDesktopOpener([this](const QUrl& url) {
      opened.append(url);
      return true;
    });
    frame->SetNotifier(std::make_unique<RecordedNotices>(notices));
    frame->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(frame.get()));
    return *frame;
  }
  void Close() {
    messages.answer = true;
    frame->close();
    frame.reset();  // releases the engine
  }
  void TearDown() override {
    if (frame) Close();
  }

  CFileDownCtrl& Ctrl() { return *static_cast<CFileDownCtrl*>(frame->DownloadPane().List()); }
  CDownloadList& Downloads() { return Ctrl().List(); }
  void NewDownload(const QString& url, const QString& savedir, unsigned branches, bool connectnow = true) {
    fillsheet = [=](CNewTaskPages& pages) { FillDownloadPage(pages, url, savedir, branches, connectnow); };
    frame->RunCommand(command::kNew);
  }

  FreshHome home;
  CScriptedSeam messages;
  std::unique_ptr<CMainFrame> frame;
  std::function<void(CNewTaskPages&)> fillsheet;
  QStringList notices;
  QList<QUrl> opened;
  QList<CNewTaskPages> sheets;
};
