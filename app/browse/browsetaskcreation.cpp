#include "browsetaskcreation.h"

#include <memory>

#include "core/citeminfo.h"
#include "core/treegridrules.h"
#include "core/urlcredentials.h"
#include "core/urlhost.h"
#include "csitebrowslist.h"
#include "lark.h"

namespace {

bool IsAnonymous(const std::string& user) {
  return user.empty() || QString::fromStdString(user).compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0;
}

// The record's login, modes and port as the engine holds them for `node`.
void TakeLogin(CBrowsRootAppend& site, void* node, const QString& url) {
  std::string user, pass;
  int ascii = 0, passive = 0;
  lark::getuser(node, user);
  lark::getpass(node, pass);
  lark::getascimode(node, ascii);
  lark::getpasvmode(node, passive);
  lark::getserverport(node, site.port);
  site.url = WithoutUrlCredentials(url);
  site.user = QString::fromStdString(user);
  site.pass = QString::fromStdString(pass);
  site.ascimode = static_cast<uint32_t>(ascii);
  site.pasvmode = static_cast<uint32_t>(passive);
}

}  // namespace

QString SiteLabel(const std::string& server, unsigned port, const std::string& user) {
  QString label = QString::fromStdString(UrlHost(server));
  if (!IsAnonymous(user)) label.prepend(QString::fromStdString(user) + QLatin1Char('@'));
  if (port != 21) label += QLatin1Char(':') + QString::number(port);
  return label;
}

CBrowsRootAppend& CreateBrowseTask(CSiteBrowsList& list, void* node, const QString& url) {
  std::string server, user;
  int connected = 0;
  unsigned port = 0;
  lark::getservername(node, server);
  lark::getuser(node, user);
  lark::getserverport(node, port);
  const bool online = lark::getserverconnected(node, connected, 0) == 0 && connected == 1;

  auto entry = std::make_unique<CItemInfo>();
  entry->kind = ItemKind::OwnImage;
  entry->text = SiteLabel(server, port, user);
  entry->image = online ? kSiteOnline : kSiteOffline;

  auto site = std::make_unique<CBrowsRootAppend>();
  site->node = node;
  TakeLogin(*site, node, url);
  return list.AppendSite(std::move(entry), std::move(site));
}
