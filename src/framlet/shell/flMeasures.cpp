// Lengths in EMU: the unit table, parsing with checked arithmetic, formatting and rounding.
#include "framlet/shell/flMeasures.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flFormatString.h"
#include "framlet/foundation/flStringExtensions.h"
#include "framlet/shell/FLFormatter.h"

#include <QAbstractSlider>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QSpinBox>

#include <array>
#include <cstdlib>
#include <numeric>

namespace {

struct UnitRow {
  const char* name;
  int64_t emuPerUnit;
  bool roundToHundredths;
  int64_t quantum;  // 0: the unit has no step
};

// Index = unit code.
constexpr std::array<UnitRow, 12> kUnitTable = {{
    {"pt", 12700, true, 1270},
    {"\"", 914400, false, 0},
    {"\"", 914400, false, 28575},
    {"", 10972800, false, 9144},
    {"mm", 36000, true, 3600},
    {"cm", 360000, false, 0},
    {"m", 36000000, false, 36000},
    {"%", 12700, true, 1270},
    {"px", 9525, true, 952},
    {"pc", 152400, true, 1270},
    {"em", 12700, true, 12700},
    {"ex", 12700, true, 12700},
}};

constexpr int64_t kThirtySecondInch = 28575;
// Fractions of an inch finer than a 32nd are cut to 32nds first.
constexpr int64_t kFinestFractionDivisor = 27710;
// Enough decimals for any length: further digits change less than one EMU.
constexpr int kMaxFractionDigits = 18;
// Below 9 points, whole points are shown in points whatever the unit.
constexpr int64_t kSmallPointLimit = 114300;

// The unit of the last successful parse, kFLUnitCurrent when none.
int g_rememberedUnit = kFLUnitCurrent;

const UnitRow& RowFor(int unit) {
  return (unit >= 0 && unit < int(kUnitTable.size())) ? kUnitTable[size_t(unit)] : kUnitTable[0];
}

bool IsDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// value = value * 10 + digit, false on overflow.
bool AppendDigit(int64_t& value, QChar digit) {
  return !__builtin_mul_overflow(value, 10, &value) && !__builtin_add_overflow(value, digit.unicode() - u'0', &value);
}

enum class ParseFailure { None, Illegal, DenominatorZero, TooLarge };

const char* FailureText(ParseFailure failure) {
  switch (failure) {
    case ParseFailure::DenominatorZero: return kDenominatorZeroError;
    case ParseFailure::TooLarge: return kNumberTooLargeError;
    default: return kIllegalCharacterError;
  }
}

// Reads digits from pos while they last; false on overflow. `any` tells whether one was read.
bool ReadDigits(const QString& text, qsizetype& pos, int64_t& value, bool* any = nullptr) {
  bool read = false;
  while (pos < text.size() && IsDigit(text[pos])) {
    if (!AppendDigit(value, text[pos])) return false;
    ++pos;
    read = true;
  }
  if (any) *any = read;
  return true;
}

// The number part of a measure (no sign, no unit name) as whole, numerator and denominator in
// the given unit; the unit becomes inches when feet and inches are typed.
ParseFailure ParseNumberPart(const QString& text, int& unit, int64_t& whole, int64_t& numerator,
                             int64_t& denominator) {
  qsizetype pos = 0;
  whole = 0;
  numerator = 0;
  denominator = 1;
  if (!ReadDigits(text, pos, whole)) return ParseFailure::TooLarge;
  if (pos < text.size() && text[pos] == u'\'') {
    if (whole == 0 || unit < kFLUnitInches || unit > kFLUnitFeetAndInches) return ParseFailure::Illegal;
    ++pos;
    int64_t inches = 0;
    if (!ReadDigits(text, pos, inches)) return ParseFailure::TooLarge;
    if (inches > 11) return ParseFailure::Illegal;
    unit = kFLUnitInches;
    if (__builtin_mul_overflow(whole, 12, &whole) || __builtin_add_overflow(whole, inches, &whole)) {
      return ParseFailure::TooLarge;
    }
  }
  if (pos >= text.size()) return ParseFailure::None;

  const QChar stop = text[pos];
  if (stop == u'.') {
    ++pos;
    int digits = 0;
    while (pos < text.size()) {
      if (!IsDigit(text[pos])) return ParseFailure::Illegal;
      if (digits < kMaxFractionDigits) {
        numerator = numerator * 10 + (text[pos].unicode() - u'0');
        denominator *= 10;
        ++digits;
      }
      ++pos;
    }
    return ParseFailure::None;
  }
  if (stop == u'/') {
    numerator = whole;
    whole = 0;
  } else if (stop == u' ') {
    while (pos < text.size() && text[pos] == u' ') ++pos;
    if (pos >= text.size() || !IsDigit(text[pos])) return ParseFailure::Illegal;
    if (!ReadDigits(text, pos, numerator)) return ParseFailure::TooLarge;
    if (pos >= text.size()) return ParseFailure::DenominatorZero;
    if (text[pos] != u'/') return ParseFailure::Illegal;
    if (numerator == 0) return ParseFailure::Illegal;
  } else {
    return ParseFailure::Illegal;
  }
  ++pos;  // the "/"
  denominator = 0;
  if (!ReadDigits(text, pos, denominator)) return ParseFailure::TooLarge;
  if (pos < text.size()) return ParseFailure::Illegal;
  if (denominator == 0) return ParseFailure::DenominatorZero;
  // The whole units hidden in an improper fraction, at once rather than one at a time.
  if (numerator > denominator) {
    if (__builtin_add_overflow(whole, numerator / denominator, &whole)) return ParseFailure::TooLarge;
    numerator %= denominator;
  }
  return ParseFailure::None;
}

QString WithDecimalLimit(QString text, int maxDecimals) {
  if (maxDecimals <= 0) return text;
  const qsizetype point = text.indexOf(u'.');
  if (point < 0) return text;
  qsizetype end = point + 1;
  while (end < text.size() && IsDigit(text[end])) ++end;
  if (end - point - 1 > maxDecimals) text.remove(point + 1 + maxDecimals, end - point - 1 - maxDecimals);
  return text;
}

}  // namespace

