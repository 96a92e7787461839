// A page's numbers and dates read in the syntax the page itself shows, declared or not: only a
// text one syntax alone reads as a number, and no time, date, version or code can be, shows it
// (both marks, one mark repeated between groups of three, a decimal with a percent or currency
// sign); its dates in the order its own dates show, else its declared region's, else as the user
// types; a Thai page's years in the Buddhist era. Every page is read under the locales of the
// users who read such pages, opened and pasted alike.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr const char* kReaders[] = {"C", "de_DE", "fr_FR", "nl_NL", "en_GB"};

struct ShownPage;

class HtmlShownSyntaxTest : public RichTextTest {
 protected:
  HtmlShownSyntaxTest() { InstallFileFormatServices(); }
  // Opens and pastes the page under every reader's locale: each cell holds what the page says.
  void expectPageReadInEveryLocale(const ShownPage& page);
};

// What a cell holds: a number (C syntax), a date (a day index), a text, or what the text gives
// typed by the reader (the page shows nothing of its syntax and declares none).
struct Held {
  enum class Kind { Number, Date, Text, Typed } kind = Kind::Text;
  const char* number = nullptr;
  int32_t date = 0;
};
constexpr Held kText{};
constexpr Held kTyped{Held::Kind::Typed};
Held Number(const char* number) { return Held{Held::Kind::Number, number, 0}; }
Held Date(int32_t day) { return Held{Held::Kind::Date, nullptr, day}; }

void ExpectHeld(const CADocument& sheet, const GridPoint& at, const Held& held, const QString& shown) {
  SCOPED_TRACE("at " + std::to_string(at.x) + "," + std::to_string(at.y) + " " + shown.toStdString());
  const CACell* cell = sheet.cellAtGridPoint(at);
  ASSERT_TRUE(cell);
  switch (held.kind) {
    case Held::Kind::Typed:
      ExpectNumberOrTyped(*cell, nullptr, shown);
      if (cell->valueType() == kValueDate) {
        CADocument typed;
        CACell* entered = typed.cellAtGridPointImperative({0, 0});
        entered->setFormula(shown);
        EXPECT_EQ(entered->valueType(), kValueDate);
      }
      return;
    case Held::Kind::Date:
      EXPECT_EQ(cell->valueType(), kValueDate) << cell->displayText(true).toStdString();
      ASSERT_TRUE(cell->number());
      EXPECT_EQ(cell->number()->integerValue(), held.date);
      return;
    case Held::Kind::Text:
      EXPECT_EQ(cell->valueType(), kValueText) << cell->displayText(true).toStdString();
      return;
    case Held::Kind::Number: {
      const std::optional<CANumber> want =
          CANumber::withValidatedString(QString::fromLatin1(held.number), false, u'.', QChar());
      ASSERT_TRUE(want);
      EXPECT_EQ(cell->valueType(), kValueNumber) << cell->displayText(true).toStdString();
      ASSERT_TRUE(cell->number()) << cell->formula().toStdString();
      EXPECT_TRUE(*cell->number() == *want) << cell->number()->archive().toStdString() << " for " << held.number;
      return;
    }
  }
}

struct ShownCell {
  const char* text;
  Held held;
};

// A page of one row of cells, named for the trace, with the language its root declares.
struct ShownPage {
  const char* name;
  const char* language;
  std::vector<ShownCell> cells;
};

// A page of one row of cells, with the language the root declares (null: no lang at all).
QByteArray RowPage(const char* language, const std::vector<ShownCell>& cells) {
  QByteArray html = language ? QByteArray("<html lang=\"") + language + "\">" : QByteArray("<html>");
  html += "<head><meta charset=\"utf-8\"></head><body><table><tr>";
  for (const ShownCell& cell : cells) html += "<td>" + QByteArray(cell.text) + "</td>";
  return html + "</tr></table></body></html>\n";
}

