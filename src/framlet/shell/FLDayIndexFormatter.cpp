// Date fields over day indexes.
#include "framlet/shell/FLDayIndexFormatter.h"

#include "framlet/foundation/flDates.h"
#include "platform/StringWithFormat.h"

namespace {
constexpr const char* kUnknownDate = "<Unknown>";
}

bool FLDayIndexFormatter::getObjectValue(QVariant* value, const QString& text, QString* error) const {
  QString reason;
  const int32_t dayIndex = ParseIntoDayIndex(text, &reason);
  if (!reason.isEmpty()) {
    if (error) *error = StringWithFormat("The value you entered, \"%@\", is not a valid date: %@.", text, reason);
    return false;
  }
  if (value) *value = QVariant::fromValue<int32_t>(dayIndex);
  return true;
}

QString FLDayIndexFormatter::stringForObjectValue(const QVariant& value) const {
  const int32_t dayIndex = value.toInt();
  if (dayIndex == 0) return blankUnknown_ ? QStringLiteral("") : QString::fromLatin1(kUnknownDate);
  return FormatDayIndex(dayIndex);
}
