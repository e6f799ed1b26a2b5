#include "rangedfield.h"

#include "core/defaultset.h"
#include "core/messageseam.h"

bool TakeRangedField(QLineEdit* field, uint32_t low, uint32_t high, uint32_t& value, CMessageSeam& messages) {
  if (ParseRangedNumber(field->text().trimmed(), low, high, value)) return true;
  messages.Notice(RangeMessage(low, high));
  field->setFocus();
  field->selectAll();
  return false;
}
