// A page's numbers are read in the syntax of the language it declares (a language no one knows:
// a decimal point and comma groups), never in the user's: every cell holds the same number, or the
// same text, whatever locale opens or pastes the page; and the sheet's own pages read back alike.
// The pages that declare none are read as the user types (CADocumentHtmlPageSyntaxTest).
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

class HtmlPageNumbersTest : public RichTextTest {
 protected:
  HtmlPageNumbersTest() { InstallFileFormatServices(); }

  // The page opened from a file, or pasted, under each of the three locales, given to `check`.
  void forEachReading(const QByteArray& page, const std::function<void(const CADocument&)>& check) {
    for (const char* locale : {"C", "de_DE", "fr_FR"}) readPageInLocale(page, locale, check);
  }
};

// The cell holds `number` (C syntax), or, where it is null, the text `shown` as a text.
void ExpectHolds(const CADocument& sheet, const GridPoint& at, const char* shown, const char* number) {
  SCOPED_TRACE(std::string(shown) + " at " + std::to_string(at.x) + "," + std::to_string(at.y));
  const CACell* cell = sheet.cellAtGridPoint(at);
  ASSERT_TRUE(cell);
  if (!number) {
    EXPECT_EQ(cell->valueType(), kValueText);
    EXPECT_FALSE(cell->number());
    EXPECT_EQ(cell->formula().toStdString(), shown);
    return;
  }
  const std::optional<CANumber> want = CANumber::withValidatedString(QString::fromLatin1(number), false, u'.', QChar());
  ASSERT_TRUE(want);
  ASSERT_TRUE(cell->number()) << cell->formula().toStdString();
  EXPECT_TRUE(*cell->number() == *want) << cell->number()->archive().toStdString() << " for " << number;
}

struct PageCell {
  const char* shown;   // as the page writes it (UTF-8, entities decoded)
  const char* number;  // the number it is, in the C syntax; null: the text it shows
};

const struct {
  const char* name;
  const char* head;  // what stands before the table: the html element and the head
  std::vector<PageCell> cells;
} kPages[] = {
    {"English",
     "<html lang=\"en-GB\"><body>",
     {{"\xC2\xA3" "1,204.17", "1204.17"}, {"-12.50", "-12.5"}, {"3.5", "3.5"}, {"1,234", "1234"}, {"1.234", "1.234"},
      {"1,5", nullptr}, {"\xE2\x88\x92" "2.5", "-2.5"}, {"12%", "0.12"}, {"(7.25)", "-7.25"}, {"Total", nullptr}}},
    {"German",
     "<html lang=\"de\"><body>",
     {{"1.234,5", "1234.5"}, {"1,5", "1.5"}, {"1.234", "1234"}, {"\xE2\x88\x92" "0,25", "-0.25"}, {"12,5%", "0.125"},
      {"1.234.567,89 \xE2\x82\xAC", nullptr}, {"12,99\xE2\x82\xAC", "12.99"}, {"3.5", nullptr}}},
    {"French",
     "<html lang=\"fr-FR\"><body>",
     {{"1\xC2\xA0" "234,56", "1234.56"}, {"1\xE2\x80\xAF" "234,5", "1234.5"}, {"1 234 567", "1234567"},
      {"1 234,50 \xE2\x82\xAC", "1234.5"}, {"12,5\xC2\xA0%", "0.125"}, {"0,5", "0.5"}, {"3.5", nullptr},
      {"12 34", nullptr}}},
    {"Swiss",
     "<html lang=\"de-CH\"><body>",
     {{"1'234.5", "1234.5"}, {"1\xE2\x80\x99" "234.5", "1234.5"}, {"0.75", "0.75"}, {"1,5", nullptr}}},
    {"Content-Language",
     "<html><head><meta http-equiv=\"Content-Language\" content=\"de\"></head><body>",
     {{"1,5", "1.5"}, {"2.500", "2500"}}},
    {"lang over Content-Language",
     "<html lang=\"en\"><head><meta http-equiv=\"content-language\" content=\"de\"></head><body>",
     {{"1,5", nullptr}, {"2.500", "2.5"}}},
    {"a language of other digits",
     "<html lang=\"ar\" dir=\"rtl\"><body>",
     {{"3.9810", "3.981"}, {"1,234", "1234"}}},
    {"an unknown language",
     "<html lang=\"x-elvish\"><body>",
     {{"1,5", nullptr}, {"1.5", "1.5"}}},
};

