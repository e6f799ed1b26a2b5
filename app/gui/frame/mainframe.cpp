#include "mainframe.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include "core/messageseam.h"
#include "core/settingsstore.h"
#include "framecommands.h"
#include "gui/newtask/cnewtasksheet.h"
#include "gui/options/cdefaultsetsheet.h"
#include "gui/widgets/ctreegridctrl.h"
#include "gui/widgets/skylarkicon.h"
#include "lark.h"
#include "logpane.h"
#include "quickconnectbar.h"

namespace {

constexpr int kLogPeriodMs = 1000;

}  // namespace

CMainFrame::CMainFrame(CMessageSeam& messages, QWidget* parent, const PaneFactory& browse, const PaneFactory& download)
    : QMainWindow(parent), m_messages(messages) {
  setWindowTitle(QStringLiteral("Skylark"));
  setWindowIcon(SkylarkIcon());
  m_opener = [](const QUrl& url) { return QDesktopServices::openUrl(url); };

  const CSettingsStore store;
  uint32_t windowwidth = 0, windowheight = 0;
  const bool sized = store.ReadNumber(settingname::kWindowWidth, windowwidth) &&
                     store.ReadNumber(settingname::kWindowHeight, windowheight) && windowwidth > 0 &&
                     windowheight > 0 && windowwidth <= 100000 && windowheight <= 100000;
  resize(sized ? QSize(static_cast<int>(windowwidth), static_cast<int>(windowheight))
               : FirstSize(screen()->availableGeometry().size()));
  store.ReadFlag(settingname::kCheckClip, m_checkclip);
  m_defaults.checkclip = m_checkclip;
  store.ReadFlag(settingname::kNotify, m_notify);
  m_defaults.notify = m_notify;
  m_notifier = CreateDesktopNotifier();
  ReadRatios(store);

  CreatePanes(browse, download);
  CreateActions();
  CreateMenus();
  CreateBars();
  RestoreLayout(store, sized);
  StartUp();

  setAcceptDrops(true);
  QClipboard* clipboard = QGuiApplication::clipboard();
  m_clipatstart = clipboard->text();
  connect(clipboard, &QClipboard::dataChanged, this, &CMainFrame::OnClipboardChanged);
  m_layoutready = true;
}

CMainFrame::~CMainFrame() {
  m_timer.stop();
  lark::releasedllres();
  // The lists save their files as their widgets go.
  delete takeCentralWidget();
  m_browse.reset();
  m_download.reset();
  disconnect(QGuiApplication::clipboard(), nullptr, this, nullptr);
}

void CMainFrame::CreatePanes(const PaneFactory& browse, const PaneFactory& download) {
  m_columns = new QSplitter(Qt::Horizontal);
  m_left = new QSplitter(Qt::Vertical, m_columns);
  m_right = new QSplitter(Qt::Vertical, m_columns);
  for (QSplitter* splitter : {m_columns, m_left, m_right}) {
    splitter->setChildrenCollapsible(false);
    connect(splitter, &QSplitter::splitterMoved, this, &CMainFrame::TakeRatios);
  }
  m_browse = browse(*this, m_left);
  m_browselog = new CLogPane(m_left);
  m_download = download(*this, m_right);
  m_downloadlog = new CLogPane(m_right);
  for (CTaskPane* pane : {m_browse.get(), m_download.get()})
    pane->List()->SetEmptyHint(QStringLiteral("Press Ctrl+N or drop a link here"));
  m_left->addWidget(m_browse->View());
  m_left->addWidget(m_browselog);
  m_right->addWidget(m_download->View());
  m_right->addWidget(m_downloadlog);
  // Tab and Enter act window-wide, except in text fields, which keep them.
  for (QWidget* watched : {static_cast<QWidget*>(m_browse->List()), static_cast<QWidget*>(m_download->List()),
                           static_cast<QWidget*>(m_browselog), static_cast<QWidget*>(m_downloadlog)})
    watched->installEventFilter(this);
  setCentralWidget(m_columns);
}

void CMainFrame::CreateActions() {
  for (const CommandEntry& entry : CommandTable()) {
    auto* action = new QAction(QString::fromLatin1(entry.text), this);
    if (entry.key.key() != Qt::Key_unknown) action->setShortcut(QKeySequence(entry.key));
    const QString status = PromptStatus(entry.prompt);
    if (!status.isEmpty()) action->setStatusTip(status);
    const QString tip = PromptTip(entry.prompt).trimmed();
    if (!tip.isEmpty()) action->setToolTip(tip);
    if (*entry.icon != '\0')
      action->setIcon(QIcon::fromTheme(QString::fromLatin1(entry.icon), style()->standardIcon(entry.fallback)));
    const int id = entry.id;
    connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    m_actions.insert(id, action);
    addAction(action);  // shortcuts work while the menu bar is hidden too
  }
  for (int id : {command::kToolBar, command::kQuickConnectBar, command::kStatusBar}) {
    m_actions[id]->setCheckable(true);
    m_actions[id]->setChecked(true);
  }
}

