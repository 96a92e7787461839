// HTML of the sheet: pages become cells as LibreOffice Calc reads them, paragraphs, lists,
// links, tables and pictures each find their cells; the page written for a sheet is well-formed
// XHTML with the style sheet and cell styles the sheet asks for, and reads back as the same cells.
#include "ImportAlertRecorder.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/FLKernel.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextDocument>
#include <QTextList>

namespace {

class HtmlTest : public RichTextTest {
 protected:
  QString read(const QString& html) {
    CADocument sheet;
    QTextDocument text;
    text.setHtml(html);
    EXPECT_TRUE(sheet.loadAttributedString(text)) << html.toStdString();
    return CellSummary(sheet);
  }
  // The cells of the page opened as a file and pasted, which must agree; "refused" with the
  // open's reason where it is not opened.
  std::string openAndPaste(const QByteArray& html, const char* name) {
    const QString file = path(name) + QStringLiteral(".html");
    EXPECT_TRUE(WriteFileBytes(file, html));
    CADocument opened;
    FLError error;
    const bool open = opened.openFile(file, &error) == kFileTypeHtml;
    InstallFileFormatServices();
    CADocument pasted;
    EXPECT_EQ(FileFormatServices().loadHtml(pasted, QString::fromUtf8(html)), open) << name;
    if (!open) return "refused: " + error.reason.toStdString();
    EXPECT_EQ(CellSummary(pasted).toStdString(), CellSummary(opened).toStdString()) << name;
    return CellSummary(opened).toStdString();
  }
  QString page() {
    QString html;
    EXPECT_TRUE(ExportRangeAsHtml(document, document.extent(), QString(), &html, nullptr));
    return html;
  }
};

// Each cell's text as entered, "x,y=text" joined by "|": what a CSV file and a page must share.
QString Texts(const CADocument& sheet) {
  QStringList parts;
  for (const std::unique_ptr<CARow>& row : sheet.rows())
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &sheet);
      parts << QStringLiteral("%1,%2=%3").arg(cell->gridPoint().x).arg(cell->gridPoint().y).arg(cell->displayText(true));
    }
  return parts.join(u'|');
}

// xmllint's verdict on the page; the test is skipped without it.
void ExpectWellFormed(const QString& file) {
  const QString xmllint = QStandardPaths::findExecutable(QStringLiteral("xmllint"));
  if (xmllint.isEmpty()) GTEST_SKIP() << "xmllint is not installed";
  QProcess lint;
  lint.start(xmllint, {QStringLiteral("--noout"), QStringLiteral("--nonet"), file});
  ASSERT_TRUE(lint.waitForFinished(30000));
  EXPECT_EQ(lint.exitCode(), 0) << lint.readAllStandardError().toStdString();
}

TEST_F(HtmlTest, PagesGiveTheCellsAnotherSpreadsheetReads) {
  for (const char* name : {"prices", "people", "quarters"}) {
    CADocument page, expected;
    FLError error;
    const QString base = TestDataPath(QStringLiteral("html/"));
    ASSERT_EQ(page.openFile(base + QLatin1String(name) + QStringLiteral(".html"), &error), kFileTypeHtml) << name;
    ASSERT_EQ(expected.openFile(base + QStringLiteral("expected/") + QLatin1String(name) + QStringLiteral(".csv"), &error),
              kFileTypeCsv);
    EXPECT_EQ(Texts(page).toStdString(), Texts(expected).toStdString()) << name;
  }
}

