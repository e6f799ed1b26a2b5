#include "browsetaskcreation.h"

#include <memory>
#include <optional>

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

struct SiteKey {
  std::string scheme, server, user;
  unsigned port = 0;

  bool operator==(const SiteKey& other) const {
    const bool users = IsAnonymous(user) ? IsAnonymous(other.user) : user == other.user;
    return users && scheme == other.scheme && port == other.port &&
           QString::fromStdString(server).compare(QString::fromStdString(other.server), Qt::CaseInsensitive) == 0;
  }
};

std::optional<SiteKey> KeyOf(void* node) {
  SiteKey key;
  if (!node || lark::getscheme(node, key.scheme) != 0) return std::nullopt;
  lark::getservername(node, key.server);
  lark::getuser(node, key.user);
  lark::getserverport(node, key.port);
  return key;
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

CBrowsRootAppend* FindSiteFor(const CSiteBrowsList& list, void* node) {
  const std::optional<SiteKey> wanted = KeyOf(node);
  if (!wanted) return nullptr;
  for (int i = 0; i < list.RecordCount(); ++i) {
    CBrowsRootAppend* site = list.Record(i);
    if (site->node != node && KeyOf(site->node) == wanted) return site;
  }
  return nullptr;
}

CBrowsRootAppend& OpenBrowseTask(CSiteBrowsList& list, void* node, const QString& url) {
  CBrowsRootAppend* site = FindSiteFor(list, node);
  if (!site) return CreateBrowseTask(list, node, url);
  int connected = 0;
  lark::getserverconnected(site->node, connected, 0);
  if (connected) {
    // The running connection stays; the new login serves the next one.
    std::string pass;
    lark::getpass(node, pass);
    site->pass = QString::fromStdString(pass);
    list.DiscardNode(node);
  } else {
    TakeLogin(*site, node, url);
    list.AdoptNode(*site, node);
  }
  list.Model().SelectRow(list.Model().NodeToIndex(list.SiteEntryOf(*site)));
  return *site;
}
