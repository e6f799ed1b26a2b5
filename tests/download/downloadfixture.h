// A download list driven tick by tick, as the window's timer drives it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "download/cdownloadlist.h"
#include "downloadbuilder.h"
#include "lark.h"
#include "rununtil.h"
#include "scriptedseam.h"
#include "testservers.h"

class DownloadFixture : public ::testing::Test {
 protected:
  DownloadFixture() : list(seam) {
    list.SetListFilePath(QString());
    list.SetRetryPolicy({.firstwait = 100, .maxwait = 400, .stalltime = 5000, .saveperiod = 500});
  }
  ~DownloadFixture() override {
    for (int i = 0; i < list.TaskCount(); ++i) lark::disconnect(list.Task(i).node, 0);
    ::RunUntil([] { return false; }, 600);  // lets the disconnects land
  }

  // The scheduler's pass every `tick` ms while it waits, `seconds` at most.
  bool RunUntil(const std::function<bool()>& done, int seconds, int tick = 250) {
    return ::RunUntil(
        done, seconds * 1000, [this] { list.downloadtick(); }, tick);
  }
  int Create(const std::string& url, unsigned branches, bool connect = true) {
    return AddDownload(list, QString::fromStdString(url), branches, QString::fromStdString(out.path().string()),
                       connect);
  }
  bool Complete(int task, int seconds) {
    return RunUntil([&] { return list.IsComplete(task); }, seconds);
  }
  std::string Result(const std::string& name) { return testsupport::sha256OfFile(out.path() / name); }
  // The list file in the target folder; the list saves there from now on.
  QString UseListFile() {
    const QString path = QString::fromStdString((out.path() / "lark2.dat").string());
    list.SetListFilePath(path);
    return path;
  }

  testsupport::ScratchDir files{"skylark-dl-src"};
  testsupport::ScratchDir out{"skylark-dl-out"};
  CScriptedSeam seam;
  CDownloadList list;
};
