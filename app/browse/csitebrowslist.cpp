#include "csitebrowslist.h"

#include <algorithm>
#include <utility>

#include "core/carchive.h"
#include "core/citeminfo.h"
#include "core/enginemessageevent.h"
#include "core/messageseam.h"
#include "core/treegridrules.h"
#include "lark.h"
#include "listingdisplay.h"

namespace {

bool IsAtOrBelow(const CTreeItem* item, const CTreeItem* top) {
  for (; item; item = item->GetParentItem())
    if (item == top) return true;
  return false;
}

template <typename Visit>
void EachBelow(CTreeItem& item, const Visit& visit) {
  for (const auto& child : item.GetChildren()) {
    visit(*child);
    EachBelow(*child, visit);
  }
}

template <typename Visit>
void EachDirectory(const CTreeGridModel& model, const Visit& visit) {
  for (int i = 0; i < model.GetRootCount(); ++i)
    EachBelow(*model.GetRootAt(i), [&visit](CTreeItem& item) {
      if (item.GetData().IsFolder()) visit(item);
    });
}

std::unique_ptr<CItemInfo> DirectoryInfo(std::string_view name) {
  auto info = std::make_unique<CItemInfo>();
  SetServerName(*info, name);
  info->image = kFolderClosed;
  info->kind = ItemKind::OwnImage;
  return info;
}

}  // namespace

CSiteBrowsList::CSiteBrowsList(CMessageSeam& messages, QObject* parent)
    : QObject(parent), m_messages(messages), m_model(this) {
  m_model.SetColumns(ColumnHeaders(), kStatusColumn);
  m_model.SetSizeColumns({1});
}

CSiteBrowsList::~CSiteBrowsList() = default;

QStringList CSiteBrowsList::ColumnHeaders() {
  return {QStringLiteral("Ftp Server&File"), QStringLiteral("Size(Bytes)"), QStringLiteral("Time"),
          QStringLiteral("Status")};
}

CBrowsRootAppend* CSiteBrowsList::Record(int index) const {
  return index >= 0 && index < RecordCount() ? m_records[index].get() : nullptr;
}

CTreeItem* CSiteBrowsList::SiteEntryOf(CTreeItem* item) {
  while (item && item->GetParentItem()) item = item->GetParentItem();
  return item;
}

CBrowsRootAppend* CSiteBrowsList::SiteRecordOf(CTreeItem* item) const {
  return Record(m_model.GetRootIndex(SiteEntryOf(item)));
}

CTreeItem* CSiteBrowsList::SiteEntryOf(const CBrowsRootAppend& site) const {
  for (int i = 0; i < RecordCount(); ++i)
    if (m_records[i].get() == &site) return m_model.GetRootAt(i);
  return nullptr;
}

CBrowsRootAppend* CSiteBrowsList::FindSite(void* node) const {
  if (!node) return nullptr;
  for (const auto& site : m_records)
    if (site->node == node) return site.get();
  return nullptr;
}

CBrowsRootAppend& CSiteBrowsList::AppendSite(std::unique_ptr<CItemInfo> entry, std::unique_ptr<CBrowsRootAppend> site) {
  m_model.InsertRootItem(std::move(entry));
  m_records.push_back(std::move(site));
  return *m_records.back();
}

void CSiteBrowsList::RemoveSite(CBrowsRootAppend* site) {
  const auto found =
      std::find_if(m_records.begin(), m_records.end(),
                   [site](const std::unique_ptr<CBrowsRootAppend>& owned) { return owned.get() == site; });
  if (found == m_records.end()) return;
  CTreeItem* entry = m_model.GetRootAt(static_cast<int>(found - m_records.begin()));
  m_records.erase(found);
  if (entry) m_model.DeleteItem(entry, entry->GetRow());
}

void CSiteBrowsList::AdoptNode(CBrowsRootAppend& site, void* node) {
  void* old = std::exchange(site.node, node);
  ResetCycle(site);
  if (!site.navready) {
    site.navrequested = 0;
    site.navpending = nullptr;
  }
  if (old != node) DiscardNode(old);
}

void CSiteBrowsList::DiscardNode(void* node) {
  if (!node) return;
  int connected = 0;
  if (lark::getserverconnected(node, connected, 0) == 0 && connected) lark::disconnect(node, 0);
  if (lark::deletenode(node) != 0) m_discarded.push_back(node);
}

void CSiteBrowsList::ResetCycle(CBrowsRootAppend& site) {
  site.navstate = ListingStep::Idle;
  site.navtarget = nullptr;
  site.listtries = 0;
  if (site.listretry) site.listretry->stop();
}

void CSiteBrowsList::ForgetItemsBelow(const CTreeItem* top) {
  for (const auto& site : m_records) {
    if (site->navtarget && site->navtarget != top && IsAtOrBelow(site->navtarget, top)) ResetCycle(*site);
    if (site->navpending && site->navpending != top && IsAtOrBelow(site->navpending, top)) site->navpending = nullptr;
  }
}

