// The unit converter's tables and arithmetic, without its window: seven categories of units,
// each unit an exact fraction of its category's base (a length in EMU, squared or cubed for
// areas and volumes), temperatures through kelvin, and the stored choice of category and units.
#pragma once

#include "calculator/model/CANumber.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>

enum class CAUnitKind { plain, squared, cubed, temperature };

struct CAUnitEntry {
  const char* name;
  int64_t numerator;  // the unit in the category's base
  int64_t denominator;
  // Areas and volumes: a further factor after squaring or cubing (numerator 0: none).
  // Temperatures: the offset, whose presence marks Celsius and Fahrenheit.
  int64_t extraNumerator;
  int64_t extraDenominator;
};

struct CAUnitCategory {
  const char* name;
  CAUnitKind kind;
  std::span<const CAUnitEntry> units;
};

enum : int32_t {
  kCategoryAmusement = 0,
  kCategoryArea = 1,
  kCategoryLength = 2,
  kCategoryTemperature = 3,
  kCategoryTime = 4,
  kCategoryVolume = 5,
  kCategoryWeight = 6,
};
inline constexpr int32_t kLengthFootRow = 3;

std::span<const CAUnitCategory> UnitCategories();

// A category and its two units, always within the tables.
struct CAConverterChoice {
  int32_t category = kCategoryLength;
  int32_t fromUnit = 9;  // Mile
  int32_t toUnit = 6;    // Kilometer
};
// "%d,%d,%d"; a text with fewer than three numbers, or numbers outside the tables, gives the
// default choice.
CAConverterChoice ConverterChoiceFromString(const QString& text);
QString StringFromConverterChoice(const CAConverterChoice& choice);

// The value the converter reads from the typed text for the choice: a number of the locale that
// uses the whole text, its thousands grouped by the locale's separator or by blanks (as the
// result shows them, so that a result pastes back), or, converting from feet, a length (feet
// and inches, or any unit the measures know).
std::optional<CANumber> ConverterValueFromText(const QString& text, const CAConverterChoice& choice);
// The value in the to-unit; an invalid number when the choice lies outside the tables.
CANumber ConvertUnits(const CANumber& value, const CAConverterChoice& choice);
