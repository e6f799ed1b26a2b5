// A download list driven tick by tick, as the window's timer drives it.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "download/cdownloadlist.h"
#include "lark.h"
#include "scriptedseam.h"
#include "testservers.h"

class DownloadFixture : public ::testing::Test {
 protected:
  DownloadFixture() : list(seam) {
    list.SetListFilePath(QString());
    RetryPolicy quick;
    quick.firstwait = 100;
    quick.maxwait = 400;
    quick.stalltime = 5000;
    quick.saveperiod = 500;
    list.SetRetryPolicy(quick);
  }
  ~DownloadFixture() override {
    for (int i = 0; i < list.TaskCount(); ++i) lark::disconnect(list.Task(i).node, 0);
    Settle(600);
  }

  // Processes engine messages and ticks every `tick` ms until `done` holds
  // or `seconds` pass; true when it held.
  bool RunUntil(const std::function<bool()>& done, int seconds, int tick = 250) {
    QElapsedTimer clock;
    clock.start();
    qint64 next = 0;
    while (clock.elapsed() < seconds * 1000LL) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      if (clock.elapsed() >= next) {
        list.downloadtick();
        next = clock.elapsed() + tick;
        if (done()) return true;
      }
      QThread::msleep(10);
    }
    return false;
  }
  void Settle(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QThread::msleep(10);
    }
  }
  int Create(const std::string& url, unsigned branches, bool connect = true, const QString& user = {},
             const QString& pass = {}) {
    const unsigned result = list.CreateDownloadTask(QString::fromStdString(url), branches, 0, user, pass,
                                                    QString::fromStdString(out.path().string()), connect, true, false);
    EXPECT_EQ(result, 1u);
    return list.TaskCount() - 1;
  }
  bool Complete(int task, int seconds) {
    return RunUntil([&] { return list.IsComplete(task); }, seconds);
  }
  std::string Result(const std::string& name) { return testsupport::sha256OfFile(out.path() / name); }

  testsupport::ScratchDir files{"skylark-dl-src"};
  testsupport::ScratchDir out{"skylark-dl-out"};
  CScriptedSeam seam;
  CDownloadList list;
};
