// Download records for the tests: a task in a list, the list a next run
// reads back from its file, and the new-task sheet filled for a download.
#pragma once

#include <gtest/gtest.h>

#include "core/newtaskfields.h"
#include "download/cdownloadlist.h"
#include "scriptedseam.h"

// A passive binary task of `branches` branches saving into `dir`; its index.
inline int AddDownload(CDownloadList& list, const QString& url, unsigned branches, const QString& dir,
                       bool connect = false) {
  EXPECT_EQ(list.CreateDownloadTask(url, branches, 0, {}, {}, dir, connect, true, false), 1u) << url.toStdString();
  return list.TaskCount() - 1;
}

// The list a next run makes of `path`; `result` says how the load went.
struct ReloadedDownloads {
  explicit ReloadedDownloads(const QString& path) {
    list.SetListFilePath(path);
    result = list.LoadListFile();
  }
  CScriptedSeam seam;
  CDownloadList list{seam};
  ListFileLoad result = ListFileLoad::CouldNotOpen;
};

// The sheet as the user fills it for a download, started at once or not.
inline void FillDownloadPage(CNewTaskPages& pages, const QString& url, const QString& savedir, uint32_t branches,
                             bool connectnow = true) {
  pages.page = kFileDownPage;
  pages.download.url = url;
  pages.download.savedir = savedir;
  pages.download.branches = branches;
  pages.download.connectnow = connectnow;
  pages.download.pasvmode = true;
}
