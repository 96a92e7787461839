// What a browser shows of a page and what it hides, opened and pasted alike, and the numbers
// LibreOffice writes behind what it shows rounded: a table's caption is
// a line of its own above the table (below it where the caption is shown below); hidden
// paragraphs, cells and rows take no place (a hidden cell no column, a hidden row no row, nor a
// place in a span down the table), unless an author's display shows them; a hidden line break
// breaks no line; a closed details element shows its summary alone; text a style hides is not shown, and text a
// style transforms is shown transformed; a table's cells take the background of the nearest
// element that has one. The cells expected are written out by hand as a browser shows each page.
// A value LibreOffice writes behind a number it shows (fixed decimals, groups, an exponent, a
// percentage, a sum of money), in the syntax of whichever locale it ran in, is the cell's number
// wherever and however the page is read, shown as near the page's text as the sheet's formats go.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

namespace {

class HtmlShownPartsTest : public RichTextTest {
 protected:
  // The page's cells, opened from a file or pasted.
  QString cellsOf(const QByteArray& html, bool pasted, CADocument& sheet) {
    if (pasted) {
      InstallFileFormatServices();
      EXPECT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(html)));
    } else {
      EXPECT_TRUE(WriteFileBytes(path("page.html"), html));
      FLError error;
      EXPECT_EQ(sheet.openFile(path("page.html"), &error), kFileTypeHtml) << error.reason.toStdString();
    }
    return CellSummary(sheet);
  }
};

