// Long tables of plain cells open with their first row through the rich text and the rest read
// directly: the sheet must be the one the rich text alone makes, down to its package's bytes.
// The rich text's way is forced for the page to compare with; a comment before the table's end
// goes with it, which changes nothing of what either reading makes.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>

#include <functional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace {

class HtmlLongTableTest : public RichTextTest {
 protected:
  // The package of the page opened as a sheet (document.xml), and the sheet's cells. A name
  // ending in " rich" opens the page whole through the rich text.
  std::pair<QByteArray, QString> open(const QByteArray& page, const char* name) {
    const QString file = path(name) + QStringLiteral(".html");
    EXPECT_TRUE(WriteFileBytes(file, page));
    CADocument sheet;
    FLError error;
    const bool plain = SetPlainTableReading(!std::string_view(name).ends_with(" rich"));
    EXPECT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << name;
    SetPlainTableReading(plain);
    const QString package = path(name) + QStringLiteral(".Numlet");
    EXPECT_TRUE(sheet.saveToNativeFile(package, false, &error)) << name;
    return {ReadFileBytes(QDir(package).filePath(QStringLiteral("document.xml"))), CellSummary(sheet)};
  }

  // Opens the page as an open does, which reads it as a long table of plain cells itself or not
  // (`plain`), and whole through the rich text: both make the same sheet. The cells.
  QString openBothWays(const QByteArray& page, const char* name, bool plain) {
    const uint64_t before = PlainTablesRead();
    const auto direct = open(page, name);
    EXPECT_EQ(PlainTablesRead() - before, plain ? 1u : 0u) << name;
    const auto rich = open(page, (std::string(name) + " rich").c_str());
    EXPECT_EQ(direct.second.toStdString(), rich.second.toStdString()) << name;
    EXPECT_EQ(direct.first, rich.first) << name;
    return direct.second;
  }
};

// A page of `rows` rows of `columns` cells, each cell's text given by `cell`, in the frame given.
QByteArray Page(int rows, int columns, const std::function<QByteArray(int, int)>& cell, const QByteArray& head,
                const QByteArray& tail, const QByteArray& beforeEnd = {}) {
  QByteArray page = head;
  for (int y = 0; y < rows; ++y) {
    page += "<tr>";
    for (int x = 0; x < columns; ++x) page += "<td>" + cell(x, y) + "</td>";
    page += "</tr>\n";
  }
  return page + beforeEnd + tail;
}

TEST_F(HtmlLongTableTest, TheSheetIsTheOneTheRichTextMakes) {
  const QByteArray plainHead = "<html><body><table>\n";
  const QByteArray plainTail = "</table></body></html>\n";
  const QByteArray texts[] = {"12",         "item 7",      "  spaced   out  ", "\n line\tbreaks \r\n", "",
                              "   ",        "&amp; &lt;b&gt; &quot;q&quot;", "&#65;&#x42;&#233;", "caf\xC3\xA9 \xE6\x97\xA5",
                              "=1+2",       "12%",         "$5",              "1,234.5",           "2024-01-02",
                              "TRUE",       "'quoted",     "-0.5e3",          "a&#x2014;b",        "x &amp;&amp; y"};
  const int count = int(std::size(texts));
  const QByteArray nestedHead = "<html><body><table><tr><td><table>\n";
  const QByteArray nestedTail = "</table></td></tr></table></body></html>\n";
  struct Case {
    const char* name;
    QByteArray head, tail;
    int rows, columns;
    bool nested = false;  // the sheet is one cell holding the table's words
  } cases[] = {
      {"numbers and words", plainHead, plainTail, 80, 5},
      {"a full frame", "<!DOCTYPE html>\n<HTML lang=\"en\"><head><meta charset=\"utf-8\"><title>T &amp; t</title></head>\n"
                       "<body>\n<TABLE border=\"1\" cellpadding=\"4\" cellspacing=\"0\">\n<tbody>\n",
       "</tbody>\n</TABLE>\n</body>\n</HTML>\n", 70, 3},
      {"one column", "<table>", "</table>", 100, 1},
      {"no frame after", "<table>\n", "</table>", 65, 4},
      {"a row of headers first", plainHead + "<tr><th>Name</th><th> Price </th><th></th></tr>\n", plainTail, 70, 3},
      {"nested", nestedHead, nestedTail, 80, 4, true},
      {"nested in a framed layout",
       "<!DOCTYPE html><html><head><title>List</title></head><body>\n<table border=\"0\" width=\"100%\"><tbody>"
       "<tr>\n<td>\n<TABLE cellpadding=\"2\">\n<tbody>\n",
       "</tbody></TABLE>\n</td>\n</tr></tbody></table>\n</body></html>", 70, 2, true},
      {"nested, one column", nestedHead, nestedTail, 66, 1, true},
      {"nested under headers", nestedHead + "<tr><th>Name</th><th>Price</th></tr>\n", nestedTail, 70, 2, true},
  };
  for (const Case& c : cases) {
    const auto cell = [&](int x, int y) { return texts[(x * 7 + y * 3) % count]; };
    const auto direct = open(Page(c.rows, c.columns, cell, c.head, c.tail), c.name);
    const auto rich = open(Page(c.rows, c.columns, cell, c.head, c.tail, "<!-- the rich text's way -->"),
                           (std::string(c.name) + " rich").c_str());
    EXPECT_EQ(direct.second.toStdString(), rich.second.toStdString()) << c.name;
    EXPECT_EQ(direct.first, rich.first) << c.name;
    if (c.nested) EXPECT_TRUE(direct.second.startsWith(QStringLiteral("0,0=")) && !direct.second.contains(u'|'));
    else EXPECT_TRUE(direct.second.contains(QStringLiteral("0,%1=").arg(c.rows - 1))) << c.name;
  }
}

TEST_F(HtmlLongTableTest, PagesBeyondPlainCellsKeepTheRichTextsReading) {
  // Each page is a long table with one thing that only the rich text reads right: they open as
  // the rich text makes them (the same page, one cell changed to a plain one, gives the rest).
  const QByteArray head = "<html><body><table>\n", tail = "</table></body></html>\n";
  struct Case {
    const char* name;
    QByteArray odd;  // the cell at row 40, column 1
    const char* shown;
  } cases[] = {
      {"bold", "<b>bold</b>", "bold"},
      {"a break", "one<br>two", nullptr},
      {"a no-break space", "a&nbsp;b", nullptr},
      {"another entity", "&eacute;t&eacute;", "\u00E9t\u00E9"},
      {"a link", "<a href=\"http://example.com/\">site</a>", nullptr},
  };
  for (const Case& c : cases) {
    const auto cell = [&](int x, int y) { return x == 1 && y == 40 ? c.odd : QByteArray::number(x * 100 + y); };
    const auto opened = open(Page(70, 3, cell, head, tail), c.name);
    const auto rich = open(Page(70, 3, cell, head, tail, "<!---->"), (std::string(c.name) + " rich").c_str());
    EXPECT_EQ(opened.first, rich.first) << c.name;
    EXPECT_TRUE(opened.second.contains(QStringLiteral("0,69=69|1,69=169|2,69=269"))) << c.name;
    if (c.shown) {
      EXPECT_TRUE(opened.second.contains(QStringLiteral("1,40=") + QString::fromUtf8(c.shown) + u'|'))
          << c.name << ": " << opened.second.toStdString();
    }
  }
  // A style in the head and a row of another length, too.
  const auto cell = [](int x, int y) { return QByteArray::number(x + y); };
  const QByteArray styled = "<html><head><style>td { font-weight: bold }</style></head><body><table>\n";
  const auto bold = open(Page(70, 2, cell, styled, tail), "styled");
  EXPECT_EQ(bold.first, open(Page(70, 2, cell, styled, tail, "<!---->"), "styled rich").first);
  // A look the page's element or its metadata gives the cells, once a style sheet is read.
  const QByteArray pageLook =
      "<html style=\"color:red\"><head><style>td { padding: 1px }</style></head><body><table>\n";
  EXPECT_EQ(open(Page(70, 2, cell, pageLook, tail), "page look").first,
            open(Page(70, 2, cell, pageLook, tail, "<!---->"), "page look rich").first);
  const QByteArray metadataLook =
      "<html><head><style>td { padding: 1px }</style><meta style=\"color:red\"></head><body><table>\n";
  EXPECT_EQ(open(Page(70, 2, cell, metadataLook, tail), "metadata look").first,
            open(Page(70, 2, cell, metadataLook, tail, "<!---->"), "metadata look rich").first);
  const auto ragged = open(Page(70, 2, cell, head, tail, "<tr><td>1</td></tr>\n"), "ragged");
  EXPECT_EQ(ragged.first, open(Page(70, 2, cell, head, tail, "<tr><td>1</td></tr>\n<!---->"), "ragged rich").first);
  EXPECT_TRUE(ragged.second.endsWith(QStringLiteral("0,70=1")));
  // A first row of empty cells, and a paragraph before the table.
  const auto emptyFirst = [](int x, int y) { return y == 0 ? QByteArray() : QByteArray::number(x + y); };
  const auto empty = open(Page(70, 2, emptyFirst, head, tail), "empty first row");
  EXPECT_EQ(empty.first, open(Page(70, 2, emptyFirst, head, tail, "<!---->"), "empty first row rich").first);
  EXPECT_TRUE(empty.second.startsWith(QStringLiteral("0,1=1|1,1=2"))) << empty.second.toStdString();
  const QByteArray titled = "<html><body><p>Prices</p><table>\n";
  const auto paragraph = open(Page(70, 2, cell, titled, tail), "paragraph first");
  EXPECT_EQ(paragraph.first, open(Page(70, 2, cell, titled, tail, "<!---->"), "paragraph first rich").first);
  EXPECT_TRUE(paragraph.second.startsWith(QStringLiteral("0,0=Prices|0,1=0|1,1=1"))) << paragraph.second.toStdString();
}

