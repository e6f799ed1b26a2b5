#include "browsecommands.h"

#include <QPointer>

#include <string>

#include "core/messageseam.h"
#include "core/tasknoderemoval.h"
#include "core/urlhost.h"
#include "csitebrowslist.h"
#include "lark.h"
#include "listingdisplay.h"

namespace {

class DeleteGuard {
 public:
  explicit DeleteGuard(CSiteBrowsList& list) : m_list(&list) { list.deleting = true; }
  ~DeleteGuard() {
    if (m_list) m_list->deleting = false;
  }
  DeleteGuard(const DeleteGuard&) = delete;
  DeleteGuard& operator=(const DeleteGuard&) = delete;

 private:
  QPointer<CSiteBrowsList> m_list;
};

}  // namespace

bool DeleteSelectedSite(CSiteBrowsList& list) {
  if (list.deleting) return false;
  CTreeItem* item = list.SelectedItem();
  CBrowsRootAppend* site = list.SiteRecordOf(item);
  if (!site) return false;
  QPointer<CSiteBrowsList> alive(&list);
  DeleteGuard guard(list);
  // The question and the wait both run the event loop; only another Delete
  // could take the site away meanwhile, and the guard stops that.
  if (!list.Messages().Ask(QStringLiteral("The selected brows task will be deleted, are you sure?"))) return false;
  if (!alive || !RemoveTaskNode(site->node) || !alive) return false;
  list.RemoveSite(site);
  return true;
}

StepResult RefreshSelectedDirectory(CSiteBrowsList& list) {
  CTreeItem* item = list.SelectedItem();
  CBrowsRootAppend* site = list.SiteRecordOf(item);
  if (!site) return StepResult::NotAsked;
  CMessageSeam& messages = list.Messages();
  if (!site->navready) {
    messages.Notice(QStringLiteral("Node not ready, please connect and initialize first!"));
    return StepResult::NotAsked;
  }
  const StepResult result = list.listingstep(*site, item, {});
  switch (result) {
    case StepResult::NothingToDo:
    case StepResult::NoSuchDirectory:
      messages.Notice(QStringLiteral("Invalid node!"));
      break;
    case StepResult::NotConnected:
      messages.Notice(QStringLiteral("Node not connected!"));
      break;
    case StepResult::Busy:
      messages.Notice(QStringLiteral("Node busy now, try again later!"));
      break;
    default:
      break;
  }
  return result;
}

void ConnectSelectedSite(CSiteBrowsList& list) {
  CBrowsRootAppend* site = list.SiteRecordOf(list.SelectedItem());
  if (site && site->node) lark::connect(site->node, 1);
}

void DisconnectSelectedSite(CSiteBrowsList& list) {
  if (!list.SelectedItem()) return;
  QPointer<CSiteBrowsList> alive(&list);
  if (!list.Messages().Ask(QStringLiteral("The selected site will be disconnected, are you sure ?"))) return;
  // The question's event loop may have let the site go.
  if (!alive) return;
  CBrowsRootAppend* site = list.SiteRecordOf(list.SelectedItem());
  if (site && site->node) lark::disconnect(site->node, 0);
}

void ClearSelectedSiteLog(CSiteBrowsList& list) {
  CBrowsRootAppend* site = list.SiteRecordOf(list.SelectedItem());
  if (!site || !site->node) return;
  lark::clearlogmessage(site->node);
  list.fullrefresh = true;
}

std::optional<DownloadRequest> DownloadSelectedFile(CSiteBrowsList& list) {
  CTreeItem* item = list.SelectedItem();
  CBrowsRootAppend* site = list.SiteRecordOf(item);
  if (!site || item->GetData().IsFolder()) return std::nullopt;
  QString path;
  // The engine decodes an FTP URL's escapes back to the server's bytes.
  for (const CTreeItem* up = item; up->GetParentItem(); up = up->GetParentItem())
    path.prepend(QLatin1Char('/') + UrlPathSegment(up->GetData()));
  // A row's text may name the user and port too; a row without a node
  // comes from a list file of old, whose text is the server's name.
  std::string server = CSiteBrowsList::SiteEntryOf(item)->GetData().text.toStdString();
  if (site->node) lark::getservername(site->node, server);
  path.prepend(QString::fromStdString(UrlHost(server)));
  // The file comes over the site's own scheme: a secure site stays secure.
  std::string scheme = "ftp";
  lark::getscheme(site->node, scheme);
  DownloadRequest request;
  request.url = QString::fromStdString(scheme) + QStringLiteral("://") + path;
  request.port = site->port;
  request.user = site->user;
  request.pass = site->pass;
  request.pasvmode = site->pasvmode != 0;
  request.ascimode = site->ascimode != 0;
  return request;
}
