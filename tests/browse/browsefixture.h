// A running engine and a browse list whose questions the test answers.
#pragma once

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "browse/browsetaskcreation.h"
#include "browse/csitebrowslist.h"
#include "core/enginemessageevent.h"
#include "lark.h"
#include "rununtil.h"
#include "scriptedseam.h"

class BrowseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(lark::startengine(), 0u);
    lark::setmessageposter(&PostEngineMessage);
    list = std::make_unique<CSiteBrowsList>(seam);
  }
  void TearDown() override {
    lark::releasedllres();
    list.reset();
  }

  // The list's pass once a `tickms` while it waits.
  bool RunUntil(const std::function<bool()>& done, int ms = 20000, int tickms = 200) {
    return ::RunUntil(
        done, ms, [this] { list->browsetick(); }, tickms);
  }

  CBrowsRootAppend& AddSite(const std::string& url, const std::string& user = "", const std::string& pass = "",
                            bool passive = true) {
    void* node = nullptr;
    EXPECT_EQ(lark::addnode(node, url, 1, 0, user, pass, "", true, passive, false, false), 0u) << url;
    return CreateBrowseTask(*list, node, QString::fromStdString(url));
  }

  // Lists until the site's next listing is shown; returns the directory.
  CTreeItem* FirstListing(CBrowsRootAppend& site, int ms = 20000) {
    CTreeItem* shown = nullptr;
    auto connection =
        QObject::connect(list.get(), &CSiteBrowsList::ListingShown, [&](CBrowsRootAppend* s, CTreeItem* dir) {
          if (s == &site) shown = dir;
        });
    RunUntil([&] { return shown != nullptr; }, ms);
    QObject::disconnect(connection);
    return shown;
  }

  std::string Log(const CBrowsRootAppend& site) {
    std::string text;
    lark::getoutputmsg(site.node, text, 1);
    return text;
  }

  static std::string Children(const CTreeItem* item) {
    std::string names;
    for (const auto& child : item->GetChildren())
      names += child->GetData().text.toStdString() + (child->GetData().IsFolder() ? "/ " : " ");
    return names;
  }

  static CTreeItem* Child(const CTreeItem* item, const QString& name) {
    for (const auto& child : item->GetChildren())
      if (child->GetData().text == name) return child.get();
    return nullptr;
  }

  void Select(CTreeItem* item) {
    list->Model().ExpandAll(CSiteBrowsList::SiteEntryOf(item));
    list->Model().SelectRow(list->Model().NodeToIndex(item));
    ASSERT_EQ(list->SelectedItem(), item);
  }

  CScriptedSeam seam;
  std::unique_ptr<CSiteBrowsList> list;
};
