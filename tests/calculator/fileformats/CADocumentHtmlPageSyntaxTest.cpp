// A page's numbers and dates in the syntax it declares, or as the user types them where it
// declares none; the sheet's own pages, written in any locale, read back alike in every other.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QRegularExpression>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The locales a page is written and read in: a point and a comma, a comma and a point, an
// apostrophe, a blank, a narrow no-break space, Arabic separators; day-, month- and year-first
// dates.
constexpr const char* kLocales[] = {"C",     "en_US", "en_GB", "de_DE", "de_CH", "fr_FR",
                                    "sv_SE", "pt_BR", "en_IN", "hi_IN", "ar_EG", "fa_IR"};

// The locales the sheet's own pages are also written and read in: year-first dates (Japanese,
// Chinese, Korean, South African, Canadian French), a no-break space (Russian), an apostrophe
// (Swiss Italian), Afghan Arabic separators.
constexpr const char* kMoreLocales[] = {"ja_JP", "zh_CN", "ko_KR", "en_ZA", "fr_CA", "ps_AF", "ru_RU", "it_CH"};

std::vector<const char*> RoundTripLocales() {
  std::vector<const char*> locales(std::begin(kLocales), std::end(kLocales));
  locales.insert(locales.end(), std::begin(kMoreLocales), std::end(kMoreLocales));
  return locales;
}

// Whether a page written under the round trip's writer is read under its reader: every pair of the
// first locales, and a third of the others, each locale's own among them, so that every locale
// writes for and reads from locales of every mark.
bool ReadsPair(size_t writer, size_t reader) {
  return (writer < std::size(kLocales) && reader < std::size(kLocales)) || writer == reader ||
         (writer + reader) % 3 == 0;
}

class HtmlPageSyntaxTest : public RichTextTest {
 protected:
  HtmlPageSyntaxTest() { InstallFileFormatServices(); }

  void read(const QByteArray& page, const char* locale, const std::function<void(const CADocument&)>& check) {
    readPageInLocale(page, locale, check);
  }
};

