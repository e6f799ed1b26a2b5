#include "browselistfile.h"

#include "core/programdirectory.h"
#include "core/urlcredentials.h"
#include "csitebrowslist.h"
#include "lark.h"

QString BrowseListPath() { return ProgramDirectory() + QStringLiteral("/lark1.dat"); }

ListFileLoad LoadBrowseList(CSiteBrowsList& list, const QString& path, CMessageSeam& messages,
                            std::optional<CArchiveException>* damage, ListFileAccess access) {
  const ListFileLoad result = LoadListFile(
      path, [&list](CArchive& ar) { list.Serialize(ar); }, messages, damage, access);
  // Lists of earlier versions kept a URL's password in the URL.
  for (int i = 0; i < list.RecordCount(); ++i) {
    CBrowsRootAppend& site = *list.Record(i);
    MoveUrlCredentials(site.url, site.user, site.pass);
  }
  return result;
}

bool SaveBrowseList(CSiteBrowsList& list, const QString& path, CMessageSeam& messages) {
  return SaveListFile(
      path, [&list](CArchive& ar) { list.Serialize(ar); }, messages);
}

bool SiteCountsMatch(const CSiteBrowsList& list) { return list.Model().GetRootCount() == list.RecordCount(); }

int RecreateBrowseNodes(CSiteBrowsList& list) {
  int made = 0;
  for (int i = 0; i < list.RecordCount(); ++i) {
    CBrowsRootAppend& site = *list.Record(i);
    if (site.node) continue;
    void* node = nullptr;
    const unsigned result =
        lark::addnode(node, site.url.toStdString(), 1, site.port, site.user.toStdString(), site.pass.toStdString(), "",
                      false, site.pasvmode != 0, site.ascimode != 0, false);
    if (result == 0) {
      site.node = node;
      site.navready = 1;
      ++made;
    } else if (result == 1 && node) {
      lark::deletenode(node);  // a file URL: a download node no list would own
    }
  }
  return made;
}