void HtmlShownSyntaxTest::expectPageReadInEveryLocale(const ShownPage& page) {
  SCOPED_TRACE(page.name);
  const QByteArray html = RowPage(page.language, page.cells);
  for (const char* locale : kReaders) {
    readPageInLocale(html, locale, [&page](const CADocument& sheet) {
      for (size_t k = 0; k < page.cells.size(); ++k)
        ExpectHeld(sheet, {int64_t(k), 0}, page.cells[k].held, QString::fromUtf8(page.cells[k].text));
    });
  }
}

// Pages that show English, German, French, Dutch and Swiss syntax, with and without a declared
// language, read alike in every locale; pages that show none (times, versions, codes) in the
// language they declare, else as the user types.
TEST_F(HtmlShownSyntaxTest, NumbersReadInTheSyntaxThePageShows) {
  const ShownPage pages[] = {
      {"English, declared none", "",
       {{"120,000", Number("120000")}, {"118,500", Number("118500")}, {"8,000", Number("8000")},
        {"9,250.50", Number("9250.5")}}},
      {"English, no lang at all", nullptr,
       {{"Population", kText}, {"1,200", Number("1200")}, {"+604.2%", kText}}},
      {"English on a German page", "de", {{"$1,299.00", Number("1299")}, {"1,000", Number("1000")}}},
      {"English, declared", "en-US", {{"1,234,567", Number("1234567")}, {"1,204", Number("1204")}, {"5.10", Number("5.1")}}},
      {"German, declared none", "",
       {{"1.234,56", Number("1234.56")}, {"2.500", Number("2500")}, {"3,5", Number("3.5")}}},
      {"German on an English page", "en",
       {{"1.250,00", Number("1250")}, {"2.500", Number("2500")}, {"12,5", Number("12.5")}}},
      {"German repeated groups", nullptr, {{"1.234.567", Number("1234567")}, {"1.200", Number("1200")}}},
      {"French, declared none", "",
       {{"1\xE2\x80\xAF" "234,56", Number("1234.56")}, {"12 500", Number("12500")}, {"3,5 %", Number("0.035")},
        {"0,75", Number("0.75")}}},
      {"French, declared", "fr", {{"1 234,56", Number("1234.56")}, {"2,5", Number("2.5")}}},
      {"Dutch kick-offs and crowds", "nl",
       {{"20.00", kText}, {"14.30", kText}, {"54.990", Number("54990")}, {"47.500", Number("47500")}}},
      {"Dutch quantities", "nl", {{"1.000", Number("1000")}, {"12.500", Number("12500")}, {"\xE2\x82\xAC" "2,50", Number("2.5")}}},
      {"German times and crowds", "de", {{"18.30", kText}, {"1.200", Number("1200")}, {"2.450", Number("2450")}}},
      {"German versions", "de", {{"5.10", kText}, {"2.10", kText}, {"1.204", Number("1204")}}},
      {"Swiss, declared none", "",
       {{"1'234.50", Number("1234.5")}, {"2'500", Number("2500")}, {"1.5", Number("1.5")}}},
      {"Swiss, declared", "de-CH", {{"1\xE2\x80\x99" "234.50", Number("1234.5")}, {"0.25", Number("0.25")}}},
      {"None shown, declared none", "",
       {{"18.45", kTyped}, {"5.10", kTyped}, {"1.204", kTyped}, {"12:30", kTyped}, {"4.3.1", kTyped}}},
      {"None shown, no lang", nullptr, {{"1,5", kTyped}, {"2.500", kTyped}, {"v1.9", kTyped}, {"$12,000", kTyped}}},
  };
  for (const ShownPage& page : pages) expectPageReadInEveryLocale(page);
}

