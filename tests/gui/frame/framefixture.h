// What the window tests share: a fresh program directory and settings file
// per test, a running engine, and lists that record what the frame asks of
// them.
#pragma once

#include <QSet>
#include <QSettings>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/enginemessageevent.h"
#include "gui/frame/taskpane.h"
#include "gui/widgets/ctreegridctrl.h"
#include "lark.h"
#include "scriptedseam.h"
#include "testservers.h"

class FreshHome {
 public:
  FreshHome() {
    std::filesystem::create_directories(dir.path() / "program");
    setenv("SKYLARK_HOME", (dir.path() / "program").c_str(), 1);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                       QString::fromStdString((dir.path() / "config").string()));
  }
  QString Program() const { return QString::fromStdString((dir.path() / "program").string()); }

  testsupport::ScratchDir dir{"skylark-window"};
};

// The engine as the program starts it: its messages become events.
inline void StartEngine() {
  lark::startengine();
  lark::setmessageposter(&PostEngineMessage);
}

class RecordingPane : public CTaskPane {
 public:
  explicit RecordingPane(QWidget* parent) : list(new CTreeGridCtrl(parent)) { list->SetColumns({"Name"}, 100); }
  QWidget* View() const override { return list; }
  CTreeGridCtrl* List() const override { return list; }
  bool RecordsMatchRows() const override { return match; }
  void RecreateNodes() override { ++recreated; }
  void* SelectedLogNode() const override { return nullptr; }
  bool TakeFullRefresh() override { return false; }
  void AddTask(void* node, const QString& url) override {
    nodes.push_back(node);
    added.append(url);
  }
  bool Handle(int command) override {
    if (!accepts.contains(command)) return false;
    handled.append(command);
    return true;
  }

  CTreeGridCtrl* list;
  bool match = true;
  int recreated = 0;
  std::vector<void*> nodes;
  QStringList added;
  QSet<int> accepts;
  QList<int> handled;
};