int CurrentDistanceUnit() {
  const FLApplicationDelegate* delegate = ApplicationDelegate();
  if (!delegate) return kFLUnitPoints;
  return delegate->currentDistanceUnit().value_or(kFLUnitPoints);
}

bool ParseMeasure(const QString& text, bool scalar, int unitCode, int64_t* value, QString* error) {
  g_rememberedUnit = kFLUnitCurrent;
  const int given = unitCode == kFLUnitCurrent ? CurrentDistanceUnit() : unitCode;
  int unit = scalar ? kFLUnitPoints : given;
  auto fail = [error](ParseFailure failure) {
    if (error) *error = QString::fromLatin1(FailureText(failure));
    return false;
  };

  QString number = cleanUp(text);
  if (number.isEmpty()) {
    *value = 0;
    return true;
  }
  const bool negative = number.startsWith(u'-');
  if (negative) {
    if (given == kFLUnitPercent) return fail(ParseFailure::Illegal);
    number.remove(0, 1);
    if (number.isEmpty()) {
      *value = kFLNoMeasure;
      return true;
    }
  }

  const QChar last = number.back();
  if (last != u'.' && !IsDigit(last)) {
    if (scalar && given != kFLUnitPercent) return fail(ParseFailure::Illegal);
    qsizetype nameStart = number.size();
    while (nameStart > 0 && number[nameStart - 1] != u' ' && !IsDigit(number[nameStart - 1])) --nameStart;
    if (nameStart == 0) return fail(ParseFailure::Illegal);
    const QString name = number.mid(nameStart);
    if (name.compare(QLatin1String("in"), Qt::CaseInsensitive) == 0) {
      unit = kFLUnitInches;
    } else if (name == QLatin1String("'")) {
      unit = kFLUnitFeetAndInches;
    } else {
      unit = kFLUnitPoints;
      for (size_t row = 0; row < kUnitTable.size(); ++row) {
        if (name.compare(QLatin1String(kUnitTable[row].name), Qt::CaseInsensitive) == 0) {
          unit = int(row);
          break;
        }
      }
    }
    number.truncate(nameStart);
    while (number.endsWith(u' ')) number.chop(1);
    if (number.isEmpty()) return fail(ParseFailure::Illegal);
    if (unit == kFLUnitPercent) {
      if (given != kFLUnitPercent) return fail(ParseFailure::Illegal);
      unit = kFLUnitPoints;
    }
  }

  int64_t whole = 0;
  int64_t numerator = 0;
  int64_t denominator = 1;
  const ParseFailure failure = ParseNumberPart(number, unit, whole, numerator, denominator);
  if (failure != ParseFailure::None) return fail(failure);

  const int64_t factor = RowFor(unit).emuPerUnit;
  if (whole > kFLMaxMeasure / factor) return fail(ParseFailure::TooLarge);
  const __int128 fraction = __int128(numerator) * factor / denominator;
  const __int128 total = __int128(whole) * factor + fraction;
  if (total > kFLMaxMeasure) return fail(ParseFailure::TooLarge);
  g_rememberedUnit = (whole != 0 || numerator != 0) ? unit : kFLUnitPoints;
  *value = negative ? -int64_t(total) : int64_t(total);
  return true;
}