// The common shapes of a long table are read by the sheet itself, and give the cells and the
// package the rich text gives the same page: comments anywhere, entities, attributes that change
// nothing of the cells, a head row of headers, empty and unclosed cells. Entities the rich text
// keeps as written (a space in a character reference) leave the page to it.
TEST_F(HtmlLongTableTest, CommonShapesOfALongTableAreReadAsTheRichTextReadsThem) {
  const QByteArray head = "<html><body><table>\n", tail = "</table></body></html>\n";
  using Cell = std::function<QByteArray(int, int)>;
  const auto number = [](int x, int y) { return QByteArray::number(x * 1000 + y); };
  struct Case {
    const char* name;
    QByteArray head, tail;
    Cell cell;
    const char* rowStart = "<tr>";
    const char* cellStart = "<td>";
    const char* cellEnd = "</td>";
    const char* rowEnd = "</tr>\n";
    bool plain = true;  // read by the sheet itself
    bool nested = false;  // the sheet is one cell of the table's words
  };
  const QByteArray nestedHead = "<html><body><table><tr><td><table>\n";
  const QByteArray nestedTail = "</table></td></tr></table></body></html>\n";
  const Case cases[] = {
      {"comments between rows", "<html><!-- made by hand --><body>\n<!-- the list --><table>\n<!-- rows -->\n",
       "<!-- end -->\n</table><!-- after --></body></html>\n<!-- last -->",
       [&](int x, int y) { return y % 7 == 3 && x == 0 ? "<!-- a note -->" + number(x, y) : number(x, y); }},
      {"comments in cells", head, tail,
       [](int x, int y) -> QByteArray {
         const QByteArray texts[] = {"a<!-- x -->b", "a <!-- x -->b", "a<!-- x --> b", "a <!-- x --> b",
                                     "<!-- x -->  lead", "trail <!-- x -->", "<!---->", "one<!-- - -- -->two"};
         return texts[(x + y) % 8];
       }},
      {"named entities", head, tail,
       [](int x, int y) -> QByteArray {
         const QByteArray texts[] = {"caf&eacute;", "&copy; 2024", "5 &euro;", "a &mdash; b", "&AElig;&szlig;",
                                     "&amp;&lt;&gt;&quot;", "&apos;s", "x&times;y", "&frac12;"};
         return texts[(x * 3 + y) % 9];
       }},
      {"no-break spaces", head, tail,
       [](int x, int y) -> QByteArray {
         const QByteArray texts[] = {"&nbsp;", "a&nbsp;b", "&#160;", "1&nbsp;000", " &nbsp; "};
         return texts[(x + y) % 5];
       }},
      {"attributes of the rows after the first", head, tail, number, "<tr class=\"odd\" id=r>",
       "<td class='c' title=\"cell\">"},
      {"a first row with its own look",
       head + "<tr style=\"font-weight:bold\"><td align=\"center\" bgcolor=\"#eeeeee\" width=\"80\">Name</td>"
              "<td style=\"color:red\" valign=top>Price</td><td class=h nowrap>Count</td></tr>\n",
       tail, number},
      {"a head of headers",
       "<html><body><table class=\"list\" summary=\"prices\">\n<thead><tr><th scope=\"col\">Name</th>"
       "<th>Price</th><th>Count</th></tr></thead>\n<tbody>\n",
       "</tbody>\n" + tail, number},
      {"empty cells", head, tail, [](int x, int y) { return (x + y) % 3 == 0 ? QByteArray() : QByteArray::number(y); }},
      {"unclosed cells", head, tail, number, "<tr>", "<td>", "\n", "</tr>\n"},
      {"unclosed cells and rows", head, tail, number, "<tr>", "<td>", "", "\n"},
      {"character references with spaces", head, tail,
       [](int x, int y) -> QByteArray {
         const QByteArray texts[] = {"&# 65;", "&#65 ;", "&#x 41;", "&#x41 ;"};
         return y == 40 ? texts[x % 4] : QByteArray::number(x + y);
       },
       "<tr>", "<td>", "</td>", "</tr>\n", false},
      {"a span after the first row", head, tail, number, "<tr>", "<td colspan=\"1\">", "</td>", "</tr>\n", false},
      {"paragraphs in cells", head, tail, number, "<tr>", "<td>\n  <p>", "</p>\n</td>"},
      {"aligned paragraphs", head, tail, number, "<tr>", "<td><p style=\"text-align: center;\">", "</p></td>"},
      {"aligned cells", head, tail, number, "<tr>", "<td align=\"right\">"},
      {"aligned cells, bare and in capitals", head, tail, number, "<tr>", "<td class=c ALIGN=Center>"},
      {"aligned cells left", head, tail, number, "<tr>", "<td align='left'>", "", "\n"},
      {"aligned cells of aligned paragraphs", head, tail, number, "<tr>",
       "<td align=right><p style=\"text-align:left\">", "</p></td>"},
      {"aligned cells of paragraphs", head, tail, number, "<tr>", "<td align=center><p>", "</p></td>"},
      {"cells aligned to both sides", head, tail, number, "<tr>", "<td align=justify>", "</td>", "</tr>\n", false},
      {"lone line breaks",
       "<html><head><style type=\"text/css\"><!--\ntable { border-collapse:collapse; }\n"
       "td { vertical-align:top; padding:2px; }\np { margin-top:0px; }\n--></style></head><body><table>\n",
       tail, [](int x, int y) { return (x + y) % 4 == 1 ? QByteArray(" <br/> ") : QByteArray::number(x + y); }},
      {"lines in cells", head, tail,
       [](int x, int y) -> QByteArray {
         const QByteArray texts[] = {"Rent<br>January", "a<br/>b<br />c", "<br>lead", "a<br><br>b", "trail<br>",
                                     "x&amp;<BR>&lt;y", "1<br>\n  ", "<!-- c -->a<br>b", "Rent<br>\nJanuary"};
         return texts[(x + 2 * y) % 9];
       }},
      {"lines in paragraphs", head, tail,
       [](int x, int y) { return QByteArray::number(x) + "<br />" + QByteArray::number(y); }, "<tr>",
       "<td><p style=\"text-align:right\">", "</p></td>"},
      {"space beside a break", head, tail,
       [](int x, int y) { return y == 40 && x == 1 ? QByteArray("a <br>b") : QByteArray::number(x + y); }, "<tr>",
       "<td>", "</td>", "</tr>\n", false},
      {"breaks in paragraphs", head, tail,
       [](int x, int y) { return (x + y) % 4 == 1 ? QByteArray("<br />") : QByteArray::number(x + y); }, "<tr>",
       "<td><p style='text-align:right'>", "</p></td>"},
      {"paragraphs with a look", head, tail, number, "<tr>", "<td><p style=\"text-align:left; color:red\">",
       "</p></td>", "</tr>\n", false},
      {"two paragraphs", head, tail, [](int x, int y) { return QByteArray::number(x) + "</p><p>" + QByteArray::number(y); },
       "<tr>", "<td><p>", "</p></td>", "</tr>\n", false},
      {"a style sheet that gives the cells a look",
       "<html><head><style>td { font-weight: bold }</style></head><body><table>\n", tail, number, "<tr>", "<td>",
       "</td>", "</tr>\n", false},
      // What LibreOffice Calc and Gnumeric write for a sheet, each alone.
      {"bold headers", head + "<tr><td><b>Name</b></td><td><B>Price</B></td><td>Count</td></tr>\n", tail, number},
      {"a merged title row",
       head + "<tr><td colspan=3 height=\"17\" align=\"left\"><b>Prices</b></td>\n</tr>\n", tail, number},
      {"a title and headers",
       head + "<tr><th colspan=\"2\" rowspan=\"1\"><i>Prices</i> <font color=red>2024</font></th><td></td></tr>\n"
              "<tr><th>Name<br>first</th><th>Price</th><th>Count</th></tr>\n",
       tail, number},
      {"a title row spanning rows", head + "<tr><td rowspan=2>Prices</td><td>a</td><td>b</td></tr>\n", tail, number,
       "<tr>", "<td>", "</td>", "</tr>\n", false},
      {"values behind the numbers", head, tail, number, "<tr>", "<td align=\"right\" sdval=\"5\" sdnum=\"1033;0;0.00\">"},
      {"heights", head, tail, number, "<tr>", "<td height=\"17\" align=\"left\">"},
      {"column groups",
       "<html><body><table cellspacing=\"0\" border=\"0\">\n\t<colgroup width=\"80\"></colgroup>\n"
       "\t<colgroup span=\"2\" width=\"46\"></colgroup>\n",
       tail, number},
      {"LibreOffice's style sheet",
       "<html><head><style type=\"text/css\">\n\t\tbody,div,table,thead,tbody,tfoot,tr,th,td,p { "
       "font-family:\"Liberation Sans\"; font-size:x-small }\n\t\ta.comment-indicator:hover + comment { "
       "background:#ffd; position:absolute; display:block; border:1px solid black; padding:0.5em;  } \n"
       "\t\tcomment { display:none;  } \n\t</style></head><body><table>\n",
       tail, number},
      {"Gnumeric's page",
       "<html><head><style type=\"text/css\">\ntt {\n\tfont-family: courier;\n}\ntd {\n\tfont-family: helvetica, "
       "sans-serif;\n}\ncaption {\n\tfont-size: 14pt;\n\ttext-align: left;\n}\n</style></head><body>\n"
       "<p></p><table cellspacing=\"0\" cellpadding=\"3\">\n<caption>Sheet1</caption>\n",
       tail, number, "<tr>", "<td  valign=\"bottom\"  align=\"right\"  style=\" font-size:10pt;\">"},
      {"a style sheet that gives some cells a look",
       "<html><head><style>td.total { font-weight: bold }</style></head><body><table>\n", tail, number, "<tr>",
       "<td class=total>", "</td>", "</tr>\n", false},
      {"a nested table", nestedHead, nestedTail, number, "<tr>", "<td>", "</td>", "</tr>\n", true, true},
      {"paragraphs in a nested table", nestedHead, nestedTail, number, "<tr>", "<td><p>", "</p></td>", "</tr>\n",
       false, true},
      {"lone breaks in a nested table", nestedHead, nestedTail,
       [](int x, int y) { return x == 1 ? QByteArray("<br/>") : QByteArray::number(x + y); }, "<tr>", "<td>", "</td>",
       "</tr>\n", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray page = c.head;
    for (int y = 0; y < 70; ++y) {
      page += c.rowStart;
      for (int x = 0; x < 3; ++x) page += c.cellStart + c.cell(x, y) + c.cellEnd;
      page += c.rowEnd;
    }
    page += c.tail;
    const QString cells = openBothWays(page, c.name, c.plain);
    if (c.nested) {
      EXPECT_FALSE(cells.contains(u'|')) << cells.toStdString();
    } else {
      EXPECT_TRUE(cells.contains(QStringLiteral(",69="))) << cells.toStdString();
    }
  }
}

// LibreOffice Calc's and Gnumeric's pages of a sheet (tools/make_peer_sheet_pages.sh): a merged
// bold title row and bold headers above rows of dates, numbers, texts of one or two lines and
// empty cells, with the peers' style sheets, column groups, caption and attributes on every
// cell. The sheet reads them itself and makes the cells the rich text makes.
TEST_F(HtmlLongTableTest, ThePeersPagesOfASheetAreReadByTheSheet) {
  for (const char* name : {"ledger-libreoffice", "ledger-gnumeric"}) {
    SCOPED_TRACE(name);
    const QByteArray page = ReadFileBytes(TestDataPath(QStringLiteral("html/%1.html").arg(QLatin1String(name))));
    ASSERT_FALSE(page.isEmpty());
    const QString cells = openBothWays(page, name, true);
    // Gnumeric's caption is a line of its own above the table, as a browser shows it.
    EXPECT_TRUE(cells.contains(QStringLiteral(",2=Rent|")) || cells.contains(QStringLiteral(",4=Rent|")) ||
                (QByteArrayView(name) == "ledger-gnumeric" && cells.startsWith(QStringLiteral("0,0=Ledger|")) &&
                 cells.contains(QStringLiteral(",3=Rent|"))))
        << cells.left(300).toStdString();
    EXPECT_TRUE(cells.contains(QStringLiteral("=Rent\nJanuary|"))) << cells.toStdString();
  }
  // LibreOffice's value behind a number it shows plainly is the number, in whatever locale the
  // page is opened, in the first row (which the rich text reads) and the rows after it alike.
  const QString file = TestDataPath(QStringLiteral("html/ledger-libreoffice.html"));
  for (const char* locale : {"en_US", "de_DE", "fr_FR"}) {
    SCOPED_TRACE(locale);
    const TestLocale scope(locale);
    CADocument sheet;
    FLError error;
    ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
    const struct {
      GridPoint at;
      CANumber number;
    } numbers[] = {{{3, 2}, CANumber::withNumerator(-17617, 100)}, {{1, 3}, CANumber(1001)},
                   {{4, 3}, CANumber::withNumerator(-52532, 100)}, {{3, 71}, CANumber::withNumerator(16415, 100)}};
    for (const auto& n : numbers) {
      const CACell* cell = sheet.cellAtGridPoint(n.at);
      ASSERT_NE(cell, nullptr);
      EXPECT_EQ(cell->valueType(), kValueNumber) << cell->displayText(true).toStdString();
      EXPECT_EQ(cell->number().value_or(CANumber()), n.number) << cell->displayText(true).toStdString();
    }
  }
}

// The pages the sheet writes: a long table of plain cells (texts, numbers, aligned cells, empty
// cells, entities) is read by the sheet itself, any other through the rich text. Each is priced
// as the reading that takes it prices it, to the byte (the texts are ASCII, so its characters
// are its bytes), and either reading makes the same sheet of it.
TEST_F(HtmlLongTableTest, PagesTheSheetWritesArePricedByTheReadingThatTakesThem) {
  const auto grid = [](CADocument& d, int64_t firstRow, int64_t rows) {
    for (int64_t y = firstRow; y < firstRow + rows; ++y)
      for (int64_t x = 0; x < 4; ++x)
        d.cellAtGridPointImperative({x, y})->setFormula(x % 2 ? QStringLiteral("item %1").arg(y)
                                                              : QString::number(y * 10 + x) + (x == 2 ? ".5" : ""));
  };
  const auto format = [](CADocument& d, int64_t x, int64_t y, const std::function<void(CAFormat&)>& set) {
    CAFormat f;
    set(f);
    d.cellAtGridPointImperative({x, y})->setFormat(f);
  };
  struct Case {
    const char* name;
    std::function<void(CADocument&)> make;
    bool plain;  // read by the sheet itself
  };
  const Case cases[] = {
      {"numbers and words", [&](CADocument& d) { grid(d, 0, 70); }, true},
      {"aligned cells",
       [&](CADocument& d) {
         grid(d, 0, 70);
         format(d, 1, 30, [](CAFormat& f) { f.setAlignment(kAlignmentCenter); });
         format(d, 3, 31, [](CAFormat& f) { f.setAlignment(kAlignmentRight); });
         format(d, 0, 32, [](CAFormat& f) { f.setAlignment(kAlignmentLeft); });
         format(d, 2, 0, [](CAFormat& f) { f.setAlignment(kAlignmentCenter); });
       },
       true},
      {"empty cells and a far column",
       [&](CADocument& d) {
         for (int64_t y = 0; y < 70; ++y)
           for (int64_t x = 0; x < 3; ++x)
             if (y % 3 != 1 || x != 1) d.cellAtGridPointImperative({x, y})->setFormula(QString::number(x + y));
         d.cellAtGridPointImperative({9, 20})->setFormula(QStringLiteral("far"));
       },
       true},
      {"entities",
       [&](CADocument& d) {
         grid(d, 0, 70);
         d.cellAtGridPointImperative({1, 40})->setFormula(QStringLiteral("a <b> & \"c\""));
       },
       true},
      {"long texts",
       [&](CADocument& d) {
         grid(d, 0, 70);
         for (int64_t y = 0; y < 70; y += 7)
           d.cellAtGridPointImperative({1, y})->setFormula(QString(200'000, QChar(u'a' + char16_t(y % 26))));
       },
       true},
      {"too few rows", [&](CADocument& d) { grid(d, 0, 40); }, false},
      {"an empty first row", [&](CADocument& d) { grid(d, 1, 70); }, true},
      {"a bold cell",
       [&](CADocument& d) {
         grid(d, 0, 70);
         format(d, 1, 40, [](CAFormat& f) { f.setBold(true); });
       },
       true},
      {"a background",
       [&](CADocument& d) {
         grid(d, 0, 70);
         format(d, 2, 40, [](CAFormat& f) { f.setBackgroundKolor(0x640000FF); });
       },
       true},
      {"looks of every kind",
       [&](CADocument& d) {
         grid(d, 0, 70);
         format(d, 0, 41, [](CAFormat& f) { f.setItalic(true); });
         format(d, 1, 42, [](CAFormat& f) { f.setUnderline(true); });
         format(d, 2, 43, [](CAFormat& f) { f.setStrike(true); });
         format(d, 3, 44, [](CAFormat& f) {
           f.setUnderline(true);
           f.setStrike(true);
         });
         format(d, 0, 45, [](CAFormat& f) { f.setTextKolor(0x6400A0FF); });
         format(d, 1, 46, [](CAFormat& f) {
           f.setBold(true);
           f.setItalic(true);
           f.setTextKolor(0x64102030);
           f.setBackgroundKolor(0x6400FF00);
           f.setAlignment(kAlignmentCenter);
         });
         format(d, 2, 69, [](CAFormat& f) { f.setBold(true); });
       },
       true},
      {"a bold cell on a coloured page",
       [&](CADocument& d) {
         grid(d, 0, 70);
         CAFormat page = d.defaultFormat();
         page.setBackgroundKolor(0x64FFFFFF);
         d.setDefaultFormat(page);
         format(d, 1, 40, [](CAFormat& f) { f.setBold(true); });
         format(d, 2, 50, [](CAFormat& f) { f.setBackgroundKolor(0x64FFFFFF); });
         format(d, 3, 60, [](CAFormat& f) { f.setBackgroundKolor(0x64EEEEEE); });
       },
       true},
      {"stripes",
       [&](CADocument& d) {
         grid(d, 0, 70);
         d.setStripeInterval(2);
         d.setStripeKolor(0x6400FF00);
       },
       true},
      {"bold by default",
       [&](CADocument& d) {
         grid(d, 0, 70);
         CAFormat bold = d.defaultFormat();
         bold.setBold(true);
         d.setDefaultFormat(bold);
       },
       false},
      {"a link",
       [&](CADocument& d) {
         grid(d, 0, 70);
         d.cellAtGridPointImperative({3, 50})->setFormula(QStringLiteral("http://example.org/"));
       },
       false},
      {"a checkbox",
       [&](CADocument& d) {
         grid(d, 0, 70);
         CACell* box = d.cellAtGridPointImperative({1, 9});
         box->setValueType(kValueCheckbox);
         box->setChecked(true);
       },
       false},
      {"a line break in a text",
       [&](CADocument& d) {
         grid(d, 0, 70);
         d.cellAtGridPointImperative({1, 44})->setFormula(QStringLiteral("two\u2028lines"));
       },
       true},
      {"cells of several lines, in the first row too",
       [&](CADocument& d) {
         grid(d, 0, 70);
         d.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("Rent\nJanuary"));
         d.cellAtGridPointImperative({2, 0})->setFormula(QStringLiteral("Total\nof the year"));
         d.cellAtGridPointImperative({3, 50})->setFormula(QStringLiteral("a\n\nb\n"));
         format(d, 0, 60, [](CAFormat& f) { f.setBold(true); });
         d.cellAtGridPointImperative({0, 60})->setFormula(QStringLiteral("bold\nlines"));
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CADocument sheet;
    c.make(sheet);
    sheet.evaluate();
    const GridRange range{{0, 0}, sheet.maxGridPoint()};
    QByteArray page;
    ASSERT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &page, nullptr, kMaxDelimitedTextLength, nullptr));
    EXPECT_EQ(HtmlPageIsReadAsPlainTable(page), c.plain);
    const int64_t cost = c.plain ? PlainTableReadingCost(page) : RichTextHtmlCost(QByteArrayView(page));
    QByteArray again;
    FLError error;
    EXPECT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &again, &error, kMaxDelimitedTextLength, nullptr, cost))
        << error.reason.toStdString();
    EXPECT_EQ(again, page);
    EXPECT_FALSE(ExportRangeAsHtml(sheet, range, QString(), &again, &error, kMaxDelimitedTextLength, nullptr, cost - 1));
    // Refused for what makes it large: the plain cells' text, or what only the rich text reads.
    if (c.plain) {
      EXPECT_TRUE(error.reason == QLatin1String(kTextTooLargeReason) ||
                  error.reason == QLatin1String(kCellTextTooLargeReason))
          << error.reason.toStdString();
    } else {
      EXPECT_EQ(error.reason, QLatin1String(kPageRichCellsTooLargeReason));
    }

    const uint64_t before = PlainTablesRead();
    const auto direct = open(page, c.name);
    EXPECT_EQ(PlainTablesRead() - before, c.plain ? 1u : 0u);
    const auto rich = open(page, (std::string(c.name) + " rich").c_str());
    // The rich text's conversion drops a cell's last empty line, which the sheet's own reading
    // keeps: that cell aside, both make the same sheet.
    const QString lastLine = QStringLiteral("3,50=a\n\nb\n|");
    if (direct.second.contains(lastLine)) {
      QString same = direct.second;
      same.replace(lastLine, QStringLiteral("3,50=a\n\nb|"));
      EXPECT_EQ(same.toStdString(), rich.second.toStdString());
      continue;
    }
    EXPECT_EQ(direct.second.toStdString(), rich.second.toStdString());
    EXPECT_EQ(direct.first, rich.first);
  }
}

