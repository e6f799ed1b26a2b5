// skylark-cli ls: a browse task made as the window makes one, driven by the
// same once-a-second pass and listing cycle until its start directory is
// listed; then the directory as the list shows it, one entry a line:
// NAME (a directory with "/" after it), TAB, size, TAB, time.
//
// skylark-cli tasks (browse half): the sites of "lark1.dat" with their
// stored trees.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QStringList>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "browse/browselistfile.h"
#include "browse/browsetaskcreation.h"
#include "browse/csitebrowslist.h"
#include "clioptions.h"
#include "commands.h"
#include "core/enginemessageevent.h"
#include "core/messageseam.h"
#include "core/urlcredentials.h"
#include "lark.h"

namespace {

constexpr int kTickMs = 250;

// Notices are kept for the one-line error; there is nobody to ask.
class CollectingSeam : public CMessageSeam {
 public:
  void Notice(const QString& text) override { notices.append(text); }
  bool Ask(const QString&) override { return true; }
  QStringList notices;
};

int fail(const QString& message) {
  std::fprintf(stderr, "skylark-cli ls: %s\n", message.toLocal8Bit().constData());
  return 1;
}

// -1 to go on; otherwise the exit status (0 after --help).
int parseoptions(int argc, char** argv, ConnectionOptions& options) {
  CliCommandLine line("ls", QStringLiteral("Lists an FTP directory as the browse list shows it."));
  if (const int status = line.Parse(SubcommandArguments(argc, argv)); status >= 0) return status;
  return line.Read(options) ? -1 : 2;
}

QString entryline(const CTreeItem& item) {
  const CItemInfo& info = item.GetData();
  const QString name = info.IsFolder() ? info.text + QLatin1Char('/') : info.text;
  return name + QLatin1Char('\t') + info.GetSubItem(0) + QLatin1Char('\t') + info.GetSubItem(1);
}

void printsubtree(std::FILE* out, const CTreeItem& item, int depth) {
  for (const auto& child : item.GetChildren()) {
    std::fprintf(out, "%*s%s\n", depth * 2, "", entryline(*child).toLocal8Bit().constData());
    printsubtree(out, *child, depth + 1);
  }
}

}  // namespace

int runls(int argc, char** argv) {
  ConnectionOptions options;
  if (const int status = parseoptions(argc, argv, options); status >= 0) return status;
  lark::setmessageposter(&PostEngineMessage);
  lark::settimeouts(options.connecttimeout * 1000, options.idletimeout * 1000);
  lark::setextendedpassive(options.epsv ? 1 : 0);
  if (!applytlsoptions("ls", options.cafile, options.insecure)) return 2;

  const QString& url = options.url;
  const std::string siteurl = url.toStdString(), user = options.user.toStdString(), pass = options.pass.toStdString();
  const bool passive = !options.active;
  void* node = nullptr;
  const unsigned kind = lark::addnode(node, siteurl, 1, options.port, user, pass, "", false, passive, false, true);
  if (kind == 1) return fail(QStringLiteral("%1 names a file, not a directory (end it with \"/\")").arg(url));
  if (kind != 0) return fail(QStringLiteral("%1 is not an FTP site or directory URL").arg(url));
  if (lark::addnode(node, siteurl, 1, options.port, user, pass, "", true, passive, false, false) != 0)
    return fail(QStringLiteral("the engine did not take %1").arg(url));

  CollectingSeam messages;
  CSiteBrowsList list(messages);
  CBrowsRootAppend& site = CreateBrowseTask(list, node, url);

  QEventLoop loop;
  CTreeItem* listed = nullptr;
  QString failure;
  QObject::connect(&list, &CSiteBrowsList::ListingShown, &loop, [&](CBrowsRootAppend* done, CTreeItem* dir) {
    if (done != &site) return;
    listed = dir;
    loop.quit();
  });
  QObject::connect(&list, &CSiteBrowsList::ListingFailed, &loop, [&](CBrowsRootAppend*, StepResult result) {
    if (result != StepResult::NoSuchDirectory) failure = QStringLiteral("the server did not accept \"list\"");
    loop.quit();
  });
  QTimer tick;
  tick.setInterval(kTickMs);
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    int connected = 1;
    if (lark::getserverconnected(node, connected, 0) == 0 && !connected) {
      std::string reason;
      unsigned kind = lark::FailureNone;
      lark::getfailure(node, reason, kind);
      failure = reason.empty() ? QStringLiteral("the connection was closed") : QString::fromStdString(reason);
      loop.quit();
      return;
    }
    list.browsetick();
  });
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
    failure = QStringLiteral("nothing was listed within %1 seconds").arg(options.timeout);
    loop.quit();
  });
  tick.start();
  deadline.start(options.timeout * 1000);
  loop.exec();

  if (!messages.notices.isEmpty()) return fail(messages.notices.first());
  if (!listed) return fail(failure.isEmpty() ? QStringLiteral("nothing was listed") : failure);
  for (const auto& child : listed->GetChildren())
    std::fprintf(stdout, "%s\n", entryline(*child).toLocal8Bit().constData());
  return std::fflush(stdout) == 0 ? 0 : 1;
}

void printbrowsetasks(std::FILE* out) {
  const QString path = BrowseListPath();
  std::fprintf(out, "Browse tasks (%s):\n", path.toLocal8Bit().constData());
  CollectingSeam messages;
  CSiteBrowsList list(messages);
  std::optional<CArchiveException> damage;
  if (LoadBrowseList(list, path, messages, &damage, ListFileAccess::ReadOnly) == ListFileLoad::CouldNotOpen) {
    std::fprintf(out, "  cannot read the file\n");
    return;
  }
  for (const QString& notice : messages.notices) std::fprintf(stderr, "%s\n", notice.toLocal8Bit().constData());
  if (damage || !SiteCountsMatch(list)) std::fprintf(out, "  Brows list file error\n");
  const CTreeGridModel& model = list.Model();
  for (int i = 0; i < model.GetRootCount(); ++i) {
    const CTreeItem& entry = *model.GetRootAt(i);
    if (const CBrowsRootAppend* site = list.Record(i))
      std::fprintf(out, "  %s  user=%s port=%u %s %s\n", site->url.toLocal8Bit().constData(),
                   site->user.isEmpty() ? "(anonymous)" : site->user.toLocal8Bit().constData(), site->port,
                   site->pasvmode ? "passive" : "active", site->ascimode ? "ascii" : "binary");
    else
      std::fprintf(out, "  %s  (no site record)\n", entry.GetData().text.toLocal8Bit().constData());
    printsubtree(out, entry, 2);
  }
}