QString FormatMeasureCore(int64_t value, int maxDecimals, bool scalar, bool showUnits, int unitCode) {
  if (value == 0) return QStringLiteral("0");
  if (value == kFLNoMeasure) return QStringLiteral("-");

  int row = kFLUnitPoints;
  bool showName = showUnits;
  if (scalar || unitCode == kFLUnitPercent) {
    row = unitCode == kFLUnitPercent ? kFLUnitPercent : kFLUnitPoints;
    showName = unitCode == kFLUnitPercent;
  } else {
    row = unitCode == kFLUnitCurrent ? CurrentDistanceUnit() : unitCode;
    if (row < 0 || row >= int(kUnitTable.size())) row = kFLUnitPoints;
    if (row != kFLUnitPoints && row != kFLUnitPixels && value % kEmuPerPoint == 0 &&
        value > -kSmallPointLimit && value < kSmallPointLimit) {
      row = kFLUnitPoints;
    }
  }
  const UnitRow& unit = kUnitTable[size_t(row)];
  const bool negative = value < 0;
  // Magnitudes from here on; INT64_MIN has none in int64_t.
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  int64_t factor = unit.emuPerUnit;
  uint64_t whole = magnitude / uint64_t(factor);
  int64_t remainder = int64_t(magnitude % uint64_t(factor));
  uint64_t inches = 0;
  QString text;
  const QString sign = negative ? QStringLiteral("-") : QString();

  bool fractionDone = false;
  if (row == kFLUnitFractionalInches && remainder != 0) {
    int64_t cut = remainder;
    int64_t divisor = std::gcd(cut, kEmuPerInch);
    if (divisor < kFinestFractionDivisor) {
      cut -= cut % kThirtySecondInch;
      divisor = cut ? std::gcd(cut, kEmuPerInch) : 0;
    }
    if (cut != 0) {
      const int64_t numerator = cut / divisor;
      const int64_t denominator = kEmuPerInch / divisor;
      text = whole == 0 ? QStringLiteral("%1%2/%3").arg(sign).arg(numerator).arg(denominator)
                        : QStringLiteral("%1%2 %3/%4").arg(sign).arg(whole).arg(numerator).arg(denominator);
      fractionDone = true;
    }
  }

  if (!fractionDone) {
    if (row == kFLUnitFeetAndInches) {
      inches = uint64_t(remainder) / uint64_t(kEmuPerInch);
      remainder %= kEmuPerInch;
      factor = kEmuPerInch;
    }
    int64_t thousandths = (remainder * 1000 + factor / 100) / factor;
    if (unit.roundToHundredths) thousandths = (thousandths + 5) / 10 * 10;
    if (thousandths >= 1000) {
      thousandths = 0;
      if (row == kFLUnitFeetAndInches && ++inches == 12) {
        inches = 0;
        ++whole;
      } else if (row != kFLUnitFeetAndInches) {
        ++whole;
      }
    }
    if (row == kFLUnitFeetAndInches) {
      const int64_t tenths = thousandths / 100;
      const bool shown = whole != 0 || inches != 0 || tenths != 0;
      text = (shown ? sign : QString()) + QString::number(whole) + u'\'' + QString::number(inches);
      if (tenths) text += u'.' + QString::number(tenths);
      text += QLatin1String(kUnitTable[kFLUnitInches].name);
    } else {
      const bool shown = whole != 0 || thousandths != 0;
      text = (shown ? sign : QString()) + QString::number(whole);
      if (thousandths % 100 == 0 && thousandths) {
        text += u'.' + QString::number(thousandths / 100);
      } else if (thousandths % 10 == 0 && thousandths) {
        text += QStringLiteral(".%1").arg(thousandths / 10, 2, 10, QLatin1Char('0'));
      } else if (thousandths) {
        text += QStringLiteral(".%1").arg(thousandths, 3, 10, QLatin1Char('0'));
      }
    }
    text = WithDecimalLimit(text, maxDecimals);
  }

  if (showName && row != kFLUnitFeetAndInches) {
    const QString name = QString::fromLatin1(unit.name);
    if (!name.isEmpty() && !name[0].isPunct() && !name[0].isSymbol()) text += u' ';
    text += name;
  }
  return text;
}

