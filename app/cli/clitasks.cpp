// skylark-cli tasks (download half): the tasks of "lark2.dat" with their
// segment tables, read without ever writing the file.
#include <cstdio>

#include "commands.h"
#include "core/messageseam.h"
#include "download/cdownloadlist.h"
#include "download/numbertext.h"
#include "stderrseam.h"

void printdownloadtasks(std::FILE* out) {
  CStderrSeam seam;
  CDownloadList list(seam);
  list.LoadListFile(ListFileAccess::ReadOnly);
  for (int i = 0; i < list.TaskCount(); ++i) {
    CDownRootAppend& t = list.Task(i);
    CTreeItem* root = list.RootOf(i);
    int64_t remaining = 0, written = 0;
    for (int m = 0; m < t.SegmentCount(); ++m) {
      remaining += t.SegEnd(m) - t.SegPos(m);
      written += t.SegPos(m) - t.SegStart(m);
    }
    const int64_t total = ParseOffset(t.totallength);
    const int64_t done = total > 0 ? total - remaining : written;
    const QString percent = total > 0 ? QString::number(done * 100 / total) : QStringLiteral("-");
    std::fprintf(out, "download %s  total %s  done %s  %s%%  dir %s  %s\n",
                 qPrintable(root ? root->GetData().text : QStringLiteral("?")),
                 qPrintable(t.totallength.isEmpty() ? QStringLiteral("?") : GroupNumber(total)),
                 qPrintable(GroupNumber(done)), qPrintable(percent),
                 qPrintable(t.localdir.isEmpty() ? QStringLiteral(".") : t.localdir), qPrintable(t.url));
    for (int m = 0; m < t.SegmentCount(); ++m)
      std::fprintf(out, "  segment %d: %s-%s at %s, branch %u\n", m, qPrintable(t.segstart.value(m)),
                   qPrintable(t.segend.value(m)), qPrintable(t.segpos.value(m)),
                   m < static_cast<int>(t.segowner.size()) ? t.segowner[static_cast<size_t>(m)] + 1 : 0u);
  }
}
