#include "listcolumns.h"

#include <QHeaderView>

#include <algorithm>

#include "ctreegridctrl.h"

void FitListColumns(CTreeGridCtrl& list, const QStringList& samples) {
  QHeaderView* header = list.horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  const QFontMetrics metrics(header->font());
  // Room for the sort indicator's margin and the section's padding.
  const int padding = 2 * header->style()->pixelMetric(QStyle::PM_HeaderMargin) + 8;
  for (int column = 0; column < header->count(); ++column) {
    const QString text = list.model()->headerData(column, Qt::Horizontal).toString();
    const int sample = list.fontMetrics().horizontalAdvance(samples.value(column)) + padding;
    const int width = std::max(metrics.horizontalAdvance(text) + padding, sample);
    if (column == 0)
      list.SetFirstColumnMinimum(width);
    else
      list.setColumnWidth(column, width);
  }
}