void CSiteBrowsList::browsetick() {
  std::erase_if(m_discarded, [](void* node) { return lark::deletenode(node) == 0; });
  for (int i = RecordCount() - 1; i >= 0; --i) {
    CBrowsRootAppend& site = *m_records[i];
    CTreeItem* entry = m_model.GetRootAt(i);
    if (!entry || !site.node) continue;
    const bool connected = RefreshStatus(site, *entry);
    if (!connected) {
      // Whatever was under way died with the connection; a "pwd" that got
      // no answer is asked again after the next connect.
      ResetCycle(site);
      if (!site.navready && !site.navpending) site.navrequested = 0;
      continue;
    }
    if (site.navready) continue;
    if (site.navrequested) {
      if (listingstep(site, site.navpending, {}) == StepResult::Done) site.navready = 1;
      continue;
    }
    std::string path;
    if (lark::getftppathfile(site.node, path) != 0) continue;
    if (path.empty()) {
      if (lark::fetchftpcontent(site.node, "pwd", this, kDirectoryMessage, 0, 0, 1) == 0) site.navrequested = 1;
      continue;
    }
    if (path != "/" && path.back() == '/') path.pop_back();
    CTreeItem* dir = buildpath(entry, path == "/" ? std::string() : path);
    if (listingstep(site, dir, {}) == StepResult::Done) {
      site.navrequested = 1;
      site.navready = 1;
    }
  }
}

unsigned CSiteBrowsList::OnListingMessage(void* node) {
  if (!node) return 2;
  // Only a node a site holds is touched: the handle of a site deleted
  // since the message was posted is no longer valid.
  CBrowsRootAppend* site = FindSite(node);
  if (!site) return 1;
  std::string text;
  lark::takeoutcontent(node, text);
  listingstep(*site, nullptr, text);
  return 0;
}

unsigned CSiteBrowsList::OnDirectoryMessage(void* node) {
  if (!node) return 2;
  CBrowsRootAppend* site = FindSite(node);
  if (!site) return 1;
  std::string text;
  lark::takeoutcontent(node, text);
  CTreeItem* entry = SiteEntryOf(*site);
  // Only the first navigation asks "pwd"; a late answer must not wipe a
  // tree that is already shown.
  if (!entry || site->navready) return 1;
  CTreeItem* dir = buildpath(entry, PwdDirectory(text));
  if (listingstep(*site, dir, {}) == StepResult::Done)
    site->navready = 1;
  else
    site->navpending = dir;
  return 0;
}

CTreeItem* CSiteBrowsList::buildpath(CTreeItem* site, const std::string& path) {
  if (!site) return nullptr;
  ForgetItemsBelow(site);
  m_model.DeleteChildren(site);
  if (path.size() < 2) return site;
  const size_t slash = path.find('/');
  if (slash == std::string::npos) return site;
  CTreeItem* last = site;
  // Empty components ("//") would make nameless directories.
  for (size_t start = slash + 1; start < path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      last = m_model.InsertItem(last, DirectoryInfo(std::string_view(path).substr(start, end - start)), false);
      last->SetChildHint(kUnlistedHint);
    }
    start = end + 1;
  }
  m_model.ExpandAll(site);
  return last;
}

CTreeItem* CSiteBrowsList::buildpath(CTreeItem* site, const QString& path) {
  return buildpath(site, path.toUtf8().toStdString());
}

QString CSiteBrowsList::itempath(const CTreeItem* item) {
  QString path = QStringLiteral("/");
  QStringList names;
  for (; item && item->GetParentItem(); item = item->GetParentItem()) names.prepend(item->GetData().text);
  for (const QString& name : names) path += name + QLatin1Char('/');
  return path;
}

std::string CSiteBrowsList::serverpath(const CTreeItem* item) {
  std::string path;
  for (; item && item->GetParentItem(); item = item->GetParentItem()) path = '/' + ServerName(item->GetData()) + path;
  return path + '/';
}

StepResult CSiteBrowsList::listingstep(CBrowsRootAppend& site, CTreeItem* dir, const std::string& reply) {
  switch (site.navstate) {
    case ListingStep::Idle: {
      if (!dir) return StepResult::NothingToDo;
      const std::string line = "cwd " + serverpath(dir);
      const unsigned result = lark::fetchftpcontent(site.node, line, this, kListingMessage, 0, 0, 1);
      if (result == 0) {
        site.navtarget = dir;
        site.navstate = ListingStep::CwdSent;
      }
      return static_cast<StepResult>(result);
    }
    case ListingStep::CwdSent: {
      if (!site.navtarget) {
        ResetCycle(site);
        return StepResult::NothingToDo;
      }
      if (lark::ServerRejected(reply, 2, "")) {
        const QString path = itempath(site.navtarget);
        ResetCycle(site);
        emit ListingFailed(&site, StepResult::NoSuchDirectory);
        // Nothing of `site` is used after the message: its box runs a nested
        // event loop in which the site may go.
        m_messages.Notice(QStringLiteral("Target directory:") + path + QStringLiteral(" does not exist!"));
        return StepResult::NoSuchDirectory;
      }
      // The engine never hands over an empty result, so an empty reply is a
      // caller such as Refresh, not the awaited answer.
      if (reply.empty() || (site.listretry && site.listretry->isActive())) return StepResult::Busy;
      site.listtries = 1;
      return TryList(site);
    }
    case ListingStep::ListSent: {
      if (!site.navtarget) {
        ResetCycle(site);
        return StepResult::NothingToDo;
      }
      if (reply.empty()) return StepResult::Busy;
      CTreeItem* dir = site.navtarget;
      ResetCycle(site);
      ShowListing(dir, reply);
      if (CTreeItem* entry = SiteEntryOf(site)) RefreshStatus(site, *entry);
      emit ListingShown(&site, dir);
      return StepResult::Done;
    }
    default:
      return StepResult::BadState;
  }
}

