// A list row's data for the tests: its text, how it is drawn, its image and
// the texts of its other columns.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>

#include "core/citeminfo.h"

inline std::unique_ptr<CItemInfo> Info(const QString& text, ItemKind kind = ItemKind::OwnImage, int image = -1,
                                       const QStringList& subitems = {}) {
  auto info = std::make_unique<CItemInfo>();
  info->text = text;
  info->kind = kind;
  info->image = image;
  info->subitems = subitems;
  return info;
}