QByteArray Fixture(const char* name) {
  QFile file(TestDataPath(QStringLiteral("html/syntax/") + QLatin1String(name)));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

// What a cell holds: a number (C syntax), a date (a day index), or, where neither, a text.
struct Held {
  const char* number = nullptr;
  int32_t date = 0;
};
constexpr Held kText{};
Held Number(const char* number) { return Held{number, 0}; }
Held Date(int32_t day) { return Held{nullptr, day}; }

// A number in the C syntax, or a fraction as "numerator/denominator".
std::optional<CANumber> ValueOf(const char* number) {
  const QString text = QString::fromLatin1(number);
  const qsizetype slash = text.indexOf(u'/');
  if (slash < 0) return CANumber::withValidatedString(text, false, u'.', QChar());
  return CANumber::withNumerator(text.first(slash).toLongLong(), text.sliced(slash + 1).toULongLong());
}

void ExpectHeld(const CADocument& sheet, const GridPoint& at, const Held& held) {
  SCOPED_TRACE("at " + std::to_string(at.x) + "," + std::to_string(at.y));
  const CACell* cell = sheet.cellAtGridPoint(at);
  ASSERT_TRUE(cell);
  if (held.date != 0) {
    EXPECT_EQ(cell->valueType(), kValueDate) << cell->displayText(true).toStdString();
    ASSERT_TRUE(cell->number());
    EXPECT_EQ(cell->number()->integerValue(), held.date);
    return;
  }
  if (!held.number) {
    EXPECT_EQ(cell->valueType(), kValueText) << cell->displayText(true).toStdString();
    EXPECT_FALSE(cell->number());
    return;
  }
  const std::optional<CANumber> want = ValueOf(held.number);
  ASSERT_TRUE(want);
  EXPECT_EQ(cell->valueType(), kValueNumber) << cell->displayText(true).toStdString();
  ASSERT_TRUE(cell->number()) << cell->formula().toStdString();
  EXPECT_TRUE(*cell->number() == *want) << cell->number()->archive().toStdString() << " for " << held.number;
}

// A page that declares no language (as the clipboard's HTML from a browser) is read in the syntax
// its own cells show ("1.234,56" shows German to every user), and where they show none, as its user
// types them; its dates, which show no order, are the user's.
TEST_F(HtmlPageSyntaxTest, APageWithoutALanguageIsReadAsItsUserTypes) {
  const QByteArray german = Fixture("german-no-language.html");
  ASSERT_FALSE(german.isEmpty());
  // Row by row, the cells after each row's label.
  const struct {
    const char* locale;
    Held cells[6];
  } readings[] = {
      {"de_DE", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), Date(20260304)}},
      {"de_CH", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), Date(20260304)}},
      {"pt_BR", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), kText}},
      {"fr_FR", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), kText}},
      {"en_US", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), kText}},
      {"C", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), kText}},
  };
  for (const auto& reading : readings) {
    read(german, reading.locale, [&reading](const CADocument& sheet) {
      for (int64_t k = 0; k < 6; ++k) ExpectHeld(sheet, {1 + k % 2, k / 2}, reading.cells[k]);
    });
  }
  const QByteArray dates = Fixture("dates-no-language.html");
  ASSERT_FALSE(dates.isEmpty());
  const struct {
    const char* locale;
    Held cells[3];
  } dated[] = {
      {"en_US", {Date(20250403), Date(20251201), Date(20251201)}},
      {"de_DE", {Date(20250304), Date(20250112), Date(20251201)}},
      {"en_GB", {Date(20250304), Date(20250112), Date(20251201)}},
      // Swedish short dates lead with the year; a date that ends with it is written day first.
      {"sv_SE", {Date(20250304), Date(20250112), Date(20251201)}},
  };
  for (const auto& reading : dated) {
    read(dates, reading.locale, [&reading](const CADocument& sheet) {
      for (int64_t k = 0; k < 3; ++k) ExpectHeld(sheet, {k, 0}, reading.cells[k]);
    });
  }
}

// The pages of the earlier table that declare no language (or a list of them, which names none
// the page is in): one whose amounts show English ("1,234.5", "-1,000,000") is English to every
// user; one that shows nothing is read as typed, the same texts giving each user his own numbers.
TEST_F(HtmlPageSyntaxTest, UndeclaredPagesOfTheEarlierTableReadAsTyped) {
  const struct {
    const char* head;
    const char* shown[4];
    Held c[4], german[4], french[4];
  } pages[] = {
      {"<html><body>",
       {"1,234.5", "1,5", "2.5", "-1,000,000"},
       {Number("1234.5"), kText, Number("2.5"), Number("-1000000")},
       {Number("1234.5"), kText, Number("2.5"), Number("-1000000")},
       {Number("1234.5"), kText, Number("2.5"), Number("-1000000")}},
      {"<html><head><meta http-equiv=\"Content-Language\" content=\"de, en\"></head><body>",
       {"1,5", "2.5", "2.500", "3,25"},
       {kText, Number("2.5"), Number("2.5"), kText},
       {Number("1.5"), kText, Number("2500"), Number("3.25")},
       {Number("1.5"), kText, kText, Number("3.25")}},
  };
  for (const auto& page : pages) {
    QByteArray html = QByteArray(page.head) + "<table><tr>";
    for (const char* shown : page.shown) html += "<td>" + QByteArray(shown) + "</td>";
    html += "</tr></table></body></html>\n";
    for (const auto& [locale, cells] : {std::pair{"C", page.c}, std::pair{"de_DE", page.german},
                                        std::pair{"fr_FR", page.french}}) {
      read(html, locale, [cells = cells](const CADocument& sheet) {
        for (int64_t k = 0; k < 4; ++k) ExpectHeld(sheet, {k, 0}, cells[k]);
      });
    }
  }
}

