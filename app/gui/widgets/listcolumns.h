// Column widths of the task lists in the window: as wide as their header
// text or a sample of what the column usually shows, whichever is wider;
// the first column takes what the others leave.
#pragma once

#include <QStringList>

class CTreeGridCtrl;

void FitListColumns(CTreeGridCtrl& list, const QStringList& samples);