// Each cell of each page, in a table and in paragraphs, holds its number, or its text, in every
// locale, opened and pasted.
TEST_F(HtmlPageNumbersTest, CellsHoldThePagesNumbersInEveryLocale) {
  for (const auto& page : kPages) {
    SCOPED_TRACE(page.name);
    QByteArray html = QByteArray(page.head) + "<table><tr>";
    for (const PageCell& cell : page.cells) html += "<td>" + QByteArray(cell.shown) + "</td>";
    html += "</tr></table>";
    for (const PageCell& cell : page.cells) html += "<p>" + QByteArray(cell.shown) + "</p>";
    html += "</body></html>\n";
    forEachReading(html, [&page](const CADocument& sheet) {
      for (size_t k = 0; k < page.cells.size(); ++k) {
        ExpectHolds(sheet, {int64_t(k), 0}, page.cells[k].shown, page.cells[k].number);
        ExpectHolds(sheet, {0, int64_t(k) + 1}, page.cells[k].shown, page.cells[k].number);
      }
    });
  }
}

// A formula, a date written year first and words are entered as the user types them, whatever
// the page's syntax.
TEST_F(HtmlPageNumbersTest, FormulasAndDatesAreEnteredAsTyped) {
  const QByteArray html = "<html lang=\"de\"><body><table><tr><td>=1+1</td><td>2024-03-01</td><td>Summe</td></tr>"
                          "</table></body></html>";
  forEachReading(html, [](const CADocument& sheet) {
    const CACell* formula = sheet.cellAtGridPoint({0, 0});
    ASSERT_TRUE(formula);
    EXPECT_TRUE(formula->isFormula());
    const CACell* date = sheet.cellAtGridPoint({1, 0});
    ASSERT_TRUE(date);
    EXPECT_EQ(date->valueType(), kValueDate);
    ExpectHolds(sheet, {2, 0}, "Summe", nullptr);
  });
}

// The rows of a long table the sheet reads itself, and the lines a paragraph keeps, which the
// sheet reads apart from the rich text, are read in the page's syntax too.
TEST_F(HtmlPageNumbersTest, LongTablesAndKeptLinesReadThePagesSyntax) {
  const struct {
    const char* name;
    std::function<uint64_t()> readings;  // how many pages that way of reading has read
    QByteArray page;
    GridPoint first;  // where the first of the rows after the page's first stands
  } ways[] = {
      {"long table", PlainTablesRead, [] {
         QByteArray page = "<html lang=\"de\"><body><table>\n";
         for (int y = 0; y < 100; ++y) page += "<tr><td>1.234,5</td><td>1,5</td><td>1.5</td></tr>\n";
         return page + "</table></body></html>\n";
       }(), {0, 1}},
      {"kept lines", KeptLinesRead, [] {
         QByteArray page = "<html lang=\"de\"><head><style>p{white-space:pre}</style></head><body><p>";
         for (int y = 0; y < 400; ++y) page += "1.234,5\t1,5\t1.5\n";
         return page + "</p></body></html>\n";
       }(), {0, 1}},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    const uint64_t before = way.readings();
    forEachReading(way.page, [&way](const CADocument& sheet) {
      for (const int64_t y : {int64_t(0), way.first.y, way.first.y + 50}) {
        ExpectHolds(sheet, {0, y}, "1.234,5", "1234.5");
        ExpectHolds(sheet, {1, y}, "1,5", "1.5");
        ExpectHolds(sheet, {2, y}, "1.5", nullptr);
      }
    });
    EXPECT_EQ(way.readings() - before, 6u);
  }
}

// A page the sheet writes under one locale reads back under each other with the same numbers,
// grouped, as money or as percentages as they are shown: the page declares the language whose
// syntax it writes them in.
TEST_F(HtmlPageNumbersTest, WrittenPagesReadBackAlikeInEveryLocale) {
  const struct {
    int32_t display;
    bool grouped;
    int64_t size;
    const char* number;
  } cells[] = {
      {kDisplayFloat, true, 2, "1234567.5"}, {kDisplayFloat, false, 3, "-0.125"}, {kDisplayPercent, false, 1, "0.125"},
      {kDisplayMoney, true, 2, "1234.5"},    {kDisplayFloat, true, 0, "-1000000"}, {0, false, 0, "3.25"},
  };
  for (const char* writer : {"C", "de_DE", "fr_FR"}) {
    QString page;
    {
      const TestLocale scope(writer);
      CADocument sheet;
      for (size_t k = 0; k < std::size(cells); ++k) {
        CACell* cell = sheet.cellAtGridPointImperative({int64_t(k), 0});
        ASSERT_TRUE(cell);
        SetShownNumber(*cell, cells[k].number, cells[k].display, cells[k].grouped, cells[k].size);
      }
      FLError error;
      ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 0}, {int64_t(std::size(cells)) - 1, 0}}, QString(), &page,
                                    &error));
    }
    SCOPED_TRACE(std::string("written under ") + writer);
    forEachReading(page.toUtf8(), [&cells](const CADocument& sheet) {
      for (size_t k = 0; k < std::size(cells); ++k) ExpectHolds(sheet, {int64_t(k), 0}, "", cells[k].number);
    });
  }
}

}  // namespace
