// Column widths of the task lists in the window: never narrower than their
// header text, nor than a sample of what the column usually shows.
#pragma once

#include <QStringList>

class CTreeGridCtrl;

void FitListColumns(CTreeGridCtrl& list, const QStringList& samples);