// A page that declares its language is read in it, dates as numbers, in every locale; where its
// amounts show it writes another syntax ("$1,299.00" on a page in German, Gnumeric's German
// amounts on a page it declares English), in that one.
TEST_F(HtmlPageSyntaxTest, ADeclaredPageReadsItsDatesAndNumbersAlikeInEveryLocale) {
  const struct {
    const char* fixture;
    GridPoint first;  // the first cell of the rows below the headings
    std::vector<Held> cells;  // row by row, three a row
  } pages[] = {
      {"us-dates.html",
       {0, 1},
       {Date(20250403), Date(20251201), Number("1234.5"), Date(20260304), Date(20261225), Number("2500")}},
      {"german-dates.html",
       {0, 1},
       {Date(20261225), Date(20260304), Number("1234.5"), Date(20260304), kText, Number("2500")}},
      {"us-prices-lang-de.html",
       {0, 1},
       {kText, Number("12000"), Number("1000"), kText, Number("1299"), Number("250")}},
      {"gnumeric-german-lang-en.html",
       {0, 1},
       {kText, Number("-176.17"), Number("2500"), kText, Number("1250"), Number("12.5")}},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page.fixture);
    const QByteArray html = Fixture(page.fixture);
    ASSERT_FALSE(html.isEmpty());
    for (const char* locale : kLocales) {
      read(html, locale, [&page](const CADocument& sheet) {
        for (size_t k = 0; k < page.cells.size(); ++k)
          ExpectHeld(sheet, {page.first.x + int64_t(k % 3), page.first.y + int64_t(k / 3)}, page.cells[k]);
      });
    }
  }
}

// A table, a row, a cell or any element inside may declare a language of its own: its numbers
// and dates are read in the nearest one up its ancestry, the page's own where none declares one,
// as the user types where the nearest declares none (lang=""); xml:lang where lang is not there.
// A date of the page's own in English, which names no region, shows no order: as the user types.
TEST_F(HtmlPageSyntaxTest, AnElementsLanguageReadsTheNumbersAndDatesItHolds) {
  const struct {
    const char* fixture;
    std::vector<std::pair<GridPoint, Held>> cells;  // alike in every locale
    std::vector<std::pair<GridPoint, Held>> c, german;  // as the user types them, in C and in German
  } pages[] = {
      {"element-languages.html",
       {{{1, 1}, Number("1234.56")},
        {{1, 2}, Number("1234.56")},
        {{2, 2}, Date(20260304)},
        {{1, 3}, Number("1234.56")},
        {{2, 3}, Date(20260304)},
        {{1, 5}, Number("1234.56")},
        {{2, 5}, Date(20260304)},
        {{1, 6}, Number("2500")},
        {{2, 6}, Number("2500")}},
       {{{1, 4}, kText}, {{2, 4}, Date(20260403)}},
       {{{1, 4}, Number("1.5")}, {{2, 4}, Date(20260403)}}},
      {"body-language.html",
       {{{1, 0}, Number("1234.56")}, {{2, 0}, Date(20260304)}, {{1, 1}, Number("2500")}, {{2, 1}, Date(20261225)}},
       {},
       {}},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page.fixture);
    const QByteArray html = Fixture(page.fixture);
    ASSERT_FALSE(html.isEmpty());
    for (const char* locale : kLocales) {
      read(html, locale, [&page, locale](const CADocument& sheet) {
        for (const auto& [at, held] : page.cells) ExpectHeld(sheet, at, held);
        if (std::string(page.fixture) == "element-languages.html")
          ExpectHeld(sheet, {2, 1}, Date(ParseIntoDayIndex(QStringLiteral("3/4/2026"))));
        const bool german = std::string(locale) == "de_DE";
        if (german || std::string(locale) == "C")
          for (const auto& [at, held] : german ? page.german : page.c) ExpectHeld(sheet, at, held);
      });
    }
  }
}

