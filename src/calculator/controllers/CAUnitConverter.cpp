#include "calculator/controllers/CAUnitConverter.h"

#include "calculator/model/CANumberFormat.h"
#include "framlet/shell/flMeasures.h"

#include <QStringList>

#include <algorithm>

namespace {

// Bases: amusement units, EMU, kelvin, seconds, grams.
constexpr CAUnitEntry kAmusement[] = {
    {"Cackle", 18, 1, 0, 1},   {"Chortle", 5, 1, 0, 1}, {"Chuckle", 4, 1, 0, 1}, {"Giggle", 7, 1, 0, 1},
    {"Guffaw", 20, 1, 0, 1},   {"Laugh", 14, 1, 0, 1},  {"Smile", 2, 1, 0, 1},   {"Smirk", 3, 1, 0, 1},
    {"Snigger", 10, 1, 0, 1},  {"Snort", 12, 1, 0, 1},  {"Titter", 8, 1, 0, 1},  {"Yuk", 16, 1, 0, 1},
};

constexpr CAUnitEntry kArea[] = {
    {"Acre", 57936384000, 1, 1, 640},
    {"Hectare", 3600000000, 1, 0, 1},
    {"Square foot", 10972800, 1, 0, 1},
    {"Square centimeter", 360000, 1, 0, 1},
    {"Square inch", 914400, 1, 0, 1},
    {"Square kilometer", 36000000000, 1, 0, 1},
    {"Square meter", 36000000, 1, 0, 1},
    {"Square micrometer", 360000, 10000, 0, 1},
    {"Square mile", 57936384000, 1, 0, 1},
    {"Square millimeter", 360000, 10, 0, 1},
    {"Square nanometer", 360000, 10000000, 0, 1},
    {"Square yard", 32918400, 1, 0, 1},
};

constexpr CAUnitEntry kLength[] = {
    {"Centimeter", 360000, 1, 0, 1},    {"Cubit", 164520000, 10, 0, 1},     {"Inch", 914400, 1, 0, 1},
    {"Foot", 10972800, 1, 0, 1},        {"Fathom", 65836800, 1, 0, 1},      {"Furlong", 7242048000, 1, 0, 1},
    {"Kilometer", 36000000000, 1, 0, 1}, {"Meter", 36000000, 1, 0, 1},       {"Micrometer", 360000, 10000, 0, 1},
    {"Mile", 57936384000, 1, 0, 1},     {"Millimeter", 360000, 10, 0, 1},   {"Nanometer", 360000, 10000000, 0, 1},
    {"Point", 12700, 1, 0, 1},          {"Yard", 32918400, 1, 0, 1},
};

// The factor and offset only say which steps of the temperature rule apply.
constexpr CAUnitEntry kTemperature[] = {
    {"Celsius", 1, 1, 27316, 100},
    {"Fahrenheit", 180, 100, 27316, 100},
    {"Kelvin", 1, 1, 0, 1},
    {"Rankine", 180, 100, 0, 1},
};

constexpr CAUnitEntry kTime[] = {
    {"Century", 3155692600, 1, 0, 1}, {"Day", 86400, 1, 0, 1},          {"Decade", 315569260, 1, 0, 1},
    {"Fortnight", 1209600, 1, 0, 1},  {"Hour", 3600, 1, 0, 1},          {"Microsecond", 1, 1000000, 0, 1},
    {"Millennium", 31556926000, 1, 0, 1}, {"Millisecond", 1, 1000, 0, 1}, {"Minute", 60, 1, 0, 1},
    {"Nanosecond", 1, 1000000000, 0, 1}, {"Second", 1, 1, 0, 1},        {"Month", 31556926, 12, 0, 1},
    {"Week", 604800, 1, 0, 1},        {"Year", 31556926, 1, 0, 1},
};

// Imperial measures are the legal ones (a gallon of 4.54609 litres, its bushel of eight
// gallons, its pint of an eighth, its fluid ounce of a 160th); the American bushel and peck
// are the dry ones of 2150.42 and 537.605 cubic inches.
constexpr CAUnitEntry kVolume[] = {
    {"Bushel (U.K.)", 3600000, 1, 3636872, 100000},
    {"Bushel (U.S.)", 914400, 1, 215042, 100},
    {"Cubic centimeter", 360000, 1, 0, 1},
    {"Cubic foot", 10972800, 1, 0, 1},
    {"Cubic inch", 914400, 1, 0, 1},
    {"Cubic kilometer", 36000000000, 1, 0, 1},
    {"Cubic meter", 36000000, 1, 0, 1},
    {"Cubic micrometer", 360000, 10000, 0, 1},
    {"Cubic mile", 57936384000, 1, 0, 1},
    {"Cubic millimeter", 360000, 10, 0, 1},
    {"Cubic nanometer", 360000, 10000000, 0, 1},
    {"Cubic yard", 32918400, 1, 0, 1},
    {"Cup", 914400, 1, 231, 16},
    {"Gallon (U.K.)", 3600000, 1, 454609, 100000},
    {"Gallon (U.S.)", 914400, 1, 231, 1},
    {"Liter", 3600000, 1, 0, 1},
    {"Milliliter", 360000, 1, 0, 1},
    {"Ounce (U.K.)", 3600000, 1, 454609, 16000000},
    {"Ounce (U.S.)", 914400, 1, 231, 128},
    {"Peck", 914400, 1, 537605, 1000},
    {"Pint (U.K.)", 3600000, 1, 454609, 800000},
    {"Pint (U.S.)", 914400, 1, 231, 8},
    {"Quart", 914400, 1, 231, 4},
    {"Tablespoon", 914400, 1, 231, 256},
    {"Teaspoon", 914400, 1, 231, 768},
};

// The avoirdupois pound is 453.59237 grams exactly; the ounce a sixteenth, the ton 2000 pounds.
constexpr CAUnitEntry kWeight[] = {
    {"Carat", 2, 10, 0, 1},
    {"Gram", 1, 1, 0, 1},
    {"Kilogram", 1000, 1, 0, 1},
    {"Milligram", 1, 1000, 0, 1},
    {"Ounce", 45359237, 1600000, 0, 1},
    {"Ounce (Troy)", 311034768, 10000000, 0, 1},
    {"Pound", 45359237, 100000, 0, 1},
    {"Ton", 90718474, 100, 0, 1},
    {"Ton (metric)", 1000000, 1, 0, 1},
};

constexpr CAUnitCategory kCategories[] = {
    {"Amusement", CAUnitKind::plain, kAmusement},
    {"Area", CAUnitKind::squared, kArea},
    {"Length", CAUnitKind::plain, kLength},
    {"Temperature", CAUnitKind::temperature, kTemperature},
    {"Time", CAUnitKind::plain, kTime},
    {"Volume", CAUnitKind::cubed, kVolume},
    {"Weight", CAUnitKind::plain, kWeight},
};

bool IsValidChoice(const CAConverterChoice& choice) {
  if (choice.category < 0 || choice.category >= int32_t(std::size(kCategories))) return false;
  const int64_t count = int64_t(kCategories[choice.category].units.size());
  return choice.fromUnit >= 0 && choice.fromUnit < count && choice.toUnit >= 0 && choice.toUnit < count;
}

CANumber Fraction(int64_t numerator, int64_t denominator) {
  CANumber number(numerator);
  number.divide(CANumber(denominator));
  return number;
}

constexpr int64_t kKelvinOffsetNumerator = 5463;  // 273.15 = 5463/20
constexpr int64_t kKelvinOffsetDenominator = 20;

bool HasOffset(const CAUnitEntry& unit) { return unit.extraNumerator != 0; }
bool IsScaled(const CAUnitEntry& unit) { return unit.numerator != unit.denominator; }

CANumber IntoKelvin(CANumber value, const CAUnitEntry& unit) {
  if (IsScaled(unit)) {
    if (HasOffset(unit)) value.subtract(CANumber(32));
    value.divide(Fraction(9, 5));
  }
  if (HasOffset(unit)) value.add(Fraction(kKelvinOffsetNumerator, kKelvinOffsetDenominator));
  return value;
}

CANumber OutOfKelvin(CANumber value, const CAUnitEntry& unit) {
  if (HasOffset(unit)) value.subtract(Fraction(kKelvinOffsetNumerator, kKelvinOffsetDenominator));
  if (IsScaled(unit)) {
    value.multiply(Fraction(9, 5));
    if (HasOffset(unit)) value.add(CANumber(32));
  }
  return value;
}

// Whether the unit a typed length ends with, if any, is one the measures know. The measures read
// any other name as points, which would convert "2 mi" as two points.
bool NamesKnownUnit(const QString& text) {
  static const char* const kNames[] = {"in", "'", "\"", "pt", "mm", "cm", "m", "px", "pc", "em", "ex"};
  const QString trimmed = text.trimmed();
  if (trimmed.isEmpty()) return true;
  const QChar last = trimmed.back();
  if (last == u'.' || last.isDigit()) return true;
  qsizetype start = trimmed.size();
  while (start > 0 && trimmed[start - 1] != u' ' && !trimmed[start - 1].isDigit()) --start;
  const QString name = trimmed.mid(start);
  return std::any_of(std::begin(kNames), std::end(kNames), [&name](const char* known) {
    return name.compare(QLatin1String(known), Qt::CaseInsensitive) == 0;
  });
}

}  // namespace

