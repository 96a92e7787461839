// Number formats: money, percent, fraction and date text, the "num_fmt" element, and the
// conversion of Excel's built-in number formats.
#include <gtest/gtest.h>

#include <QLocale>

#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "support/LogCapture.h"

namespace {

CANumberFormat WithDisplay(int32_t display) {
  CANumberFormat format;
  format.setDisplay(display);
  return format;
}

TEST(NumberFormat, NewFormatFollowsTheLocale) {
  CANumberFormat us;
  EXPECT_EQ(us.display(), kDisplayAuto);
  EXPECT_EQ(us.size(), -1);
  EXPECT_EQ(us.dateOrder(), kDateOrderMDY);
  us.setDisplay(kDisplayDate);
  EXPECT_EQ(us.formatDate(20240105), QStringLiteral("1/5/2024"));
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedKingdom));
  CANumberFormat uk;
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(uk.dateOrder(), kDateOrderDMY);
}

TEST(NumberFormat, SizeResetsOnlyBetweenDecimalAndWordSizeDisplays) {
  CANumberFormat format = WithDisplay(kDisplayFloat);
  EXPECT_EQ(format.size(), -1);
  format.setDisplay(kDisplayHex);
  EXPECT_EQ(format.size(), 0);
  format.setSize(16);
  format.setDisplay(kDisplayInteger);
  EXPECT_EQ(format.size(), 16);
  format.setDisplay(kDisplayFraction);
  EXPECT_EQ(format.size(), 16);
  format.setDisplay(kDisplayMoney);
  EXPECT_EQ(format.size(), -1);
  format.setSize(3);
  format.setDisplay(kDisplayDate);
  EXPECT_EQ(format.size(), 3);
}

TEST(NumberFormat, MoneyPutsTheSymbolBeforeTheSign) {
  CANumberFormat money = WithDisplay(kDisplayMoney);
  EXPECT_EQ(money.formatMoney(-5), QStringLiteral("$-5"));
  money.setNegativeParens(true);
  EXPECT_EQ(money.formatMoney(-5), QStringLiteral("($5)"));
  money.setForceHundredths(true);
  money.setGroupThousands(true);
  EXPECT_EQ(money.formatMoney(-1234.5L), QStringLiteral("($1,234.50)"));
  money.setCurrencySymbol(QStringLiteral("\u20AC"));
  EXPECT_EQ(money.formatMoney(2), QStringLiteral("\u20AC2.00"));
  money.setZeroBlank(true);
  EXPECT_EQ(money.formatMoney(0), QString());
}

TEST(NumberFormat, PercentScalesAndKeepsBlankZeroBlank) {
  CANumberFormat percent = WithDisplay(kDisplayPercent);
  EXPECT_EQ(percent.formatPercent(0.25L), QStringLiteral("25%"));
  percent.setSize(2);
  EXPECT_EQ(percent.formatPercent(0.125L), QStringLiteral("12.50%"));
  percent.setNegativeParens(true);
  EXPECT_EQ(percent.formatPercent(-0.5L), QStringLiteral("(50.00%)"));
  percent.setZeroBlank(true);
  EXPECT_EQ(percent.formatPercent(0), QString());
}

TEST(NumberFormat, FractionsAsDecimalsAreCutNotRounded) {
  CANumberFormat format = WithDisplay(kDisplayFloat);
  format.setSize(2);
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral("0.12"));
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
  EXPECT_EQ(format.formatFractionAsFloat(1, 8), QStringLiteral("0.12"));
  EXPECT_EQ(format.formatFractionAsFloat(1, 3), std::nullopt);
  EXPECT_EQ(format.formatFractionAsFloat(1, 20000), std::nullopt);
  EXPECT_EQ(format.formatFractionAsFloat(1, 0), std::nullopt);
  format.setForceHundredths(false);
  format.setGroupThousands(true);
  EXPECT_EQ(format.formatFractionAsFloat(12345679, 8), QStringLiteral("1,543,209.875"));
}

