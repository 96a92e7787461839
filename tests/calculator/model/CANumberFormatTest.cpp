// Number formats: money, percent, fraction and date text, the "num_fmt" element, and the
// conversion of Excel's built-in number formats.
#include <gtest/gtest.h>


#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/LocaleTestSupport.h"
#include "framlet/foundation/flFonts.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"

namespace {

CANumberFormat WithDisplay(int32_t display) {
  CANumberFormat format;
  format.setDisplay(display);
  return format;
}

TEST(NumberFormat, FractionsAsDecimalsRoundToTheirPlaces) {
  CANumberFormat format = WithDisplay(kDisplayFloat);
  format.setSize(2);
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral("0.13"));
  EXPECT_EQ(format.formatFractionAsFloat(-9999, 1000), QStringLiteral("-10.00"));
  format.setSize(0);
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral("0.125"));
  format.setSize(6);
  EXPECT_EQ(format.formatFractionAsFloat(-1, 8), QStringLiteral("-0.125000"));
  format.setSize(0);
  format.setNegativeParens(true);
  EXPECT_EQ(format.formatFractionAsFloat(-5, 4), QStringLiteral("(1.25)"));
  format.setNegativeParens(false);
  format.setZeroBlank(true);
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral(".125"));
  format.setZeroBlank(false);
  format.setForceHundredths(true);
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral("0.13"));
  EXPECT_EQ(format.formatFractionAsFloat(1, 3), std::nullopt);
  EXPECT_EQ(format.formatFractionAsFloat(1, 20000), std::nullopt);
  EXPECT_EQ(format.formatFractionAsFloat(1, 0), std::nullopt);
  format.setForceHundredths(false);
  format.setGroupThousands(true);
  EXPECT_EQ(format.formatFractionAsFloat(12345679, 8), QStringLiteral("1,543,209.875"));
}

TEST(NumberFormat, DateText) {
  struct Row {
    int32_t order;
    int32_t year;
    int32_t month;
    int32_t weekday;
    bool pad;
    bool omitDay;
    bool omitSeparators;
    bool dashes;
    int32_t day;
    const char* text;
  };
  const Row rows[] = {
      {kDateOrderMDY, kYearFull, kMonthLongName, kWeekdayNone, false, false, false, false, 20240105,
       "January 5, 2024"},
      {kDateOrderDMY, kYearFull, kMonthNumber, kWeekdayNone, true, false, false, true, 20240105, "05-01-2024"},
      {kDateOrderYMD, kYearTwoDigits, kMonthNumber, kWeekdayNone, true, false, false, false, 20240105, "24/01/05"},
      {kDateOrderMDY, kYearFull, kMonthShortName, kWeekdayNone, false, true, false, false, 20240105, "Jan 2024"},
      {kDateOrderMDY, kYearFull, kMonthLongName, kWeekdayLong, false, false, false, false, 20240105,
       "Friday January 5, 2024"},
      {kDateOrderMDY, kYearNone, kMonthShortName, kWeekdayShort, false, false, false, false, 20240105, "Fri Jan 5"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, true, false, true, false, 20240105, "01052024"},
      // Only a month asked for: the month of any value with a valid month part.
      {kDateOrderMDY, kYearNone, kMonthLongName, kWeekdayNone, false, true, false, false, 312, "March"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, false, false, false, false, 20240230, "<Date>"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, false, false, false, false, 30010101, "<Date>"},
      {kDateOrderMDY, kYearNone, kMonthNone, kWeekdayNone, false, true, false, false, 20240105, "<Date>"},
  };
  for (const Row& row : rows) {
    CANumberFormat format = WithDisplay(kDisplayDate);
    format.setDateOrder(row.order);
    format.setYearOption(row.year);
    format.setMonthOption(row.month);
    format.setWeekdayOption(row.weekday);
    format.setPadDayMonth(row.pad);
    format.setOmitDay(row.omitDay);
    format.setOmitSeparators(row.omitSeparators);
    format.setShortDashes(row.dashes);
    EXPECT_EQ(format.formatDate(row.day), QString::fromLatin1(row.text)) << row.text;
  }
  CANumberFormat blank = WithDisplay(kDisplayDate);
  blank.setZeroBlank(true);
  EXPECT_EQ(blank.formatDate(0), QString());
  EXPECT_EQ(WithDisplay(kDisplayDate).formatDate(0), QStringLiteral("<Date>"));
}