TEST_F(HtmlTest, ParagraphsListsLinksAndTablesFindTheirCells) {
  const struct {
    const char* html;
    const char* cells;
  } cases[] = {
      {"<p>a<br/>b  </p><p>c</p>", "0,0=a|0,1=b|0,2=c"},
      {"<p>w</p><ul><li>x</li><li>y</li></ul><p>z</p>", "0,0=w|0,1=x|0,2=y|0,3=z"},
      {"<ol><li>one<ol><li>inner</li></ol></li><li>two</li></ol>", "0,0=one|0,1=inner|0,2=two"},
      // A link among words shows them all and keeps its address.
      {"<p>see <a href=\"http://e.org/\">the <b>site</b></a></p>", "0,0=http://e.org/>see the site"},
      {"<p><a href=\"http://e.org/\">the <b>site</b></a></p>", "0,0=http://e.org/>the site"},
      {"<p>Hello <a href=\"http://e.org/\">world</a>!</p>", "0,0=http://e.org/>Hello world!"},
      // A table inside a cell gives its words to that cell.
      {"<table><tr><td>out <table><tr><td>in1</td><td>in2</td></tr></table></td><td>b</td></tr></table>",
       "0,0=out in1 in2|1,0=b"},
      // A cell's lines are one text, a line break between them; breaks that end it show nothing.
      {"<p>top</p><table><tr><td>a<p></p></td><td>b<br/>c</td></tr><tr><td></td><td>d</td></tr></table><p>end</p>",
       "0,0=top|0,1=a|1,1=b\nc|1,2=d|0,3=end"},
      {"<html><body></body></html>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(read(QString::fromUtf8(c.html)).toStdString(), c.cells) << c.html;
}

// Both peers write a cell of two lines with a line break; opened as a file or pasted, the cell
// keeps both lines as a cell of a delimited text does, however the page around it is written.
TEST_F(HtmlTest, ALineBreakInACellKeepsBothLinesOpenedOrPasted) {
  InstallFileFormatServices();
  // A long table, which the sheet's own reader takes unless a row of it holds more than text.
  QString longTable = QStringLiteral("<html><body><table>");
  for (int y = 0; y < 100; ++y)
    longTable += y == 40 ? QStringLiteral("<tr><td>Rent<br>January</td><td>40</td></tr>")
                         : QStringLiteral("<tr><td>r%1</td><td>%1</td></tr>").arg(y);
  longTable += QStringLiteral("</table></body></html>");
  const struct {
    QString html;
    GridPoint at;
    const char* text;
  } cases[] = {
      {QStringLiteral("<table><tr><td>Rent<br>January</td><td>5</td></tr></table>"), {0, 0}, "Rent\nJanuary"},
      {QStringLiteral("<table border=\"1\">\n<tr>\n  <td>Rent<br>\nJanuary</td>\n  <td align=\"right\">5</td>\n"
                      "</tr>\n</table>\n"),
       {0, 0}, "Rent\nJanuary"},
      {QStringLiteral("<table><tr><td><p>Rent<br />January<br />2025</p></td></tr></table>"), {0, 0},
       "Rent\nJanuary\n2025"},
      {QStringLiteral("<table><tr><td><b>Rent</b><br>January<br></td></tr></table>"), {0, 0}, "Rent\nJanuary"},
      {QStringLiteral("<table><tr><td>Rent<p>January</p></td></tr></table>"), {0, 0}, "Rent\nJanuary"},
      {longTable, {0, 40}, "Rent\nJanuary"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.left(80).toStdString());
    const QString file = path("lines.html");
    ASSERT_TRUE(WriteFileBytes(file, c.html.toUtf8()));
    CADocument opened, pasted;
    FLError error;
    ASSERT_EQ(opened.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
    ASSERT_TRUE(FileFormatServices().loadHtml(pasted, c.html));
    for (const CADocument* sheet : {&opened, &pasted}) {
      const CACell* cell = sheet->cellAtGridPoint(c.at);
      ASSERT_TRUE(cell);
      EXPECT_EQ(cell->displayText(true).toStdString(), c.text);
      // The row's other cell stays in its column.
      if (c.html.contains(QLatin1String("<td>40</td>")) || c.html.contains(QLatin1String(">5</td>"))) {
        ASSERT_TRUE(sheet->cellAtGridPoint({1, c.at.y}));
      }
    }
  }
}

// A page is counted before it is read by its character set, a character a byte in a one-byte set
// and in Latin-1 (what a page that declares none is read in when it is no UTF-8), a character's
// first byte in UTF-8, a unit in UTF-16, a quarter of the bytes in another set; and it is decoded
// a piece at a time, a character split between pieces read whole.
TEST_F(HtmlTest, APageIsCountedAndDecodedByItsCharacterSet) {
  const QByteArray shiftJis = QByteArray::fromHex("93fa967b8cea8365834c83588367");
  QByteArray utf16 = "\xFF\xFE";
  for (const QChar c : QStringLiteral("<p>caf\u00E9</p>"))
    utf16 += QByteArray(1, char(c.unicode() & 0xFF)) + QByteArray(1, char(c.unicode() >> 8));
  const struct {
    const char* name;
    QByteArray page;
    int64_t characters, tags;  // at the least
    const char* cell;  // A1
  } cases[] = {
      {"windows-1252", "<meta charset=\"windows-1252\"><p>caf\xE9 \x80</p><p>" + QByteArray(3000, '\xA0') + "x</p>",
       3050, 3, "caf\u00E9 \u20AC"},
      {"latin-1 undeclared", "<p>caf\xE9</p><p>" + QByteArray(3000, '\xA0') + "</p>", 3018, 2, "caf\u00E9"},
      {"utf-8 undeclared", "<p>caf\xC3\xA9</p><p>" + QByteArray("\xC3\xA9").repeated(3000) + "</p>", 3018, 2,
       "caf\u00E9"},
      {"utf-16", utf16, 11, 0, "caf\u00E9"},
      {"shift_jis", "<meta charset=\"Shift_JIS\"><p>" + shiftJis + "</p>", 47 / 4, 2,
       "\u65E5\u672C\u8A9E\u30C6\u30AD\u30B9\u30C8"},
      // Read as browsers read them: Latin-1, ASCII and undeclared single-byte pages as
      // windows-1252, bytes that are no UTF-8 under a UTF-8 label too, and a UTF-16 label over
      // bytes without a byte-order mark as UTF-8.
      {"windows-1252 undeclared", "<p>5 \x80 \x93q\x94</p>", 14, 1, "5 \u20AC \u201Cq\u201D"},
      {"windows-1252 labelled utf-8", "<meta charset=\"utf-8\"><p>caf\xE9 \x80</p>", 35, 2, "caf\u00E9 \u20AC"},
      {"windows-1252 labelled iso-8859-1",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"><p>\x85\x99</p>", 81, 2,
       "\u2026\u2122"},
      {"windows-1252 labelled us-ascii", "<meta charset=us-ascii><p>\x80</p>", 31, 2, "\u20AC"},
      {"utf-8 labelled utf-16", "<meta charset=\"utf-16\"><p>caf\xC3\xA9 \xE2\x82\xAC</p>", 36, 2,
       "caf\u00E9 \u20AC"},
      {"utf-8 labelled utf-16le", "<meta charset=utf-16le><p>\xE6\x97\xA5</p>", 31, 2, "\u65E5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(c.name) + QStringLiteral(".html");
    ASSERT_TRUE(WriteFileBytes(file, c.page));
    EXPECT_EQ(HtmlFileLeastCost(file), c.characters * kPlainTableCharacterCost + c.tags * kPlainTableElementCost);
    for (const qsizetype piece : {qsizetype(3), qsizetype(1) << 20}) {
      const qsizetype kept = SetHtmlDecodingPieceSize(piece);
      CADocument sheet;
      FLError error;
      const int type = sheet.openFile(file, &error);
      SetHtmlDecodingPieceSize(kept);
      ASSERT_EQ(type, kFileTypeHtml) << error.reason.toStdString();
      ASSERT_TRUE(sheet.cellAtGridPoint({0, 0}));
      ASSERT_NE(sheet.cellAtGridPoint({0, 0}), nullptr);
      EXPECT_EQ(sheet.cellAtGridPoint({0, 0})->displayText(true).toStdString(), c.cell) << piece;
    }
  }
}

// Whether a page is read as UTF-8 is told from its start, as the reader tells it: by a
// byte-order mark, or a declaration within the first kilobyte, where Latin-1, ASCII and any
// other single- or multi-byte set are not UTF-8 and a UTF-16 label over bytes without a mark is.
// A page with a mark is left to be read whole.
TEST_F(HtmlTest, APagesStartTellsWhetherItIsReadAsUtf8) {
  const struct {
    const char* name;
    QByteArray start;
    bool utf8;
  } cases[] = {
      {"undeclared", "<p>caf\xC3\xA9</p>", true},
      {"declared utf-8", "<meta charset=\"utf-8\"><p>x</p>", true},
      {"declared in http-equiv",
       "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\" /><p>x</p>", true},
      {"labelled utf-16 without a mark", "<meta charset=\"utf-16\"><p>x</p>", true},
      {"declared windows-1252", "<meta charset=\"windows-1252\"><p>x</p>", false},
      {"declared iso-8859-1", "<meta charset=iso-8859-1><p>x</p>", false},
      {"declared us-ascii", "<meta charset=us-ascii><p>x</p>", false},
      {"declared shift_jis", "<meta charset=\"Shift_JIS\"><p>x</p>", false},
      {"a utf-8 byte-order mark", "\xEF\xBB\xBF<p>x</p>", false},
      {"a utf-16 byte-order mark", QByteArray("\xFF\xFE<\0p\0>\0", 8), false},
      {"declared past the first kilobyte",
       "<html><head>" + QByteArray(1100, ' ') + "<meta charset=\"windows-1252\"></head>", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HtmlPageIsReadAsUtf8(c.start), c.utf8);
  }
}

// A page nested deeper than any real one is refused before the HTML reader sees it (which would
// take minutes over it); a long table whose cells each leave a <b> open nests no deeper and opens.
TEST_F(HtmlTest, DeeplyNestedPagesAreRefusedAtOnce) {
  const struct {
    const char* name;
    QByteArray html;
    bool opens;
  } cases[] = {
      {"divs.html", QByteArray("<div>").repeated(100000) + "x", false},
      {"tables.html", QByteArray("<table><tr><td>").repeated(100000) + "x", false},
      {"bold.html", QByteArray("<b>").repeated(100000) + "x", false},
      {"cells.html", "<table>" + QByteArray("<tr><td><b>a<td><b>b").repeated(2000) + "</table>", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFileBytes(path(c.name), c.html));
    CADocument sheet;
    FLError error;
    // "At once" is counted, not timed (the time is benchHostilePages's): the page is read
    // once, and the HTML reader never gets it.
    const uint64_t read = HtmlPagesRead(), given = HtmlPagesGivenToRichText();
    const int type = sheet.openFile(path(c.name), &error);
    EXPECT_EQ(HtmlPagesRead(), read + 1);
    if (c.opens) {
      EXPECT_EQ(type, kFileTypeHtml);
      ASSERT_NE(sheet.cellAtGridPoint({1, 1999}), nullptr);
      EXPECT_EQ(sheet.cellAtGridPoint({1, 1999})->displayText(true), QStringLiteral("b"));
    } else {
      EXPECT_NE(type, kFileTypeHtml);
      // The alert says why.
      EXPECT_EQ(error.reason, HtmlTooDeepReason());
      EXPECT_EQ(HtmlPagesGivenToRichText(), given);
    }
  }
}

// The text of a script, a style sheet, a comment, a title or a text area is no markup: a "<td>"
// in it makes no cell, opened or pasted, and the style sheet still gives the cells its look.
TEST_F(HtmlTest, TheTextOfScriptsAndStyleSheetsMakesNoCells) {
  const QByteArray table = "<body><table><tr><td>1</td></tr></table></body>";
  const struct {
    const char* name;
    QByteArray html;
    const char* cells;
  } cases[] = {
      {"style", "<head><style>/* <td>x</td> */ td{padding:1px}</style></head>" + table, "0,0=1"},
      {"style in a comment", "<head><style><!-- /* <td>x</td> */ td{padding:1px} --></style></head>" + table,
       "0,0=1"},
      {"script", "<head><script>var s = \"<td>x</td>\"; if (a <b) {}</script></head>" + table, "0,0=1"},
      {"script in the body", "<body><script type='text/javascript'>document.write('<table><tr><td>x</td></tr>')"
                             "</SCRIPT><table><tr><td>1</td></tr></table></body>",
       "0,0=1"},
      {"comment", "<body><!-- <td>x</td> -->" + table.sliced(6), "0,0=1"},
      {"title", "<head><title>Prices <td>x</td></title></head>" + table, "0,0=1"},
      {"text area", "<body><textarea name=t><td>x</td></textarea><table><tr><td>1</td></tr></table>",
       "0,0=<td>x</td>|0,1=1"},
      {"a script never closed", table + "<script>if (a < b) s = '<td>x</td>';", "0,0=1"},
      {"an element named like a script", "<body><script-x>a</script-x><table><tr><td>1</td></tr></table>",
       "0,0=a|0,1=1"},
  };
  for (const auto& c : cases) EXPECT_EQ(openAndPaste(c.html, c.name), c.cells) << c.name;
  // The style sheet is read as it is written.
  const QByteArray styled =
      "<head><style>/* <td>x</td> */ td { font-weight: bold }</style></head><body><table><tr><td>1</td></tr></table>";
  ASSERT_TRUE(WriteFileBytes(path("bold.html"), styled));
  CADocument sheet;
  FLError error;
  ASSERT_EQ(sheet.openFile(path("bold.html"), &error), kFileTypeHtml);
  ASSERT_NE(sheet.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_TRUE(sheet.formatForCell(sheet.cellAtGridPoint({0, 0}), true).bold());
}

// The reader reads the page as this program reads it: the cells are those a browser shows,
// opened or pasted.
TEST_F(HtmlTest, TheReaderIsHandedThePageAsThisProgramReadsIt) {
  const struct {
    const char* name;
    QByteArray html;
    const char* cells;
  } cases[] = {
      {"tags re-written", "<TD COLSPAN=\" +3\" Title='a \"q\" &amp; &#98;' 9x=1 checked/>x", "0,0=x"},
      {"less-than signs in text", "<p>a < b</p><p>1 <2 </ p></p>", "0,0=a < b|0,1=1 <2 </ p>"},
      {"comments and declarations", "<?xml version=\"1.0\"?><!DOCTYPE html>\n<p>a<!-- x --> b</p>", "0,0=ab"},
      {"entities in a link", "<p><a href=\"http://e.org/?a=1&amp;b=2&c=&#51;\">x</a></p>",
       "0,0=http://e.org/?a=1&b=2&c=3>x"},
      {"a colour as an entity", "<table><tr><td><font color=\"&#35;ff0000\">red</font></td></tr></table>", "0,0=red"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(openAndPaste(c.html, c.name), c.cells);
  }
  ASSERT_EQ(document.openFile(path("a colour as an entity.html"), nullptr), kFileTypeHtml);
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->format()->textKolor(), Kolor(0x640000FF));
}

// The rich text makes each row as wide as the columns its own cells start in: the columns a span
// covers make no cells, so the page is priced by the cells it writes, and a page whose spans
// would be laid out over more columns than its size allows is refused with the reason, opened or
// pasted.
TEST_F(HtmlTest, TheCellsSpansMakeArePricedWithThePage) {
  const auto rows = [](int count, const QByteArray& row) { return "<table>" + row.repeated(count) + "</table>"; };
  QByteArray staircase = "<table>";
  for (int y = 0; y < 3000; ++y) staircase += "<tr><td rowspan=3000>" + QByteArray::number(y) + "</td></tr>";
  staircase += "</table>";
  std::string strayQuoteCells;
  for (int y = 0; y < 40; ++y) strayQuoteCells += "0," + std::to_string(y) + "=x|";
  strayQuoteCells += "0,40=after";
  const struct {
    const char* name;
    QByteArray html;
    int64_t spanned;  // the cells no tag stands for, which are not made
    const char* cells;  // nullptr: refused
  } cases[] = {
      {"spans", "<table><tr><td colspan=3>a</td></tr><tr><td>1</td><td>2</td><td>3</td></tr></table>", 2,
       "0,0=a|0,1=1|1,1=2|2,1=3"},
      {"a row span", "<table><tr><td rowspan='2' colspan=\"2\">a</td><td>b</td></tr><tr><td>c</td></tr></table>", 3,
       "0,0=a|2,0=b|2,1=c"},
      {"spans in a nested table",
       "<table><tr><td>x<table><tr><td COLSPAN=4>y</td></tr></table></td><td>z</td></tr></table>", 3, "0,0=x y|1,0=z"},
      {"spans in other attributes",
       "<table><tr><td data-colspan=9 title=\"colspan=9\">a</td><td>b</td></tr></table>", 0, "0,0=a|1,0=b"},
      {"spans in a comment", "<!-- <table><tr><td colspan=100000> -->" + rows(2, "<tr><td>1</td></tr>"), 0,
       "0,0=1|0,1=1"},
      {"wide rows", rows(4000, "<tr><td colspan=10000>x</td></tr>"), int64_t(4000) * 9999, nullptr},
      {"a staircase of row spans", staircase, int64_t(3000) * 3000 - 3000, nullptr},
      // The reader takes a number past its integers for no span, and no span wider than 20,480
      // columns: one row makes one cell however wide its span.
      {"a span past any number", rows(1, "<tr><td colspan=99999999999999999999>x</td></tr>"), 0, "0,0=x"},
      {"one cell wider than the reader makes one", rows(1, "<tr><td colspan=100000000>x</td></tr>"), 20479, "0,0=x"},
      // Spans the reader reads as numbers are priced as it reads them, whatever the page's writing.
      {"a span with a plus", rows(4000, "<tr><td colspan=\"+10000\">x</td></tr>"), int64_t(4000) * 9999, nullptr},
      {"a span as an entity", rows(4000, "<tr><td colspan=\"&#49;0000\">x</td></tr>"), int64_t(4000) * 9999,
       nullptr},
      {"a tab before a span", rows(4000, "<tr><td colspan=\"\t10000 \">x</td></tr>"), int64_t(4000) * 9999, nullptr},
      {"not a number", rows(2, "<tr><td colspan=\"5x\" rowspan=-3>x</td></tr>"), 0, "0,0=x|0,1=x"},
      // A quote in a bare value is part of the value, as a browser reads it: nothing is hidden.
      {"a stray quote", "<p title=a\"b>" + rows(40, "<tr><td colspan=10000>x</td></tr>") + "<p title=c\">after</p>",
       0, strayQuoteCells.c_str()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // A row makes no more cells than the sheet's table holds, besides those the page writes.
    EXPECT_LT(RichTextHtmlCost(QByteArrayView(c.html)),
              (int64_t(c.html.size()) + int64_t(kMaxColumns) * c.html.count("<tr")) * kHtmlCellCost);
    QElapsedTimer clock;
    clock.start();
    const std::string cells = openAndPaste(c.html, c.name);
    if (c.cells) {
      EXPECT_EQ(cells, c.cells);
    } else {
      // Refused for the work its spans ask for, well within the memory it may take: no size is
      // named, least of all "about 0.0 GB".
      EXPECT_EQ(cells, "refused: The page is too large to open: reading it would take too long.");
    }
  }
}

// Pages written to make the reading cost more than it charges, or to hide part of themselves:
// each opens (and pastes) with the cells a browser shows, or is refused with what it would take,
// the moment its charge passes the budget.
TEST_F(HtmlTest, PagesThatHideTablesOrCostMoreOpenAsABrowserReadsThemOrAreRefused) {
  const auto repeat = [](int count, const QByteArray& part) { return part.repeated(count); };
  ASSERT_TRUE(WriteFileBytes(path("red.css"), "p { color: red } td.b { font-weight: bold }"));
  QByteArray rules;
  for (int i = 0; i < 3000; ++i) rules += "p.c" + QByteArray::number(i) + "{margin-left:" + QByteArray::number(i) + "px}\n";
  // The rows after a wide span are made as wide as their own cells.
  std::string wideTableLeftOpen = "0,0=w";
  for (int y = 2; y < 802; ++y) wideTableLeftOpen += "|0," + std::to_string(y) + "=x";
  const struct {
    const char* name;
    QByteArray html;
    std::string cells;
  } cases[] = {
      // A table opened in a cell and left open ends with its cell, and the rows after it are the
      // outer table's, each as wide as its widest.
      {"a table left open in a cell",
       "<table><tr><td>a<table><tr><td>in</td></tr></td><td>b</td></tr><tr><td>c</td></tr></table><p>end</p>",
       "0,0=a in|1,0=b|0,1=c|0,2=end"},
      {"a wide table left open in a cell",
       "<table><tr><td colspan=20480>w</td></tr><tr><td><table></td></tr>" + repeat(800, "<tr><td>x</td></tr>") +
           "</table>",
       wideTableLeftOpen},
      {"a table opened in a row", "<table><tr><table><td>a</td></tr><tr><td>b</td></tr></table>", "0,0=a|0,1=b"},
      // A bare value ends at a blank or ">", quotes and "/" and all.
      {"a quote in a bare value",
       "<p title=O'Brien>Name</p><table><tr><td>1</td></tr><tr><td>2</td></tr></table><p>end</p>",
       "0,0=Name|0,1=1|0,2=2|0,3=end"},
      {"a double quote in a bare value", "<font face=Arial title=O\"Brien>x</font><table><tr><td>1</td></tr></table>",
       "0,0=x|0,1=1"},
      {"a bare link ending in a slash", "<p><A HREF=http://e.y/>upper</A></p>", "0,0=http://e.y/>upper"},
      // Cells and rows outside any table are their text alone.
      {"cells outside a table", repeat(3, "<td colspan=20000>x</td>"), "0,0=xxx"},
      {"rows outside a table", repeat(3, "<tr><td colspan=20000>x</td></tr>"), "0,0=xxx"},
      {"a table in a CDATA mark", "<![CDATA[<table>" + repeat(3, "<tr><td colspan=20000>x</td></tr>") + "]]>",
       "0,0=xxx]]>"},
      // A table after a list makes no cell of its own text.
      {"a table after a list",
       "<ul><li>one</li></ul><table><tr><td>a</td><td>b</td></tr><tr><td>1</td><td>2</td></tr></table>",
       "0,0=one|0,1=a|1,1=b|0,2=1|1,2=2"},
      // Lines a style sheet keeps are paragraphs, and rows.
      {"lines kept by a style sheet", "<style>p{white-space:pre}</style><p>1\n2\n3</p>", "0,0=1|0,1=2|0,2=3"},
      {"kept lines of entities, tabs and blanks",
       "<style>p{white-space:pre-wrap}</style><p>a &amp; b\n&lt;c&gt;\t5&#9;6\n\n  x  \n</p>", "0,0=a & b|0,1=<c>|1,1=5|2,1=6|0,3=  x"},
      {"kept lines and text after them", "<style>p{white-space:pre}</style><p>1\n2</p>after<p>3\n4</p>", "0,0=1|0,1=2|0,2=after|0,3=3|0,4=4"},
      // Linked sheets are read once, whatever their query; their rules give the cells their looks.
      {"a sheet linked many times",
       repeat(100, "<link rel=\"stylesheet\" href=\"red.css?k\">") + "<table><tr><td class=b>1</td></tr></table>",
       "0,0=1"},
      {"many rules over many paragraphs",
       "<style>" + rules + "</style>" + repeat(3000, "<p class=c7>x</p>"), ""},
      // LibreOffice writes a cell's comment beside its text, in an element its sheet hides.
      {"a cell's comment", "<style>comment { display:none; }</style><table><tr><td>5<a class=\"comment-indicator\">"
                           "</a><comment><p>a note</p></comment></td><td>6</td></tr></table>",
       "0,0=5|1,0=6"},
      {"a background picture", "<table><tr><td background=\"red.css\" style=\"background-image:url(red.css)\">x</td>"
                               "</tr></table>",
       "0,0=x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string cells = openAndPaste(c.html, c.name);
    if (std::string(c.name) == "many rules over many paragraphs") {
      EXPECT_TRUE(cells.starts_with("0,0=x|0,1=x|")) << cells.substr(0, 100);
      EXPECT_TRUE(cells.ends_with("|0,2999=x")) << cells.substr(cells.size() - 100);
    } else {
      EXPECT_EQ(cells, c.cells);
    }
  }
  // The linked sheet's rule reached the cell.
  ASSERT_TRUE(WriteFileBytes(path("linked.html"), repeat(100, "<link rel=\"stylesheet\" href=\"red.css?k\">") +
                                                      "<table><tr><td class=b>1</td></tr></table>"));
  CADocument sheet;
  ASSERT_EQ(sheet.openFile(path("linked.html"), nullptr), kFileTypeHtml);
  EXPECT_TRUE(sheet.formatForCell(sheet.cellAtGridPoint({0, 0}), true).bold());
}

// What the reading charges: a formula's characters beyond their text, each line a text keeps as a
// paragraph, each row of a table as wide as the columns its own cells start in.
TEST_F(HtmlTest, TheReadingChargesWhatItMakes) {
  const struct {
    QByteArray html, other;
    int64_t difference;  // what html costs beyond other
  } cases[] = {
      {"<p>=1+1</p>", "<p>x1+1</p>", 4 * (kHtmlFormulaCharacterCost + kHtmlFormulaParseCost)},
      {"<table><tr><td>=1<b>+1</b></td></tr></table>", "<table><tr><td>x1<b>+1</b></td></tr></table>",
       4 * (kHtmlFormulaCharacterCost + kHtmlFormulaParseCost)},
      // The parse of the longest formula is charged once: a shorter one costs its characters.
      {"<p>=1+1</p><p>=1</p>", "<p>=1+1</p><p>x1</p>", 2 * kHtmlFormulaCharacterCost},
      {"<pre>1\n2\n3</pre>", "<pre>1 2 3</pre>", 2 * kHtmlParagraphCost - 2 * kHtmlCharacterCost},
      // A span makes no cells: the short row is not made as wide as the span.
      {"<table><tr><td colspan=3>a</td></tr><tr><td>b</td></tr></table>",
       "<table><tr><td>a</td></tr><tr><td>b</td></tr></table>", 0},
      // The row span takes the second row's first column: its cell goes beside it.
      {"<table><tr><td rowspan=2>a</td></tr><tr><td>c</td></tr></table>",
       "<table><tr><td>a</td></tr><tr><td>c</td></tr></table>", kHtmlCellCost},
      {"<p><a href=x>a</a></p>", "<p><b>a</b></p>", kHtmlLinkCost + kHtmlLinkCharacterCost},
      // A link's place is kept with it, whatever its length.
      {"<p><a href=\"http://e.y/" + QByteArray(1000, 'p') + "\">a</a></p>", "<p><b>a</b></p>",
       kHtmlLinkCost + 1011 * kHtmlLinkCharacterCost},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.toStdString());
    EXPECT_EQ(HtmlPageReadingCost(QString::fromUtf8(c.html)) - HtmlPageReadingCost(QString::fromUtf8(c.other)),
              c.difference);
  }
}

// A list of many items is handed to the rich text as short lists one after another, which the
// text engine reads as the one list they make: the cells and the sheet are those of the whole
// list, bullets, numbers, nested lists and lists in cells alike.
TEST_F(HtmlTest, ALongListIsHandedOverAsShortListsWithTheSameCells) {
  const auto items = [](int count, const char* item) {
    QByteArray list;
    for (int i = 0; i < count; ++i) list += QByteArray(item).replace("N", QByteArray::number(i));
    return list;
  };
  const struct {
    const char* name;
    QByteArray html;
    // Where looks or a link are left open across items, what the page shows is a browser's
    // reading (the looks closed by an item's end taken on into the next), which differs from the
    // one the rich text's own reader made: the cells given instead ("" where only the texts are
    // the same).
    const char* browserCells = nullptr;
  } cases[] = {
      {"bullets", "<p>before</p><ul>" + items(300, "<li>N</li>") + "</ul><p>after</p>"},
      {"numbers, unclosed", "<OL type=\"a\" start=4>" + items(200, "<li>N")},
      {"nested lists", "<ol>" + items(150, "<li>N<ul><li>in N</li><li>and N</li></ul></li>") + "</ol>"},
      // Each item's looks end with it: the rich text's own reader takes none on past the list,
      // where a browser (and the program) shows the paragraph after it in looks left open.
      {"items with looks", "<ul>" + items(130, "<li><b>N</b> <i>item</i>") + "</ul><p>end"},
      {"items with looks left open", "<ul>" + items(130, "<li><b>N</b> <i>item") + "</ul><p>end", ""},
      {"looks across items", "<ul>" + items(140, "<li><font color=red>N <u>a</li><li>b</font> <s>N") + "</ul><p>end",
       ""},
      // The list's own attributes are not handed over again with each part.
      {"a long opening tag", "<ul title=\"" + QByteArray(20000, 'x') + "\" type=square>" + items(200, "<li>N") + "</ul>"},
      // The innermost link left open is the one the next items take, however many are open.
      {"links left open across items", "<ul>" + items(150, "<li>N<p><a href=\"http://e.org/N\">x") + "</ul><p>end",
       "0,0=0|0,1=http://e.org/0>x|0,2=http://e.org/0>1|0,3=http://e.org/1>x|0,4=http://e.org/1>2|"},
      {"lists in cells",
       "<table><tr><td><ul>" + items(100, "<li>a N") + "</td><td><ol>" + items(70, "<li>b N") + "</ol></td></tr>"
       "<tr><td>" + items(3, "<li>c N") + "</td></tr></table><ul>" + items(80, "<li>d N") + "</ul>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString html = QString::fromUtf8(c.html);
    // The cells and the text engine's document of the whole page as the rich text reads it.
    CADocument whole, pasted;
    QTextDocument text;
    text.setHtml(html);
    ASSERT_TRUE(whole.loadAttributedString(text));
    InstallFileFormatServices();
    ASSERT_TRUE(FileFormatServices().loadHtml(pasted, html));
    if (c.browserCells && *c.browserCells) {
      EXPECT_TRUE(CellSummary(pasted).startsWith(QLatin1String(c.browserCells))) << CellSummary(pasted).left(200).toStdString();
      continue;
    }
    EXPECT_EQ(CellSummary(pasted).toStdString(), CellSummary(whole).toStdString());
    EXPECT_GT(pasted.rows().size(), 80u);
    if (c.browserCells) continue;
    FLError error;
    const QString wholePackage = path(c.name) + QStringLiteral(" whole.Numlet");
    const QString pastedPackage = path(c.name) + QStringLiteral(" pasted.Numlet");
    ASSERT_TRUE(whole.saveToNativeFile(wholePackage, false, &error));
    ASSERT_TRUE(pasted.saveToNativeFile(pastedPackage, false, &error));
    EXPECT_EQ(ReadFileBytes(QDir(pastedPackage).filePath(QStringLiteral("document.xml"))),
              ReadFileBytes(QDir(wholePackage).filePath(QStringLiteral("document.xml"))));
  }
}

// The lines of a paragraph a style sheet keeps are read by the sheet itself past the first, which
// the rich text reads: the cells, their values and looks, and the sheet are those the rich text
// alone makes of the page, whatever the lines hold. A page the sheet could not read so (more
// than the frame, a line the rich text might change, text after the paragraph) is the rich
// text's.
TEST_F(HtmlTest, KeptLinesMakeTheCellsTheRichTextMakes) {
  const auto page = [](const QByteArray& style, const QByteArray& body) {
    return "<!DOCTYPE html>\n<html><head><title>t</title><style type=\"text/css\">" + style +
           "</style></head>\n<body>" + body + "</body></html>\n";
  };
  const QByteArray pre = "p { white-space: pre }";
  const struct {
    const char* name;
    QByteArray html;
    bool kept;  // the sheet made the lines after the first
  } cases[] = {
      {"plain lines", page(pre, "<p>1\n2\n3</p>"), true},
      {"no frame", "<style>p{white-space:pre}</style><p>a\nb\nc</p>", true},
      {"empty lines", page(pre, "<p>a\n\nb\n\n\nc</p>"), true},
      {"a trailing newline", page(pre, "<p>a\nb\n</p>"), true},
      {"a leading newline", page(pre, "<p>\na\nb</p>"), true},
      {"line ends of a carriage return too", page(pre, "<p>a\r\nb\r\n\r\nc\rd</p>"), true},
      {"entities", page(pre, "<p>x\na&amp;b\n&lt;c&gt; &quot;d&quot;\ne&#9;f\n&#10;g&nbsp;h&#160;</p>"), true},
      {"tabs", page(pre, "<p>x\ta\tb\n\tc\n\t\td\t\ne\t\t\n\t</p>"), true},
      {"blanks at the ends of lines", page(pre, "<p>x \n a \n   \nb\t \n \t </p>"), true},
      {"numbers", page(pre, "<p>1.5\n-2\n1e3\n 7 \n1,5\n1.000,25\n3%\n12/5/2024</p>"), true},
      {"formulas", page(pre, "<p>=1+2\n=A1*2\n=SUM(A1:A2)\nx\n=</p>"), true},
      {"pre-wrap", page("p{white-space:pre-wrap;margin-top:0}", "<p>a  b\n c\n</p>"), true},
      {"pre-line", page("p{white-space:pre-line}", "<p>a  b\n c\n</p>"), true},
      {"fonts and margins", page("body{font-family:Arial} p{font-size:10pt;white-space:pre;margin-bottom:0}",
                                 "<p>a\nb</p>"),
       true},
      {"a first line alone", page(pre, "<p>a</p>"), false},
      {"text after the paragraph", page(pre, "<p>a\nb</p>after"), false},
      {"a second paragraph", page(pre, "<p>a\nb</p><p>c\nd</p>"), false},
      {"a comment in the lines", page(pre, "<p>a\nb<!-- x -->c\nd</p>"), false},
      {"looks in the lines", page(pre, "<p>a\n<b>b</b>\nc</p>"), false},
      {"a paragraph with a background", page("p{white-space:pre;background-color:#ff0000}", "<p>a\nb</p>"), false},
      {"a paragraph with a look", page(pre, "<p style=\"color:red\">a\nb</p>"), false},
      {"metadata", "<html lang=en><head><meta charset=\"utf-8\"><style>p{white-space:pre}</style><meta name=x "
                   "content=y></head><body><p>a\nb</p></body></html>",
       true},
      {"a look of the page's", "<html style=\"color:red\"><style>p{white-space:pre}</style><p>a\nb</p></html>", false},
      {"a look of the metadata's", "<style>p{white-space:pre}</style><meta style=\"color:red\"><p>a\nb</p>", false},
      {"lines let go again", page("p{white-space:pre} p{white-space:normal}", "<p>a\nb</p>"), false},
      {"bold paragraphs", page("p{white-space:pre;font-weight:bold}", "<p>a\nb</p>"), false},
      {"a preformatted block", "<pre>a\nb\nc</pre>", false},
      {"a line separator in the first line", page(pre, "<p>a\xE2\x80\xA8" "b\nc\nd</p>"), false},
      {"a character the rich text changes", page(pre, "<p>a\nb\x01" "c\nd\xE2\x80\xA8" "e\n\xF0\x9F\x98\x80</p>"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = path(c.name) + QStringLiteral(".html");
    ASSERT_TRUE(WriteFileBytes(file, c.html));
    CADocument sheet, rich;
    FLError error;
    const uint64_t kept = KeptLinesRead();
    ASSERT_EQ(sheet.openFile(file, &error), kFileTypeHtml) << error.reason.toStdString();
    EXPECT_EQ(KeptLinesRead() - kept, c.kept ? 1u : 0u);
    const bool plain = SetPlainTableReading(false);
    const int type = rich.openFile(file, &error);
    SetPlainTableReading(plain);
    ASSERT_EQ(type, kFileTypeHtml) << error.reason.toStdString();
    EXPECT_EQ(KeptLinesRead() - kept, c.kept ? 1u : 0u);
    EXPECT_EQ(CellSummary(sheet).toStdString(), CellSummary(rich).toStdString());
    const QString sheetPackage = path(c.name) + QStringLiteral(" sheet.Numlet");
    const QString richPackage = path(c.name) + QStringLiteral(" rich.Numlet");
    ASSERT_TRUE(sheet.saveToNativeFile(sheetPackage, false, &error));
    ASSERT_TRUE(rich.saveToNativeFile(richPackage, false, &error));
    EXPECT_EQ(ReadFileBytes(QDir(sheetPackage).filePath(QStringLiteral("document.xml"))).toStdString(),
              ReadFileBytes(QDir(richPackage).filePath(QStringLiteral("document.xml"))).toStdString());
  }
}

// Lines kept past what an open may take are refused as they are taken, with what the reading had
// come to, and nothing of the page reaches the sheet.
TEST_F(HtmlTest, KeptLinesPastTheBudgetAreRefused) {
  const int64_t lines = kReaderMemoryBudget / (kKeptLineCost + kPlainTableCharacterCost) + 1000;
  const QByteArray html = "<style>p{white-space:pre}</style><p>first" + QByteArray(qsizetype(lines), '\n') + "</p>";
  ASSERT_TRUE(WriteFileBytes(path("lines.html"), html));
  const uint64_t kept = KeptLinesRead(), given = HtmlPagesGivenToRichText();
  CADocument sheet;
  FLError error;
  EXPECT_NE(sheet.openFile(path("lines.html"), &error), kFileTypeHtml);
  EXPECT_EQ(error.reason.toStdString(),
            "The page is too large to open: reading it would take about 1.6 GB of memory.");
  EXPECT_TRUE(sheet.rows().empty());
  EXPECT_EQ(KeptLinesRead(), kept);
  EXPECT_EQ(HtmlPagesGivenToRichText(), given);
}

TEST_F(HtmlTest, TablesBeyond101ColumnsJoinTheLastCell) {
  QString row;
  for (int c = 0; c < 120; ++c) row += QStringLiteral("<td>c%1</td>").arg(c);
  CADocument sheet;
  QTextDocument text;
  text.setHtml(QStringLiteral("<table><tr>") + row + QStringLiteral("</tr></table>"));
  ASSERT_TRUE(sheet.loadAttributedString(text));
  EXPECT_EQ(sheet.maxGridPoint().x, 100);
  // Their texts are lines of the last cell, none lost.
  QStringList joined;
  for (int c = 100; c < 120; ++c) joined << QStringLiteral("c%1").arg(c);
  ASSERT_NE(sheet.cellAtGridPoint({100, 0}), nullptr);
  EXPECT_EQ(sheet.cellAtGridPoint({100, 0})->displayText(true), joined.join(u'\n'));
}

TEST_F(HtmlTest, FormatsColoursWidthsAndPicturesComeAlong) {
  QImage bitmap(30, 10, QImage::Format_RGB32);
  bitmap.fill(Qt::red);
  ASSERT_TRUE(bitmap.save(path("dot.png")));
  ASSERT_TRUE(WriteFileBytes(path("page.html"),
                             "<table><tr><td width=\"100\"><b>bold</b></td>"
                             "<td style=\"background-color:#ffcc00\">warm</td>"
                             "<td><img src=\"dot.png\"/></td></tr></table>"
                             "<p><span style=\"color:rgba(255,0,0,0)\">clear</span> "
                             "<span style=\"color:#0000ff\">blue</span></p>"
                             // A picture beside text goes beside the words, which a cell
                             // holds without it; in a table, the row's later cells move right.
                             "<p>see <img src=\"dot.png\"> here</p>"
                             "<table><tr><td>logo <img src=\"dot.png\"></td><td>b</td></tr></table>"));
  FLError error;
  ASSERT_EQ(document.openFile(path("page.html"), &error), kFileTypeHtml);
  EXPECT_EQ(CellSummary(document).toStdString(),
            "0,0=bold|1,0=warm|2,0=picture|0,1=clear blue|0,2=see here|1,2=picture|0,3=logo|1,3=picture|2,3=b");
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({0, 0})->format()->bold());
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->format()->backgroundKolor(), Kolor(0x6400CCFF));
  ASSERT_NE(document.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->picture()->imageFormat(), 4);
  // The text's colour is its first run's; a transparent one is none.
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->format(), nullptr);
  // The leading table sets the column widths.
  EXPECT_EQ(document.column(0)->width(), 100 * 12700);
}

// A text that starts with "=" becomes a formula cell: its parse is priced with its characters,
// also where looks split it.
TEST_F(HtmlTest, AFormulaIsPricedWithItsParse) {
  const QByteArray formula = "1+1" + QByteArray("+1").repeated(1000);
  const struct {
    QByteArray html, text;  // the text: the same characters, no formula
    qsizetype characters;   // of the formula
  } cases[] = {
      {"<p>=" + formula + "</p>", "<p>x" + formula + "</p>", formula.size() + 1},
      {"<table><tr><td> =1<b>+1</b>" + formula + "<td>2</table>",
       "<table><tr><td> x1<b>+1</b>" + formula + "<td>2</table>", formula.size() + 4},
      {"<p>&#61;" + formula + "</p>", "<p>&#60;" + formula + "</p>", formula.size() + 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.html.left(40).toStdString());
    EXPECT_EQ(RichTextHtmlCost(QByteArrayView(c.html)) - RichTextHtmlCost(QByteArrayView(c.text)),
              c.characters * (kHtmlFormulaCharacterCost + kHtmlFormulaParseCost));
  }
}

// A picture the page names is decoded once however often it is named, and one that would take
// more than an open may (as its header tells, before it is decoded) is left out, the alert
// saying how many places lost one.
TEST_F(HtmlTest, PicturesArePricedBeforeTheyAreDecoded) {
  QImage bitmap(30, 10, QImage::Format_RGB32);
  bitmap.fill(Qt::red);
  ASSERT_TRUE(bitmap.save(path("dot.png")));
  // A PNG of 40,000 x 40,000 colour pixels (6.4 GB decoded) whose data stops after a few rows.
  const QByteArray huge = QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200009c4000009c400806000000510c0e"
                                              "050000000c49444154789c6360a00c000000400001b7347cef0000000049454e44ae426082");
  ASSERT_TRUE(WriteFileBytes(path("huge.png"), huge));
  const QByteArray page = QByteArray("<p><img src=\"dot.png\"></p>").repeated(200) +
                         "<p><img src=\"huge.png\"></p><p><img src=\"huge.png\"></p><p>after</p>";
  ASSERT_TRUE(WriteFileBytes(path("pictures.html"), page));
  ImportAlertRecorder alerts;
  FLError error;
  ASSERT_EQ(document.openFile(path("pictures.html"), &error), kFileTypeHtml);
  int pictures = 0;
  for (const std::unique_ptr<CARow>& row : document.rows())
    for (const CACellEntry& entry : row->cells())
      pictures += CACellReading(entry, row->gridY(), &document)->picture() != nullptr;
  EXPECT_EQ(pictures, 200);
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_EQ(alerts.shown.front().toStdString(),
            "Some pictures were left out.|2 of the pictures \"pictures.html\" shows were left out: decoded, they would "
            "take more memory than opening a file may.");

  // Pasted, the page names its pictures by their files' URLs, and the paste tells what it left out.
  QString pasted = QString::fromUtf8(page);
  pasted.replace(QStringLiteral("src=\""), QStringLiteral("src=\"") + QUrl::fromLocalFile(path("dot.png")).toString().chopped(7));
  InstallFileFormatServices();
  CADocument sheet;
  ASSERT_TRUE(FileFormatServices().loadHtml(sheet, pasted));
  pictures = 0;
  for (const std::unique_ptr<CARow>& row : sheet.rows())
    for (const CACellEntry& entry : row->cells()) pictures += CACellReading(entry, row->gridY(), &sheet)->picture() != nullptr;
  EXPECT_EQ(pictures, 200);
  ASSERT_EQ(alerts.shown.size(), 2);
  EXPECT_EQ(alerts.shown.back().toStdString(),
            "Some pictures were left out.|2 of the pictures the pasted page shows were left out: decoded, they would "
            "take more memory than a paste may.");
}

// Cells that show one picture save it as one file, which the saved page names for each of
// them: opened again, the page decodes it once and keeps every picture, where a file for each
// would take more than an open may.
TEST_F(HtmlTest, APageOfOnePictureManyTimesOpensAgainWithEveryPicture) {
  QImage bitmap(4000, 4000, QImage::Format_RGB32);
  bitmap.fill(Qt::darkCyan);
  ASSERT_TRUE(bitmap.save(path("mid.png")));
  bitmap = QImage();
  const struct {
    int pictures;
    const char* layout;  // the page's markup around each picture
  } cases[] = {{40, "<p><img src=\"mid.png\"></p>"}, {30, "<table><tr><td><img src=\"mid.png\"></td></tr></table>"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.layout);
    const QString name = path(QStringLiteral("mid%1").arg(c.pictures).toUtf8().constData());
    ASSERT_TRUE(WriteFileBytes(name + QStringLiteral(".html"), QByteArray(c.layout).repeated(c.pictures)));
    const auto pictures = [](const CADocument& d) {
      int count = 0;
      for (const std::unique_ptr<CARow>& row : d.rows())
        for (const CACellEntry& entry : row->cells())
          count += CACellReading(entry, row->gridY(), &d)->picture() != nullptr;
      return count;
    };
    ImportAlertRecorder alerts;
    FLError error;
    CADocument opened;
    ASSERT_EQ(opened.openFile(name + QStringLiteral(".html"), &error), kFileTypeHtml);
    ASSERT_EQ(pictures(opened), c.pictures);
    const QString folder = name + QStringLiteral(" saved.html");
    ASSERT_TRUE(opened.saveToHtmlFile(folder, &error)) << error.reason.toStdString();
    EXPECT_EQ(QDir(QDir(folder).filePath(QStringLiteral("images"))).entryList(QDir::Files).size(), 1);
    CADocument again;
    ASSERT_EQ(again.openFile(QDir(folder).filePath(QStringLiteral("index.html")), &error), kFileTypeHtml);
    EXPECT_EQ(pictures(again), c.pictures);
    EXPECT_TRUE(alerts.shown.empty()) << alerts.shown.join(u'\n').toStdString();
  }
}

TEST_F(HtmlTest, CellTextIsEscapedForThePage) {
  const struct {
    QString text;
    const char* html;
  } cases[] = {
      {QStringLiteral("a<b>&\"c\""), "a&lt;b&gt;&amp;&quot;c&quot;"},
      {QStringLiteral("x") + QChar(0x2028) + QStringLiteral("y") + QChar(0x0B) + QStringLiteral("z"), "x<br />y<br />z"},
      {QStringLiteral("Rent\nJanuary"), "Rent<br />January"},
      {QString(QChar(0x00A0)) + QChar(0x202F), "&#160;&#160;"},
      {QStringLiteral("t\tu") + QChar(0x01) + QChar(0xFFFF), "t\tu&#032;&#032;"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeCellTextForHtml(c.text).toStdString(), c.html);
}

TEST_F(HtmlTest, ThePageCarriesTheSheetsLook) {
  enter(0, 0, QStringLiteral("top"));
  enter(1, 1, QStringLiteral("below"));
  QString html = page();
  // The sheet's white page colours the table, the body, the paragraph rule and each cell's
  // paragraph, but no cell.
  EXPECT_TRUE(html.contains(QStringLiteral("\t<table style=\"background-color:rgb(255,255,255); \">\n")));
  EXPECT_EQ(html.count(QStringLiteral("background-color")), 5);
  // Only the first sheet row gives widths; the default padding of 3 points is the td rule's.
  EXPECT_EQ(html.count(QStringLiteral("<td style=\"width:")), 2);
  EXPECT_TRUE(html.contains(QStringLiteral("\tpadding:3px 3px 3px 3px;\n")));
  EXPECT_TRUE(html.contains(QStringLiteral("<title>Untitled</title>")));

  CAFormat white, blue;
  white.setBackgroundKolor(kWhiteKolor);
  blue.setBackgroundKolor(0x64FF0000);
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  document.cellAtGridPoint({0, 0})->setFormat(white);
  ASSERT_NE(document.cellAtGridPoint({1, 1}), nullptr);
  document.cellAtGridPoint({1, 1})->setFormat(blue);
  document.setCellPadding({0, 0});
  html = page();
  EXPECT_EQ(html.count(QStringLiteral("background-color:rgb(0,0,255);")), 2);  // the cell and its paragraph
  EXPECT_EQ(html.count(QStringLiteral("background-color")), 6);
  EXPECT_TRUE(html.contains(QStringLiteral("padding:1px 1px 1px 1px;")));
}

TEST_F(HtmlTest, SavedPagesAreWellFormedAndReadBack) {
  enter(0, 0, QStringLiteral("Fish & <chips>"));
  CAFormat bold;
  bold.setBold(true);
  enter(1, 0, QStringLiteral("4.5")).setFormat(bold);
  CACell& box = *document.cellAtGridPointImperative({0, 1});
  box.setValueType(kValueCheckbox);
  box.setChecked(true);
  enter(1, 1, QStringLiteral("http://example.org/?a=1&b=2"));
  enter(0, 2, QStringLiteral("Rent\nJanuary"));
  enter(1, 2, QStringLiteral(" two  spaced\n January"));
  picture(2, 1).picture()->setImageFormat(5);
  FLError error;
  const QString folder = path("sheet.html");
  ASSERT_TRUE(document.saveToHtmlFile(folder, &error)) << error.reason.toStdString();
  const QString index = QDir(folder).filePath(QStringLiteral("index.html"));
  EXPECT_TRUE(QFileInfo::exists(QDir(folder).filePath(QStringLiteral("images/Picture1.jpg"))));
  EXPECT_TRUE(ReadFileText(index).contains(QStringLiteral("checked=\"checked\"")));

  ExpectWellFormed(index);

  CADocument back;
  ASSERT_EQ(back.openFile(index, &error), kFileTypeHtml);
  EXPECT_EQ(CellSummary(back).toStdString(), "0,0=Fish & <chips>|1,0=4.5|1,1=http://example.org/?a=1&b=2>http://example.org/?a=1&b=2|2,1=picture|0,2=Rent\nJanuary|1,2= two  spaced\n January");
  ASSERT_NE(back.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_TRUE(back.cellAtGridPoint({1, 0})->format()->bold());
}

// Saved from the save panel: a sheet without pictures is one page under the name chosen (the
// document base then keeps the ".html" of the name).
TEST_F(HtmlTest, ASheetWithoutPicturesIsSavedAsAPlainFile) {
  enter(0, 0, QStringLiteral("x"));
  CADocument::setKeepHtmlExtension(false);
  document.prepareToSave(false);
  EXPECT_TRUE(CADocument::keepHtmlExtension());
  FLError error;
  const bool saved = document.saveToHtmlFile(path("plain.html"), &error);
  CADocument::setKeepHtmlExtension(false);
  ASSERT_TRUE(saved);
  EXPECT_TRUE(QFileInfo(path("plain.html")).isFile());
  ExpectWellFormed(path("plain.html"));
}

}  // namespace
