// The browse task list without its window: the tree of sites, directories
// and files (one root per site), the site records paired with the roots by
// position, the once-a-second pass over the sites, the engine's completion
// messages and each site's directory listing cycle.
//
// The listing cycle of a site: Idle; "cwd PATH" queued -> CwdSent; its
// reply (message 0x65) is checked and "list" queued -> ListSent; the
// listing (message 0x65) replaces the directory's children -> Idle. The
// engine takes one request at a time and is briefly busy after each result,
// so a refused "list" is tried again after 1000 ms, three tries in all, on
// a timer: the window thread never sleeps and the cycle stays in state 1
// meanwhile. A cycle whose node goes offline is dropped, so a server that
// never finishes a transfer cannot hold it for good.
//
// Everything here runs on the thread that owns the object; the engine only
// posts CEngineMessageEvents to it (pass it as the `wnd` of requests).
#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "cbrowsrootappend.h"
#include "core/ctreegridmodel.h"
#include "sitestate.h"

class CArchive;
class CItemInfo;
class CMessageSeam;

class CSiteBrowsList : public QObject {
  Q_OBJECT

 public:
  static constexpr unsigned kListingMessage = 0x65;
  static constexpr unsigned kDirectoryMessage = 0x66;
  static constexpr int kListTries = 3;
  static constexpr int kListRetryMs = 1000;
  // Not stored: the list file keeps its three columns.
  static constexpr int kStatusColumn = 3;
  static QStringList ColumnHeaders();

  explicit CSiteBrowsList(CMessageSeam& messages, QObject* parent = nullptr);
  ~CSiteBrowsList() override;

  CTreeGridModel& Model() { return m_model; }
  const CTreeGridModel& Model() const { return m_model; }
  CMessageSeam& Messages() { return m_messages; }

  int RecordCount() const { return static_cast<int>(m_records.size()); }
  CBrowsRootAppend* Record(int index) const;
  // The site entry above any row's item (the item itself for a site entry).
  static CTreeItem* SiteEntryOf(CTreeItem* item);
  CBrowsRootAppend* SiteRecordOf(CTreeItem* item) const;
  CTreeItem* SiteEntryOf(const CBrowsRootAppend& site) const;
  CBrowsRootAppend* FindSite(void* node) const;
  CTreeItem* SelectedItem() const { return m_model.GetTreeItem(m_model.GetSelectedRow()); }

  // A new site entry at the end of the list with its record.
  CBrowsRootAppend& AppendSite(std::unique_ptr<CItemInfo> entry, std::unique_ptr<CBrowsRootAppend> site);
  // Removes the record and its site entry with the whole subtree; the other
  // sites keep their order.
  void RemoveSite(CBrowsRootAppend* site);
  // The site goes on with `node` in place of its node, which is discarded;
  // its tree stays, and a first navigation not yet done is asked again.
  void AdoptNode(CBrowsRootAppend& site, void* node);
  // Stops a node no site holds and deletes it once the engine lets it go
  // (at once, or on a later pass).
  void DiscardNode(void* node);

  // A directory not listed in this run shows its box on a hint of this
  // value, which is never stored: the list file keeps its -1. A listed one
  // has no hint, and when empty says so in its Status.
  static constexpr int32_t kUnlistedHint = 0x4C495354;
  static bool IsUnlisted(const CTreeItem& item) { return item.GetChildHint() == kUnlistedHint; }
  static QString EmptyText() { return QStringLiteral("Empty"); }

  // Once a second: site states, and the first navigation after a connect.
  void browsetick();
  SiteState StateOf(const CBrowsRootAppend& site, QString& reason) const;
  // Engine messages 0x65 (a reply or listing) and 0x66 (the answer to
  // "pwd"); 2 for no node, 1 for a node of no site, else 0.
  unsigned OnListingMessage(void* node);
  unsigned OnDirectoryMessage(void* node);

  // Replaces the site entry's children with the chain of directories of
  // `path` (the server's bytes; the text is taken as UTF-8) and returns the
  // last one (the site entry for "" or "/").
  CTreeItem* buildpath(CTreeItem* site, const std::string& path);
  CTreeItem* buildpath(CTreeItem* site, const QString& path);
  // "/a/b/" for directory b in a; "/" for a site entry. itempath is the
  // names as shown, serverpath the bytes the server knows them by.
  static QString itempath(const CTreeItem* item);
  static std::string serverpath(const CTreeItem* item);
  StepResult listingstep(CBrowsRootAppend& site, CTreeItem* dir, const std::string& reply);

  // The tree block, then the site block.
  void Serialize(CArchive& ar);

  // What the browse log pane shows (the frame keeps these up to date).
  void* loglinknode = nullptr;
  bool fullrefresh = false;

  // Set while a Delete waits for its node, so a second one does not start.
  bool deleting = false;

 signals:
  // After a listing: rows first..last are the directory and its entries.
  void RowsShown(int first, int last);
  void ListingShown(CBrowsRootAppend* site, CTreeItem* dir);
  // The cycle gave up: the directory does not exist, or the engine's
  // refusal of "list".
  void ListingFailed(CBrowsRootAppend* site, StepResult result);
  // A site's connection has just ended for `reason` (a refused login, a
  // lost control connection).
  void siteLost(CBrowsRootAppend* site, const QString& reason);

 protected:
  bool event(QEvent* event) override;

 private:
  // Shows the site's state on its entry; true while it is connected.
  bool RefreshStatus(CBrowsRootAppend& site, CTreeItem& entry);
  StepResult TryList(CBrowsRootAppend& site);
  void RetryList(CBrowsRootAppend& site);
  void ShowListing(CTreeItem* dir, const std::string& reply);
  static void ResetCycle(CBrowsRootAppend& site);
  // Before a subtree is freed, the records stop pointing into it.
  void ForgetItemsBelow(const CTreeItem* top);

  CMessageSeam& m_messages;
  CTreeGridModel m_model;
  std::vector<std::unique_ptr<CBrowsRootAppend>> m_records;
  std::vector<void*> m_discarded;
};
