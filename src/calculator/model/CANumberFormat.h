// How a number is shown: automatic or fixed decimals, binary, octal, integer or hexadecimal,
// date, fraction, money, percent or scientific, with its options. A cell format holds one; it is
// saved as the "num_fmt" element and can be made from an Excel number-format code.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>

#include "framlet/foundation/flNumberText.h"

class FLXmlDecoder;
class FLXmlEncoder;

// Display types; their XML names are "auto", "float", "bin", "oct", "int", "hex", "date",
// "fract", "money", "%", "sci".
enum : int32_t {
  kDisplayAuto = 0,
  kDisplayFloat = 1,
  kDisplayBinary = 2,
  kDisplayOctal = 3,
  kDisplayInteger = 4,
  kDisplayHex = 5,
  kDisplayDate = 6,
  kDisplayFraction = 7,
  kDisplayMoney = 8,
  kDisplayPercent = 9,
  kDisplayScientific = 10,
};

enum : int32_t { kDateOrderNone = 0, kDateOrderDMY = 1, kDateOrderMDY = 2, kDateOrderYMD = 3 };
enum : int32_t { kYearNone = 0, kYearTwoDigits = 1, kYearFull = 2 };
enum : int32_t { kMonthNone = 0, kMonthNumber = 1, kMonthShortName = 2, kMonthLongName = 3 };
enum : int32_t { kWeekdayNone = 0, kWeekdayShort = 1, kWeekdayLong = 2 };

// `size` meaning automatic decimal places.
inline constexpr int64_t kAutomaticSize = FLNumberFormatOptions::kAutomaticDigits;

// Process-wide number-text settings, taken from the current locale at launch
// (SetNumberTextLocale); before that they are those of the United States.
struct CANumberLocale {
  QString decimalSeparator = QStringLiteral(".");
  QChar decimalSeparatorChar = QLatin1Char('.');
  QString groupSeparator = QStringLiteral(",");
  QChar groupSeparatorChar = QLatin1Char(',');
  QString currencySymbol = QStringLiteral("$");
};
const CANumberLocale& NumberTextLocale();
// Takes the separators ("." and "," when the locale gives none) and the currency symbol
// (LocaleCurrencySymbol) from the locale.
void SetNumberTextLocale(const QLocale& locale);
// The sign money shows in the locale: its own where an installed font draws it, else its
// currency's code ("CHF" in Italian Switzerland, which Qt gives no sign); "$" where the locale has
// no currency at all (C).
QString LocaleCurrencySymbol(const QLocale& locale);

// The preferences that every format copies into its options record. The preferences
// controller installs a provider at launch; without one these defaults hold.
struct CANumberPreferences {
  uint64_t decimalDigits = 2;     // numlet.spreadsheetDigits
  uint64_t integerWordSize = 64;  // numlet.calcWordSize, 0 read as 64
  bool roundDown = false;         // numlet.roundDown
};
using CANumberPreferencesProvider = std::function<CANumberPreferences()>;
void SetNumberPreferencesProvider(CANumberPreferencesProvider provider);
CANumberPreferences NumberPreferences();

class CANumberFormat {
 public:
  // Automatic display, size -1, the locale's date order, full year, numeric month.
  CANumberFormat();
  // Reads the "num_fmt" element the decoder stands on, through its end.
  static CANumberFormat withXml(FLXmlDecoder& decoder);
  // From an Excel number-format code; value type 2 is a date cell.
  static CANumberFormat withExcelFormat(const QString& code, int32_t valueType);
  // The same from the code's sections as NormalizeExcelNumberFormat gives them.
  static CANumberFormat withExcelSections(const QStringList& sections, int32_t valueType);

  void saveToXml(FLXmlEncoder& encoder) const;
  void setExcelNumberOptions(const QString& section);
  void setExcelDateOptions(const QString& section);

  // The options record for the number-text procedures.
  FLNumberFormatOptions setupOptions() const;

  QString formatInteger(int64_t value) const;
  // The decimal displays take a real, or an exact value whose own decimal digits are rounded.
  QString formatFloat(long double x) const;
  QString formatFloat(const FLNumberValue& value) const;
  QString formatScientific(long double x) const;
  QString formatScientific(const FLNumberValue& value) const;
  QString formatMoney(long double x) const;
  QString formatMoney(const FLNumberValue& value) const;
  QString formatPercent(long double x) const;
  QString formatPercent(const FLNumberValue& value) const;
  // The exact decimal text of a fraction whose denominator divides 10000, rounded to the
  // format's places as every decimal display is; nothing otherwise.
  std::optional<QString> formatFractionAsFloat(int64_t numerator, uint64_t denominator) const;
  QString formatWhole(int64_t whole, int64_t numerator, uint64_t denominator) const;
  QString formatDate(int32_t dayIndex) const;