StepResult CSiteBrowsList::TryList(CBrowsRootAppend& site) {
  const unsigned result = lark::fetchftpcontent(site.node, "list", this, kListingMessage, 0, 0, 1);
  if (result == 0) {
    site.navstate = ListingStep::ListSent;
    site.listtries = 0;
    if (site.listretry) site.listretry->stop();
    return StepResult::Done;
  }
  if (site.listtries < kListTries) {
    if (!site.listretry) {
      site.listretry = std::make_unique<QTimer>();
      site.listretry->setSingleShot(true);
      site.listretry->setInterval(kListRetryMs);
      // The timer belongs to the record, so this never outlives it.
      CBrowsRootAppend* record = &site;
      connect(site.listretry.get(), &QTimer::timeout, this, [this, record] { RetryList(*record); });
    }
    site.listretry->start();
    return StepResult::Done;
  }
  ResetCycle(site);
  emit ListingFailed(&site, static_cast<StepResult>(result));
  return static_cast<StepResult>(result);
}

void CSiteBrowsList::RetryList(CBrowsRootAppend& site) {
  if (site.navstate != ListingStep::CwdSent || !site.navtarget) {
    ResetCycle(site);
    return;
  }
  ++site.listtries;
  TryList(site);
}

void CSiteBrowsList::ShowListing(CTreeItem* dir, const std::string& reply) {
  ForgetItemsBelow(dir);
  m_model.DeleteChildren(dir);
  if (IsUnlisted(*dir)) dir->SetChildHint(-1);
  for (ListingEntry& entry : ParseListing(reply)) {
    auto info = std::make_unique<CItemInfo>();
    info->subitems = {std::move(entry.size), std::move(entry.time)};
    SetServerName(*info, entry.raw);
    info->kind = entry.directory ? ItemKind::OwnImage : ItemKind::File;
    info->image = entry.directory ? kFolderClosed : -1;
    CTreeItem* item = m_model.InsertItem(dir, std::move(info), false);
    if (entry.directory) item->SetChildHint(kUnlistedHint);
  }
  // A site entry's Status is the site's state.
  if (dir->GetParentItem()) dir->GetData().status = dir->ChildCount() ? QString() : EmptyText();
  const int row = m_model.NodeToIndex(dir);
  if (row < 0 || m_model.GetTreeItem(row) != dir) return;  // below a collapsed directory
  m_model.ItemChanged(dir);
  const int last = m_model.ExpandAll(dir);
  emit RowsShown(row, last);
}

void CSiteBrowsList::Serialize(CArchive& ar) {
  if (ar.IsStoring()) {
    std::vector<CTreeItem*> unlisted;
    EachDirectory(m_model, [&unlisted](CTreeItem& dir) {
      if (IsUnlisted(dir)) unlisted.push_back(&dir);
    });
    for (CTreeItem* dir : unlisted) dir->SetChildHint(-1);
    m_model.Serialize(ar);
    for (CTreeItem* dir : unlisted) dir->SetChildHint(kUnlistedHint);
    ar.WriteCount(static_cast<uint32_t>(m_records.size()));
    for (const auto& site : m_records) ar.WriteObject(site.get());
    return;
  }
  // The file cannot tell a directory listed empty from one never listed:
  // both come back unlisted, also from a file damaged part way.
  struct MarkUnlisted {
    CTreeGridModel& model;
    ~MarkUnlisted() {
      EachDirectory(model, [](CTreeItem& dir) {
        if (dir.ChildCount() == 0 && dir.GetChildHint() == -1) dir.SetChildHint(kUnlistedHint);
      });
    }
  } mark{m_model};
  m_model.Serialize(ar);
  for (uint32_t i = 0, count = ar.ReadCount(); i < count; ++i)
    if (std::unique_ptr<CBrowsRootAppend> site = ar.ReadOwned<CBrowsRootAppend>()) m_records.push_back(std::move(site));
}

bool CSiteBrowsList::event(QEvent* event) {
  if (event->type() != CEngineMessageEvent::EventType()) return QObject::event(event);
  const auto* message = static_cast<CEngineMessageEvent*>(event);
  if (message->Message() == kListingMessage)
    OnListingMessage(message->Node());
  else if (message->Message() == kDirectoryMessage)
    OnDirectoryMessage(message->Node());
  return true;
}
