// The tree-grid list's own images 0..10 (see TreeGridImage), 16 x 16,
// painted once when a list is created.
#pragma once

#include <QPixmap>

#include <array>

#include "core/treegridrules.h"

class CTreeGridImages {
 public:
  static constexpr int kSize = 16;

  CTreeGridImages();
  // A null pixmap for an index outside the strip.
  QPixmap Get(int index) const;

 private:
  std::array<QPixmap, kTreeGridImageCount> m_images;
};