// Dates in the order the page's own dates show; where they show none, in its declared region's;
// where it names no region of a language whose regions disagree (English), as the user types.
// A page that shows both orders reads only the dates one order alone can read.
TEST_F(HtmlShownSyntaxTest, DatesReadInTheOrderThePageShows) {
  const std::vector<Held> dayFirstReader = {Date(20250403)}, monthFirstReader = {Date(20250304)};
  const ShownPage pages[] = {
      {"A UK statement declaring English", "en",
       {{"01/02/2025", Date(20250201)}, {"03/02/2025", Date(20250203)}, {"13/02/2025", Date(20250213)},
        {"28/02/2025", Date(20250228)}}},
      {"A US statement declaring English", "en", {{"02/01/2025", Date(20250201)}, {"02/13/2025", Date(20250213)}}},
      {"Day first, declared none", "", {{"04/03/2025", Date(20250304)}, {"25/12/2025", Date(20251225)}}},
      {"Month first, no lang", nullptr, {{"3/4/2026", Date(20260304)}, {"12/25/2026", Date(20261225)}}},
      {"Day first with dots", nullptr, {{"04.03.2025", Date(20250304)}, {"13.02.2025", Date(20250213)}}},
      {"Day first beside a US region", "en-US", {{"4/3/2025", Date(20250304)}, {"13/3/2025", Date(20250313)}}},
      {"None shown, a region named", "en-US", {{"3/4/2025", Date(20250304)}}},
      {"None shown, a region named", "en-GB", {{"3/4/2025", Date(20250403)}}},
      {"None shown, German", "de", {{"3.4.2025", Date(20250403)}, {"3. April 2025", Date(20250403)}}},
      {"None shown, English with no region", "en", {{"3/4/2025", kTyped}, {"March 4, 2025", Date(20250304)}}},
      {"None shown, declared none", "", {{"3/4/2025", kTyped}}},
  };
  for (const ShownPage& page : pages) expectPageReadInEveryLocale(page);
}

// A Thai page counts its years from 543 BC: its dates are the Gregorian ones 543 years earlier,
// or stay texts; so are an undeclared page's under a Thai user.
TEST_F(HtmlShownSyntaxTest, AThaiPagesBuddhistYearsAreGregorianDates) {
  const std::vector<ShownCell> cells = {{"4 \xE0\xB8\xA1\xE0\xB8\xB5\xE0\xB8\x99\xE0\xB8\xB2\xE0\xB8\x84\xE0\xB8\xA1 2569",
                                         Date(20260304)},
                                        {"4 \xE0\xB8\xA1\xE0\xB8\xB5.\xE0\xB8\x84. 2569", Date(20260304)},
                                        {"4/3/2569", Date(20260304)},
                                        {"25/12/2568", Date(20251225)},
                                        {"4/3/69", kText}};
  const QByteArray declared = RowPage("th", cells);
  for (const char* locale : kReaders) {
    readPageInLocale(declared, locale, [&cells](const CADocument& sheet) {
      for (size_t k = 0; k < cells.size(); ++k)
        ExpectHeld(sheet, {int64_t(k), 0}, cells[k].held, QString::fromUtf8(cells[k].text));
    });
  }
  readPageInLocale(RowPage(nullptr, {cells[2], cells[3]}), "th_TH", [&cells](const CADocument& sheet) {
    ExpectHeld(sheet, {0, 0}, cells[2].held, QString());
    ExpectHeld(sheet, {1, 0}, cells[3].held, QString());
  });
  // A Gregorian year on a page in Thai is no year of its era.
  readPageInLocale(RowPage("th", {{"4/3/2026", kText}}), "C", [](const CADocument& sheet) {
    ExpectHeld(sheet, {0, 0}, kText, QString());
  });
}

