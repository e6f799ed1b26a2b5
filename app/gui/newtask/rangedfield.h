// A number field of a page: parsed whole within its range, or refused with
// the range message and the focus put on it.
#pragma once

#include <QLineEdit>

#include <cstdint>

class CMessageSeam;

bool TakeRangedField(QLineEdit* field, uint32_t low, uint32_t high, uint32_t& value, CMessageSeam& messages);