// A page priced as it is exported goes into the text its reader reads a piece at a time, never
// held whole beside that text, and is written from that text. Priced so, in pieces of any size,
// it is written byte for byte as it is made unpriced (and saved so) where its reading's own cost
// is the budget, and refused a byte below it for the same reason, whatever its characters (of
// one to four bytes in UTF-8, non-characters, a lone surrogate, a byte-order mark within a cell)
// and however its rows repeat.
TEST_F(HtmlLongTableTest, APagePricedPieceByPieceIsPricedAsItsWholeBytesAre) {
  const auto rows = [](CADocument& d, const QString& text) {
    for (int64_t y = 0; y < 70; ++y)
      for (int64_t x = 0; x < 3; ++x)
        d.cellAtGridPointImperative({x, y})->setFormula(x == 1 ? text + QString::number(y) : QString::number(y * 3 + x));
  };
  struct Case {
    const char* name;
    std::function<void(CADocument&)> make;
    bool picture = false;  // priced by the rich text whatever reads it
  };
  const Case cases[] = {
      {"ascii", [&](CADocument& d) { rows(d, QStringLiteral("item ")); }},
      {"two and three bytes a character", [&](CADocument& d) { rows(d, QStringLiteral("caf\u00E9 \u65E5\u672C ")); }},
      {"four bytes a character", [&](CADocument& d) { rows(d, QStringLiteral("\U0001F600 ")); }},
      {"non-characters", [&](CADocument& d) { rows(d, QStringLiteral("\uFDD0\U0001FFFE\U0010FFFF ")); }},
      {"a byte-order mark within a cell", [&](CADocument& d) { rows(d, QStringLiteral("\uFEFFmarked ")); }},
      {"a lone surrogate", [&](CADocument& d) { rows(d, QString(QChar(0xD800)) + u'x'); }},
      {"one long text",
       [&](CADocument& d) {
         rows(d, QStringLiteral("item "));
         d.cellAtGridPointImperative({1, 5})->setFormula(QString(300'000, u'\u00E9'));
       }},
      {"empty rows repeated",
       [&](CADocument& d) {
         rows(d, QStringLiteral("item "));
         d.cellAtGridPointImperative({1, 3000})->setFormula(QStringLiteral("far"));
       }},
      {"striped empty rows",
       [&](CADocument& d) {
         rows(d, QStringLiteral("item "));
         d.setStripeInterval(3);
         d.setStripeKolor(0x6400FF00);
         d.cellAtGridPointImperative({1, 300})->setFormula(QStringLiteral("far"));
       }},
      {"a picture",
       [&](CADocument& d) {
         rows(d, QStringLiteral("item "));
         d.cellAtGridPointImperative({2, 10})->setPicture(
             CAPicture::withFile(TestDataPath(QStringLiteral("images/opaque-3x2.png")), &d));
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CADocument sheet;
    c.make(sheet);
    sheet.evaluate();
    const GridRange range{{0, 0}, sheet.maxGridPoint()};
    QByteArray page;
    ASSERT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &page, nullptr, kMaxDelimitedTextLength, nullptr));
    const int64_t plain = c.picture ? -1 : PlainTableReadingCost(page);
    const int64_t cost = plain >= 0 ? plain : RichTextHtmlCost(QByteArrayView(page));
    QString firstReason;
    for (const qsizetype piece : {qsizetype(1), qsizetype(700), qsizetype(4) << 20}) {
      SCOPED_TRACE(piece);
      const qsizetype kept = SetHtmlExportPieceSize(piece);
      QByteArray again;
      FLError error;
      EXPECT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &again, &error, kMaxDelimitedTextLength, nullptr, cost))
          << error.reason.toStdString();
      EXPECT_EQ(again, page);
      EXPECT_FALSE(
          ExportRangeAsHtml(sheet, range, QString(), &again, &error, kMaxDelimitedTextLength, nullptr, cost - 1));
      EXPECT_EQ(error.code, kTextTooLargeCode);
      if (firstReason.isNull()) firstReason = error.reason;
      EXPECT_EQ(error.reason.toStdString(), firstReason.toStdString());
      if (!c.picture) {
        const bool keep = CADocument::keepHtmlExtension();
        CADocument::setKeepHtmlExtension(true);
        const QString file = path("priced.html");
        EXPECT_TRUE(sheet.saveToHtmlFile(file, &error)) << error.reason.toStdString();
        CADocument::setKeepHtmlExtension(keep);
        EXPECT_EQ(ReadFileBytes(file), page);
      }
      SetHtmlExportPieceSize(kept);
    }
  }
}

