// Making a task from a URL: the engine says which kind the URL names, and
// the list of that kind adds its rows and record.
#pragma once

#include <QString>

#include <cstdint>

#include "newtaskfields.h"

class CMessageSeam;
class CSettingsStore;

struct CNewTaskRequest {
  QString url;
  uint32_t branches = 1;
  uint32_t port = 0;
  QString user;
  QString pass;
  QString savedir;
  bool connectnow = false;
  bool pasvmode = false;
  bool ascimode = false;
};

// The two lists as task creation sees them: each adds a task for a node the
// engine has just made.
class CTaskSink {
 public:
  virtual ~CTaskSink() = default;
  virtual void AddBrowseTask(void* node, const QString& url) = 0;
  virtual void AddDownloadTask(void* node, const QString& url) = 0;
  // Whether a download of this URL is in the list already.
  virtual bool HasDownload(const QString& url) const {
    (void)url;
    return false;
  }
};

// The engine's classification of a URL without making a node: 0 a site or
// directory, 1 a file, 100 or more not accepted.
unsigned ClassifyUrl(const CNewTaskRequest& request);
unsigned ClassifyUrl(const QString& url);

// Makes the node group and the task; returns what addnode returned. The URL
// goes into the recent history whatever the result.
unsigned createtask(const CNewTaskRequest& request, CTaskSink& sink, CSettingsStore& store);

// What the sheet asks for after it closed with OK on `page`: the URL and
// logon of that page, the save directory and branch count of the download
// page in every case.
CNewTaskRequest TakeRequest(const CNewTaskPages& pages, int page);

// The rest of the New command once the sheet has closed with OK: the
// question when the URL names the other kind of task than the page, then
// the task.
enum class NewTaskOutcome { Made, NotMade, NotAUrl };
NewTaskOutcome FinishNewTask(const CNewTaskPages& pages, CTaskSink& sink, CSettingsStore& store,
                             CMessageSeam& messages);