TEST(NumberFormat, MixedFractions) {
  CANumberFormat format = WithDisplay(kDisplayFraction);
  EXPECT_EQ(format.formatWhole(1, 3, 4), QStringLiteral("1 3/4"));
  EXPECT_EQ(format.formatWhole(0, -3, 4), QStringLiteral("-3/4"));
  EXPECT_EQ(format.formatWhole(-2, -1, 2), QStringLiteral("-2 1/2"));
  EXPECT_EQ(format.formatWhole(7, 0, 4), QStringLiteral("7"));
  format.setNegativeParens(true);
  format.setGroupThousands(true);
  EXPECT_EQ(format.formatWhole(-1234, -1, 2), QStringLiteral("(1,234) 1/2"));
  EXPECT_EQ(format.formatWhole(0, -1, 2), QStringLiteral("-1/2"));
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
      {kDateOrderDMY, kYearFull, kMonthNumber, kWeekdayNone, true, false, false, true, 20240105,
       "05-01-2024"},
      {kDateOrderYMD, kYearTwoDigits, kMonthNumber, kWeekdayNone, true, false, false, false,
       20240105, "24/01/05"},
      {kDateOrderDMY, kYearFull, kMonthShortName, kWeekdayNone, false, false, false, false,
       20240105, "5 Jan 2024"},
      {kDateOrderMDY, kYearFull, kMonthShortName, kWeekdayNone, false, true, false, false, 20240105,
       "Jan 2024"},
      {kDateOrderMDY, kYearFull, kMonthLongName, kWeekdayLong, false, false, false, false, 20240105,
       "Friday January 5, 2024"},
      {kDateOrderMDY, kYearNone, kMonthShortName, kWeekdayShort, false, false, false, false,
       20240105, "Fri Jan 5"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, true, false, true, false, 20240105,
       "01052024"},
      {kDateOrderMDY, kYearFull, kMonthLongName, kWeekdayNone, false, false, true, false, 20240105,
       "January 5 2024"},
      // Only a month asked for: the month of any value with a valid month part.
      {kDateOrderMDY, kYearNone, kMonthLongName, kWeekdayNone, false, true, false, false, 312,
       "March"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, false, false, false, false, 20240230,
       "<Date>"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, false, false, false, false, 20241305,
       "<Date>"},
      {kDateOrderMDY, kYearFull, kMonthNumber, kWeekdayNone, false, false, false, false, 30010101,
       "<Date>"},
      {kDateOrderMDY, kYearNone, kMonthNone, kWeekdayNone, false, true, false, false, 20240105,
       "<Date>"},
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

TEST(NumberFormatXml, WritesTheElementsOfEachDisplay) {
  CANumberFormat format = WithDisplay(kDisplayFloat);
  format.setSize(2);
  format.setGroupThousands(true);
  format.setOnlySignificantDigits(true);
  QString xml;
  RoundTrip(format, &xml);
  EXPECT_TRUE(
      xml.contains(QStringLiteral("\t<num_fmt type=\"float\">\n"
                                  "\t\t<size>2</size>\n"
                                  "\t\t<thous>1</thous>\n"
                                  "\t\t<sigdigits>1</sigdigits>\n"
                                  "\t</num_fmt>\n")))
      << xml.toStdString();
  CANumberFormat date = WithDisplay(kDisplayDate);
  date.setDateOrder(kDateOrderYMD);
  date.setShortDashes(true);
  RoundTrip(date, &xml);
  EXPECT_TRUE(
      xml.contains(QStringLiteral("\t<num_fmt type=\"date\">\n"
                                  "\t\t<order>ymd</order>\n"
                                  "\t\t<year>l</year>\n"
                                  "\t\t<month>s</month>\n"
                                  "\t\t<weekday>-</weekday>\n"
                                  "\t\t<short_>1</short_>\n"
                                  "\t</num_fmt>\n")))
      << xml.toStdString();
  RoundTrip(CANumberFormat(), &xml);
  EXPECT_TRUE(xml.contains(QStringLiteral("\t<num_fmt type=\"auto\"></num_fmt>\n")))
      << xml.toStdString();
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

CANumberFormat Read(const QString& element) {
  auto decoder = FLXmlDecoder::withString(QStringLiteral("<?xml version=\"1.0\"?>\n") + element +
                                          QStringLiteral("\n<end/>\n"));
  if (!decoder) {
    ADD_FAILURE() << "not accepted";
    return CANumberFormat();
  }
  decoder->setAllowNumericTags(true);  // as the package reader does
  EXPECT_TRUE(decoder->getNextTag());
  return CANumberFormat::withXml(*decoder);
}

TEST(NumberFormatXml, ReadsFlagsByTheirLowByteAndOlderNames) {
  const CANumberFormat format =
      Read(QStringLiteral("<num_fmt type=\"MONEY\"><100s>1</100s><neg>256</neg><zero>257</zero>"
                          "<sym>CHF</sym></num_fmt>"));
  EXPECT_EQ(format.display(), kDisplayMoney);
  EXPECT_TRUE(format.forceHundredths());
  EXPECT_FALSE(format.negativeParens());
  EXPECT_TRUE(format.zeroBlank());
  EXPECT_EQ(format.currencySymbol(), QStringLiteral("CHF"));
  EXPECT_EQ(Read(QStringLiteral("<num_fmt type=\"hex\"/>")).size(), 0);
  EXPECT_EQ(Read(QStringLiteral("<num_fmt type=\"float\"/>")).size(), -1);
}

TEST(NumberFormatXml, UnknownTagsAreReportedAndSkipped) {
  LogCapture log;
  const CANumberFormat format =
      Read(QStringLiteral("<num_fmt type=\"float\"><color>3</color><odd><deep>1</deep></odd>"
                          "<size>4</size></num_fmt>"));
  EXPECT_TRUE(log.contains(QStringLiteral("Unknown number format tag")));
  EXPECT_EQ(format.size(), 4);
}

// ---------------------------------------------------------------------------------------------

struct ExcelCase {
  int index;
  const char* code;
  int32_t display;
  int64_t size;
  bool group;
  bool parens;
  bool hundredths;
  bool zeroBlank;
  const char* symbol;
};

TEST(NumberFormatExcel, BuiltInNumberFormats) {
  const ExcelCase cases[] = {
      {0, "General", kDisplayAuto, -1, false, false, false, false, ""},
      {1, "0", kDisplayInteger, 0, false, false, false, false, ""},
      {2, "0.00", kDisplayFloat, 2, false, false, false, false, ""},
      {3, "#,##0", kDisplayInteger, 0, true, false, false, false, ""},
      {4, "#,##0.00", kDisplayFloat, 2, true, false, false, false, ""},
      {5, "$#,##0_);($#,##0)", kDisplayMoney, -1, true, true, false, false, "$"},
      {6, "$#,##0_);[Red]($#,##0)", kDisplayMoney, -1, true, true, false, false, "$"},
      {7, "$#,##0.00_);($#,##0.00)", kDisplayMoney, -1, true, true, true, false, "$"},
      {8, "$#,##0.00_);[Red]($#,##0.00)", kDisplayMoney, -1, true, true, true, false, "$"},
      {9, "0%", kDisplayPercent, -1, false, false, false, false, ""},
      {10, "0.00%", kDisplayPercent, 2, false, false, false, false, ""},
      {11, "0.00E+00", kDisplayScientific, 2, false, false, false, false, ""},
      {12, "# ?/?", kDisplayFraction, 0, false, false, false, false, ""},
      {13, "# ?\?/?\?", kDisplayFraction, 0, false, false, false, false, ""},
      {18, "h:mm AM/PM", kDisplayAuto, -1, false, false, false, false, ""},
      {37, "_(#,##0_);(#,##0)", kDisplayInteger, 0, true, true, false, false, ""},
      {38, "_(#,##0_);[Red](#,##0)", kDisplayInteger, 0, true, true, false, false, ""},
      {39, "_(#,##0.00_);(#,##0.00)", kDisplayFloat, 2, true, true, false, false, ""},
      {40, "_(#,##0.00_);[Red](#,##0.00)", kDisplayFloat, 2, true, true, false, false, ""},
      {41, "_($* #,##0_);_($* (#,##0);_($* -_);_(@_)", kDisplayMoney, -1, true, true, false, false,
       "$"},
      {42, "_(* #,##0_);_(* (#,##0);_(* -_);_(@_)", kDisplayInteger, 0, true, true, false, false,
       ""},
      {43, "_($* #,##0.00_);_($* (#,##0.00);_($* -??_);_(@_)", kDisplayMoney, -1, true, true, true,
       false, "$"},
      {44, "_(* #,##0.00_);_(* (#,##0.00);_(* -??_);_(@_)", kDisplayFloat, 2, true, true, false,
       false, ""},
      {45, "mm:ss", kDisplayAuto, -1, false, false, false, false, ""},
      {48, "##0.0E+00", kDisplayScientific, 1, false, false, false, false, ""},
      {49, "@", kDisplayAuto, -1, false, false, false, false, ""},
  };
  for (const ExcelCase& c : cases) {
    const CANumberFormat f = CANumberFormat::withExcelFormat(QString::fromUtf8(c.code), 0);
    EXPECT_EQ(f.display(), c.display) << c.index;
    EXPECT_EQ(f.size(), c.size) << c.index;
    EXPECT_EQ(f.groupThousands(), c.group) << c.index;
    EXPECT_EQ(f.negativeParens(), c.parens) << c.index;
    EXPECT_EQ(f.forceHundredths(), c.hundredths) << c.index;
    EXPECT_EQ(f.zeroBlank(), c.zeroBlank) << c.index;
    EXPECT_EQ(f.currencySymbol(), QString::fromUtf8(c.symbol)) << c.index;
  }
}

TEST(NumberFormatExcel, ShowsValuesAsExcelWould) {
  const auto show = [](const char* code, long double x) {
    return CANumberFormat::withExcelFormat(QString::fromLatin1(code), 0).formatFloat(x);
  };
  EXPECT_EQ(show("#,##0.00", 1234.567L), QStringLiteral("1,234.57"));
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("$#,##0.00_);($#,##0.00)"), 0)
                .formatMoney(-1234.5L),
            QStringLiteral("($1,234.50)"));
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0%"), 0).formatPercent(0.5L),
            QStringLiteral("50%"));
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0.00%"), 0).formatPercent(0.5L),
            QStringLiteral("50.00%"));
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0;(0);"), 0).zeroBlank(), true);
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0;"), 0).zeroBlank(), false);
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0.0#"), 0).onlySignificantDigits(),
            true);
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("0.0#"), 0).size(), 1);
  EXPECT_EQ(CANumberFormat::withExcelFormat(QStringLiteral("[$\u20AC-407] #,##0.00"), 0).display(),
            kDisplayFloat);
  EXPECT_EQ(
      CANumberFormat::withExcelFormat(QStringLiteral("#,##0.00 \"\u20AC\""), 0).currencySymbol(),
      QStringLiteral("\u20AC"));
}