// A sheet of a few thousand cells saved as a page opens again with the same cells, read by the
// sheet itself.
TEST_F(HtmlLongTableTest, ASavedSheetOpensAgainWithItsCellsReadByTheSheet) {
  CADocument sheet;
  for (int64_t y = 0; y < 1000; ++y)
    for (int64_t x = 0; x < 4; ++x)
      sheet.cellAtGridPointImperative({x, y})->setFormula(x % 2 ? QStringLiteral("item %1 & more").arg(y)
                                                                : QString::number(y * 7 + x));
  sheet.evaluate();
  const bool keep = CADocument::keepHtmlExtension();
  CADocument::setKeepHtmlExtension(true);
  FLError error;
  const QString file = path("saved.html");
  const bool saved = sheet.saveToHtmlFile(file, &error);
  CADocument::setKeepHtmlExtension(keep);
  ASSERT_TRUE(saved) << error.reason.toStdString();
  const uint64_t before = PlainTablesRead();
  CADocument opened;
  ASSERT_EQ(opened.openFile(file, &error), kFileTypeHtml);
  EXPECT_EQ(PlainTablesRead() - before, 1u);
  // The cells that show what their neighbours overflow into are the sheet's own, and no file's.
  const auto held = [](const CADocument& d) {
    QStringList cells = CellSummary(d).split(u'|');
    cells.removeIf([](const QString& cell) { return cell.endsWith(u'='); });
    return cells.join(u'|').toStdString();
  };
  EXPECT_EQ(held(opened), held(sheet));
}