// A long table's rows after its first are read apart from the rich text: a language one of them
// declares reads its cells as the rich text reads them. The page's own dates show no order and
// its English names no region: they are read as the user types them.
TEST_F(HtmlPageSyntaxTest, ALongTablesRowsReadTheLanguagesTheyDeclare) {
  QByteArray html = "<html lang=\"en\"><body><table>\n";
  for (int row = 0; row < 100; ++row) {
    if (row == 70) html += "<tr lang=\"de\"><td>1.234,5</td><td>4.3.2026</td></tr>\n";
    else if (row == 80) html += "<tr><td lang=\"fr\">1 234,5</td><td lang=\"fr\">4 mars 2026</td></tr>\n";
    else html += "<tr><td>1,234.5</td><td>3/4/2026</td></tr>\n";
  }
  html += "</table></body></html>\n";
  for (const char* locale : {"C", "de_DE", "fr_FR"}) {
    read(html, locale, [](const CADocument& sheet) {
      const int32_t typed = ParseIntoDayIndex(QStringLiteral("3/4/2026"));
      ASSERT_NE(typed, 0);
      for (const int64_t y : {0, 69, 70, 71, 80, 99}) {
        ExpectHeld(sheet, {0, y}, Number("1234.5"));
        ExpectHeld(sheet, {1, y}, Date(y == 70 || y == 80 ? 20260304 : typed));
      }
    });
  }
}

// Dates a page's language writes: with the names of its months and weekdays, its year first, or
// with dashes in its order; what only looks like one (a version, an address, a code, a score, a
// month alone, a month its language does not name) stays a text.
TEST_F(HtmlPageSyntaxTest, DatesInTheWordsOfTheirLanguageAreDates) {
  const QByteArray html = Fixture("dates-in-words.html");
  ASSERT_FALSE(html.isEmpty());
  for (const char* locale : kLocales) {
    read(html, locale, [](const CADocument& sheet) {
      for (int64_t y = 0; y < 5; ++y)
        for (int64_t x = 0; x < 4; ++x) ExpectHeld(sheet, {x, y}, Date(20260304));
      for (int64_t y = 5; y < 8; ++y)
        for (int64_t x = 0; x < 4; ++x) ExpectHeld(sheet, {x, y}, kText);
    });
  }
}

// LibreOffice writes a tiny value with twenty decimals and no more: where the cell shows more of
// the same number's digits, the number keeps them; where it shows fewer, the value stands.
TEST_F(HtmlPageSyntaxTest, ATinyStoredValueKeepsTheDigitsItsCellShows) {
  const QByteArray html = Fixture("libreoffice-small-values.html");
  ASSERT_FALSE(html.isEmpty());
  const char* const numbers[] = {"1.45519152283669E-11", "1.455191523E-11", "1.25E-7", "1234.5678"};
  for (const char* locale : {"C", "de_DE", "fr_FR"}) {
    read(html, locale, [&numbers](const CADocument& sheet) {
      for (int64_t y = 0; y < int64_t(std::size(numbers)); ++y) ExpectHeld(sheet, {1, y}, Number(numbers[y]));
    });
  }
}

