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

#include "core/urlcredentials.h"
#include "browse/browselistfile.h"
#include "browse/browsetaskcreation.h"
#include "commands.h"
#include "browse/csitebrowslist.h"
#include "lark.h"
#include "core/enginemessageevent.h"
#include "core/messageseam.h"

namespace {

constexpr int kTickMs = 250;

// Notices are kept for the one-line error; there is nobody to ask.
class CollectingSeam : public CMessageSeam {
 public:
  void Notice(const QString& text) override { notices.append(text); }
  bool Ask(const QString&) override { return true; }
  QStringList notices;
};

struct LsOptions {
  std::string url;
  std::string user;
  std::string pass;
  unsigned port = 0;
  bool passive = true;
  bool epsv = false;
  int timeout = 60;
  unsigned connecttimeout = 30;  // seconds
  unsigned idletimeout = 60;
  std::string cafile;
  bool insecure = false;
};

int fail(const QString& message) {
  std::fprintf(stderr, "skylark-cli ls: %s\n", message.toLocal8Bit().constData());
  return 1;
}

bool parsenumber(const char* text, long low, long high, long& value) {
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text, &end, 10);
  return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

// 0 parsed; 2 after a usage message.
int parseoptions(int argc, char** argv, LsOptions& options) {
  const char* usage =
      "usage: skylark-cli ls [-u USER] [-p PASS] [-P PORT] [--active] [--epsv] [--timeout SECONDS]\n"
      "                      [--connect-timeout SECONDS] [--idle-timeout SECONDS]\n"
      "                      [--ca-certificate FILE] [--insecure] URL\n";
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const bool takesvalue = !std::strcmp(arg, "-u") || !std::strcmp(arg, "-p") || !std::strcmp(arg, "-P") ||
                            !std::strcmp(arg, "--timeout") || !std::strcmp(arg, "--connect-timeout") ||
                            !std::strcmp(arg, "--idle-timeout") || !std::strcmp(arg, "--ca-certificate");
    if (takesvalue && i + 1 >= argc) {
      std::fprintf(stderr, "skylark-cli ls: %s needs a value\n%s", arg, usage);
      return 2;
    }
    long number = 0;
    if (!std::strcmp(arg, "-u")) {
      options.user = argv[++i];
    } else if (!std::strcmp(arg, "-p")) {
      options.pass = argv[++i];
    } else if (!std::strcmp(arg, "-P")) {
      if (!parsenumber(argv[++i], 0, 65535, number)) {
        std::fprintf(stderr, "skylark-cli ls: the port must be 0 to 65535\n");
        return 2;
      }
      options.port = static_cast<unsigned>(number);
    } else if (!std::strcmp(arg, "--timeout")) {
      if (!parsenumber(argv[++i], 1, 86400, number)) {
        std::fprintf(stderr, "skylark-cli ls: the timeout must be 1 to 86400 seconds\n");
        return 2;
      }
      options.timeout = static_cast<int>(number);
    } else if (!std::strcmp(arg, "--connect-timeout") || !std::strcmp(arg, "--idle-timeout")) {
      if (!parsenumber(argv[++i], 1, 86400, number)) {
        std::fprintf(stderr, "skylark-cli ls: %s must be 1 to 86400 seconds\n", arg);
        return 2;
      }
      (!std::strcmp(arg, "--connect-timeout") ? options.connecttimeout : options.idletimeout) =
          static_cast<unsigned>(number);
    } else if (!std::strcmp(arg, "--active")) {
      options.passive = false;
    } else if (!std::strcmp(arg, "--epsv")) {
      options.epsv = true;
    } else if (!std::strcmp(arg, "--ca-certificate")) {
      options.cafile = argv[++i];
    } else if (!std::strcmp(arg, "--insecure")) {
      options.insecure = true;
    } else if (arg[0] == '-' || !options.url.empty()) {
      std::fprintf(stderr, "skylark-cli ls: unexpected argument %s\n%s", arg, usage);
      return 2;
    } else {
      options.url = arg;
    }
  }
  if (options.url.empty()) {
    std::fprintf(stderr, "%s", usage);
    return 2;
  }
  QString url = QString::fromStdString(options.url), user = QString::fromStdString(options.user),
          pass = QString::fromStdString(options.pass);
  MoveUrlCredentials(url, user, pass);
  options.url = url.toStdString();
  options.user = user.toStdString();
  options.pass = pass.toStdString();
  return 0;
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
  LsOptions options;
  if (int status = parseoptions(argc, argv, options)) return status;
  lark::setmessageposter(&PostEngineMessage);
  lark::settimeouts(options.connecttimeout * 1000, options.idletimeout * 1000);
  lark::setextendedpassive(options.epsv ? 1 : 0);
  if (!applytlsoptions("ls", options.cafile, options.insecure)) return 2;

  const QString url = QString::fromStdString(options.url);
  void* node = nullptr;
  const unsigned kind = lark::addnode(node, options.url, 1, options.port, options.user, options.pass, "", false,
                                      options.passive, false, true);
  if (kind == 1) return fail(QStringLiteral("%1 names a file, not a directory (end it with \"/\")").arg(url));
  if (kind != 0) return fail(QStringLiteral("%1 is not an FTP site or directory URL").arg(url));
  if (lark::addnode(node, options.url, 1, options.port, options.user, options.pass, "", true, options.passive, false,
                    false) != 0)
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