// LibreOffice Calc writes a cell's comment before its text, as a marker and an element its style
// sheet hides: the sheet reads the page itself, and the comments are no text of the cells.
TEST_F(HtmlLongTableTest, LibreOfficesCellCommentsAreNoTextOfTheCells) {
  const QByteArray head =
      "<html><head><style type=\"text/css\">\n\t\tbody,div,table,thead,tbody,tfoot,tr,th,td,p { "
      "font-family:\"Liberation Sans\"; font-size:x-small }\n\t\ta.comment-indicator:hover + comment { "
      "background:#ffd; position:absolute; display:block; border:1px solid black; padding:0.5em;  } \n"
      "\t\ta.comment-indicator { background:red; display:inline-block; border:1px solid black; width:0.5em; "
      "height:0.5em;  } \n\t\tcomment { display:none;  } \n\t</style></head><body>\n<table cellspacing=\"0\" "
      "border=\"0\">\n";
  const struct {
    const char* cell;  // as LibreOffice writes it, after "<td ...>"
    const char* text;  // the cell's text; null: none
  } cases[] = {
      {"<a class=\"comment-indicator\"></a>\n\t\t<comment>Paid late\nsecond &amp; line</comment>\n\t\tRent", "Rent"},
      {"<a class=\"comment-indicator\"></a>\n\t<comment>five</comment>\n\t5", "5"},
      {"<a class=\"comment-indicator\"></a>\n\t<comment>empty</comment>\n\t<br>", nullptr},
      {"<a class=\"comment-indicator\"></a>\n\t<comment><p>a</p><td>b</td></comment>\n\tRent<br>January",
       "Rent\nJanuary"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cell);
    QByteArray page = head;
    for (int y = 0; y < 70; ++y) {
      page += "\t<tr>\n\t\t<td height=\"17\" align=\"left\">";
      page += y == 30 ? QByteArray(c.cell) : "Item " + QByteArray::number(y);
      page += "</td>\n\t\t<td align=\"right\" sdval=\"" + QByteArray::number(y) + "\" sdnum=\"1033;\">" +
              QByteArray::number(y) + "</td>\n\t</tr>\n";
    }
    page += "</table>\n<!-- ************************************************************************** -->\n"
            "</body>\n\n</html>\n";
    const uint64_t before = PlainTablesRead();
    const auto opened = open(page, ("comments " + std::to_string(&c - cases)).c_str());
    EXPECT_EQ(PlainTablesRead() - before, 1u);
    EXPECT_TRUE(opened.second.contains(c.text ? QStringLiteral("|0,30=%1|1,30=30|").arg(QString::fromUtf8(c.text))
                                              : QStringLiteral("|1,29=29|1,30=30|")))
        << opened.second.toStdString();
    EXPECT_TRUE(opened.second.endsWith(QStringLiteral("0,69=Item 69|1,69=69"))) << opened.second.toStdString();
  }
}