// The background a cell shows, "#rrggbb", or "-".
std::string BackgroundOf(const CACell* cell) {
  if (!cell || !cell->format() || !KolorIsColor(cell->format()->backgroundKolor())) return "-";
  const Kolor kolor = cell->format()->backgroundKolor();
  return QStringLiteral("#%1%2%3")
      .arg(kolor & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((kolor >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
      .arg((kolor >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
      .toStdString();
}

TEST_F(HtmlShownPartsTest, PagesShowWhatABrowserShows) {
  const struct {
    const char* page;
    const char* cells;
    const char* background = nullptr;  // of the cell at 0,0 where the case is about it
  } cases[] = {
      // Captions: above the table, below it where a style sheet or the caption's own style says
      // so, each table's its own.
      {"<table><caption>Rainfall 2025</caption><tr><td>Jan</td><td>81</td></tr><tr><td>Feb</td><td>60</td></tr>"
       "</table>",
       "0,0=Rainfall 2025|0,1=Jan|1,1=81|0,2=Feb|1,2=60"},
      {"<style>caption{caption-side:bottom}</style><p>Before</p><table><caption>Source: the survey</caption><tr>"
       "<td>a</td><td>b</td></tr></table><p>After</p>",
       "0,0=Before|0,1=a|1,1=b|0,2=Source: the survey|0,3=After"},
      {"<table><caption style=\"caption-side: bottom\">Below</caption><tr><td>x</td></tr></table>", "0,0=x|0,1=Below"},
      {"<h2>Box score</h2><table><caption>Rovers</caption><tr><td>Lee</td><td>12</td></tr></table>"
       "<table><caption>United</caption><tr><td>Park</td><td>9</td></tr></table>",
       "0,0=Box score|0,1=Rovers|0,2=Lee|1,2=12|0,3=United|0,4=Park|1,4=9"},
      {"<table><caption><b>Table 3.</b> Responses by age (n = 1,204)</caption><thead><tr><th>Age</th><th>Yes</th>"
       "</tr></thead><tbody><tr><td>18-34</td><td>412</td></tr></tbody></table>",
       "0,0=Table 3. Responses by age (n = 1,204)|0,1=Age|1,1=Yes|0,2=18-34|1,2=412"},
      // Hidden paragraphs, cells and rows take no place.
      {"<p hidden>Hidden paragraph.</p><p>Shown paragraph.</p><div hidden><p>Also hidden.</p></div>",
       "0,0=Shown paragraph."},
      {"<table><tr><th>Peak</th><th>Height</th></tr><tr><td>Ben Nevis</td><td hidden>P001</td><td>1345</td></tr>"
       "<tr><td>Snowdon</td><td hidden>P002</td><td>1085</td></tr></table>",
       "0,0=Peak|1,0=Height|0,1=Ben Nevis|1,1=1345|0,2=Snowdon|1,2=1085"},
      {"<style>.key{display:none}</style><table><tr><td class=key>7</td><td>a</td><td style=\"display:none\">x"
       "</td><td>b</td></tr></table>",
       "0,0=a|1,0=b"},
      {"<style>.hidden{display:none}</style><table><tr><td>Opening balance</td><td>100</td></tr>"
       "<tr class=hidden><td>Pending</td><td>5</td></tr><tr style=\"display:none\"><td>Held</td><td>7</td></tr>"
       "<tr hidden><td>Void</td></tr><tr><td>Closing balance</td><td>90</td></tr></table>",
       "0,0=Opening balance|1,0=100|0,1=Closing balance|1,1=90"},
      {"<table><tbody hidden><tr><td>gone</td></tr></tbody><tbody><tr><td>kept</td></tr></tbody></table>",
       "0,0=kept"},
      {"<div style=\"display:none\"><table><tr><td>in a hidden table</td></tr></table></div><p>shown</p>",
       "0,0=shown"},
      {"<table><tr><td>a</td><td style=\"display:none\">hidden</td><td rowspan=2>b</td></tr>"
       "<tr><td>c</td></tr></table>",
       "0,0=a|1,0=b|0,1=c"},
      // A span down a table counts the rows shown: a hidden row is none of them.
      {"<table><tr><td rowspan=3>A</td><td>1</td></tr><tr hidden><td>2</td></tr><tr><td>3</td></tr><tr><td>4</td>"
       "<td>5</td></tr></table>",
       "0,0=A|1,0=1|1,1=3|1,2=4|2,2=5"},
      {"<table><tr><td rowspan=3>A<td>1<tr hidden><td>2<tr><td>3<tr><td>4<td>5</table>", "0,0=A|1,0=1|1,1=3|1,2=4|2,2=5"},
      {"<table><tr><td rowspan=2>A</td><td>1</td></tr><tr style=\"display:none\"><td>2</td></tr><tr><td>3</td></tr>"
       "<tr><td>4</td></tr></table>",
       "0,0=A|1,0=1|1,1=3|0,2=4"},
      {"<style>.x{display:none}</style><table><tr><td rowspan=2>A</td><td>1</td></tr><tr class=x><td rowspan=5>2</td>"
       "</tr><tr><td>3</td></tr><tr><td>4</td><td>5</td></tr></table>",
       "0,0=A|1,0=1|1,1=3|0,2=4|1,2=5"},
      {"<table><tfoot><tr><td rowspan=2>F</td><td>f1</td></tr><tr hidden><td>h</td></tr><tr><td>f2</td></tr></tfoot>"
       "<tbody><tr><td>b</td><td>c</td></tr></tbody></table>",
       "0,0=b|1,0=c|0,1=F|1,1=f1|1,2=f2"},
      {"<table><tr><td rowspan=2>A</td><td>1</td></tr><tr><td hidden>h</td></tr><tr><td>3</td></tr></table>",
       "0,0=A|1,0=1|0,1=3"},
      // An author's display shows what the hidden attribute alone hides, as a browser's own rule
      // for the attribute is the weakest; inside a hidden element nothing shows.
      {"<style>tr.show{display:table-row} .blk{display:block} td.c{display:table-cell}</style><table><tr><td>a</td>"
       "<td hidden class=c>b</td></tr><tr hidden class=show><td>shown row</td></tr><tr hidden style=\"display:"
       "table-row\"><td>inline shown</td><td hidden>c</td></tr></table><p hidden class=blk>para shown</p>"
       "<p hidden style=\"display:block\">para2 <span hidden style=\"display:inline\">and span</span></p>"
       "<div style=\"display:none\"><p style=\"display:block\">inside none</p></div><div hidden><p class=blk>inside "
       "hidden</p></div>",
       "0,0=a|1,0=b|0,1=shown row|0,2=inline shown|0,3=para shown|0,4=para2 and span"},
      // A hidden line break breaks no line.
      {"<p>one<br hidden>two<br style=\"display:none\">three<br>four</p><style>br.n{display:none}</style>"
       "<p>five<br class=n>six</p><table><tr><td>x<br hidden>y</td></tr></table>",
       "0,0=onetwothree|0,1=four|0,2=fivesix|0,3=xy"},
      // A closed details element shows its summary alone; an open one all it holds.
      {"<details><summary>More</summary><p>Hidden text</p>loose text</details><details open><summary>Open</summary>"
       "<p>Shown text</p></details>",
       "0,0=More|0,1=Open|0,2=Shown text"},
      // A style's visibility and text transforms.
      {"<p style=\"visibility:hidden\">Ghost</p><p>Seen <span style=\"visibility:hidden\">unseen</span></p>"
       "<div style=\"visibility:hidden\"><p style=\"visibility:visible\">Visible again</p></div>",
       "0,0=Seen|0,1=Visible again"},
      {"<table><tr><td style=\"visibility:hidden\">unseen</td><td>b</td></tr></table>", "1,0=b"},
      {"<p style=\"text-transform:uppercase\">Shout it</p><p style=\"text-transform:lowercase\">QUIET</p>"
       "<p style=\"text-transform:capitalize\">the old man and the sea, don't <b>s</b>top</p>"
       "<style>th{text-transform:uppercase}</style><table><tr><th>Name</th></tr><tr><td>lee</td></tr></table>",
       "0,0=SHOUT IT|0,1=quiet|0,2=The Old Man And The Sea, Don't Stop|0,3=NAME|0,4=lee"},
      // The nearest background, not the page's over a nearer one.
      {"<style>body{background:#dbdbdb} main{background:white}</style><body><main><table><tr><td>a</td></tr>"
       "</table></main></body>",
       "0,0=a", "-"},
      {"<style>body{background:#dbdbdb} div.note{background:#fff8dc}</style><body><div class=note><table><tr><td>a"
       "</td></tr></table></div></body>",
       "0,0=a", "#fff8dc"},
      {"<style>body{background:#dbdbdb}</style><body><table><tr><td>a</td></tr></table></body>", "0,0=a", "#dbdbdb"},
  };
  for (const auto& c : cases) {
    for (const bool pasted : {false, true}) {
      SCOPED_TRACE(std::string(c.page).substr(0, 70) + (pasted ? " (paste)" : " (open)"));
      CADocument sheet;
      EXPECT_EQ(cellsOf(c.page, pasted, sheet).toStdString(), c.cells);
      if (c.background) {
        EXPECT_EQ(BackgroundOf(sheet.cellAtGridPoint({0, 0})), c.background);
      }
    }
  }
}

// A long table's caption is its first row, or its last where a style sheet shows it below: the
// sheet reads the rows of the one as it reads them without a caption, the other is the rich text's.
TEST_F(HtmlShownPartsTest, ALongTablesCaptionIsItsFirstOrLastLine) {
  const struct {
    const char* style;
    int64_t captionRow;
    bool readBySheet;
  } cases[] = {
      {"caption { font-size: 14pt; text-align: left; }", 0, true},
      {"caption { caption-side: bottom; }", 70, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.style);
    QByteArray html = QByteArray("<html><head><style type=\"text/css\">") + c.style +
                      "</style></head><body><table>\n<caption>Ledger</caption>\n";
    for (int y = 0; y < 70; ++y)
      html += "<tr><td>r" + QByteArray::number(y) + "</td><td>" + QByteArray::number(y) + "</td></tr>\n";
    html += "</table></body></html>\n";
    for (const bool pasted : {false, true}) {
      const uint64_t before = PlainTablesRead();
      CADocument sheet;
      const QString cells = cellsOf(html, pasted, sheet);
      if (!pasted) {
        EXPECT_EQ(PlainTablesRead() - before, c.readBySheet ? 1u : 0u);
      }
      const int64_t first = c.captionRow == 0 ? 1 : 0;
      const CACell* caption = sheet.cellAtGridPoint({0, c.captionRow});
      ASSERT_TRUE(caption) << cells.left(200).toStdString();
      EXPECT_EQ(caption->displayText(true).toStdString(), "Ledger");
      for (const int64_t y : {int64_t(0), int64_t(69)}) {
        const CACell* cell = sheet.cellAtGridPoint({0, first + y});
        ASSERT_TRUE(cell) << y;
        EXPECT_EQ(cell->displayText(true), QStringLiteral("r%1").arg(y));
      }
    }
  }
}

// A page of LibreOffice's with one value in a short table, which the rich text reads, and in every
// row of a long one, which the sheet reads itself past its first row.
QByteArray ValuePage(const char* value, const char* shown, bool longTable) {
  const QByteArray cell = QByteArray("<td align=\"right\" sdval=\"") + value + "\" sdnum=\"1033;0;#,##0.00\">" + shown +
                          "</td>";
  QByteArray page = "<html><body><table cellspacing=\"0\" border=\"0\">\n<tr><td>Item</td><td>Value</td></tr>\n";
  for (int y = 1; y <= (longTable ? 70 : 1); ++y)
    page += "<tr><td>Item " + QByteArray::number(y) + "</td>" + cell + "</tr>\n";
  return page + "</table></body></html>\n";
}

TEST_F(HtmlShownPartsTest, StoredValuesShownRoundedAreTheCellsNumbers) {
  const struct {
    const char* value;   // as LibreOffice writes it in the locale it ran in
    const char* shown;
    const char* number;  // the cell's number in the C syntax; null: entered as the text is typed
    const char* showsUnderC = nullptr;  // what the cell shows read under C, where the case is about it
  } cases[] = {
      {"3.33333333333333", "3.33", "3.33333333333333", "3.33"},
      {"1234.5678", "1,234.57", "1234.5678", "1,234.57"},  // rounded as the page shows it
      {"1.49925", "1.50", "1.49925", "1.50"},
      {"-38096.3649", "-38,096.36", "-38096.3649"},
      {"1234.5678", "1,235", "1234.5678"},
      {"3,33333333333333", "3,33", "3.33333333333333"},  // written under de_DE or fr_FR
      {"1234,5678", "1.234,57", "1234.5678"},
      {"1234,5678", "1&nbsp;234,57", "1234.5678"},
      {"0.000123456", "1.23E-04", "0.000123456", "1.23E-4"},
      {"123456789", "1.23E+08", "123456789"},
      {"0,000123456", "1,23E-04", "0.000123456"},
      {"2.71828182845904523", "2.71828182845905", "2.71828182845904523"},  // General, 15 digits
      {"1234567.89012345678", "1234567.89012346", "1234567.89012345678", "1234567.89012346"},
      {"0.123456", "12.35%", "0.123456", "12.35%"},
      {"0,123456", "12,35&nbsp;%", "0.123456"},
      // Sums of money, and a negative in parentheses, are their values too.
      {"1234.5678", "$1,234.57", "1234.5678", "$1,234.57"},
      {"-1234,5678", "-1.234,57&nbsp;\xE2\x82\xAC", "-1234.5678", "\xE2\x82\xAC-1,234.57"},
      {"-1234.5678", "(1,234.57)", "-1234.5678", "(1,234.57)"},
      {"3.33333333333333", "\xC2\xA3" "3.33", "3.33333333333333", "\xC2\xA3" "3.33"},
      {"5", "CHF 5.00", "5", "CHF5.00"},
      // A text that shows another number than the value (a page edited by hand) still has the
      // value LibreOffice computed with behind it.
      {"1.5", "2.50", "1.5", "1.50"},
      {"1234.5678", "1,234.56", "1234.5678"},
      {"0.123456", "12.34%", "0.123456"},
      // A date, a truth value or words stay the text shown.
      {"45292", "01/01/24", nullptr},
      {"45292", "2024-01-01", nullptr},
      {"0.5", "12:00:00", nullptr},
      {"1", "TRUE", nullptr},
      {"5", "5 kg", nullptr},
      {"5", "%5", nullptr},
      {"1234.5", "12,34.50", nullptr},
  };
  InstallFileFormatServices();
  for (const auto& c : cases) {
    for (const bool longTable : {false, true}) {
      const QByteArray html = ValuePage(c.value, c.shown, longTable);
      ASSERT_TRUE(WriteFileBytes(path("values.html"), html));
      for (const char* locale : {"C", "de_DE", "fr_FR"}) {
        const TestLocale scope(locale);
        for (const bool pasted : {false, true}) {
          SCOPED_TRACE(std::string(c.value) + " shown " + c.shown + " under " + locale + (longTable ? ", long" : "") +
                       (pasted ? ", pasted" : ", opened"));
          CADocument sheet;
          if (pasted) {
            ASSERT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(html)));
          } else {
            FLError error;
            ASSERT_EQ(sheet.openFile(path("values.html"), &error), kFileTypeHtml) << error.reason.toStdString();
          }
          for (const int64_t y : longTable ? std::vector<int64_t>{1, 40, 70} : std::vector<int64_t>{1}) {
            const CACell* cell = sheet.cellAtGridPoint({1, y});
            ASSERT_TRUE(cell) << y;
            QString shown = QString::fromUtf8(c.shown);
            shown.replace(QStringLiteral("&nbsp;"), QString(QChar(0x00A0)));
            ExpectNumberOrTyped(*cell, c.number, shown);
            if (c.showsUnderC && std::string(locale) == "C") {
              EXPECT_EQ(cell->displayText(false).toStdString(), c.showsUnderC);
            }
          }
        }
      }
    }
  }
}

}  // namespace