int64_t RoundMeasure(int64_t value, int64_t quantum) {
  const int remembered = g_rememberedUnit;
  g_rememberedUnit = kFLUnitCurrent;
  if (quantum == 0 || value == kFLNoMeasure) return value;
  if (quantum < 0) {
    int unit = remembered;
    if (unit == kFLUnitCurrent) {
      const FLApplicationDelegate* delegate = ApplicationDelegate();
      const std::optional<int> current = delegate ? delegate->currentDistanceUnit() : std::nullopt;
      if (!current) return value;
      unit = *current;
    }
    if (unit >= 0 && unit < int(kUnitTable.size())) {
      quantum = kUnitTable[size_t(unit)].quantum;
      if (quantum == 0) return value;
    } else {
      quantum = kEmuPerPoint;
    }
  }
  const bool negative = value < 0;
  const uint64_t magnitude = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
  const uint64_t step = uint64_t(quantum);
  const uint64_t rest = magnitude % step;
  uint64_t rounded = rest >= step / 2 ? magnitude + (step - rest) : magnitude - rest;
  // A step past the largest length stays on the last whole step below it.
  if (rounded > uint64_t(kFLMaxMeasure)) rounded = magnitude - rest;
  return negative ? -int64_t(rounded) : int64_t(rounded);
}

int64_t measureValue(const QLineEdit* field) {
  const FLFormatter* formatter = FLFormatter::formatterOf(field);
  if (!formatter) return field->text().toLongLong();
  QVariant value;
  if (!formatter->getObjectValue(&value, field->text(), nullptr)) return 0;
  return value.toLongLong();
}

void setMeasureValue(QLineEdit* field, int64_t value) {
  const FLFormatter* formatter = FLFormatter::formatterOf(field);
  field->setText(formatter ? formatter->stringForObjectValue(QVariant::fromValue<qlonglong>(value))
                           : QString::number(value));
}

int64_t MeasureFromControl(const QWidget* control, int64_t quantum) {
  int64_t value = 0;
  if (const auto* field = qobject_cast<const QLineEdit*>(control)) {
    value = measureValue(field);
  } else if (const auto* spin = qobject_cast<const QDoubleSpinBox*>(control)) {
    value = int64_t(spin->value() * kEmuPerPoint);
  } else if (const auto* intSpin = qobject_cast<const QSpinBox*>(control)) {
    value = int64_t(intSpin->value()) * kEmuPerPoint;
  } else if (const auto* slider = qobject_cast<const QAbstractSlider*>(control)) {
    value = int64_t(slider->value()) * kEmuPerPoint;
  }
  return RoundMeasure(value, quantum);
}

void InstallMeasureFormatter() { SetMeasureFormatter(&FormatMeasureCore); }