void CMainFrame::CreateMenus() {
  using namespace command;
  const struct {
    const char* title;
    std::initializer_list<int> ids;  // 0 is a separator
  } menus[] = {
      {"&File", {kNew, kDelete, 0, kExit}},
      {"&Server", {kConnect, kDisconnect, 0, kRefresh, kDownload}},
      {"&Download", {kStartDownload, kResumeDownload, kStopDownload}},
      {"&View", {kToolBar, kQuickConnectBar, kStatusBar}},
      {"&Options", {kDefault}},
      {"&Help", {kHelp, kWebsite, 0, kAbout}},
  };
  for (const auto& menu : menus) {
    QMenu* items = menuBar()->addMenu(QString::fromLatin1(menu.title));
    for (int id : menu.ids) {
      if (id == 0)
        items->addSeparator();
      else
        items->addAction(m_actions[id]);
    }
  }
}

void CMainFrame::CreateBars() {
  using namespace command;
  m_toolbar = addToolBar(QStringLiteral("Normal ToolBar"));
  m_toolbar->setObjectName(QStringLiteral("toolbar"));
  m_toolbar->setIconSize(QSize(16, 16));
  for (int id : {kNew, kDelete, 0, kConnect, kDisconnect, 0, kRefresh, kDownload, 0, kStartDownload, kResumeDownload,
                 kStopDownload, 0, kDefault, 0, kExit, kHelp}) {
    if (id == 0)
      m_toolbar->addSeparator();
    else
      m_toolbar->addAction(m_actions[id]);
  }
  addToolBarBreak();
  m_quickbar = new CQuickConnectBar(this);
  addToolBar(m_quickbar);
  connect(m_quickbar, &CQuickConnectBar::connectRequested, this, &CMainFrame::QuickConnect);
  m_ready = new QLabel(QStringLiteral("Ready"));
  statusBar()->addWidget(m_ready, 1);
  m_summary = new QLabel;
  statusBar()->addPermanentWidget(m_summary);
  // The menu items follow the bars however they were hidden.
  connect(m_toolbar, &QToolBar::visibilityChanged, m_actions[kToolBar], &QAction::setChecked);
  connect(m_quickbar, &QToolBar::visibilityChanged, m_actions[kQuickConnectBar], &QAction::setChecked);
}

void CMainFrame::StartUp() {
  // A list that does not match its rows still gets its nodes: one damaged
  // list must not leave the other, or its own intact tasks, without them.
  if (!m_browse->RecordsMatchRows()) m_messages.Notice(QStringLiteral("Brows list file error"));
  if (!m_download->RecordsMatchRows()) m_messages.Notice(QStringLiteral("Down list file error"));
  m_browse->RecreateNodes();
  m_download->RecreateNodes();
  // What ran at the last exit runs again, once.
  CSettingsStore store;
  QString running;
  if (store.ReadText(settingname::kResumeAtStart, running, kResumeAtStartBuffer) && !running.isEmpty()) {
    store.WriteText(settingname::kResumeAtStart, QString());
    m_download->ResumeTasks(running.split(u'\n', Qt::SkipEmptyParts));
  }
  m_timer.setInterval(kLogPeriodMs);
  connect(&m_timer, &QTimer::timeout, this, &CMainFrame::RefreshLogs);
  m_timer.start();
  m_running = true;
}

void CMainFrame::PostCommand(int command) {
  QMetaObject::invokeMethod(
      this, [this, command] { RunCommand(command); }, Qt::QueuedConnection);
}