// ---------------------------------------------------------------------------------------------

CANumberFormat RoundTrip(const CANumberFormat& format, QString* xml = nullptr) {
  FLXmlEncoder encoder;
  encoder.openTag(QStringLiteral("cell"));
  format.saveToXml(encoder);
  encoder.closeTag(QStringLiteral("cell"));
  if (xml) *xml = encoder.xml();
  auto decoder = FLXmlDecoder::withString(encoder.xml());
  EXPECT_TRUE(decoder);
  if (!decoder) return CANumberFormat();
  EXPECT_TRUE(decoder->getNextTag());  // "cell"
  EXPECT_TRUE(decoder->getNextTag());  // "num_fmt"
  EXPECT_EQ(decoder->xmlTag(), QLatin1String(kNumberFormatTag));
  CANumberFormat read = CANumberFormat::withXml(*decoder);
  EXPECT_TRUE(decoder->getNextTag());
  EXPECT_EQ(decoder->xmlTag(), QStringLiteral("cell"));  // the element was read through its end
  return read;
}

// Money shows the locale's sign; where Qt gives none (Italian Switzerland) or no installed font
// draws it, the currency's code, never another country's sign. After a sign written right to left
// a left-to-right mark keeps the amount and its minus in order, and the text reads back.
TEST(NumberFormat, MoneyShowsTheLocalesSignOrItsCurrencysCode) {
  // The sign where a font draws it, followed by the mark that keeps the amount in order; else the
  // currency's code (no font installed for the tests draws the afghani).
  const auto rightToLeftSign = [](const QString& sign, const char* code) {
    return InstalledFontsDrawText(sign) ? sign + QChar(0x200E) : QString::fromLatin1(code);
  };
  const struct {
    const char* locale;
    long double value;
    QString shown;
  } cases[] = {
      {"it_CH", 1234.5L, QStringLiteral("CHF1\u2019234.50")},
      {"it_CH", -0.5L, QStringLiteral("CHF-0.50")},
      {"de_CH", 1234.5L, QStringLiteral("CHF1\u2019234.50")},
      {"en_US", -0.5L, QStringLiteral("$-0.50")},
      {"de_DE", -0.5L, QStringLiteral("\u20AC-0,50")},
      {"C", 2.0L, QStringLiteral("$2.00")},  // no currency at all
      {"ps_AF", -0.5L, rightToLeftSign(QStringLiteral("\u060B"), "AFN") + QStringLiteral("-0\u066B50")},
      {"ar_EG", -0.5L,
       rightToLeftSign(QLocale(QStringLiteral("ar_EG")).currencySymbol(), "EGP") + QStringLiteral("-0\u066B50")},
      {"he_IL", 2.5L, QStringLiteral("\u20AA2.50")},  // a sign of no direction of its own takes no mark
  };
  for (const auto& c : cases) {
    const TestLocale locale(c.locale);
    CANumberFormat money;
    money.setDisplay(kDisplayMoney);
    money.setGroupThousands(true);
    money.setForceHundredths(true);
    const QString shown = money.formatMoney(c.value);
    EXPECT_EQ(shown, c.shown) << c.locale;
    const std::optional<CANumber> read = CANumber::withValidatedString(shown, true);
    ASSERT_TRUE(read.has_value()) << c.locale;
    EXPECT_EQ(*read, CANumber::withReal(c.value)) << c.locale;
  }
  EXPECT_FALSE(InstalledFontsDrawText(QString(QChar(0x0378))));  // assigned no character
  EXPECT_TRUE(InstalledFontsDrawText(QStringLiteral("$1")));
}

