#include "createtask.h"

#include <QUrl>

#include "lark.h"
#include "messageseam.h"
#include "programdirectory.h"
#include "recenturls.h"
#include "savedirectory.h"
#include "settingsstore.h"
#include "urlcredentials.h"

namespace {

unsigned AddNode(void*& node, const CNewTaskRequest& request, bool checkonly) {
  return lark::addnode(node, request.url.toStdString(), request.branches, request.port, request.user.toStdString(),
                       request.pass.toStdString(), request.savedir.toStdString(), request.connectnow && !checkonly,
                       request.pasvmode, request.ascimode, checkonly);
}

// A URL that names its port means that port: a "Port:" field left over
// from an earlier task must not send it to another server.
bool NamesPort(const QString& url) { return url.contains(QStringLiteral("://")) && QUrl(url).port() > 0; }

}  // namespace

unsigned ClassifyUrl(const CNewTaskRequest& request) {
  void* node = nullptr;
  return AddNode(node, request, true);
}

unsigned ClassifyUrl(const QString& url) {
  CNewTaskRequest request;
  request.url = url;
  request.pasvmode = true;
  return ClassifyUrl(request);
}

unsigned createtask(const CNewTaskRequest& typed, CTaskSink& sink, CSettingsStore& store) {
  CNewTaskRequest request = typed;
  MoveUrlCredentials(request.url, request.user, request.pass);
  void* node = nullptr;
  const unsigned result = AddNode(node, request, false);
  if (result == 0) sink.AddBrowseTask(node, request.url);
  if (result == 1) sink.AddDownloadTask(node, request.url);
  addrecenturl(store, request.url);
  return result;
}

CNewTaskRequest TakeRequest(const CNewTaskPages& pages, int page) {
  CNewTaskRequest request;
  const CBrowsFields& f = page == kFileDownPage ? pages.download : pages.brows;
  request.url = f.url;
  request.user = f.user;
  request.pass = f.pass;
  request.port = NamesPort(f.url) ? 0 : f.port;
  request.pasvmode = f.pasvmode;
  request.ascimode = f.ascimode;
  request.connectnow = f.connectnow;
  request.savedir = pages.download.savedir;
  request.branches = pages.download.branches;
  return request;
}

NewTaskOutcome FinishNewTask(const CNewTaskPages& pages, CTaskSink& sink, CSettingsStore& store,
                             CMessageSeam& messages) {
  const CNewTaskRequest request = TakeRequest(pages, pages.page);
  const unsigned kind = ClassifyUrl(request);
  if (kind == 0 && pages.page == kFileDownPage &&
      !messages.Ask(QStringLiteral("This set will create a brows task, are you sure?")))
    return NewTaskOutcome::NotMade;
  if (kind == 1 && pages.page == kBrowsPage &&
      !messages.Ask(QStringLiteral("This set will create a download task, are you sure?")))
    return NewTaskOutcome::NotMade;
  if (kind > 1) return NewTaskOutcome::NotAUrl;
  if (kind == 1 && sink.HasDownload(request.url)) {
    const QString shown = WithoutUrlCredentials(request.url);
    if (!messages.Ask(QStringLiteral("%1 is already in the download list. Add it again?").arg(shown)))
      return NewTaskOutcome::NotMade;
  }
  if (kind == 1 && !ConfirmSaveDirectory(request.savedir, ProgramDirectory(), messages)) return NewTaskOutcome::NotMade;
  return createtask(request, sink, store) <= 1 ? NewTaskOutcome::Made : NewTaskOutcome::NotMade;
}