void CMainFrame::RunCommand(int id) {
  using namespace command;
  switch (id) {
    case kNew:
      NewTask();
      return;
    case kDelete:
      if (CTaskPane* pane = FocusedPane()) pane->Handle(id);
      return;
    case kExit:
      close();
      return;
    case kToolBar:
      m_toolbar->setVisible(!m_toolbar->isVisible());
      return;
    case kQuickConnectBar:
      m_quickbar->setVisible(!m_quickbar->isVisible());
      return;
    case kStatusBar:
      statusBar()->setVisible(!statusBar()->isVisible());
      m_actions[kStatusBar]->setChecked(statusBar()->isVisible());
      return;
    case kDefault:
      DefaultSet();
      return;
    case kHelp:
      OpenWithDesktop(QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/skylark.html")));
      return;
    case kWebsite:
      // The project's page is its README, installed beside the program.
      OpenWithDesktop(QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/README.md")));
      return;
    case kAbout:
      About();
      return;
    case kQuickConnect:
      return;  // the bar's button acts itself
    default:
      if (!m_browse->Handle(id)) m_download->Handle(id);
  }
}

bool CMainFrame::OpenWithDesktop(const QUrl& url) { return m_opener(url); }

void CMainFrame::ShowNews(const QString& text) {
  constexpr int kNewsMs = 15000;
  statusBar()->showMessage(text, kNewsMs);
}

void CMainFrame::TellDesktop(const QString& summary, const QString& body) {
  if (m_notify && m_notifier) m_notifier->Notify(summary, body);
}

void CMainFrame::NewTask() {
  if (m_newtask.open) return;
  m_newtask.open = true;
  const bool confirmed = m_sheetrunner ? m_sheetrunner(m_newtask) : [this] {
    CNewTaskSheet sheet(m_newtask, m_messages, this);
    return sheet.exec() == QDialog::Accepted;
  }();
  if (confirmed) {
    CSettingsStore store;
    if (FinishNewTask(m_newtask, *this, store, m_messages) == NewTaskOutcome::NotAUrl)
      ShowNews(QStringLiteral("URL not accepted"));
  }
  // Cleared on every way out, or clipboard and drops would stop opening
  // the sheet after one cancelled question.
  m_newtask.open = false;
}

void CMainFrame::DefaultSet() {
  if (!RunDefaultSet(this, m_defaults, m_messages)) return;
  m_checkclip = m_defaults.checkclip;
  m_notify = m_defaults.notify;
}

void CMainFrame::About() {
  QMessageBox box(this);
  box.setWindowTitle(QStringLiteral("About Skylark"));
  box.setIconPixmap(windowIcon().pixmap(64, 64));
  box.setText(QStringLiteral("Skylark"));
  box.setInformativeText(QStringLiteral("V1.00"));
  box.exec();
}

void CMainFrame::QuickConnect() {
  CSettingsStore store;
  CNewTaskRequest request;
  request.pasvmode = true;
  store.ReadFlag(settingname::kPasvMode, request.pasvmode);
  store.ReadFlag(settingname::kAsciiMode, request.ascimode);
  request.url = m_quickbar->Url();
  request.user = m_quickbar->User();
  request.pass = m_quickbar->Pass();
  request.connectnow = true;
  const unsigned kind = ClassifyUrl(request);
  if (kind > 1) ShowNews(QStringLiteral("URL not accepted"));
  if (kind == 0) {
    createtask(request, *this, store);
    return;
  }
  if (kind == 1) {
    m_newtask.download.url = request.url;
    m_newtask.download.port = 0;
    m_newtask.download.user = request.user;
    m_newtask.download.pass = request.pass;
    m_newtask.page = kFileDownPage;
    PostCommand(command::kNew);
  }
  m_quickbar->UrlBox()->setFocus();
}

void CMainFrame::RefreshLogs() {
  RefreshLog(*m_browse, *m_browselog, m_browselink);
  RefreshLog(*m_download, *m_downloadlog, m_downloadlink);
  QStringList parts;
  for (const CTaskPane* pane : {m_browse.get(), m_download.get()})
    if (const QString part = pane->SummaryText(); !part.isEmpty()) parts.append(part);
  m_summary->setText(parts.join(QStringLiteral("  ")));
}

void CMainFrame::RefreshLog(CTaskPane& pane, CLogPane& log, LogLink& link) {
  void* node = pane.SelectedLogNode();
  if (node == nullptr) {
    log.clear();
    link.node = nullptr;
    return;
  }
  const bool full = node != link.node || pane.TakeFullRefresh();
  link.node = node;
  std::string text;
  if (lark::getoutputmsg(node, text, full ? 1 : 0) != 0) return;
  const QByteArray bytes = QByteArray::fromStdString(text);
  if (full)
    log.ReplaceLog(bytes);
  else
    log.AppendLog(bytes);
}

CTaskPane* CMainFrame::FocusedPane() const {
  const QWidget* focus = QApplication::focusWidget();
  for (CTaskPane* pane : {m_browse.get(), m_download.get()})
    if (focus != nullptr && (focus == pane->List() || pane->List()->isAncestorOf(focus))) return pane;
  return nullptr;
}

void CMainFrame::ToggleFocusedList() {
  CTaskPane* target = FocusedPane() == m_browse.get() ? m_download.get() : m_browse.get();
  target->List()->setFocus(Qt::TabFocusReason);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::NoModifier) {
      ToggleFocusedList();
      return true;
    }
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
      PostCommand(command::kResumeDownload);  // and the widget handles the key as well
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  const QStringList running = m_download->RunningTasks();
  const QString question =
      running.isEmpty() ? QStringLiteral("Are you sure to exit?")
      : running.size() == 1
          ? QStringLiteral("1 download is running; it will continue at the next start. Are you sure to exit?")
          : QStringLiteral("%1 downloads are running; they will continue at the next start. Are you sure to exit?")
                .arg(running.size());
  if (!m_messages.Ask(question)) {
    event->ignore();
    return;
  }
  CSettingsStore store;
  store.WriteText(settingname::kResumeAtStart, running.join(u'\n'));
  SaveGeometry();
  m_layoutready = false;
  event->accept();
}

void CMainFrame::AddBrowseTask(void* node, const QString& url) { m_browse->AddTask(node, url); }
void CMainFrame::AddDownloadTask(void* node, const QString& url) { m_download->AddTask(node, url); }
