// Integers with thousands separators; digits are accumulated with overflow checks.
#include "framlet/shell/FLCommaIntegerFormatter.h"

#include "framlet/foundation/flFormatString.h"
#include "framlet/shell/flMeasures.h"
#include "platform/StringWithFormat.h"

namespace {
constexpr const char* kNotANumberError = "This is not a valid number.";
}

bool FLCommaIntegerFormatter::getObjectValue(QVariant* value, const QString& text, QString* error) const {
  int64_t number = 0;
  bool negative = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u',') continue;
    if (c == u'-' && i == 0) {
      negative = true;
      continue;
    }
    if (c < u'0' || c > u'9') {
      if (error) *error = QString::fromLatin1(kNotANumberError);
      return false;
    }
    // Negative numbers accumulate below zero, so the most negative one fits as well.
    const int digit = c.unicode() - u'0';
    if (__builtin_mul_overflow(number, 10, &number) ||
        __builtin_add_overflow(number, negative ? -digit : digit, &number)) {
      if (error) *error = QString::fromLatin1(kNumberTooLargeError);
      return false;
    }
  }
  if (minimum_ && number < *minimum_) {
    if (error) *error = StringWithFormat("Value is smaller than the minimum of %qd.", *minimum_);
    return false;
  }
  if (maximum_ && number > *maximum_) {
    if (error) *error = StringWithFormat("Value is larger than the maximum of %qd.", *maximum_);
    return false;
  }
  if (value) *value = QVariant::fromValue<qlonglong>(number);
  return true;
}

QString FLCommaIntegerFormatter::stringForObjectValue(const QVariant& value) const {
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok) return QString();
  return FormatString("%,D", int64_t(number));
}