// A page the sheet writes under each locale reads back under each other, opened and pasted, with
// the same numbers and dates: grouped, in fixed places (rounded too), as money, percentages,
// scientific and fractions, a number that looks like a date, and its dates in the order it writes
// them; the page declares a language that writes them as it does, and tells beside a text the value
// its language would read otherwise.
TEST_F(HtmlPageSyntaxTest, PagesWrittenInEveryLocaleReadBackAlikeInEveryOther) {
  const struct {
    int32_t display;
    bool grouped;
    int64_t size;
    const char* number;
  } numbers[] = {
      {kDisplayFloat, true, 2, "1234567.5"}, {kDisplayFloat, false, 3, "-0.125"}, {kDisplayPercent, false, 1, "0.125"},
      {kDisplayMoney, true, 2, "1234.5"},    {kDisplayMoney, true, 2, "-1234.5"}, {kDisplayFloat, true, 0, "-1000000"},
      {0, false, 0, "3.25"},
      {kDisplayFraction, false, 0, "2.5"},   {kDisplayFraction, false, 0, "-0.375"}, {kDisplayFraction, false, 0, "1/3"},
      {kDisplayScientific, false, 2, "150000000000000000000"}, {kDisplayScientific, false, 3, "0.000125"},
      {kDisplayFloat, true, 2, "1234.5678"}, {kDisplayPercent, false, 0, "0.12345"},
      {0, false, 0, "20240117"},             {kDisplayFloat, false, 0, "20240117"},
  };
  const int32_t dates[] = {20260304, 20261225, 20260112};
  const int64_t columns = int64_t(std::size(numbers) + std::size(dates));
  const std::vector<const char*> locales = RoundTripLocales();
  for (size_t w = 0; w < locales.size(); ++w) {
    const char* writer = locales[w];
    QString page;
    {
      const TestLocale scope(writer);
      CADocument sheet;
      for (size_t k = 0; k < std::size(numbers); ++k) {
        CACell* cell = sheet.cellAtGridPointImperative({int64_t(k), 0});
        ASSERT_TRUE(cell);
        SetShownNumber(*cell, "0", numbers[k].display, numbers[k].grouped, numbers[k].size);
        const std::optional<CANumber> value = ValueOf(numbers[k].number);
        ASSERT_TRUE(value);
        cell->setNumberValue(*value);
      }
      for (size_t k = 0; k < std::size(dates); ++k) {
        CACell* cell = sheet.cellAtGridPointImperative({int64_t(std::size(numbers) + k), 0});
        ASSERT_TRUE(cell);
        cell->setNumberValue(CANumber(dates[k]));
        cell->setValueType(kValueDate);
      }
      FLError error;
      ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 0}, {columns - 1, 0}}, QString(), &page, &error));
    }
    SCOPED_TRACE(std::string("written under ") + writer);
    const QRegularExpressionMatch declared = QRegularExpression(QStringLiteral("<html [^>]*lang=\"([^\"]+)\"")).match(page);
    ASSERT_TRUE(declared.hasMatch());
    SCOPED_TRACE("declaring " + declared.captured(1).toStdString());
    for (size_t r = 0; r < locales.size(); ++r) {
      if (!ReadsPair(w, r)) continue;
      read(page.toUtf8(), locales[r], [&](const CADocument& sheet) {
        for (size_t k = 0; k < std::size(numbers); ++k) ExpectHeld(sheet, {int64_t(k), 0}, Number(numbers[k].number));
        for (size_t k = 0; k < std::size(dates); ++k)
          ExpectHeld(sheet, {int64_t(std::size(numbers) + k), 0}, Date(dates[k]));
      });
    }
  }
}