struct ExcelDateCase {
  const char* code;
  int32_t order;
  int32_t year;
  int32_t month;
  int32_t weekday;
  bool pad;
  bool omitDay;
  bool omitSeparators;
  bool dashes;
  const char* shown;  // 5 January 2024
};

TEST(NumberFormatExcel, DateCodes) {
  const ExcelDateCase cases[] = {
      {"m/d/yy", kDateOrderMDY, kYearTwoDigits, kMonthNumber, 0, false, false, false, false,
       "1/5/24"},
      {"d-mmm-yy", kDateOrderDMY, kYearTwoDigits, kMonthShortName, 0, false, false, false, true,
       "5 Jan 24"},
      {"d-mmm", kDateOrderDMY, kYearNone, kMonthShortName, 0, false, false, false, true, "5 Jan"},
      {"mmm-yy", kDateOrderMDY, kYearTwoDigits, kMonthShortName, 0, false, true, false, true,
       "Jan 24"},
      {"m/d/yy h:mm", kDateOrderMDY, kYearTwoDigits, kMonthNumber, 0, false, false, false, false,
       "1/5/24"},
      {"mmm d, yyyy", kDateOrderMDY, kYearFull, kMonthShortName, 0, false, false, false, false,
       "Jan 5, 2024"},
      {"dd/mm/yyyy", kDateOrderDMY, kYearFull, kMonthNumber, 0, true, false, false, false,
       "05/01/2024"},
      {"yyyy-mm-dd", kDateOrderYMD, kYearFull, kMonthNumber, 0, true, false, false, true,
       "2024-01-05"},
      {"dddd, mmmm d, yyyy", kDateOrderMDY, kYearFull, kMonthLongName, kWeekdayLong, false, false,
       false, false, "Friday January 5, 2024"},
      {"ddd yyyy mm dd", kDateOrderYMD, kYearFull, kMonthNumber, kWeekdayShort, true, false, true,
       false, "Fri 20240105"},
  };
  for (const ExcelDateCase& c : cases) {
    const CANumberFormat f = CANumberFormat::withExcelFormat(QString::fromLatin1(c.code), 2);
    EXPECT_EQ(f.display(), kDisplayDate) << c.code;
    EXPECT_EQ(f.dateOrder(), c.order) << c.code;
    EXPECT_EQ(f.yearOption(), c.year) << c.code;
    EXPECT_EQ(f.monthOption(), c.month) << c.code;
    EXPECT_EQ(f.weekdayOption(), c.weekday) << c.code;
    EXPECT_EQ(f.padDayMonth(), c.pad) << c.code;
    EXPECT_EQ(f.omitDay(), c.omitDay) << c.code;
    EXPECT_EQ(f.omitSeparators(), c.omitSeparators) << c.code;
    EXPECT_EQ(f.shortDashes(), c.dashes) << c.code;
    EXPECT_EQ(f.formatDate(20240105), QString::fromLatin1(c.shown)) << c.code;
  }
  // Time-only codes leave a date cell with the default date options.
  const CANumberFormat time = CANumberFormat::withExcelFormat(QStringLiteral("h:mm"), 2);
  EXPECT_EQ(time, WithDisplay(kDisplayDate));
}

}  // namespace