// The sheet's reader of long tables reads the tree the rich text is built from: what the page's
// markup means (a bare attribute value, an entity in an attribute, an end implied or written
// where nothing is open, a comment, a declaration or a cell's comment hiding markup, a cell
// outside the table) is read once, so the sheet and the rich text make the same cells of it,
// and the sheet reads the pages whose rows stay plain itself.
TEST_F(HtmlLongTableTest, TheSheetAndTheRichTextReadOneTree) {
  const QByteArray head =
      "<html><head><style type=\"text/css\">comment { display:none; }</style></head><body><table>\n";
  const struct Case {
    const char* name;
    const char* row;    // row 30, whose cells hold "a30", "30" and "c" in every other row
    const char* cells;  // what the sheet holds of it
    bool plain;         // read by the sheet itself
    const char* before = "";  // markup before the table
  } cases[] = {
      {"a quote in a bare value", "<tr><td title=O'Brien>a30</td><td class=x\"y>30</td><td>c</td></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"a bare value ending in a slash", "<tr><td class=a/>a30</td><td>30</td><td>c</td></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"an entity in an attribute", "<tr><td align=\"&#114;ight\">a30</td><td>30</td><td>c</td></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"a cell's end where none is open", "<tr><td>a30</td></td><td>30</td></tr></tr><td>c</td></tr>",
       "|0,30=a30|1,30=30|0,31=c|", false},
      {"ends of a cell and a row written twice", "<tr><td>a30</td></td><td>30</td><td>c</td></tr></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"a paragraph the next cell ends", "<tr><td><p>a30<td><p>30</p><td>c</tr>", "|0,30=a30|1,30=30|2,30=c|",
       true},
      {"a comment hiding a cell", "<tr><td>a30<!-- </td><td>x --></td><td>30</td><td>c</td></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"a declaration hiding a cell", "<tr><td>a30<![CDATA[<td>]]></td><td>30</td><td>c</td></tr>",
       "|0,30=a30]]>|1,30=30|2,30=c|", true},
      {"a cell's comment hiding cells",
       "<tr><td><a class=\"comment-indicator\"></a><comment><td>x</td><tr></comment>a30</td><td>30</td>"
       "<td>c</td></tr>",
       "|0,30=a30|1,30=30|2,30=c|", true},
      {"a cell outside the table", "<tr><td>a30</td><td>30</td><td>c</td></tr>",
       "0,0=stray|0,1=a0|1,1=0|2,1=c|", false, "<td>stray</td>"},
      {"a row outside the table", "<tr><td>a30</td><td>30</td><td>c</td></tr>", "|0,30=a30|1,30=30|2,30=c|", true,
       "<tr></tr>"},
      {"a script's text", "<tr><td>a30</td><td>30</td><td>c</td></tr>", "|0,30=a30|1,30=30|2,30=c|", false,
       "<script>document.write('<td>x</td>')</script>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray page = head;
    page.replace("<table>", QByteArray(c.before) + "<table>");
    for (int y = 0; y < 70; ++y)
      page += y == 30 ? QByteArray(c.row) + "\n" : "<tr><td>a" + QByteArray::number(y) + "</td><td>" +
                                                        QByteArray::number(y) + "</td><td>c</td></tr>\n";
    page += "</table></body></html>\n";
    const QString cells = openBothWays(page, c.name, c.plain);
    EXPECT_TRUE(cells.contains(QString::fromUtf8(c.cells))) << cells.toStdString();
  }
}

// Cells of several lines with blanks beside their breaks, or empty lines, save as a page the sheet
// reads itself, priced at its rate, and open again with each text as it was.
TEST_F(HtmlLongTableTest, BlanksAndEmptyLinesOfCellsSurviveASaveAndAnOpen) {
  struct Case {
    const char* text;
    GridPoint at = {1, 1};
    bool bold = false;
    const char* reopened = nullptr;  // where it differs: the sheet shows no blank or line that ends a text
  } cases[] = {
      {"Rent \nJanuary"},      {"\nJanuary"},          {"Rent\n January"}, {"Rent\n"},
      {"Rent\n\n"},           {"\n\nx"},         {"  two  spaced  ", {1, 1}, false, "  two  spaced"},
      {"a \n b \n c"},        {"Rent\n January", {1, 1}, true},           {"Rent \nJanuary", {2, 0}},
      {"Rent\n January", {3, 0}}, {"x & <y> \n  \"z\""}, {"a\u00A0\n\u00A0b"},
      {"two  spaced  ", {1, 1}, false, "two  spaced"}, {"Rent ", {1, 1}, false, "Rent"},
      {"Rent\n", {2, 0}, false, "Rent"},    {" a \n", {2, 0}, false, " a "},
  };
  for (const Case& c : cases) {
    const QString text = QString::fromUtf8(c.text);
    SCOPED_TRACE(QString(text).replace(u'\n', QStringLiteral("\\n")).toStdString());
    CADocument sheet;
    for (int64_t y = 0; y < 100; ++y)
      for (int64_t x = 0; x < 5; ++x) sheet.cellAtGridPointImperative({x, y})->setFormula(QString::number(y * 5 + x));
    sheet.cellAtGridPointImperative(c.at)->setFormula(text);
    if (c.bold) {
      CAFormat bold;
      bold.setBold(true);
      sheet.cellAtGridPointImperative(c.at)->setFormat(bold);
    }
    sheet.evaluate();
    const GridRange range{{0, 0}, sheet.maxGridPoint()};
    QByteArray page;
    ASSERT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &page, nullptr, kMaxDelimitedTextLength, nullptr));
    const int64_t cost = PlainTableReadingCost(page);
    ASSERT_GT(cost, 0) << "not read by the sheet itself";
    EXPECT_LT(cost, RichTextHtmlCost(QByteArrayView(page)));
    QByteArray again;
    FLError error;
    EXPECT_TRUE(ExportRangeAsHtml(sheet, range, QString(), &again, &error, kMaxDelimitedTextLength, nullptr, cost))
        << error.reason.toStdString();

    const bool keep = CADocument::keepHtmlExtension();
    CADocument::setKeepHtmlExtension(true);
    const QString file = path("lines.html");
    const bool saved = sheet.saveToHtmlFile(file, &error);
    CADocument::setKeepHtmlExtension(keep);
    ASSERT_TRUE(saved) << error.reason.toStdString();
    const uint64_t before = PlainTablesRead();
    CADocument opened;
    ASSERT_EQ(opened.openFile(file, &error), kFileTypeHtml);
    EXPECT_EQ(PlainTablesRead() - before, 1u);
    const QString reopened = c.reopened ? QString::fromUtf8(c.reopened) : text;
    const QString cellText = QStringLiteral("%1,%2=").arg(c.at.x).arg(c.at.y) + reopened + u'|';
    EXPECT_TRUE(CellSummary(opened).contains(cellText)) << CellSummary(opened).left(300).toStdString();
    if (!c.reopened) { EXPECT_EQ(CellSummary(opened).toStdString(), CellSummary(sheet).toStdString()); }
    const CACell* cell = opened.cellAtGridPoint(c.at);
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(opened.formatForCell(cell, false).bold(), c.bold);
  }
}

