// Formatters ride on their line edit as its child.
#include "framlet/shell/FLFormatter.h"

#include <QLineEdit>

FLFormatter* FLFormatter::formatterOf(const QLineEdit* field) {
  return field ? field->findChild<FLFormatter*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

void FLFormatter::attachTo(QLineEdit* field) { setParent(field); }