// Dates in every form the sheet shows them (each order; months as numbers, short and long names;
// years of four and two digits or none; without the day or the month; weekdays; padded; with
// dashes; without separators), written under each locale, read back alike under each other: a
// date the page's language would not read as shown tells its value beside its text.
TEST_F(HtmlPageSyntaxTest, DatesInEveryFormReadBackAlikeInEveryLocale) {
  struct Form {
    int32_t order, month, year, weekday;
    bool pad, dashes, noSeparators, noDay = false;
  };
  const Form forms[] = {
      {kDateOrderDMY, kMonthNumber, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderMDY, kMonthNumber, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderYMD, kMonthNumber, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderYMD, kMonthNumber, kYearFull, kWeekdayNone, true, true, false},
      {kDateOrderDMY, kMonthNumber, kYearTwoDigits, kWeekdayNone, false, false, false},
      {kDateOrderMDY, kMonthNumber, kYearTwoDigits, kWeekdayNone, true, false, false},
      {kDateOrderYMD, kMonthNumber, kYearTwoDigits, kWeekdayNone, false, false, false},
      {kDateOrderYMD, kMonthNumber, kYearTwoDigits, kWeekdayNone, true, true, false},
      {kDateOrderDMY, kMonthNumber, kYearFull, kWeekdayNone, false, true, false},
      {kDateOrderMDY, kMonthNumber, kYearFull, kWeekdayNone, true, true, false},
      {kDateOrderYMD, kMonthNumber, kYearFull, kWeekdayNone, true, false, true},
      {kDateOrderDMY, kMonthLongName, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderMDY, kMonthShortName, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderYMD, kMonthLongName, kYearFull, kWeekdayNone, false, false, false},
      {kDateOrderDMY, kMonthLongName, kYearFull, kWeekdayLong, false, false, false},
      {kDateOrderMDY, kMonthShortName, kYearTwoDigits, kWeekdayShort, false, false, false},
      {kDateOrderYMD, kMonthShortName, kYearTwoDigits, kWeekdayNone, true, false, false},
      {kDateOrderMDY, kMonthNumber, kYearTwoDigits, kWeekdayNone, false, false, false},
      {kDateOrderMDY, kMonthNumber, kYearTwoDigits, kWeekdayNone, true, true, false},
      {kDateOrderDMY, kMonthNumber, kYearTwoDigits, kWeekdayNone, true, true, false},
      {kDateOrderDMY, kMonthNumber, kYearTwoDigits, kWeekdayNone, true, false, true},
      {kDateOrderMDY, kMonthLongName, kYearFull, kWeekdayNone, false, false, false, true},
      {kDateOrderDMY, kMonthNumber, kYearNone, kWeekdayNone, false, false, false},
      {kDateOrderMDY, kMonthShortName, kYearNone, kWeekdayShort, false, false, false},
      {kDateOrderDMY, kMonthNone, kYearFull, kWeekdayNone, false, false, false},
  };
  // Days and months that read alike either way round, and those that do not.
  const int32_t days[] = {20260304, 20261225, 20260112, 20091009, 20261105};
  const std::vector<const char*> locales = RoundTripLocales();
  for (size_t w = 0; w < locales.size(); ++w) {
    const char* writer = locales[w];
    QString page;
    {
      const TestLocale scope(writer);
      CADocument sheet;
      for (size_t f = 0; f < std::size(forms); ++f) {
        CANumberFormat shown;
        shown.setDisplay(kDisplayDate);
        shown.setDateOrder(forms[f].order);
        shown.setMonthOption(forms[f].month);
        shown.setYearOption(forms[f].year);
        shown.setWeekdayOption(forms[f].weekday);
        shown.setPadDayMonth(forms[f].pad);
        shown.setShortDashes(forms[f].dashes);
        shown.setOmitSeparators(forms[f].noSeparators);
        shown.setOmitDay(forms[f].noDay);
        CAFormat format;
        format.setNumberFormat(&shown);
        for (size_t d = 0; d < std::size(days); ++d) {
          CACell* cell = sheet.cellAtGridPointImperative({int64_t(d), int64_t(f)});
          ASSERT_TRUE(cell);
          cell->setNumberValue(CANumber(days[d]));
          cell->setValueType(kValueDate);
          cell->setFormat(format);
        }
      }
      FLError error;
      ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 0}, {int64_t(std::size(days)) - 1, int64_t(std::size(forms)) - 1}},
                                    QString(), &page, &error));
    }
    SCOPED_TRACE(std::string("written under ") + writer);
    for (size_t r = 0; r < locales.size(); ++r) {
      if (!ReadsPair(w, r)) continue;
      read(page.toUtf8(), locales[r], [&](const CADocument& sheet) {
        for (size_t f = 0; f < std::size(forms); ++f) {
          SCOPED_TRACE("form " + std::to_string(f));
          for (size_t d = 0; d < std::size(days); ++d) ExpectHeld(sheet, {int64_t(d), int64_t(f)}, Date(days[d]));
        }
      });
    }
  }
}