// A page the rich text would take more memory for than an open may is refused before it is
// read, with the reason, opened or pasted; a long table the sheet reads itself is not.
TEST_F(HtmlLongTableTest, APageTooCostlyForTheRichTextIsRefusedBeforeItIsRead) {
  QByteArray page = "<html><body>";
  page.reserve(10'500'000);
  for (int i = 0; i < 2'600'000; ++i) page += "<p>x";
  page += "</body></html>";
  const QString file = path("paragraphs") + QStringLiteral(".html");
  ASSERT_TRUE(WriteFileBytes(file, page));
  CADocument sheet;
  FLError error;
  EXPECT_EQ(sheet.openFile(file, &error), 0);
  EXPECT_TRUE(error.reason.startsWith(QStringLiteral("The page is too large to open: reading it would take about ")))
      << error.reason.toStdString();
  EXPECT_TRUE(error.reason.endsWith(QStringLiteral(" GB of memory."))) << error.reason.toStdString();
  EXPECT_GT(RichTextHtmlCost(QString::fromLatin1(page)), kReaderMemoryBudget);
  EXPECT_TRUE(sheet.rows().empty());
  InstallFileFormatServices();
  CADocument pasted;
  EXPECT_FALSE(FileFormatServices().loadHtml(pasted, QString::fromLatin1(page)));

  // A table the sheet would read itself, so long that even that would take too much.
  QByteArray table = "<table>\n";
  table.reserve(40'000'000);
  for (int i = 0; i < 2'200'000; ++i) table += "<tr><td>1<td>2<td>3\n";
  const QString tableFile = path("long table") + QStringLiteral(".html");
  ASSERT_TRUE(WriteFileBytes(tableFile, table + "</table>"));
  table.clear();
  const uint64_t before = PlainTablesRead();
  error = FLError();
  EXPECT_EQ(sheet.openFile(tableFile, &error), 0);
  EXPECT_TRUE(error.reason.startsWith(QStringLiteral("The page is too large to open"))) << error.reason.toStdString();
  EXPECT_EQ(PlainTablesRead(), before);
}

// What an open of a long table hands to the rich text, its first row, is priced at the rich
// text's rate with the rest, and a page whose bytes alone tell that it would take too much is
// refused before it is read: each with the reason.
TEST_F(HtmlLongTableTest, WhatAPageWouldTakeIsKnownBeforeItIsPaid) {
  const auto rows = [](int count) { return QByteArray("<tr><td>1</td><td>2</td></tr>\n").repeated(count); };
  struct Case {
    const char* name;
    std::function<QByteArray()> page;
    bool read;  // read whole before it is refused
  };
  const Case cases[] = {
      {"a long first row", [&] { return "<table><tr><td>" + QByteArray(130'000'000, 'x') + "</td><td>2</td></tr>\n" +
                                        rows(70) + "</table>"; },
       true},
      {"tags", [] { return QByteArray("<b>").repeated(7'000'000); }, false},
      // Sums of many cells apart from one another: the sheet holds a record of each cell they
      // name as well as their text (sums of neighbouring cells hold one for each run of them).
      {"rows of long sums",
       [] {
         QByteArray sum = "=B1";
         for (int k = 3; k < 100'000; k += 2) sum += "+B" + QByteArray::number(k);
         return "<table>\n" + ("<tr><td>" + sum + "</td><td>k</td></tr>\n").repeated(200) + "</table>";
       },
       true},
      {"a long table", [] { return "<table>\n" + QByteArray("<tr><td>1<td>2\n").repeated(2'100'000) + "</table>"; },
       false},
      // Each line of a <pre> becomes a paragraph of the rich text, then a row with a cell.
      {"lines of a pre", [] { return "<pre>" + QByteArray("1\n").repeated(2'600'000) + "</pre>"; }, true},
      {"lines kept by a style",
       [] { return "<div style=\"white-space: pre\">" + QByteArray("1\n").repeated(2'600'000) + "</div>"; }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(c.name) + QStringLiteral(".html");
    {
      const QByteArray page = c.page();
      ASSERT_TRUE(WriteFileBytes(file, page));
    }
    const uint64_t read = HtmlPagesRead(), plain = PlainTablesRead();
    CADocument sheet;
    FLError error;
    EXPECT_EQ(sheet.openFile(file, &error), 0);
    EXPECT_TRUE(error.reason.startsWith(QStringLiteral("The page is too large to open: reading it would take about ")))
        << error.reason.toStdString();
    EXPECT_EQ(HtmlPagesRead() - read, c.read ? 1u : 0u);
    EXPECT_EQ(PlainTablesRead(), plain);
    QFile::remove(file);
  }
}

// "=B1+B2+...": `count` references from `first`, each `step` apart down column B (or along row 1
// from column A, `across`).
QByteArray Sum(int first, int count, int step = 1, bool across = false) {
  QByteArray sum = "=";
  for (int k = 0; k < count; ++k) {
    if (k > 0) sum += '+';
    const int at = first + k * step;
    sum += across ? FormatGridPoint(at - 1, 0).toLatin1() : "B" + QByteArray::number(at);
  }
  return sum;
}

// The cells a page's formulas name one by one, which the sheet keeps a record of each: each cell
// once a formula, the cells of runs of neighbours, a range's corners and functions' names not.
TEST_F(HtmlLongTableTest, FormulasArePricedByTheCellsTheyNameOneByOne) {
  const struct {
    QByteArray html;
    int64_t characters, named;
  } cases[] = {
      {"<td>=B1+B3</td>", 6, 2},
      {"<td>=$B$1+B1+b1+$B1</td>", 15, 1},
      {"<td>=SUM(B1:B9)+LOG10(A1)</td>", 21, 1},
      {"<td>=1E5+A1*2+A2.5</td>", 14, 1},
      {"<td>" + Sum(1, 16) + "</td>", Sum(1, 16).size(), 0},
      {"<td>" + Sum(1, 15) + "</td>", Sum(1, 15).size(), 15},
      {"<td>" + Sum(1, 16, 1, true) + "</td>", Sum(1, 16, 1, true).size(), 0},
      {"<td>" + Sum(1, 8) + "+" + Sum(10, 8).mid(1) + "</td>", Sum(1, 8).size() + Sum(10, 8).size(), 16},
      {"<td>" + Sum(1, 20, 2) + "</td>", Sum(1, 20, 2).size(), 20},
      {"<td>=B1+B2</td><td>=B2+B1</td>", 12, 4},
      {"<td>=A1:A3+C1:C2+D1</td>", 15, 1},
      {"<p>B1+B2</p>", 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.left(60).toStdString());
    int64_t longest = 0, named = -1;
    EXPECT_EQ(HtmlFormulaCharacters(QString::fromLatin1(c.html), &longest, &named), c.characters);
    EXPECT_EQ(named, c.named);
  }
}

// Long tables of formulas open read by the sheet with the values their formulas give entered
// by hand, and are charged near what they take: at least, and at most two and a half times,
// what such pages were measured to take (bench/benchHtmlReader, BM_UnitCost: bytes a byte of
// page, and bytes a cell named one by one outside a run).
TEST_F(HtmlLongTableTest, PagesOfFormulasOpenWithTheirValuesChargedNearWhatTheyTake) {
  struct Case {
    const char* name;
    QByteArray formula;
    double bytesPerByte;  // measured
    int64_t named;        // cells named one by one, a row
  };
  const Case cases[] = {
      {"sums of neighbouring cells", Sum(1, 2000), 4.2, 0},
      {"sums of cells apart", Sum(1, 2000, 2), 4.2, 2000},
      {"one cell again and again", "=B1" + QByteArray("+B1").repeated(2000), 4.0, 1},
      {"sums of numbers", "=1" + QByteArray("+2").repeated(3000), 3.1, 0},
  };
  constexpr int kRows = 200;
  constexpr double kNamedCellBytes = 116;  // measured
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QByteArray page = "<table>\n";
    for (int y = 1; y <= kRows; ++y)
      page += "<tr><td>" + c.formula + "</td><td>" + QByteArray::number(y) + "</td></tr>\n";
    page += "</table>\n";
    ASSERT_TRUE(HtmlPageIsReadAsPlainTable(page));
    const double measured = c.bytesPerByte * double(page.size()) + kNamedCellBytes * double(c.named * kRows);
    const int64_t charged = PlainTableReadingCost(page);
    EXPECT_GE(double(charged), measured);
    EXPECT_LE(double(charged), 2.5 * measured);

    const QString file = path(c.name) + QStringLiteral(".html");
    ASSERT_TRUE(WriteFileBytes(file, page));
    const uint64_t plain = PlainTablesRead();
    CADocument sheet;
    FLError error;
    ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
    EXPECT_EQ(PlainTablesRead() - plain, 1u);
    CADocument typed;
    for (int y = 0; y < kRows; ++y) {
      typed.cellAtGridPointImperative({0, y})->setFormula(QString::fromLatin1(c.formula));
      typed.cellAtGridPointImperative({1, y})->setFormula(QString::number(y + 1));
    }
    typed.evaluate();
    sheet.evaluate();
    EXPECT_EQ(CellSummary(sheet), CellSummary(typed));
    for (int y = 0; y < kRows; ++y) {
      const CACell* opened = sheet.cellAtGridPoint({0, y});
      const CACell* entered = typed.cellAtGridPoint({0, y});
      ASSERT_TRUE(opened && entered) << y;
      EXPECT_EQ(opened->valueType(), kValueFormula) << y;
      EXPECT_EQ(opened->number(), entered->number()) << y;
    }
    // A cell a formula names changes the formulas' values as it does typed.
    sheet.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("1000"));
    typed.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("1000"));
    sheet.evaluate();
    typed.evaluate();
    ASSERT_NE(sheet.cellAtGridPoint({0, 0}), nullptr);
    ASSERT_NE(typed.cellAtGridPoint({0, 0}), nullptr);
    EXPECT_EQ(sheet.cellAtGridPoint({0, 0})->number(), typed.cellAtGridPoint({0, 0})->number());
  }
}

