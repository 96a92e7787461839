// Length fields: parse within bounds, show in the field's unit.
#include "framlet/shell/FLMeasureFormatter.h"

#include "platform/StringWithFormat.h"

bool FLMeasureFormatter::getObjectValue(QVariant* value, const QString& text, QString* error) const {
  int64_t measure = 0;
  QString reason;
  if (!ParseMeasure(text, scalar_, preferredUnit_, &measure, &reason)) {
    if (error) *error = reason;
    return false;
  }
  if (measure != kFLNoMeasure) {
    if (measure < minimum_) {
      if (error) *error = StringWithFormat("Value is smaller than the minimum of %@.", minimumString());
      return false;
    }
    if (measure > maximum_) {
      if (error) *error = StringWithFormat("Value is larger than the maximum of %@.", maximumString());
      return false;
    }
  }
  if (value) *value = QVariant::fromValue<qlonglong>(measure);
  return true;
}

QString FLMeasureFormatter::stringForObjectValue(const QVariant& value) const {
  bool ok = false;
  const qlonglong measure = value.toLongLong(&ok);
  if (!ok) return QString();
  return format(measure);
}

QString FLMeasureFormatter::minimumString() const { return format(minimum_); }
QString FLMeasureFormatter::maximumString() const { return format(maximum_); }

QString FLMeasureFormatter::format(int64_t value) const {
  return FormatMeasureCore(value, 0, scalar_, showUnits_, preferredUnit_);
}