// A cell of a sheet, in the format given (none: as it comes): a number ("n/d" a fraction) or a day;
// a number's places in `order`.
struct Written {
  const char* number;
  int32_t day;
  int32_t display, order, year;
  bool pad, dashes;
};

void WriteCell(CADocument& sheet, const GridPoint& at, const Written& written) {
  CACell* cell = sheet.cellAtGridPointImperative(at);
  ASSERT_TRUE(cell);
  CANumberFormat shown;
  shown.setDisplay(written.display);
  if (written.day == 0 && written.order != 0) shown.setSize(written.order);
  if (written.day != 0) {
    shown.setDateOrder(written.order);
    shown.setYearOption(written.year);
    shown.setPadDayMonth(written.pad);
    shown.setShortDashes(written.dashes);
  }
  CAFormat format;
  if (written.display != 0) format.setNumberFormat(&shown);
  if (written.day != 0) {
    cell->setNumberValue(CANumber(written.day));
    cell->setValueType(kValueDate);
  } else {
    const std::optional<CANumber> value = ValueOf(written.number);
    ASSERT_TRUE(value);
    cell->setNumberValue(*value);
  }
  if (written.display != 0) cell->setFormat(format);
}

// The page tells a cell's value beside its text (its short form) only where the page's language
// would read the text as another value or none: a fraction, a number that reads as a date, a
// rounded number, a date in another order or a two-digit year first; never beside a text that
// reads back as it is.
TEST_F(HtmlPageSyntaxTest, AValueIsToldBesideOnlyTheTextsItsPageWouldReadOtherwise) {
  const struct {
    const char* locale;
    Written cell;
    const char* told;  // empty: none
  } cases[] = {
      {"en_US", {"1234.5", 0, kDisplayFloat, 0, 0, false, false}, ""},
      {"en_US", {"2.5", 0, kDisplayFraction, 0, 0, false, false}, "2.5"},
      {"en_US", {"1/3", 0, kDisplayFraction, 0, 0, false, false}, "1/3"},
      {"en_US", {"-25/7", 0, kDisplayFraction, 0, 0, false, false}, "-25/7"},
      {"en_US", {"-3/8", 0, kDisplayFraction, 0, 0, false, false}, "-0.375"},
      {"ar_EG", {"1234.5678", 0, kDisplayFloat, 2, 0, false, false}, "1234.5678"},
      {"ar_EG", {"1234.5", 0, kDisplayFloat, 2, 0, false, false}, ""},
      {"en_US", {"20240117", 0, 0, 0, 0, false, false}, "20240117"},
      {"en_US", {"1234.5678", 0, kDisplayFloat, 2, 0, false, false}, "1234.5678"},
      {"en_US", {nullptr, 20260304, kDisplayDate, kDateOrderMDY, kYearFull, false, false}, ""},
      {"en_US", {nullptr, 20260304, kDisplayDate, kDateOrderDMY, kYearFull, false, false}, "2026-03-04"},
      {"de_DE", {"0.125", 0, kDisplayFloat, 0, 0, false, false}, ""},
      {"ja_JP", {nullptr, 20260304, kDisplayDate, kDateOrderMDY, kYearTwoDigits, true, true}, "2026-03-04"},
      {"ja_JP", {nullptr, 20261105, kDisplayDate, kDateOrderMDY, kYearTwoDigits, false, false}, "2026-11-05"},
      {"ja_JP", {nullptr, 20260304, kDisplayDate, kDateOrderYMD, kYearFull, false, false}, ""},
  };
  const QRegularExpression told(QStringLiteral("<td abbr=\"([^\"]*)\""));
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.locale) + " " + (c.cell.number ? c.cell.number : std::to_string(c.cell.day)));
    const TestLocale scope(c.locale);
    CADocument sheet;
    WriteCell(sheet, {0, 1}, c.cell);
    QString page;
    FLError error;
    ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 1}, {0, 1}}, QString(), &page, &error));
    const QRegularExpressionMatch match = told.match(page);
    EXPECT_EQ(match.hasMatch() ? match.captured(1).toStdString() : std::string(), c.told);
    if (!match.hasMatch()) continue;
    // It reads back as the very value.
    int32_t day = 0;
    const std::optional<CANumber> back = PageValueOf(match.captured(1), &day);
    ASSERT_TRUE(back);
    if (c.cell.day != 0) EXPECT_EQ(day, c.cell.day);
    else EXPECT_EQ(back->archive(), ValueOf(c.cell.number)->archive());
  }
}