// The evidence itself: what shows a decimal sign, a group mark and a date order, and what shows
// nothing.
TEST(PageSyntaxEvidenceTest, OnlyTextsOneSyntaxAloneReadsShowIt) {
  const struct {
    const char* text;
    char16_t point, group;  // 0: none shown
  } numbers[] = {
      {"9,250.50", u'.', u','}, {"1.234,56", u',', u'.'}, {"1 234,56", u',', u' '},  {"1'234.50", u'.', u'\''},
      {"1,234,567", u'.', u','}, {"1.234.567", u',', u'.'}, {"+604.2%", u'.', 0},    {"$1.50", u'.', 0},
      {"3,5 %", u',', 0},        {"-\xE2\x82\xAC" "2,5", u',', 0}, {"18.45", 0, 0},        {"5.10", 0, 0},
      {"1.204", 0, 0},           {"$12,000", 0, 0},       {"192.168.1.1", 0, 0}, {"1.2.3", 0, 0},
      {"12:30", 0, 0},           {"v1.9", 0, 0},          {"1,23,456", 0, 0},    {"1.234,56.7", 0, 0},
      {"ISBN 3-16", 0, 0},       {"12.345.67", 0, 0},
  };
  for (const auto& number : numbers) {
    SCOPED_TRACE(number.text);
    PageSyntaxEvidence evidence;
    evidence.see(QString::fromUtf8(number.text));
    const std::optional<std::pair<QChar, QChar>> marks = evidence.marks();
    ASSERT_EQ(marks.has_value(), number.point != 0);
    if (!marks) continue;
    EXPECT_EQ(marks->first, QChar(number.point));
    EXPECT_EQ(marks->second, number.group ? QChar(number.group) : QChar());
  }
  const struct {
    const char* text;
    int order;  // 1 day first, 0 month first, -1 none
  } dates[] = {{"13/02/2025", 1}, {"02/13/2025", 0}, {"13.02.2025", 1}, {"31-12-2025", 1}, {"03/04/2025", -1},
               {"1.234.567", -1}, {"13/13/2025", -1}, {"2025-02-13", -1}, {"13-02-25", -1}, {"32/01/2025", -1}};
  for (const auto& date : dates) {
    SCOPED_TRACE(date.text);
    PageSyntaxEvidence evidence;
    evidence.see(QString::fromLatin1(date.text));
    const std::optional<bool> dayFirst = evidence.dayFirst();
    ASSERT_EQ(dayFirst.has_value(), date.order >= 0);
    if (dayFirst) EXPECT_EQ(*dayFirst, date.order == 1);
  }
  // Most texts decide; as many of either decide nothing; both orders of dates decide nothing.
  PageSyntaxEvidence mixed;
  for (const char* text : {"1.234,56", "2.345,67", "$1,299.00"}) mixed.see(QString::fromUtf8(text));
  ASSERT_TRUE(mixed.marks());
  EXPECT_EQ(mixed.marks()->first, u',');
  mixed.see(u"1,234,567");
  EXPECT_FALSE(mixed.marks());
  mixed.see(u"13/02/2025");
  mixed.see(u"02/13/2025");
  EXPECT_FALSE(mixed.dayFirst());
}