std::span<const CAUnitCategory> UnitCategories() { return kCategories; }

CAConverterChoice ConverterChoiceFromString(const QString& text) {
  const QStringList parts = text.split(QLatin1Char(','));
  if (parts.size() < 3) return {};
  CAConverterChoice choice{parts[0].trimmed().toInt(), parts[1].trimmed().toInt(), parts[2].trimmed().toInt()};
  return IsValidChoice(choice) ? choice : CAConverterChoice();
}

QString StringFromConverterChoice(const CAConverterChoice& choice) {
  return QStringLiteral("%1,%2,%3").arg(choice.category).arg(choice.fromUnit).arg(choice.toUnit);
}

std::optional<CANumber> ConverterValueFromText(const QString& text, const CAConverterChoice& choice) {
  // A plain number of the locale ("1.000", a thousand in German) is that number in every unit,
  // feet among them, though the reader of feet and inches takes "." for the decimal point. It is
  // read as the sheet reads a typed number, so that the field takes what the converter shows.
  if (std::optional<CANumber> plain = CANumber::withValidatedString(text, true)) return plain;
  if (choice.category == kCategoryLength && choice.fromUnit == kLengthFootRow && NamesKnownUnit(text)) {
    int64_t emu = 0;
    QString error;
    // "-" alone parses as no single value, which is no length to convert.
    if (ParseMeasure(text, false, kFLUnitFeetAndInches, &emu, &error) && emu != kFLNoMeasure)
      return CANumber::withNumerator(emu, kEmuPerFoot);
  }
  return std::nullopt;
}

CANumber ConvertUnits(const CANumber& value, const CAConverterChoice& choice) {
  if (!IsValidChoice(choice)) return CANumber::asNan();
  const CAUnitCategory& category = kCategories[choice.category];
  const CAUnitEntry& from = category.units[size_t(choice.fromUnit)];
  const CAUnitEntry& to = category.units[size_t(choice.toUnit)];
  if (category.kind == CAUnitKind::temperature) return OutOfKelvin(IntoKelvin(value, from), to);

  // The two lengths' ratio first, so that squares and cubes of large EMU counts stay exact.
  CANumber factor = Fraction(from.numerator, from.denominator);
  factor.divide(Fraction(to.numerator, to.denominator));
  const int power = category.kind == CAUnitKind::squared ? 2 : category.kind == CAUnitKind::cubed ? 3 : 1;
  const CANumber ratio = factor;
  for (int i = 1; i < power; ++i) factor.multiply(ratio);
  if (power > 1 && from.extraNumerator != 0) factor.multiply(Fraction(from.extraNumerator, from.extraDenominator));
  if (power > 1 && to.extraNumerator != 0) factor.divide(Fraction(to.extraNumerator, to.extraDenominator));
  CANumber result = value;
  result.multiply(factor);
  return result;
}
