// The Status column of the browse list: each site's state in words, the
// reason its connection ended as the tooltip, an image of its own for a
// refused login, and the news of a connection that has just been lost.
#include "core/citeminfo.h"
#include "core/treegridrules.h"
#include "csitebrowslist.h"
#include "lark.h"
#include "sitestate.h"

QString SiteStateText(SiteState state) {
  switch (state) {
    case SiteState::Disconnected:
      return QStringLiteral("Disconnected");
    case SiteState::Connecting:
      return QStringLiteral("Connecting");
    case SiteState::Listing:
      return QStringLiteral("Listing");
    case SiteState::Connected:
      return QStringLiteral("Connected");
    case SiteState::LoginRefused:
      return QStringLiteral("Login refused");
  }
  return {};
}

namespace {

int32_t SiteImage(SiteState state) {
  switch (state) {
    case SiteState::LoginRefused:
      return kSiteRefused;
    case SiteState::Disconnected:
      return kSiteOffline;
    case SiteState::Connecting:
    case SiteState::Listing:
    case SiteState::Connected:
      break;
  }
  return kSiteOnline;
}

}  // namespace

SiteState CSiteBrowsList::StateOf(const CBrowsRootAppend& site, QString& reason) const {
  reason.clear();
  int connected = 0;
  lark::getserverconnected(site.node, connected, 0);
  if (connected) {
    // The engine counts a connection under way as connected; the first
    // "pwd" is only asked once it has logged in.
    if (!site.navready && !site.navrequested) return SiteState::Connecting;
    if (site.navstate != ListingStep::Idle || !site.navready) return SiteState::Listing;
    return SiteState::Connected;
  }
  std::string text;
  unsigned failure = lark::FailureNone;
  lark::getfailure(site.node, text, failure);
  reason = QString::fromStdString(text);
  return reason.startsWith(QLatin1String("login refused")) ? SiteState::LoginRefused : SiteState::Disconnected;
}

bool CSiteBrowsList::RefreshStatus(CBrowsRootAppend& site, CTreeItem& entry) {
  QString reason;
  const SiteState state = StateOf(site, reason);
  CItemInfo& info = entry.GetData();
  const QString text = SiteStateText(state);
  const int32_t image = SiteImage(state);
  if (info.status != text || info.statustip != reason || info.image != image) {
    info.status = text;
    info.statustip = reason;
    info.image = image;
    m_model.ItemChanged(&entry);
  }
  const std::optional<SiteState> before = site.shownstate;
  site.shownstate = state;
  // News once, when a connection that was up or under way ends for a
  // reason; a site loaded offline or disconnected by the user is not news.
  const bool wasup = before && *before != SiteState::Disconnected && *before != SiteState::LoginRefused;
  if (wasup && !reason.isEmpty() && (state == SiteState::Disconnected || state == SiteState::LoginRefused))
    emit siteLost(&site, reason);
  return state != SiteState::Disconnected && state != SiteState::LoginRefused;
}
