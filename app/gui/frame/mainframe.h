// The main window: the browse list over its log on the left, the download
// list over its log on the right, menus, tool bar, quick connect bar and
// status bar. It checks both lists and recreates their engine nodes at
// start, feeds the log panes once a second, routes every command, offers
// clipboard and dropped URLs, and shuts down in a fixed order: timer,
// engine, lists (which save their files), clipboard.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>

#include "core/createtask.h"
#include "core/defaultset.h"
#include "core/newtaskfields.h"
#include "desktopnotifier.h"
#include "taskpane.h"

class CLogPane;
class CMessageSeam;
class CQuickConnectBar;
class QAction;
class QLabel;
class QSplitter;
class QToolBar;

class CMainFrame : public QMainWindow, public CFrameServices, private CTaskSink {
  Q_OBJECT

 public:
  using PaneFactory = std::function<std::unique_ptr<CTaskPane>(CFrameServices&, QWidget*)>;

  // The engine must be running; the frame releases it when it goes. Tests
  // may put lists of their own in place of the task lists.
  explicit CMainFrame(CMessageSeam& messages, QWidget* parent = nullptr, const PaneFactory& browse = CreateBrowsePane,
                      const PaneFactory& download = CreateDownloadPane);
  ~CMainFrame() override;

  // Runs a command at once, as its menu item does.
  void RunCommand(int command);

  // CFrameServices
  CMessageSeam& Messages() override { return m_messages; }
  void PostCommand(int command) override;
  CNewTaskPages& NewTaskPages() override { return m_newtask; }
  bool OpenWithDesktop(const QUrl& url) override;
  void ShowNews(const QString& text) override;
  void TellDesktop(const QString& summary, const QString& body) override;

  // The clipboard and drop step: a URL the engine accepts opens the
  // new-task sheet on the page of its kind, with the URL filled in.
  void OfferUrl(const QString& text);

  // Tests replace what the desktop is asked to open and the modal dialogs.
  void SetDesktopOpener(std::function<bool(const QUrl&)> opener) { m_opener = std::move(opener); }
  using SheetRunner = std::function<bool(CNewTaskPages&)>;
  void SetSheetRunner(SheetRunner runner) { m_sheetrunner = std::move(runner); }
  void SetNotifier(std::unique_ptr<CDesktopNotifier> notifier) { m_notifier = std::move(notifier); }

  CTaskPane& BrowsePane() const { return *m_browse; }
  CTaskPane& DownloadPane() const { return *m_download; }
  CLogPane* BrowseLog() const { return m_browselog; }
  CLogPane* DownloadLog() const { return m_downloadlog; }
  CQuickConnectBar* QuickConnectBar() const { return m_quickbar; }
  QToolBar* ToolBar() const { return m_toolbar; }
  QAction* Action(int command) const { return m_actions.value(command); }
  QSplitter* Columns() const { return m_columns; }
  QSplitter* LeftColumn() const { return m_left; }
  QSplitter* RightColumn() const { return m_right; }
  bool NodesRecreated() const { return m_running; }
  bool WatchesClipboard() const { return m_checkclip; }

  // One pass of the log timer: the log panes and the status bar's summary.
  void RefreshLogs();
  QLabel* Summary() const { return m_summary; }
  // The first window: about 70% of the screen, at least 1000 x 650 where
  // the screen has room for it.
  static QSize FirstSize(const QSize& available);
  void QuickConnect();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct LogLink {
    void* node = nullptr;
  };

  void CreatePanes(const PaneFactory& browse, const PaneFactory& download);
  void CreateActions();
  void CreateMenus();
  void CreateBars();
  void StartUp();
  void ReadRatios(const CSettingsStore& store);
  void RestoreLayout(const CSettingsStore& store, bool sized);
  void ApplyRatios();
  void TakeRatios();
  void SaveGeometry();
  void RefreshLog(CTaskPane& pane, CLogPane& log, LogLink& link);
  void OnClipboardChanged();
  void NewTask();
  void DefaultSet();
  void About();
  void ToggleFocusedList();
  CTaskPane* FocusedPane() const;

  // CTaskSink
  void AddBrowseTask(void* node, const QString& url) override;
  void AddDownloadTask(void* node, const QString& url) override;
  bool HasDownload(const QString& url) const override { return m_download->HasTask(url); }

  CMessageSeam& m_messages;
  CNewTaskPages m_newtask;
  CDefaultSetPages m_defaults;
  std::unique_ptr<CTaskPane> m_browse;
  std::unique_ptr<CTaskPane> m_download;
  QSplitter* m_columns = nullptr;
  QSplitter* m_left = nullptr;
  QSplitter* m_right = nullptr;
  CLogPane* m_browselog = nullptr;
  CLogPane* m_downloadlog = nullptr;
  LogLink m_browselink;
  LogLink m_downloadlink;
  QToolBar* m_toolbar = nullptr;
  CQuickConnectBar* m_quickbar = nullptr;
  QLabel* m_ready = nullptr;
  QLabel* m_summary = nullptr;
  std::unique_ptr<CDesktopNotifier> m_notifier;
  QHash<int, QAction*> m_actions;
  QTimer m_timer;

  double m_columnratio = 0.5;
  double m_leftratio = 2.0 / 3.0;
  double m_rightratio = 2.0 / 3.0;
  bool m_layoutready = false;
  bool m_running = false;

  bool m_checkclip = true;
  bool m_notify = true;
  bool m_skipclip = true;
  QString m_clipatstart;

  std::function<bool(const QUrl&)> m_opener;
  SheetRunner m_sheetrunner;
};