// What a browser hides is not read, and every link it shows in a cell is kept: a template's rows
// wherever the template stands; words clipped to nothing for screen readers; a dialog not open. A
// link beside more words carries them all (the first that leads out of the page, each other such
// a cell of its own beside them); a footnote's mark, which leads to a place in the page, gives its
// words to the cell's; a table laid out inside a cell, three deep as well, keeps its links so, and
// so do a cell's later lines (the first link there carries the cell's words where none on its
// first line does, the others stand beside, a linked picture too) and a paragraph's sentence; an
// element the reading does not know reads its text in the language it declares; a link's bold
// words are bold, and so are the bold words a later line's link carries.
TEST_F(HtmlShownSyntaxTest, WhatABrowserShowsOfCellsAndTheirLinks) {
  const struct {
    const char* name;
    const char* body;
    const char* cells;
    const char* german = nullptr;  // the cells under de_DE, where its numbers show otherwise
  } pages[] = {
      {"a template among rows",
       "<table><tr><td>Widget</td><td>2</td><td>19.98</td></tr><template><tr><td>{{name}}</td><td>1</td>"
       "<td>999.00</td></tr></template><tr><td>Gadget</td><td>1</td><td>5.49</td></tr></table>",
       "0,0=Widget|1,0=2|2,0=19.98|0,1=Gadget|1,1=1|2,1=5.49"},
      {"templates inside a template, and one before the table",
       "<template><p>a<template><p>b</template><p>c</template><table><tr><td>x</td><TEMPLATE><td>y</td>"
       "</template ><td>z</td></tr></table>",
       "0,0=x|1,0=z"},
      {"words for screen readers alone",
       "<style>.sr-only{position:absolute;width:1px;height:1px;margin:-1px;overflow:hidden;clip:rect(0,0,0,0);"
       "white-space:nowrap;border:0} .vh{clip-path:inset(50%);height:1px;width:1px;overflow:hidden}"
       ".shown{clip:rect(0,0,0,0);overflow:hidden}</style><table><tr><td>-$84.12<span class=\"sr-only\"> debit</span>"
       "</td><td>$1,850.00<span class=\"vh\"> credit</span></td><td>A<span class=\"shown\">B</span></td>"
       "<td><span style=\"clip:rect(1px, 1px, 1px, 1px);width:1px;height:0;overflow:hidden\">x</span>y</td></tr></table>",
       "0,0=-84.12|1,0=1850|2,0=AB|3,0=y", "0,0=-84,12|1,0=1850|2,0=AB|3,0=y"},
      {"a dialog not open",
       "<table><tr><td>a<dialog>b</dialog></td><td><dialog open>c</dialog></td></tr></table>", "0,0=a|1,0=c"},
      {"links beside more words",
       "<table><tr><td><a href=\"https://x.example/es\">Spain</a> (qualified)</td>"
       "<td>Winner: <a href=\"https://x.example/it\">Italy</a></td></tr>"
       "<tr><td><a href=\"https://x.example/i/1234\">#1234</a> opened 3 days ago</td>"
       "<td><a href=\"https://x.example/v1.9\">v1.9</a> <span>Pre-release</span></td></tr>"
       "<tr><td><a href=\"https://x.example/nl\">Netherlands</a> (host)</td><td>Paris<a href=\"#fn1\">[1]</a></td>"
       "</tr></table>",
       "0,0=https://x.example/es>Spain (qualified)|1,0=https://x.example/it>Winner: Italy|"
       "0,1=https://x.example/i/1234>#1234 opened 3 days ago|1,1=https://x.example/v1.9>v1.9 Pre-release|"
       "0,2=https://x.example/nl>Netherlands (host)|1,2=Paris[1]"},
      {"two links among words",
       "<table><tr><td><a href=\"https://x.example/smith\">Smith</a>, <a href=\"https://x.example/jones\">Jones</a>"
       "</td></tr></table>",
       "0,0=https://x.example/smith>Smith, Jones|1,0=https://x.example/jones>Jones"},
      {"a newsletter laid out in tables",
       "<table><tr><td><table><tr><td><a href=\"https://x.example/rates\">Rates held</a></td><td>Markets rose 1.2%."
       "</td></tr><tr><td colspan=2><a href=\"https://x.example/unsubscribe\">Unsubscribe</a></td></tr></table>"
       "</td></tr></table>",
       "0,0=https://x.example/rates>Rates held Markets rose 1.2%. Unsubscribe|"
       "1,0=https://x.example/unsubscribe>Unsubscribe"},
      {"a link on a cell's later line, where its first shows none",
       "<table><tr><td>You received this because you ordered.<br><a href=\"https://x.example/u\">Unsubscribe</a> · "
       "<a href=\"https://x.example/p\">Privacy</a></td><td>9</td></tr></table>",
       "0,0=https://x.example/u>You received this because you ordered.\nUnsubscribe · Privacy|"
       "1,0=https://x.example/p>Privacy|2,0=9"},
      {"links on a cell's later lines beside its first line's",
       "<table><tr><td><a href=\"https://x.example/e/1\">2</a><br><a href=\"https://x.example/e/2\">Fair</a><br>"
       "<a href=\"https://x.example/e/3\">BBQ</a></td><td>3</td></tr><tr><td>4</td><td>5</td></tr></table>",
       "0,0=https://x.example/e/1>2\nFair\nBBQ|1,0=https://x.example/e/2>Fair|2,0=https://x.example/e/3>BBQ|3,0=3|"
       "0,1=4|3,1=5"},
      {"a link that runs a script, which leads nowhere a sheet's link can",
       "<table><tr><td><a href=\"https://x.example/smith\">Smith</a>, <a href=\"javascript:more()\">Jones</a></td>"
       "<td>Page <a href=\"javascript:go(2)\">2</a></td></tr></table>",
       "0,0=https://x.example/smith>Smith, Jones|1,0=Page 2"},
      {"a footnote's mark on a later line",
       "<table><tr><td>Paris<br>see <a href=\"#fn1\">[1]</a></td></tr></table>", "0,0=Paris\nsee [1]"},
      {"a linked picture alone on a later line",
       "<table><tr><td>Sponsor<br><a href=\"https://x.example/s\"><img src=\"missing.png\"></a></td><td>1</td></tr>"
       "</table>",
       "0,0=Sponsor|1,0=https://x.example/s>|2,0=1"},
      {"an e-mail laid out in tables three deep",
       "<table><tr><td><table><tr><td>Hello<br><br>News</td></tr><tr><td><table><tr><td>Item</td><td>"
       "<a href=\"https://x.example/i\">2</a></td></tr></table></td></tr><tr><td><a href=\"https://x.example/t\">"
       "Track</a></td></tr><tr><td>Footer<br><a href=\"https://x.example/u\">Unsubscribe</a></td></tr></table></td>"
       "</tr></table>",
       "0,0=https://x.example/i>Hello\n\nNews Item 2 Track Footer\nUnsubscribe|1,0=https://x.example/t>Track|"
       "2,0=https://x.example/u>Unsubscribe"},
      {"links in a paragraph's sentence, and a mark that leads into the page",
       "<p>Read the <a href=\"https://x.example/t\">terms</a> and the <a href=\"https://x.example/p\">privacy "
       "notice</a>.</p><p><a href=\"#top\">Top</a> of page</p><p>a<a href=\"#x\">b</a>cd"
       "<a href=\"https://x.example/q\">e</a></p>",
       "0,0=https://x.example/t>Read the terms and the privacy notice.|1,0=https://x.example/p>privacy notice|"
       "0,1=Top of page|0,2=https://x.example/q>abcde"},
  };
  for (const auto& page : pages) {
    SCOPED_TRACE(page.name);
    const QByteArray html = QByteArray("<html><head><meta charset=\"utf-8\"></head><body>") + page.body +
                            "</body></html>\n";
    for (const char* locale : {"C", "de_DE"}) {
      const char* cells = page.german && std::string(locale) == "de_DE" ? page.german : page.cells;
      readPageInLocale(html, locale, [cells](const CADocument& sheet) { EXPECT_EQ(FilledCellSummary(sheet), cells); });
    }
  }
}

