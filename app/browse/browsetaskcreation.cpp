#include "browsetaskcreation.h"

#include <memory>
#include <string>

#include "core/citeminfo.h"
#include "core/treegridrules.h"
#include "core/urlcredentials.h"
#include "csitebrowslist.h"
#include "lark.h"

CBrowsRootAppend& CreateBrowseTask(CSiteBrowsList& list, void* node, const QString& url) {
  std::string server, user, pass;
  int connected = 0, ascii = 0, passive = 0;
  unsigned port = 0;
  lark::getservername(node, server);
  lark::getuser(node, user);
  lark::getpass(node, pass);
  lark::getascimode(node, ascii);
  lark::getpasvmode(node, passive);
  lark::getserverport(node, port);
  const bool online = lark::getserverconnected(node, connected, 0) == 0 && connected == 1;

  auto entry = std::make_unique<CItemInfo>();
  entry->kind = ItemKind::OwnImage;
  entry->text = QString::fromStdString(server);
  entry->image = online ? kSiteOnline : kSiteOffline;

  auto site = std::make_unique<CBrowsRootAppend>();
  site->node = node;
  site->url = WithoutUrlCredentials(url);
  site->user = QString::fromStdString(user);
  site->pass = QString::fromStdString(pass);
  site->ascimode = static_cast<uint32_t>(ascii);
  site->pasvmode = static_cast<uint32_t>(passive);
  site->port = port;
  return list.AppendSite(std::move(entry), std::move(site));
}
