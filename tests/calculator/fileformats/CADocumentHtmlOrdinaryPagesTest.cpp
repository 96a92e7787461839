// Ordinary pages, as pandoc, LibreOffice Writer, a wiki and a report generator write them, open
// and paste with the cells a browser shows: a link keeps its words (its address made absolute
// against the page's address on an open, as written on a paste), blanks stay where they are shown,
// looks survive a list, words beside a picture stay, a footer comes last, rows give their cells
// their background, and the page's own looks reach its text. The cells expected are written out
// by hand from a browser's reading of each page (tests/data/html/browser, which
// tools/read_pages_in_chromium.sh saves).
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace {

enum class Reading { Open, Paste };

// The looks of a cell that a browser shows: "b" bold, "i" italic, "u" underlined, "fg" and "bg"
// with the colour, "center" or "right"; "-" for none.
std::string LooksOf(const CACell& cell) {
  const CAFormat* format = cell.format();
  if (!format) return "-";
  QStringList looks;
  if (format->bold()) looks << QStringLiteral("b");
  if (format->italic()) looks << QStringLiteral("i");
  if (format->underline()) looks << QStringLiteral("u");
  const auto colour = [](Kolor kolor) {
    return QStringLiteral("#%1%2%3")
        .arg(kolor & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((kolor >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((kolor >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
  };
  if (KolorIsColor(format->textKolor()) && format->textKolor() != g_blackKolor)
    looks << QStringLiteral("fg") + colour(format->textKolor());
  if (KolorIsColor(format->backgroundKolor())) looks << QStringLiteral("bg") + colour(format->backgroundKolor());
  if (format->alignment() == kAlignmentCenter) looks << QStringLiteral("center");
  if (format->alignment() == kAlignmentRight) looks << QStringLiteral("right");
  return looks.isEmpty() ? "-" : looks.join(u' ').toStdString();
}

class HtmlOrdinaryPagesTest : public RichTextTest {
 protected:
  // The page's cells read as asked: opened from its file (a page of the test data, or the text
  // written to a file of its own), or pasted as text with no base.
  bool read(CADocument& sheet, const QString& file, const QByteArray& html, Reading reading) {
    if (reading == Reading::Open) {
      FLError error;
      return sheet.openFile(file, &error) == kFileTypeHtml;
    }
    InstallFileFormatServices();
    return FileFormatServices().loadHtml(sheet, QString::fromUtf8(html));
  }
};

// The cells expected of a page read as asked, from those of an open where "{address}" is a link's
// address as the page writes it: an open makes it absolute against the page's own address, as a
// browser does, a paste (which has no base) keeps it as written, and finds none of the pictures
// the page names beside it.
QString ExpectedCells(QString cells, Reading reading, const QString& page) {
  const QUrl pageUrl = QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
  QString made;
  for (qsizetype at = 0;;) {
    const qsizetype open = cells.indexOf(u'{', at);
    if (open < 0) {
      made += QStringView(cells).sliced(at);
      break;
    }
    const qsizetype close = cells.indexOf(u'}', open);
    const QString address = cells.sliced(open + 1, close - open - 1);
    made += QStringView(cells).sliced(at, open - at);
    made += reading == Reading::Paste ? address : pageUrl.resolved(QUrl(address)).toString(QUrl::FullyEncoded);
    at = close + 1;
  }
  if (reading == Reading::Open) return made;
  QStringList kept;
  for (const QString& cell : made.split(u'|'))
    if (!cell.endsWith(QLatin1String("=picture"))) kept << cell;
  return kept.join(u'|');
}

TEST_F(HtmlOrdinaryPagesTest, PagesOpenAndPasteAsABrowserShowsThem) {
  const struct {
    const char* page;   // a file of tests/data/html, or a page written here
    const char* cells;  // opened (ExpectedCells)
    const char* looks;  // "x,y=looks" of the cells whose looks the case is about
  } cases[] = {
      // pandoc: inline code keeps the blanks around it, looks survive the list, the page's colour
      // (its root's) reaches all text, relative links keep their words.
      {"pandoc-manual.html",
       "0,0=Manual|0,1=Install|0,2=Run make install as root, or make now.|0,3=Download the source|"
       "0,4=Unpack it|0,5=After the list|0,6=See the manual and the history.|0,7=Option|1,7=Meaning|0,8=-v|"
       "1,8=verbose|0,9=-q|1,9=quiet|0,10=History|0,11={../changes.html}>Changes",
       "0,0=b fg#1a1a1a center|0,2=fg#1a1a1a|0,4=fg#1a1a1a|0,5=b fg#1a1a1a|0,10=b fg#1a1a1a"},
      // LibreOffice Writer: words beside a picture (the picture beside them where it is had), a
      // centred table whose cells keep their own alignment, list items written as paragraphs.
      {"writer-report.html",
       "0,0=Company Annual report|1,0=picture|0,1=Revenue|1,1=120|0,2=Costs|1,2=80|"
       "0,3=See the notes for details.|0,4={docs/notes.html}>Notes|0,5=First point|0,6=Second point|"
       "0,7=Outlook|0,8=Figures are provisional.|0,9=figure 1|1,9=picture",
       "0,1=-|1,1=right|0,7=b|0,8=fg#c9211e"},
      // A wiki: a table of contents and a table of links to its own pages, striped rows, a video's
      // fallback text not shown, an absolute address with a blank kept as written.
      {"wiki-places.html",
       "0,0=Places of the valley|0,1=The valley holds villages along the river.|0,2=Contents|"
       "0,3={#History}>1 History|0,4={#Places}>2 Places|0,5=History|0,6=Settled in the Middle Ages.|"
       "0,7=Places|0,8=Place|1,8=Population|0,9={/wiki/Place_0}>Place 0|1,9=1200|"
       "0,10={/wiki/Place_1}>Place 1|1,10=830|0,11={/wiki/Place_2}>Place 2|1,11=415|"
       "0,12=Flight over the valley.|0,13=https://example.org/valley guide.pdf>Valley guide",
       "0,5=-|0,8=b bg#eaecf0 center|0,9=bg#f8f9fa|1,9=bg#f8f9fa|1,10=-|1,11=bg#f8f9fa"},
      // A report generator (HTML 4.01): the footer written before the body comes last, rows give
      // their cells their background (an attribute, a style, a class rule), the body's text
      // colour reaches every cell, an object's fallback text is not shown.
      {"generator-sales.html",
       "0,0=Quarterly sales|0,1=Region|1,1=Q1|2,1=Q2|3,1=Q3|4,1=Q4|0,2=North|1,2=10|2,2=20|3,2=30|4,2=40|"
       "0,3=South|1,3=20|2,3=25|3,3=30|4,3=35|0,4=West|1,4=30|2,4=30|3,4=30|4,4=30|0,5=Total|1,5=60|2,5=75|"
       "3,5=90|4,5=105|0,6=Generated by the report generator.",
       "0,1=b fg#333333 bg#cccccc center|0,2=fg#333333 bg#eeeeee|4,4=fg#333333 bg#eeeeee|"
       "0,5=b fg#333333 bg#ffff99|4,5=b fg#333333 bg#ffff99|0,6=fg#333333"},
      // Links of every kind keep their words; only an address that is relative is made absolute,
      // and one that would run a script is its words alone.
      {"<p><a href=\"docs/manual.html\">Shown text</a></p><table><tr><td><a href=\"docs/manual.html\">Cell "
       "text</a></td><td>x</td></tr></table><p><a href=\"?page=2\">Next</a></p><p><a href=\"ftp://host/f\">"
       "Files</a></p><p><a href=\"mailto:a@example.org\">Write</a></p><p><a href=\"www.example.org\">Site</a></p>"
       "<p><a href=\"javascript:void(0)\">Menu</a></p>",
       "0,0={docs/manual.html}>Shown text|0,1={docs/manual.html}>Cell text|1,1=x|0,2={?page=2}>Next|"
       "0,3=ftp://host/f>Files|0,4=mailto:a@example.org>Write|0,5=http://www.example.org>Site|0,6=Menu",
       ""},
      // A blank before text that keeps its own stays before it, with or without a style sheet.
      {"<style>code{white-space: pre-wrap;}</style><p>Run <code>make install</code>.</p><p>Run <code>make"
       "</code> now</p><p>a <span style=\"white-space:pre\">b  c</span> d</p>",
       "0,0=Run make install.|0,1=Run make now|0,2=a b  c d", ""},
      // Looks after a list, whatever ends it.
      {"<ol><li>a</li><li>b</li></ol><h2>After</h2><h2>Second</h2><ul><li>One</li><li>Two</li></ul>"
       "<p style=\"color:red\">Red</p><dl><dt>t</dt></dl><h3>Term</h3>",
       "0,0=a|0,1=b|0,2=After|0,3=Second|0,4=One|0,5=Two|0,6=Red|0,7=t|0,8=Term",
       "0,1=-|0,2=b|0,3=b|0,6=fg#ff0000|0,8=b"},
      // A footer, wherever written, after the rows of the body; a second footer stays where it is.
      {"<table><tfoot><tr><td>sum</td></tr></tfoot><tr><td>a</td></tr><tbody><tr><td>b</td></tr></tbody>"
       "<tfoot><tr><td>more</td></tr></tfoot><tbody><tr><td>c</td></tr></tbody></table>",
       "0,0=a|0,1=b|0,2=more|0,3=c|0,4=sum", ""},
      // Text between a table's rows shows on one line before it; the fallback text of frames,
      // objects and videos shows nowhere; the page's own looks reach its text.
      {"<body text=\"#00ff00\"><table><tr><td>a</td></tr>stray <b>text</b><tr><td>b</td></tr> more</table>"
       "<iframe src=\"a.html\"><p>frame</p></iframe><object data=\"x.svg\"><p>object</object><video>video"
       "</video><p>end</p></body>",
       "0,0=stray text more|0,1=a|0,2=b|0,3=end", "0,1=fg#00ff00|0,3=fg#00ff00"},
      {"<body style=\"color:#ff0000\"><p>red</p></body>", "0,0=red", "0,0=fg#ff0000"},
      {"<style>html{color:#0000ff}</style><p>blue</p><p style=\"color:#00ff00\">green</p>", "0,0=blue|0,1=green",
       "0,0=fg#0000ff|0,1=fg#00ff00"},
      // A centred table centres the table, not its cells' text, unless a style centres the text
      // (a page of old: not even then).
      {"<!DOCTYPE html><center><table><tr><td>a</td><td align=\"right\">b</td></tr></table></center>"
       "<div style=\"text-align:center\"><table><tr><td>c</td></tr></table></div>",
       "0,0=a|1,0=b|0,1=c", "0,0=-|1,0=right|0,1=center"},
      {"<div align=\"center\"><table><tr><td>a</td></tr></table></div>"
       "<div style=\"text-align:center\"><table><tr><td>c</td></tr></table></div>",
       "0,0=a|0,1=c", "0,0=-|0,1=-"},
      // A row's background reaches each of its cells but one with its own.
      {"<style>tr.odd{background-color:#f2f2f2}</style><table><tr bgcolor=#eeeeee><td>a</td><td bgcolor=red>r"
       "</td></tr><tr style=\"background:#ffff00\"><td>b</td></tr><tr class=\"odd\"><td>c</td></tr><tr><td>d"
       "</td></tr></table>",
       "0,0=a|1,0=r|0,1=b|0,2=c|0,3=d", "0,0=bg#eeeeee|1,0=bg#ff0000|0,1=bg#ffff00|0,2=bg#f2f2f2|0,3=-"},
  };
  for (const auto& c : cases) {
    const bool file = QByteArray(c.page).endsWith(".html") && !QByteArray(c.page).contains('<');
    const QString path = file ? TestDataPath(QStringLiteral("html/") + QLatin1String(c.page)) : this->path("page.html");
    QByteArray html = c.page;
    if (file) html = ReadFileBytes(path);
    else ASSERT_TRUE(WriteFileBytes(path, html));
    ASSERT_FALSE(html.isEmpty());
    for (const Reading reading : {Reading::Open, Reading::Paste}) {
      SCOPED_TRACE(std::string(c.page).substr(0, 60) + (reading == Reading::Open ? " (open)" : " (paste)"));
      CADocument sheet;
      ASSERT_TRUE(read(sheet, path, html, reading));
      EXPECT_EQ(CellSummary(sheet).toStdString(),
                ExpectedCells(QString::fromUtf8(c.cells), reading, path).toStdString());
      const QString looks = QString::fromUtf8(c.looks);
      for (QStringView entry : QStringView(looks).tokenize(u'|', Qt::SkipEmptyParts)) {
        const qsizetype equals = entry.indexOf(u'=');
        const qsizetype comma = entry.indexOf(u',');
        const GridPoint at{entry.first(comma).toLongLong(), entry.sliced(comma + 1, equals - comma - 1).toLongLong()};
        const CACell* cell = sheet.cellAtGridPoint(at);
        ASSERT_TRUE(cell) << entry.toString().toStdString();
        EXPECT_EQ(LooksOf(*cell), entry.sliced(equals + 1).toString().toStdString()) << entry.toString().toStdString();
      }
    }
  }
}

// Words beside a picture stay, the picture beside them where it can be had and its row leaves
// room: an open (a picture named beside the page) and a paste (one named by its file's address)
// agree.
TEST_F(HtmlOrdinaryPagesTest, WordsBesideAPictureStayOpenedOrPasted) {
  const QString picture = TestDataPath(QStringLiteral("html/logo.png"));
  const struct {
    const char* page;  // {picture}: where the page names the picture
    const char* cells;
  } cases[] = {
      {"<p>Company <img src=\"{picture}\"> Annual report</p>", "0,0=Company Annual report|1,0=picture"},
      {"<p><img src=\"{picture}\"></p>", "0,0=picture"},
      {"<pre>a\t<img src=\"{picture}\"> b\tc</pre>", "0,0=a|1,0=b|2,0=picture|3,0=c"},
      {"<table><tr><td><img src=\"{picture}\"> figure 1</td></tr></table>", "0,0=figure 1|1,0=picture"},
      {"<table><tr><td>logo <img src=\"{picture}\"></td><td></td></tr></table>", "0,0=logo|1,0=picture"},
      // The row's next cell keeps its own: the words stay, the picture has no place.
      {"<table><tr><td><img src=\"{picture}\"> figure 1</td><td>b</td></tr></table>", "0,0=figure 1|1,0=b"},
      // A picture that cannot be had leaves the words as they would read beside it.
      {"<p>Company <img src=\"missing.png\"> Annual report</p><table><tr><td><img src=\"missing.png\"> figure"
       " 1</td></tr></table>",
       "0,0=Company Annual report|0,1=figure 1"},
  };
  ASSERT_TRUE(QFile::copy(picture, path("logo.png")));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    for (const Reading reading : {Reading::Open, Reading::Paste}) {
      QString page = QString::fromUtf8(c.page);
      page.replace(QStringLiteral("{picture}"), reading == Reading::Open
                                                    ? QStringLiteral("logo.png")
                                                    : QUrl::fromLocalFile(path("logo.png")).toString());
      ASSERT_TRUE(WriteFileBytes(path("page.html"), page.toUtf8()));
      CADocument sheet;
      ASSERT_TRUE(read(sheet, path("page.html"), page.toUtf8(), reading));
      EXPECT_EQ(CellSummary(sheet).toStdString(), c.cells) << (reading == Reading::Open ? "open" : "paste");
    }
  }
}

// A long table, which the sheet reads itself where its rows are plain, is left to the rich text
// where its rows are striped, and every other row is painted, opened or pasted.
TEST_F(HtmlOrdinaryPagesTest, ALongStripedTableIsPaintedOpenedOrPasted) {
  const struct {
    const char* head;
    const char* stripe;  // the attributes of every other row
    const char* looks;
  } cases[] = {
      {"<style>tr.odd{background-color:#f2f2f2}</style>", " class=\"odd\"", "bg#f2f2f2"},
      {"", " bgcolor=\"#eeeeee\"", "bg#eeeeee"},
      {"", " style=\"background: rgb(255, 255, 153)\"", "bg#ffff99"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stripe);
    QByteArray html = QByteArray("<html><head>") + c.head + "</head><body><table>";
    for (int y = 0; y < 100; ++y)
      html += "<tr" + QByteArray(y % 2 ? c.stripe : "") + "><td>r" + QByteArray::number(y) + "</td><td>" +
              QByteArray::number(y) + "</td></tr>";
    html += "</table></body></html>";
    ASSERT_TRUE(WriteFileBytes(path("striped.html"), html));
    for (const Reading reading : {Reading::Open, Reading::Paste}) {
      CADocument sheet;
      ASSERT_TRUE(read(sheet, path("striped.html"), html, reading));
      for (const int64_t y : {0, 1, 50, 99}) {
        for (const int64_t x : {0, 1}) {
          const CACell* cell = sheet.cellAtGridPoint({x, y});
          ASSERT_TRUE(cell) << x << "," << y;
          EXPECT_EQ(LooksOf(*cell), y % 2 ? c.looks : "-") << x << "," << y;
        }
      }
    }
  }
}

}  // namespace