TEST_F(HtmlShownSyntaxTest, ElementsReadTheLanguageTheyDeclareAndLinksKeepTheirBold) {
  const QByteArray html =
      "<html lang=\"en\"><head><meta charset=\"utf-8\"></head><body><table><tr>"
      "<td><time lang=\"fr\">3 mars 2025</time></td><td><data value=\"1250.75\" lang=\"fr\">1 250,75</data></td>"
      "<td><mark lang=\"de\">1.234,5</mark></td><td><output lang=\"de\">4.3.2025</output></td>"
      "<td><a href=\"https://x.example/kw\"><b>KW Alfa</b></a></td><td><a href=\"https://x.example/p\">Plain</a></td>"
      "<td><b>Title</b><br><a href=\"https://x.example/m\">more</a></td></tr></table></body></html>\n";
  for (const char* locale : kReaders) {
    readPageInLocale(html, locale, [](const CADocument& sheet) {
      ExpectHeld(sheet, {0, 0}, Date(20250303), QString());
      ExpectHeld(sheet, {1, 0}, Number("1250.75"), QString());
      ExpectHeld(sheet, {2, 0}, Number("1234.5"), QString());
      ExpectHeld(sheet, {3, 0}, Date(20250304), QString());
      const CACell* bold = sheet.cellAtGridPoint({4, 0});
      ASSERT_TRUE(bold);
      EXPECT_EQ(bold->valueType(), kValueLink);
      ASSERT_TRUE(bold->format());
      EXPECT_TRUE(bold->format()->bold());
      const CACell* plain = sheet.cellAtGridPoint({5, 0});
      ASSERT_TRUE(plain);
      EXPECT_FALSE(plain->format() && plain->format()->bold());
      const CACell* carried = sheet.cellAtGridPoint({6, 0});
      ASSERT_TRUE(carried);
      EXPECT_EQ(carried->valueType(), kValueLink);
      EXPECT_EQ(carried->displayText(true), u"Title\nmore");
      ASSERT_TRUE(carried->format());
      EXPECT_TRUE(carried->format()->bold());
    });
  }
}