// Pricing a page within a budget stops once past it, and says so, rather than reading the rest:
// a sheet's page too large to save is told without reading it whole (a row of a wide span over
// thousands of rows takes gigabytes read whole).
TEST_F(HtmlLongTableTest, APageIsPricedNoFurtherThanTheBudget) {
  const QByteArray rows = QByteArray("<tr><td>y</td><td>12</td></tr>\n").repeated(20000);
  const struct {
    const char* name;
    QByteArray page;
    bool readWhole;  // small enough to be read whole as well
  } cases[] = {
      {"plain cells", "<table>\n" + rows + "</table>\n", true},
      {"a head row, then plain cells", "<table><tr><th>a</th><th>b</th></tr>\n" + rows + "</table>\n", true},
      {"a wide span, then plain cells", "<table><tr><td colspan=20480>w</td></tr>\n" + rows + "</table>\n", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.readWhole) {
      // No long table of plain cells (its first row spans more columns than the sheet's table
      // holds): past the budget, or left to the rich text, which prices it apart, each row by the
      // cells it makes rather than as wide as the span.
      for (const int64_t budget : {int64_t(1) << 24, int64_t(1) << 28}) {
        const int64_t cost = PlainTableReadingCost(c.page, budget);
        EXPECT_TRUE(cost == -1 || cost > budget) << cost;
      }
      EXPECT_LT(RichTextHtmlCost(QByteArrayView(c.page)), int64_t(c.page.size()) * kHtmlCellCost);
      continue;
    }
    const int64_t whole = PlainTableReadingCost(c.page);
    ASSERT_GT(whole, 0);
    for (const int64_t budget : {whole / 8, whole / 2, whole - 1}) EXPECT_GT(PlainTableReadingCost(c.page, budget), budget);
    EXPECT_EQ(PlainTableReadingCost(c.page, whole), whole);
    EXPECT_EQ(PlainTableReadingCost(c.page, whole + 1), whole);
  }
  EXPECT_EQ(PlainTableReadingCost("<p>no table</p>", int64_t(1) << 30), -1);
}

// A cell spanning columns reads as the cell followed by the empty cells it covers, however far
// it reaches past the sheet's table: the sheet comes out the same, with its cells, their looks
// and their places, while the columns only spans cover are not made one by one.
TEST_F(HtmlLongTableTest, ASpanReadsAsTheEmptyCellsItCovers) {
  const auto empties = [](int count) { return QByteArray("<td></td>").repeated(count); };
  const struct {
    const char* name;
    QByteArray spanned, written;  // the table's rows with spans, and with the cells they cover
  } cases[] = {
      {"rows of one wide span", QByteArray("<tr><td colspan=300>x</td></tr>").repeated(5),
       ("<tr><td>x</td>" + empties(299) + "</tr>").repeated(5)},
      {"a cell after a far span", QByteArray("<tr><td>a</td><td colspan=250></td><td>b</td></tr>").repeated(3),
       ("<tr><td>a</td>" + empties(250) + "<td>b</td></tr>").repeated(3)},
      {"a coloured span, and a short row",
       "<tr><td colspan=150 bgcolor=red>c</td><td>d</td></tr><tr><td>e</td></tr><tr><td>f</td><td>g</td></tr>",
       "<tr><td bgcolor=red>c</td>" + empties(149) + "<td>d</td></tr><tr><td>e</td></tr><tr><td>f</td><td>g</td></tr>"},
      {"a span over rows and columns", "<tr><td rowspan=2 colspan=200>r</td><td>s</td></tr><tr><td>t</td></tr>",
       "<tr><td>r</td>" + empties(199) + "<td>s</td></tr><tr>" + empties(200) + "<td>t</td></tr>"},
      {"widths around a span", "<tr><td width=40>w</td><td colspan=120></td><td width=50>z</td><td>q</td></tr>",
       "<tr><td width=40>w</td>" + empties(120) + "<td width=50>z</td><td>q</td></tr>"},
      {"a span within the sheet's table", "<tr><td colspan=7>h</td><td>i</td></tr><tr><td>j</td></tr>",
       "<tr><td>h</td>" + empties(6) + "<td>i</td></tr><tr><td>j</td></tr>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto spanned = open("<p>before</p><table>" + c.spanned + "</table><p>after</p>",
                              (std::string(c.name) + " spanned").c_str());
    const auto written = open("<p>before</p><table>" + c.written + "</table><p>after</p>",
                              (std::string(c.name) + " written").c_str());
    EXPECT_EQ(spanned.second.toStdString(), written.second.toStdString());
    EXPECT_EQ(spanned.first, written.first);
  }
}

}  // namespace
