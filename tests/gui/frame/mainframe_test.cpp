// The main window with recording lists: start-up checks, command routing
// and keys, the quick connect bar's keys, the clipboard and drops.
#include <QAction>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QStatusBar>
#include <QTest>

#include "core/createtask.h"
#include "core/settingsstore.h"
#include "framefixture.h"
#include "gui/frame/logpane.h"
#include "gui/frame/quickconnectbar.h"

namespace {

class Frame : public WindowTest {
 protected:
  void SetUp() override { QGuiApplication::clipboard()->setText(QStringLiteral("text at start")); }

  CMainFrame& Open() {
    WindowTest::Open(
        [this](CFrameServices&, QWidget* parent) {
          auto pane = std::make_unique<RecordingPane>(parent);
          pane->match = browsematch;
          pane->accepts = {command::kDelete,     command::kRefresh,  command::kConnect,
                           command::kDisconnect, command::kDownload, command::kClearBrowsLog};
          browse = pane.get();
          return pane;
        },
        [this](CFrameServices&, QWidget* parent) {
          auto pane = std::make_unique<RecordingPane>(parent);
          pane->match = downloadmatch;
          pane->accepts = {command::kDelete,         command::kStartDownload,   command::kResumeDownload,
                           command::kStopDownload,   command::kStartBranch,     command::kStopBranch,
                           command::kClearBranchLog, command::kExecuteLocalFile};
          download = pane.get();
          return pane;
        });
    return *frame;
  }

  RecordingPane* browse = nullptr;
  RecordingPane* download = nullptr;
  bool browsematch = true;
  bool downloadmatch = true;
};

TEST_F(Frame, ListFileMismatchesAreToldAndNodesStillRecreated) {
  struct Case {
    bool browse;
    bool download;
    QStringList notices;
  } cases[] = {
      {true, true, {}},
      {false, true, {"Brows list file error"}},
      {true, false, {"Down list file error"}},
      {false, false, {"Brows list file error", "Down list file error"}},
  };
  for (const Case& c : cases) {
    browsematch = c.browse;
    downloadmatch = c.download;
    messages.notices.clear();
    Open();
    EXPECT_EQ(messages.notices, c.notices);
    // What did load keeps its nodes either way.
    EXPECT_TRUE(frame->NodesRecreated());
    EXPECT_EQ(browse->recreated, 1);
    EXPECT_EQ(download->recreated, 1);
    Close();
  }
}

TEST_F(Frame, CommandsAndKeysReachTheirListAndDeleteTheFocusedOne) {
  Open();
  const QList<int> tobrowse{command::kConnect, command::kDisconnect, command::kRefresh, command::kDownload,
                            command::kClearBrowsLog};
  const QList<int> todownload{command::kStartDownload,   command::kResumeDownload, command::kStopDownload,
                              command::kStartBranch,     command::kStopBranch,     command::kClearBranchLog,
                              command::kExecuteLocalFile};
  // The menu item where there is one, else the command as a list posts it.
  for (int id : tobrowse + todownload) frame->Action(id) ? frame->Action(id)->trigger() : frame->RunCommand(id);
  EXPECT_EQ(browse->handled, tobrowse);
  EXPECT_EQ(download->handled, todownload);

  browse->handled.clear();
  download->handled.clear();
  frame->BrowseLog()->setFocus();
  frame->Action(command::kDelete)->trigger();
  download->list->setFocus();
  frame->Action(command::kDelete)->trigger();
  EXPECT_TRUE(browse->handled.isEmpty()) << "Delete with the focus in a log pane does nothing";
  EXPECT_EQ(download->handled, QList<int>{command::kDelete});

  frame->Action(command::kHelp)->trigger();
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0].fileName(), "skylark.html");

  download->handled.clear();
  browse->list->setFocus();
  QTest::keyClick(browse->list, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), download->list);
  QTest::keyClick(download->list, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), browse->list);
  frame->DownloadLog()->setFocus();
  QTest::keyClick(frame->DownloadLog(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), browse->list) << "from elsewhere Tab goes to the browse list";

  QTest::keyClick(browse->list, Qt::Key_Return);
  QTest::keyClick(browse->list, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(browse->list, Qt::Key_M, Qt::ControlModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(download->handled,
            (QList<int>{command::kStartDownload, command::kResumeDownload, command::kResumeDownload}));

  // The URL box keeps its keys: Ctrl+A selects, Enter connects.
  download->handled.clear();
  QLineEdit* url = frame->QuickConnectBar()->UrlBox()->lineEdit();
  url->setFocus();
  url->setText("not a url://x");
  QTest::keyClick(url, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(url->selectedText(), "not a url://x");
  QTest::keyClick(url, Qt::Key_Return);
  QCoreApplication::processEvents();
  EXPECT_TRUE(download->handled.isEmpty());
  EXPECT_TRUE(browse->added.isEmpty());
  EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("URL not accepted"));
  EXPECT_EQ(QApplication::focusWidget(), frame->QuickConnectBar()->UrlBox());

  // Ctrl+K hides and shows the quick connect bar, the item follows.
  QTest::keyClick(browse->list, Qt::Key_K, Qt::ControlModifier);
  EXPECT_FALSE(frame->QuickConnectBar()->isVisible());
  EXPECT_FALSE(frame->Action(command::kQuickConnectBar)->isChecked());
  frame->Action(command::kQuickConnectBar)->trigger();
  EXPECT_TRUE(frame->QuickConnectBar()->isVisible());
  EXPECT_TRUE(frame->Action(command::kQuickConnectBar)->isChecked());
}

TEST_F(Frame, ClipboardAndDropsOfferUrlsToTheirPage) {
  Open();
  struct Case {
    const char* text;
    int sheets;
    int page;
  } cases[] = {
      {"ftp://127.0.0.1/pub/", 1, kBrowsPage},
      {"http://127.0.0.1/pub/file.tar.gz", 1, kFileDownPage},
      {"http://127.0.0.1/", 0, 0},  // what a URL names: the engine's tests
  };
  QClipboard* clipboard = QGuiApplication::clipboard();
  for (bool drop : {false, true}) {
    for (const Case& c : cases) {
      sheets.clear();
      if (drop) {
        QMimeData data;
        data.setText(c.text);
        // Dragged out of an editor: taken as a copy, so the editor keeps its text.
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(frame.get(), &event);
        EXPECT_TRUE(event.isAccepted());
      } else {
        clipboard->setText(c.text);
      }
      QCoreApplication::processEvents();
      ASSERT_EQ(sheets.size(), c.sheets) << c.text << (drop ? " dropped" : " copied");
      if (c.sheets == 0) continue;
      EXPECT_EQ(sheets[0].page, c.page);
      EXPECT_EQ(c.page == kBrowsPage ? sheets[0].brows.url : sheets[0].download.url, c.text);
      EXPECT_FALSE(frame->NewTaskPages().open);
    }
  }

  // With "Inspect Clipboard" off only drops still work.
  frame.reset();
  CSettingsStore store;
  store.WriteFlag(settingname::kCheckClip, false);
  store.Flush();
  Open();
  sheets.clear();
  clipboard->setText("ftp://127.0.0.1/other/");
  QCoreApplication::processEvents();
  EXPECT_TRUE(sheets.isEmpty());
  frame->OfferUrl("ftp://127.0.0.1/other/");
  QCoreApplication::processEvents();
  EXPECT_EQ(sheets.size(), 1);
}

}  // namespace