  int32_t display() const { return display_; }
  // Moving between {auto, float, date, money, %, sci} and {bin, oct, int, hex, fract} resets
  // the size to -1 or 0.
  void setDisplay(int32_t display);
  int32_t dateOrder() const { return dateOrder_; }
  void setDateOrder(int32_t v) { dateOrder_ = v; }
  int32_t yearOption() const { return yearOption_; }
  void setYearOption(int32_t v) { yearOption_ = v; }
  int32_t monthOption() const { return monthOption_; }
  void setMonthOption(int32_t v) { monthOption_ = v; }
  int32_t weekdayOption() const { return weekdayOption_; }
  void setWeekdayOption(int32_t v) { weekdayOption_ = v; }
  bool padDayMonth() const { return padDayMonth_; }
  void setPadDayMonth(bool v) { padDayMonth_ = v; }
  bool omitDay() const { return omitDay_; }
  void setOmitDay(bool v) { omitDay_ = v; }
  bool omitSeparators() const { return omitSeparators_; }
  void setOmitSeparators(bool v) { omitSeparators_ = v; }
  bool shortDashes() const { return shortDashes_; }
  void setShortDashes(bool v) { shortDashes_ = v; }
  // Decimal places (-1: the preference; kAutomaticSize: automatic), or for bin, oct, int and
  // hex the word size in bits (0: 64; -1: the preference).
  int64_t size() const { return size_; }
  void setSize(int64_t v) { size_ = v; }
  bool groupThousands() const { return groupThousands_; }
  void setGroupThousands(bool v) { groupThousands_ = v; }
  bool negativeParens() const { return negativeParens_; }
  void setNegativeParens(bool v) { negativeParens_ = v; }
  bool zeroBlank() const { return zeroBlank_; }
  void setZeroBlank(bool v) { zeroBlank_ = v; }
  bool keepFraction() const { return keepFraction_; }
  void setKeepFraction(bool v) { keepFraction_ = v; }
  bool forceHundredths() const { return forceHundredths_; }
  void setForceHundredths(bool v) { forceHundredths_ = v; }
  bool onlySignificantDigits() const { return onlySignificantDigits_; }
  void setOnlySignificantDigits(bool v) { onlySignificantDigits_ = v; }
  bool traditionalScientific() const { return traditionalScientific_; }
  void setTraditionalScientific(bool v) { traditionalScientific_ = v; }
  bool disallowScientific() const { return disallowScientific_; }
  void setDisallowScientific(bool v) { disallowScientific_ = v; }
  // Null: the locale's currency symbol.
  const QString& currencySymbol() const { return currencySymbol_; }
  void setCurrencySymbol(const QString& v) { currencySymbol_ = v; }

  friend bool operator==(const CANumberFormat&, const CANumberFormat&) = default;

  // Class-wide formats: float (display 1), integer (display 4, size 0), fraction (display 7,
  // size 0).
  static const CANumberFormat& defaultFloatFormat();
  static const CANumberFormat& defaultIntegerFormat();
  static const CANumberFormat& defaultFractionFormat();

 private:
  int32_t display_ = kDisplayAuto;
  int32_t dateOrder_ = kDateOrderMDY;
  int32_t yearOption_ = kYearFull;
  int32_t monthOption_ = kMonthNumber;
  int32_t weekdayOption_ = kWeekdayNone;
  bool padDayMonth_ = false;
  bool omitDay_ = false;
  bool omitSeparators_ = false;
  bool shortDashes_ = false;
  int64_t size_ = -1;
  bool groupThousands_ = false;
  bool negativeParens_ = false;
  bool zeroBlank_ = false;
  bool keepFraction_ = false;
  bool forceHundredths_ = false;
  bool onlySignificantDigits_ = false;
  bool traditionalScientific_ = false;
  bool disallowScientific_ = false;
  QString currencySymbol_;
};

// The XML element of a number format.
inline constexpr const char* kNumberFormatTag = "num_fmt";
