// The browse list as the frame sees it: the site list's view, its checks
// at start-up and the browse commands.
#include <QWidget>

#include <utility>

#include "browse/browsecommands.h"
#include "browse/browselistfile.h"
#include "browse/browsetaskcreation.h"
#include "browse/csitebrowslist.h"
#include "core/newtaskfields.h"
#include "framecommands.h"
#include "gui/browse/csitebrowsctrl.h"
#include "gui/browse/csitebrowseview.h"
#include "gui/widgets/listcolumns.h"
#include "taskpane.h"

namespace {

class CBrowsePane : public CTaskPane {
 public:
  CBrowsePane(CFrameServices& frame, QWidget* parent)
      : m_frame(frame), m_view(new CSiteBrowseView(frame.Messages(), parent)) {
    QObject::connect(&m_view->Ctrl(), &CSiteBrowsCtrl::PostCommand, m_view,
                     [&frame](int id) { frame.PostCommand(id); });
    // Names sit under a tree of directories; times are "YYYY/MM/DD HH:MM".
    FitListColumns(m_view->Ctrl(),
                   {QStringLiteral("            some-long-file-name.txt"), QStringLiteral("0,000,000,000"),
                    QStringLiteral("0000/00/00 00:00"), QStringLiteral("Login refused")});
    QObject::connect(&m_view->List(), &CSiteBrowsList::siteLost, m_view,
                     [this](CBrowsRootAppend* site, const QString& reason) { TellLost(site, reason); });
    // The first tick comes from the event loop, after the start-up checks.
    m_view->StartTicking();
  }

  QWidget* View() const override { return m_view; }
  CTreeGridCtrl* List() const override { return &m_view->Ctrl(); }
  bool RecordsMatchRows() const override { return SiteCountsMatch(m_view->List()); }
  void RecreateNodes() override { RecreateBrowseNodes(m_view->List()); }

  void* SelectedLogNode() const override {
    CSiteBrowsList& list = m_view->List();
    const CBrowsRootAppend* site = list.SiteRecordOf(list.SelectedItem());
    list.loglinknode = site ? site->node : nullptr;
    return list.loglinknode;
  }

  bool TakeFullRefresh() override { return std::exchange(m_view->List().fullrefresh, false); }
  // The quick connect bar and the sheet both come here: a site already
  // listed is reconnected rather than listed again.
  void AddTask(void* node, const QString& url) override { OpenBrowseTask(m_view->List(), node, url); }

  bool Handle(int id) override {
    CSiteBrowsList& list = m_view->List();
    switch (id) {
      case command::kDelete:
        DeleteSelectedSite(list);
        return true;
      case command::kRefresh:
        RefreshSelectedDirectory(list);
        return true;
      case command::kConnect:
        ConnectSelectedSite(list);
        return true;
      case command::kDisconnect:
        DisconnectSelectedSite(list);
        return true;
      case command::kClearBrowsLog:
        ClearSelectedSiteLog(list);
        return true;
      case command::kDownload:
        Download(list);
        return true;
      default:
        return false;
    }
  }

 private:
  void TellLost(CBrowsRootAppend* site, const QString& reason) {
    const CTreeItem* entry = m_view->List().SiteEntryOf(*site);
    if (entry) m_frame.ShowNews(QStringLiteral("%1: %2").arg(entry->GetData().text, reason));
  }

  void Download(CSiteBrowsList& list) {
    const std::optional<DownloadRequest> file = DownloadSelectedFile(list);
    if (!file) return;
    CNewTaskPages& pages = m_frame.NewTaskPages();
    pages.download.url = file->url;
    pages.download.port = file->port;
    pages.download.user = file->user;
    pages.download.pass = file->pass;
    pages.download.pasvmode = file->pasvmode;
    pages.download.ascimode = file->ascimode;
    pages.page = kFileDownPage;
    m_frame.PostCommand(command::kNew);
  }

  CFrameServices& m_frame;
  CSiteBrowseView* m_view;  // owned by the frame's widgets
};

}  // namespace

std::unique_ptr<CTaskPane> CreateBrowsePane(CFrameServices& frame, QWidget* parent) {
  return std::make_unique<CBrowsePane>(frame, parent);
}