// A long table, whose rows after the first the sheet reads apart from the rich text, shows its
// syntax by those rows as well, and hides what a browser hides in them.
TEST_F(HtmlShownSyntaxTest, ALongTablesRowsShowItsSyntaxAndHideWhatABrowserHides) {
  QByteArray dutch = "<html lang=\"nl\"><body><table>\n";
  for (int row = 0; row < 100; ++row) dutch += "<tr><td>20.00</td><td>54.990</td></tr>\n";
  dutch += "</table></body></html>\n";
  QByteArray undeclared = "<html lang=\"\"><body><table>\n";
  for (int row = 0; row < 100; ++row)
    undeclared += row == 90 ? "<tr><td>9,250.50</td><td>13/02/2025</td></tr>\n" : "<tr><td>1,200</td><td>01/02/2025</td></tr>\n";
  undeclared += "</table></body></html>\n";
  QByteArray hidden =
      "<html><head><style>.sr-only{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0,0,0,0)}"
      "</style></head><body><table>\n";
  for (int row = 0; row < 100; ++row) {
    hidden += "<tr><td>Row</td><td>12<span class=\"sr-only\"> debit</span></td></tr>\n";
    if (row == 50) hidden += "<template><tr><td>{{name}}</td><td>999</td></tr></template>\n";
  }
  hidden += "</table></body></html>\n";
  for (const char* locale : kReaders) {
    readPageInLocale(dutch, locale, [](const CADocument& sheet) {
      for (const int64_t y : {0, 1, 70, 99}) {
        ExpectHeld(sheet, {0, y}, kText, QString());
        ExpectHeld(sheet, {1, y}, Number("54990"), QString());
      }
    });
    readPageInLocale(undeclared, locale, [](const CADocument& sheet) {
      for (const int64_t y : {0, 1, 70, 99}) {
        ExpectHeld(sheet, {0, y}, Number("1200"), QString());
        ExpectHeld(sheet, {1, y}, Date(20250201), QString());
      }
      ExpectHeld(sheet, {0, 90}, Number("9250.5"), QString());
      ExpectHeld(sheet, {1, 90}, Date(20250213), QString());
    });
    readPageInLocale(hidden, locale, [](const CADocument& sheet) {
      EXPECT_EQ(sheet.extent().endPoint.y, 99);
      for (const int64_t y : {0, 50, 51, 99}) {
        ExpectHeld(sheet, {1, y}, Number("12"), QString());
        ASSERT_TRUE(sheet.cellAtGridPoint({0, y}));
        EXPECT_EQ(sheet.cellAtGridPoint({0, y})->displayText(true), u"Row");
      }
    });
  }
}

}  // namespace
namespace {

// The sheet's own page names the region its dates' order is of ("en-US", not "en", whose regions
// disagree): a page holding only dates either order could read reads back alike in every locale.
TEST_F(HtmlShownSyntaxTest, TheSheetsOwnPageNamesTheRegionOfItsDates) {
  for (const char* writer : {"en_US", "en_GB", "C", "de_DE"}) {
    QString page;
    {
      const TestLocale scope(writer);
      CADocument sheet;
      CACell* cell = sheet.cellAtGridPointImperative({0, 0});
      ASSERT_TRUE(cell);
      cell->setNumberValue(CANumber(20260304));
      cell->setValueType(kValueDate);
      FLError error;
      ASSERT_TRUE(ExportRangeAsHtml(sheet, GridRange{{0, 0}, {0, 0}}, QString(), &page, &error));
    }
    SCOPED_TRACE(std::string("written under ") + writer);
    EXPECT_FALSE(page.contains(QStringLiteral("lang=\"en\""))) << page.left(300).toStdString();
    for (const char* reader : kReaders)
      readPageInLocale(page.toUtf8(), reader, [](const CADocument& sheet) { ExpectHeld(sheet, {0, 0}, Date(20260304), QString()); });
  }
}

}  // namespace