// A short form a page gives a cell whose text shows no such value (another page's abbreviation)
// changes nothing: the text is read as it is.
TEST_F(HtmlPageSyntaxTest, AShortFormTheTextDoesNotShowIsNoValue) {
  const QByteArray html =
      "<html lang=\"en-US\"><body><table><tr><td abbr=\"2\">Two</td><td abbr=\"2026-03-04\">5/6/2026</td>"
      "<td abbr=\"7\">2 1/2</td><td abbr=\"3\">3</td><td abbr=\"2.5\">2 1/2</td><td abbr=\"x\">12.5</td>"
      "<td abbr=\"1.25\">1.3</td></tr></table></body></html>\n";
  for (const char* locale : {"C", "de_DE", "ja_JP"}) {
    read(html, locale, [](const CADocument& sheet) {
      ExpectHeld(sheet, {0, 0}, kText);
      ExpectHeld(sheet, {1, 0}, Date(20260506));
      ExpectHeld(sheet, {2, 0}, kText);
      ExpectHeld(sheet, {3, 0}, Number("3"));
      ExpectHeld(sheet, {4, 0}, Number("2.5"));
      ExpectHeld(sheet, {5, 0}, Number("12.5"));
      ExpectHeld(sheet, {6, 0}, Number("1.25"));
    });
  }
}

// The rows of a long table the sheet writes, which its own reader takes apart from the rich text,
// take the values told beside their texts as its first row does.
TEST_F(HtmlPageSyntaxTest, ALongTablesRowsTakeTheValuesToldBesideTheirTexts) {
  const Written cells[] = {
      {"5/2", 0, kDisplayFraction, 0, 0, false, false},
      {"1/3", 0, kDisplayFraction, 0, 0, false, false},
      {"20240117", 0, 0, 0, 0, false, false},
      {nullptr, 20260304, kDisplayDate, kDateOrderMDY, kYearTwoDigits, true, true},
      {nullptr, 20261105, kDisplayDate, kDateOrderMDY, kYearTwoDigits, false, false},
      {"1234.5678", 0, kDisplayFloat, 2, 0, false, false},
  };
  constexpr int64_t kRows = 80;
  QString page;
  {
    const TestLocale scope("ja_JP");
    CADocument sheet;
    for (int64_t y = 0; y < kRows; ++y)
      for (size_t x = 0; x < std::size(cells); ++x) WriteCell(sheet, {int64_t(x), y}, cells[x]);
    FLError error;
    ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 0}, {int64_t(std::size(cells)) - 1, kRows - 1}}, QString(),
                                  &page, &error));
  }
  const Held held[] = {Number("2.5"), Number("1/3"), Number("20240117"), Date(20260304), Date(20261105),
                       Number("1234.5678")};
  for (const char* locale : {"C", "de_DE", "ja_JP"}) {
    const uint64_t before = PlainTablesRead();
    read(page.toUtf8(), locale, [&held](const CADocument& sheet) {
      for (const int64_t y : {int64_t(0), int64_t(1), kRows / 2, kRows - 1})
        for (size_t x = 0; x < std::size(held); ++x) ExpectHeld(sheet, {int64_t(x), y}, held[x]);
    });
    EXPECT_EQ(PlainTablesRead() - before, 2u) << locale;
  }
}

}  // namespace