TEST(NumberFormatXml, EveryOptionSurvivesTheRoundTrip) {
  CANumberFormat fraction = WithDisplay(kDisplayFraction);
  fraction.setKeepFraction(true);
  EXPECT_EQ(RoundTrip(fraction), fraction);

  CANumberFormat date = WithDisplay(kDisplayDate);
  date.setDateOrder(kDateOrderDMY);
  date.setYearOption(kYearTwoDigits);
  date.setMonthOption(kMonthLongName);
  date.setWeekdayOption(kWeekdayShort);
  date.setPadDayMonth(true);
  date.setOmitDay(true);
  date.setOmitSeparators(true);
  date.setShortDashes(true);
  EXPECT_EQ(RoundTrip(date), date);

  CANumberFormat money = WithDisplay(kDisplayMoney);
  money.setCurrencySymbol(QStringLiteral("\u00A3"));
  money.setForceHundredths(true);
  money.setNegativeParens(true);
  money.setZeroBlank(true);
  money.setGroupThousands(true);
  money.setDisallowScientific(true);
  EXPECT_EQ(RoundTrip(money), money);

  CANumberFormat scientific = WithDisplay(kDisplayScientific);
  scientific.setTraditionalScientific(true);
  scientific.setSize(kAutomaticSize);
  EXPECT_EQ(RoundTrip(scientific), scientific);

  CANumberFormat hex = WithDisplay(kDisplayHex);
  hex.setSize(16);
  EXPECT_EQ(RoundTrip(hex), hex);
  EXPECT_EQ(RoundTrip(WithDisplay(kDisplayBinary)), WithDisplay(kDisplayBinary));
}

// ---------------------------------------------------------------------------------------------

TEST(NumberFormatExcel, ShowsValuesAsExcelWould) {
  const auto format = [](const char* code) { return CANumberFormat::withExcelFormat(QString::fromUtf8(code), 0); };
  EXPECT_EQ(format("#,##0.00").formatFloat(1234.567L), QStringLiteral("1,234.57"));
  EXPECT_EQ(format("$#,##0.00_);($#,##0.00)").formatMoney(-1234.5L), QStringLiteral("($1,234.50)"));
  EXPECT_EQ(format("0%").formatPercent(0.5L), QStringLiteral("50%"));
  EXPECT_EQ(format("0.00%").formatPercent(0.5L), QStringLiteral("50.00%"));
  EXPECT_TRUE(format("0;(0);").zeroBlank());
  EXPECT_FALSE(format("0;").zeroBlank());
  EXPECT_TRUE(format("0.0#").onlySignificantDigits());
  EXPECT_EQ(format("0.0#").size(), 1);
  EXPECT_EQ(format("[$\u20AC-407] #,##0.00").display(), kDisplayFloat);
  EXPECT_EQ(format("#,##0.00 \"\u20AC\"").currencySymbol(), QStringLiteral("\u20AC"));
}

TEST(NumberFormatExcel, DateCodes) {
  const struct {
    const char* code;
    const char* shown;  // 5 January 2024
  } cases[] = {
      {"m/d/yy", "1/5/24"},           {"d-mmm-yy", "5 Jan 24"}, {"d-mmm", "5 Jan"},             {"mmm-yy", "Jan 24"},
      {"m/d/yy h:mm", "1/5/24"},      {"mmm d, yyyy", "Jan 5, 2024"},
      {"dd/mm/yyyy", "05/01/2024"},   {"yyyy-mm-dd", "2024-01-05"}, {"dddd, mmmm d, yyyy", "Friday January 5, 2024"},
      {"ddd yyyy mm dd", "Fri 20240105"},
  };
  for (const auto& c : cases) {
    const CANumberFormat f = CANumberFormat::withExcelFormat(QString::fromLatin1(c.code), 2);
    EXPECT_EQ(f.display(), kDisplayDate) << c.code;
    EXPECT_EQ(f.formatDate(20240105), QString::fromLatin1(c.shown)) << c.code;
  }
  // Time-only codes leave a date cell with the default date options.
  const CANumberFormat time = CANumberFormat::withExcelFormat(QStringLiteral("h:mm"), 2);
  EXPECT_EQ(time, WithDisplay(kDisplayDate));
}

}  // namespace
