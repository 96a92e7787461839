// A page's numbers and dates in the syntax it declares, or as the user types them where it
// declares none; the sheet's own pages, written in any locale, read back alike in every other.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
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
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// The locales a page is written and read in: a point and a comma, a comma and a point, an
// apostrophe, a blank, a narrow no-break space, Arabic separators; day-, month- and year-first
// dates.
constexpr const char* kLocales[] = {"C",     "en_US", "en_GB", "de_DE", "de_CH", "fr_FR",
                                    "sv_SE", "pt_BR", "en_IN", "hi_IN", "ar_EG", "fa_IR"};

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
  const std::optional<CANumber> want = CANumber::withValidatedString(QString::fromLatin1(held.number), false, u'.', QChar());
  ASSERT_TRUE(want);
  EXPECT_EQ(cell->valueType(), kValueNumber) << cell->displayText(true).toStdString();
  ASSERT_TRUE(cell->number()) << cell->formula().toStdString();
  EXPECT_TRUE(*cell->number() == *want) << cell->number()->archive().toStdString() << " for " << held.number;
}

// A page that declares no language (as the clipboard's HTML from a browser) is read as its user
// types its cells: a German table is German to a German user, and its dates are the user's.
TEST_F(HtmlPageSyntaxTest, APageWithoutALanguageIsReadAsItsUserTypes) {
  const QByteArray german = Fixture("german-no-language.html");
  ASSERT_FALSE(german.isEmpty());
  // Row by row, the cells after each row's label.
  const struct {
    const char* locale;
    Held cells[6];
  } readings[] = {
      {"de_DE", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), Date(20260304)}},
      {"de_CH", {kText, Number("1.234"), kText, Number("2.5"), kText, Date(20260304)}},
      {"pt_BR", {Number("1234.56"), Number("1234"), Number("3.5"), Number("2500"), Number("-1234.5"), kText}},
      {"fr_FR", {kText, kText, Number("3.5"), kText, kText, kText}},
      {"en_US", {kText, Number("1.234"), kText, Number("2.5"), kText, kText}},
      {"C", {kText, Number("1.234"), kText, Number("2.5"), kText, kText}},
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
// the page is in): read as typed, the same texts give each user his own numbers.
TEST_F(HtmlPageSyntaxTest, UndeclaredPagesOfTheEarlierTableReadAsTyped) {
  const struct {
    const char* head;
    const char* shown[4];
    Held c[4], german[4], french[4];
  } pages[] = {
      {"<html><body>",
       {"1,234.5", "1,5", "2.5", "-1,000,000"},
       {Number("1234.5"), kText, Number("2.5"), Number("-1000000")},
       {kText, Number("1.5"), kText, kText},
       {kText, Number("1.5"), kText, kText}},
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
TEST_F(HtmlPageSyntaxTest, AnElementsLanguageReadsTheNumbersAndDatesItHolds) {
  const struct {
    const char* fixture;
    std::vector<std::pair<GridPoint, Held>> cells;  // alike in every locale
    std::vector<std::pair<GridPoint, Held>> c, german;  // as the user types them, in C and in German
  } pages[] = {
      {"element-languages.html",
       {{{1, 1}, Number("1234.56")},
        {{2, 1}, Date(20260304)},
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
        const bool german = std::string(locale) == "de_DE";
        if (german || std::string(locale) == "C")
          for (const auto& [at, held] : german ? page.german : page.c) ExpectHeld(sheet, at, held);
      });
    }
  }
}

// A long table's rows after its first are read apart from the rich text: a language one of them
// declares reads its cells as the rich text reads them.
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
      for (const int64_t y : {0, 69, 70, 71, 80, 99}) {
        ExpectHeld(sheet, {0, y}, Number("1234.5"));
        ExpectHeld(sheet, {1, y}, Date(20260304));
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
// the same numbers and dates: grouped, in fixed places, as money and percentages, and its dates in
// the order it writes them; the page declares a language that writes them as it does.
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
  };
  const int32_t dates[] = {20260304, 20261225, 20260112};
  const int64_t columns = int64_t(std::size(numbers) + std::size(dates));
  for (const char* writer : kLocales) {
    QString page;
    {
      const TestLocale scope(writer);
      CADocument sheet;
      for (size_t k = 0; k < std::size(numbers); ++k) {
        CACell* cell = sheet.cellAtGridPointImperative({int64_t(k), 0});
        ASSERT_TRUE(cell);
        SetShownNumber(*cell, numbers[k].number, numbers[k].display, numbers[k].grouped, numbers[k].size);
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
    for (const char* reader : kLocales) {
      read(page.toUtf8(), reader, [&](const CADocument& sheet) {
        for (size_t k = 0; k < std::size(numbers); ++k) ExpectHeld(sheet, {int64_t(k), 0}, Number(numbers[k].number));
        for (size_t k = 0; k < std::size(dates); ++k)
          ExpectHeld(sheet, {int64_t(std::size(numbers) + k), 0}, Date(dates[k]));
      });
    }
  }
}

// Dates in every form the sheet shows them (each order; months as numbers, short and long names;
// years of four and two digits; weekdays; padded; with dashes; without separators, year first),
// written under each locale, read back alike under each other: a date the page's language would
// not read as shown declares one that does.
TEST_F(HtmlPageSyntaxTest, DatesInEveryFormReadBackAlikeInEveryLocale) {
  struct Form {
    int32_t order, month, year, weekday;
    bool pad, dashes, noSeparators;
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
  };
  // Days and months that read alike either way round, and those that do not.
  const int32_t days[] = {20260304, 20261225, 20260112, 20091009};
  for (const char* writer : kLocales) {
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
    for (const char* reader : kLocales) {
      read(page.toUtf8(), reader, [&](const CADocument& sheet) {
        for (size_t f = 0; f < std::size(forms); ++f) {
          SCOPED_TRACE("form " + std::to_string(f));
          for (size_t d = 0; d < std::size(days); ++d) ExpectHeld(sheet, {int64_t(d), int64_t(f)}, Date(days[d]));
        }
      });
    }
  }
}

}  // namespace
