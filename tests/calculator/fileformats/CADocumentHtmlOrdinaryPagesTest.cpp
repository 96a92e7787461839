// Ordinary pages, as pandoc, LibreOffice Writer, a wiki and a report generator write them, open
// and paste with the cells a browser shows: a link keeps its words (its address made absolute
// against the page's address on an open, as written on a paste), blanks stay where they are shown,
// looks survive a list, words beside a picture stay, a footer comes last, rows give their cells
// their background, and the page's own looks reach its text. The cells expected are written out
// by hand from a browser's reading of each page (tests/data/html/browser, which
// tools/read_pages_in_chromium.sh saves). Further pages of many kinds (tests/data/html/sources/
// pages: statements, timetables, results, e-mails, exports, forums, word processors' pages, in
// UTF-8, UTF-16 and windows-1252) lose none of the text a browser shows.
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
  // bytes: the paste is of the page's bytes, read in its own character set, as a paste of a
  // page in any character set is.
  bool read(CADocument& sheet, const QString& file, const QByteArray& html, Reading reading, bool bytes = false) {
    if (reading == Reading::Open) {
      FLError error;
      return sheet.openFile(file, &error) == kFileTypeHtml;
    }
    InstallFileFormatServices();
    bool refused = false;
    if (bytes) return FileFormatServices().loadPastedHtml(sheet, html, false, &refused);
    return FileFormatServices().loadHtml(sheet, QString::fromUtf8(html));
  }
  // The page (a file of tests/data/html, or one written here) opens and pastes with the cells
  // expected (ExpectedCells) and the looks asked ("x,y=looks").
  // pasted: the cells of a paste where they stand elsewhere than an open's without its pictures
  // (a table's columns moved right for a picture an open finds).
  void expectPage(const char* page, const char* cells, const char* looks, bool bytes = false,
                  const char* pasted = nullptr);
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
    const char* pasted = nullptr;  // where a paste's cells stand elsewhere (expectPage)
  } cases[] = {
      // pandoc: inline code keeps the blanks around it, looks survive the list, the page's colour
      // (its root's) reaches all text, relative links keep their words.
      {"pandoc-manual.html",
       "0,0=Manual|0,1=Install|0,2=Run make install as root, or make now.|0,3=Download the source|"
       "0,4=Unpack it|0,5=After the list|0,6={docs/manual.html}>See the manual and the history.|0,7=Option|1,7=Meaning|0,8=-v|"
       "1,8=verbose|0,9=-q|1,9=quiet|0,10=History|0,11={../changes.html}>Changes",
       "0,0=b fg#1a1a1a center|0,2=fg#1a1a1a|0,4=fg#1a1a1a|0,5=b fg#1a1a1a|0,10=b fg#1a1a1a"},
      // LibreOffice Writer: words beside a picture (the picture beside them where it is had, on
      // the side it is shown on), a centred table whose cells keep their own alignment, list items
      // written as paragraphs.
      {"writer-report.html",
       "0,0=Company Annual report|1,0=picture|0,1=Revenue|1,1=120|0,2=Costs|1,2=80|"
       "0,3={docs/notes.html}>See the notes for details.|0,4={docs/notes.html}>Notes|0,5=First point|0,6=Second point|"
       "0,7=Outlook|0,8=Figures are provisional.|0,9=picture|1,9=figure 1",
       "0,1=-|1,1=right|0,7=b|0,8=fg#c9211e",
       "0,0=Company Annual report|0,1=Revenue|1,1=120|0,2=Costs|1,2=80|0,3={docs/notes.html}>See the notes for details.|"
       "0,4={docs/notes.html}>Notes|0,5=First point|0,6=Second point|0,7=Outlook|0,8=Figures are provisional.|"
       "0,9=figure 1"},
      // A wiki: a table of contents and a table of links to its own pages, striped rows, a video's
      // fallback text not shown, an absolute address with a blank kept as written.
      {"wiki-places.html",
       "0,0=Places of the valley|0,1={/wiki/Village}>The valley holds villages along the river.|0,2=Contents|"
       "0,3={#History}>1 History|0,4={#Places}>2 Places|0,5=History|0,6={/wiki/Middle_Ages}>Settled in the Middle Ages.|"
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
       "3,5=90|4,5=105|0,6={../index.html}>Generated by the report generator.",
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
  for (const auto& c : cases) expectPage(c.page, c.cells, c.looks, false, c.pasted);
}

void HtmlOrdinaryPagesTest::expectPage(const char* page, const char* cells, const char* looks, bool bytes,
                                       const char* pasted) {
  const bool file = QByteArray(page).endsWith(".html") && !QByteArray(page).contains('<');
  const QString path = file ? TestDataPath(QStringLiteral("html/") + QLatin1String(page)) : this->path("page.html");
  QByteArray html = page;
  if (file) html = ReadFileBytes(path);
  else ASSERT_TRUE(WriteFileBytes(path, html));
  ASSERT_FALSE(html.isEmpty());
  for (const Reading reading : {Reading::Open, Reading::Paste}) {
    SCOPED_TRACE(std::string(page).substr(0, 60) + (reading == Reading::Open ? " (open)" : " (paste)"));
    CADocument sheet;
    ASSERT_TRUE(read(sheet, path, html, reading, bytes));
    const char* expected = reading == Reading::Paste && pasted ? pasted : cells;
    EXPECT_EQ(CellSummary(sheet).toStdString(), ExpectedCells(QString::fromUtf8(expected), reading, path).toStdString());
    const QString wanted = QString::fromUtf8(looks);
    for (QStringView entry : QStringView(wanted).tokenize(u'|', Qt::SkipEmptyParts)) {
      const qsizetype equals = entry.indexOf(u'=');
      const qsizetype comma = entry.indexOf(u',');
      const GridPoint at{entry.first(comma).toLongLong(), entry.sliced(comma + 1, equals - comma - 1).toLongLong()};
      const CACell* cell = sheet.cellAtGridPoint(at);
      ASSERT_TRUE(cell) << entry.toString().toStdString();
      EXPECT_EQ(LooksOf(*cell), entry.sliced(equals + 1).toString().toStdString()) << entry.toString().toStdString();
    }
  }
}

// Pages of many kinds, each read as a browser shows it: a number as the sheet takes it typed
// ("£1,204.17" and "12%" are numbers, "−0.95" too), a span over columns or rows
// leaving the columns it covers empty, a cell's lines (a line break, a block, an element a style
// lays out as a block) as lines of its text, a table inside a cell as its words on one line (a
// sheet holds no table in a cell: an e-mail laid out in tables is one cell), a no-break space
// kept where it stands, a footer written before the body after it, a ruby's reading in the
// parentheses written for readers that show none above the text, a template not shown, the text
// of a page in UTF-16 or windows-1252 as written, every link a browser shows keeping its address:
// the first that leads out of the page carries the words of its paragraph or cell, on whichever of
// the cell's lines it stands (an e-mail's "Track your parcel"), each further one a cell beside
// them (a calendar day's second event, a topic's author and forum, the columns after them moving
// over), a footnote's mark giving its words; a linked picture not had beside words keeps its
// address, and no words a style clips to nothing (for screen readers alone) are read. A paste
// reads the page's bytes as an open does.
TEST_F(HtmlOrdinaryPagesTest, FurtherPagesLoseNoTextABrowserShows) {
  const struct {
    const char* page;   // a file of tests/data/html/sources/pages, or a page written here
    const char* cells;  // opened (ExpectedCells)
  } cases[] = {
      {"sources/pages/bank-statement.html",
       "0,0=Northfield Savings Bank|0,1=Account statement|0,2=Account|1,2=Everyday Current · ****\u00a04821|"
       "0,3=Period|1,3=01/03/2026 – 31/03/2026|0,4=Date|1,4=Description|2,4=Reference|3,4=Paid out|4,4=Paid in|"
       "5,4=Balance|0,5=01 Mar|1,5=Opening balance|5,5=1204.17|0,6=02 Mar|"
       "1,6=CARD PAYMENT TO GREENGROCER\u00a0LTD|2,6=4821 0203|3,6=23.4|5,6=1180.77|0,7=05 Mar|"
       "1,7=SALARY — ACME WIDGETS|2,7=BGC|4,7=2310|5,7=3490.77|0,8=09 Mar|1,8=DIRECT DEBIT CTAX 0931|2,8=DD|"
       "3,8=145|5,8=3345.77|0,9=14 Mar|1,9=TRANSFER TO SAVINGS\nRef: holiday fund|2,9=TFR|3,9=500|5,9=2845.77|"
       "0,10=30 Mar|1,10=Pending: ONLINE SHOP *7731|2,10=–|3,10=61.99|0,11=Totals|3,11=668.4|4,11=2310|"
       "5,11=2845.77|0,12=Northfield Savings Bank is a made-up name. Calls may be recorded."},
      {"sources/pages/calendar-month.html",
       "0,0={?m=2026-04}>« April | May 2026 | June »|1,0={?m=2026-06}>June »|0,1=Mon|1,1=Tue|2,1=Wed|3,1=Thu|"
       "4,1=Fri|5,1=Sat|7,1=Sun|0,2=27|1,2=28|2,2=29|3,2=30|4,2=1|5,2={/e/41}>2\nSpring fair|7,2=3|0,3=4|1,3=5|"
       "2,3=6\nCommittee 19:00|3,3=7|4,3=8|5,3=9|7,3=10|0,4=11|1,4=12|2,4=13|3,4=14|4,4=15|"
       "5,4={/e/44}>16\nBeach clean\nBBQ|6,4={/e/45}>BBQ|7,4=17|0,5=18|1,5=19|2,5=20|3,5=21|4,5=22|5,5=23|"
       "7,5=24|0,6=25\nBank holiday|1,6=26|2,6=27|3,6=28|4,6=29|5,6=30|7,6=31|0,7={/calendar.ics}>Subscribe (iCal)"},
      {"sources/pages/changelog.html",
       "0,0=quickzip changelog|0,1=3.1.2 (2026-02-11)|"
       "0,2=https://bugs.example.org/2231>Security: reject archive entries whose names contain ../ (#2231).|0,3=Fixed: -x ignored --quiet.|"
       "0,4=3.1.1 (2025-12-30)|0,5=Fixed a 1-byte over-read in the CRC table.|0,6=Packaging|"
       "0,7=quickzip (3.1.2-1) unstable; urgency=high|0,9=  * New upstream release.|"
       "0,10=  * Drop patch 0003-crc.diff, applied upstream.|"
       "0,12= -- Ines Varga <ines@example.org>  Thu, 12 Feb 2026 09:30:00 +0100"},
      {"sources/pages/ci-pipelines.html",
       "0,0=Pipelines|0,1=Status|1,1=Pipeline|2,1=Triggerer|3,1=Stages|4,1=Duration|0,2=\u00a0passed|"
       "1,2={/infra/deploy/-/pipelines/9812}>#9812\nmain · a1b2c3d4\nMerge branch 'fix-dns' into 'main'|"
       "3,2=build ✓ test ✓ deploy ✓|4,2=00:04:12\n2\u00a0hours ago|0,3=\u00a0failed|"
       "1,3={/infra/deploy/-/pipelines/9807}>#9807\nfix-dns · 9f8e7d6c\nRetry lookups on SERVFAIL|"
       "3,3=build ✓ test ✗ deploy –|4,3=00:02:57\n5\u00a0hours ago|"
       "0,4=Showing 2 of 2 pipelines. Auto\u00adDevOps is off."},
      {"sources/pages/conference-programme.html",
       "0,0=Open Data Days 2026 – Programme|0,1=Thursday, 11 June|0,2=Time|1,2=Hall A|2,2=Room 1.12|"
       "3,2=Room 1.14|0,3=09:00|1,3=Registration & coffee|0,4=09:30|"
       "1,4=Keynote: Counting what counts\nDr. Mira Havel|0,5=10:30|1,5=Open budgets in small towns|"
       "2,5=Workshop: cleaning CSV files\nBeginner|3,5=Lightning talks|0,6=11:15|1,6=Maps without tiles|"
       "2,6=Workshop (continued)|3,6=Data journalism panel|0,7=12:00|1,7=Archives as data|3,7=Closing Q&A|"
       "0,8=12:30|1,8=Lunch|0,9={venue.html#access}>Rooms 1.12 and 1.14 are on the first floor. Step-free access."},
      {"sources/pages/db-export.html",
       "0,0=Table: customers|0,1=id|1,1=name|2,1=email|3,1=balance|4,1=created_at|5,1=notes|0,2=1|1,2=Ana Lima|"
       "2,2=ana@example.com|3,2=-12.5|4,2=2025-11-02 08:14:00|5,2=NULL|0,3=2|1,3=O'Connor, Pat|3,3=0|"
       "4,3=2025-11-03 17:45:12|5,3=VIP; call first|0,4=3|1,4=Zoë Brandt|2,4=zoe@example.org|3,4=1000|"
       "4,4=2025-12-24 23:59:59|5,4=<script> in name field|0,5=4|1,5==HYPERLINK(\"x\")|2,5=bad@example.net|"
       "3,5=7|4,5=2026-01-01 00:00:00|5,5=line1 line2|0,6=4 rows in set (0.002 sec)"},
      {"sources/pages/dictionary-entry.html",
       "0,0=木(こ)漏れ日(び)|0,1=komorebi /ko̞mo̞ɾe̞bi/|0,2=n. Sunlight filtering through the leaves of trees.|"
       "0,3=Kanji|0,4=木 (tree) + 漏れ (leak) + 日 (sun)|0,5=Usage|0,6=lit., common in poetry|0,7=Form|1,7=Writing|"
       "2,7=Reading|0,8=Standard|1,8=木漏れ日こもれび|2,8=komorebi|0,9=Variant|1,9=木洩れ日|2,9=komorebi|"
       "0,10={/entry/%E6%97%A5%E5%90%91}>See also: 日向 (hinata, a sunny place)."},
      {"sources/pages/excel-webpage.html",
       "0,0=Region|1,0=Sales|2,0=Share|3,0=Updated|0,1=North & East|1,1=12345.68|2,1=0.41|3,1=4/2/2026|"
       "0,2=South|1,2=9870.1|2,2=0.59|3,2=4/3/2026|0,3=Total|1,3=22215.78|2,3=1"},
      {"sources/pages/forum-thread.html",
       "0,0={./viewtopic.php?t=5512}>Greenhouse heating on a budget?|0,1=3 posts • Page 1 of 1|"
       "0,2={#p40121}>Greenhouse heating on a budget?|0,3={./viewtopic.php?p=40121#p40121}>|"
       "1,3={./memberlist.php?mode=viewprofile&u=881}>by beanpole » Sun Jan 18, 2026 7:42 pm|"
       "0,4=Has anyone tried bubble wrap plus a paraffin heater? My chillies died last winter.|"
       "0,6=Thanks in advance!|0,7={./memberlist.php?mode=viewprofile&u=881}>beanpole|0,8=Posts: 214|"
       "0,9=Joined: Sat Apr 02, 2022|0,10={#p40130}>Re: Greenhouse heating on a budget?|"
       "0,11={./memberlist.php?mode=viewprofile&u=97}>by old_digger » Sun Jan 18, 2026 9:05 pm|"
       "0,12=beanpole wrote:Has anyone tried bubble wrap plus a paraffin heater?|"
       "0,13=Bubble wrap, yes. Paraffin gives off water vapour, so ventilate.|0,14=Topics|3,14=Replies|"
       "4,14=Views|5,14=Last post|"
       "0,15={./viewtopic.php?t=5512}>Greenhouse heating on a budget?\nby beanpole » in Under glass|"
       "1,15={./memberlist.php?u=881}>beanpole|2,15={./viewforum.php?f=3}>Under glass|3,15=2|"
       "4,15=88|5,15=by old_digger\nMon Jan 19, 2026|"
       "0,16={./viewtopic.php?t=5490}>Best early potatoes\nby spudlady|1,16={./memberlist.php?u=12}>spudlady|"
       "3,16=14|4,16=1203|5,16=by beanpole\nFri Jan 16, 2026"},
      {"sources/pages/glossary-inline.html",
       "0,0=Glossary of terms|0,1=Term|1,1=Meaning|2,1=Score|0,2=super\u00adcali\u00adfragilistic|"
       "1,2=A very long word; see here.|0,3=Antidisestablishmentarianism|"
       "1,3=Opposition to an established church.|0,4=Café crème|"
       "1,4=Written with combining accents: café crème.|2,4=forty-two|0,5=Family 👨‍👩‍👧|"
       "1,5=An emoji of joined people; flags 🇳🇴🇯🇵.|2,5=7|0,6=zero​width|"
       "1,6=A word with a zero-width space; user إيان wrote it.|2,6=Small Caps|"
       "0,7=H2O and E\u00a0=\u00a0mc2 — old new fine print."},
      {"sources/pages/hosting-plans.html",
       "0,0=Hosting plans|0,1=Plan|1,1=Includes|2,1=Limits|0,2=Hobby\n$4/mo|"
       "1,2=1 site\nFree TLS\nDaily backups\nkept 7 days|2,2=Storage\n10\u00a0GB\nBandwidth\n100\u00a0GB|"
       "0,3=Studio\n$19/mo|1,3=10 sites\nStaging|2,3=cpu  2 vCPU\nram  4 GiB|"
       "0,4=“Moved 40 sites in an afternoon.”|0,5=— Lin, agency owner|0,6=All plans:|0,7=Uptime|1,7=0.999|"
       "0,8=Support|1,8=24/7|0,9=Billed yearly|0,10=or monthly"},
      {"sources/pages/html-email.html",
       "0,0=https://shop.example/track/100-4471>Your order has shipped! Hi Sam,\n\nGood news: order #100-4471 is on its way. Item Qty Price Ceramic mug, blue 2 $18.00 Tea sampler 1 $12.50 Total $30.50 Track your parcel You received this e-mail because you ordered from Example Shop.\nUnsubscribe · Privacy|"
       "1,0=https://shop.example/unsubscribe>Unsubscribe|2,0=https://shop.example/privacy>Privacy"},
      {"sources/pages/invoice.html",
       "0,0=INVOICE\nNo. INV-2026-0147\nDate: 28 April 2026\nDue: 28 May 2026|"
       "1,0=Kestrel Design Studio\n12 Orchard Lane\nBristol BS1 4XX\nVAT No. GB 123 4567 89|"
       "0,1=Bill to: Harbourside Café Ltd, 3 Quay Street, Bristol|0,2=#|1,2=Description|2,2=Qty|3,2=Unit price|"
       "4,2=Amount|0,3=1|1,3=Logo redesign|2,3=1|3,3=650|4,3=650|0,4=2|1,4=Menu layout (A3, 2 pages)|2,4=2|"
       "3,4=120|4,4=240|0,5=3|1,5=Print proofs\ncourier included|2,5=3|3,5=15.5|4,5=46.5|0,6=Subtotal|4,6=936.5|"
       "0,7=VAT 20%|4,7=187.3|0,8=Total due|4,8=1123.8|"
       "0,9=Payment by bank transfer: sort code 00-00-00, account 12345678. Thank you for your business."},
      {"sources/pages/issue-export.html",
       "0,0=Key|1,0=Summary|2,0=Issue Type|3,0=Status|4,0=Priority|5,0=Assignee|6,0=Created|7,0=Labels|"
       "0,1={/browse/OPS-231}>OPS-231|1,1=Nightly backup fails on volumes > 2\u00a0TB|2,1=Bug|3,1=In Progress|"
       "4,1=High|5,1={/secure/ViewProfile.jspa?name=pkim}>Paula Kim|6,1=12/Mar/26 9:14 AM|7,1=backup storage|"
       "0,2={/browse/OPS-240}>OPS-240|1,2=Rotate TLS certificates for *.internal|2,2=Task|3,2=To Do|4,2=Medium|"
       "5,2=Unassigned|6,2=14/Mar/26 4:02 PM|7,2=|0,3={/browse/OPS-242}>OPS-242|"
       "1,3=Disk usage alert threshold 85% → 90%|2,3=Improvement|3,3=Done|4,3=Low|"
       "5,3={/secure/ViewProfile.jspa?name=tokafor}>Tunde Okafor|6,3=15/Mar/26 11:30 AM|7,3=monitoring|"
       "0,4=Generated at Tue Mar 17 08:00:12 UTC 2026 by Paula Kim using the issue tracker."},
      {"sources/pages/man-page.html",
       "0,0=TALLY|0,1=Section: User Commands (1)|0,2=Updated: March 2026|0,3={../index.html}>Index Return to Main Contents|0,5=|"
       "0,6=NAME|0,7=tally - count lines, words and fields \u00a0|0,8=SYNOPSIS|"
       "0,9=tally [-l] [-w] [-d delim] [file ...] \u00a0|0,10=OPTIONS|0,11=-l, --lines|"
       "0,12=Print the number of lines.|0,13=-w, --words|0,14=Print the number of words.|0,15=-d delim|"
       "0,16=Count fields separated by delim (default: tab).|0,17=|0,18=EXIT STATUS|0,19=0|1,19=Success.|0,20=1|"
       "1,20=A file could not be read.|0,21=2|1,21=Bad usage.|0,22=|0,23=EXAMPLE|0,24=$ tally -l notes.txt|"
       "0,25=42 notes.txt|0,28=|0,29=Index|0,30={#lbAB}>NAME|0,31={#lbAC}>SYNOPSIS|"
       "0,32=This document was created by man2html, using the manual pages."},
      {"sources/pages/price-list-utf16.html",
       "0,0=Preisliste Fahrradwerkstatt|0,1=Gültig ab 1. März 2026 · alle Preise inkl. 19 % MwSt.|0,2=Leistung|"
       "1,2=Dauer|2,2=Preis|0,3=Schlauch wechseln|1,3=15 Min.|2,3=12,50 €|"
       "0,4=Bremsen einstellen (vorn & hinten)|1,4=30 Min.|2,4=24,00 €|0,5=Inspektion „Frühling“|1,5=1½ Std.|"
       "2,5=69,00 €|0,6=Kette ölen|1,6=–|2,6=gratis|0,7=Öffnungszeiten: Mo–Fr 9–18 Uhr, Sa 10–14 Uhr."},
      {"sources/pages/pricing-page.html",
       "0,0=Simple pricing|0,1=Save 20% with yearly billing. New: a free plan for students.|1,2=Starter|"
       "2,2=Team Popular|3,2=Business|0,3=Per month|1,3=$9 $7|2,3=$29 $23|3,3=79|0,4=Users|1,4=1|2,4=up to 10|"
       "3,4=unlimited|0,5=Storage|1,5=10 GB|2,5=1 TB|3,5=5 TB|0,6=Support|1,6=e-mail|2,6=e-mail & chat|"
       "3,6=24/7 phone|1,7={/signup?plan=starter}>Start free trial|2,7={/signup?plan=team}>Start free trial|"
       "3,7={/contact-sales}>Contact sales|0,8=Prices exclude tax. Offer ends 31 May. Offer extended to 30 June."},
      {"sources/pages/product-comparison.html",
       "0,0=Compare routers|1,1=Basic R1|2,1=Home R3|3,1=Pro R7|0,2=Wi-Fi standard|1,2=Wi-Fi 5|2,2=Wi-Fi 6|"
       "3,2=Wi-Fi 6E|0,3=Mesh support|1,3=✗|2,3=✓|3,3=✔|0,4=Ethernet ports|1,4=2|2,4=4|3,4=4 + 1×2.5G[1]|"
       "0,5=Price|1,5=49|2,5=1292|3,5=249|0,6=Warranty|1,6=2 years|3,6=3 years|"
       "0,7=The 2.5G port is shared with the WAN. ↑|0,8=Introductory price until 30 June."},
      {"sources/pages/race-results-1252.html",
       "0,0=Course des Crêtes – 18 km|0,1=Départ : 9h00 · Arrivées : 214 coureurs · Météo : ensoleillé, 14 °C|"
       "0,2=Pl.|1,2=Dossard|2,2=Nom|3,2=Cat.|4,2=Temps|5,2=Écart|0,3=1|1,3=117|2,3=BÉRARD Loïc|3,3=SEM|"
       "4,3=1:08’42|5,3=–|0,4=2|1,4=58|2,4=N’DIAYE Awa|3,4=SEF|4,4=1:11’05|5,4=+2’23|0,5=3|1,5=203|"
       "2,5=Østergaard Søren|3,5=M1M|4,5=1:12’59|5,5=+4’17|0,6=4|1,6=9|2,6=O’Brien Siobhán|3,6=M2F|4,6=1:15’30|"
       "5,6=+6’48|0,7=Chronométrage © 2025 Chrono-Alpes. Réclamations sous 48 h à « résultats@chrono.example »."},
      {"sources/pages/recipe.html",
       "0,0=Red lentil soup|0,1=Serves 4 • Prep 10\u00a0min • Cook 25\u00a0min|0,2=Ingredients|"
       "0,3=200\u00a0g red lentils, rinsed|0,4=1 onion, chopped|0,5=2 carrots, diced|"
       "0,6=1½\u00a0l vegetable stock|0,7=1 tsp ground cumin|0,8=Method|"
       "0,9=Soften the onion and carrots in a little oil for 5 minutes.|"
       "0,10=Add the lentils, cumin and stock; simmer for 20–25 minutes.|"
       "0,11=Blend until smooth and season to taste.|0,12=Nutrition (per serving)|0,13=Energy|"
       "1,13=1,050\u00a0kJ / 250\u00a0kcal|2,13=0.12|0,14=Fat|1,14=3.1\u00a0g|2,14=0.04|"
       "0,15=\u00a0\u00a0of which saturates|1,15=0.4\u00a0g|2,15=0.02|0,16=Carbohydrate|1,16=38\u00a0g|"
       "2,16=0.15|0,17=Protein|1,17=15\u00a0g|2,17=0.3|0,18=Salt|1,18=1.2\u00a0g|2,18=0.2|"
       "0,19=* Reference intake of an average adult (8,400\u00a0kJ / 2,000\u00a0kcal)."},
      {"sources/pages/release-notes.html",
       "0,0=v2.4.0|0,1=Latest|0,2={/example/tidyq/commits/v2.4.0}>May 2, 2026 · 37 commits to main since this release|0,3=What's Changed|"
       "0,4={/nkarim}>Add --json output to tidyq ls by @nkarim in #812|1,4={/example/tidyq/pull/812}>#812|"
       "0,5={/jlee}>Fix crash when the queue file is empty by @jlee in #820|1,5={/example/tidyq/pull/820}>#820|"
       "0,6=Bump serde from 1.0.197 to 1.0.203|"
       "0,7=Breaking changes|0,8=tidyq run now exits with status 2 (not 1) on a timeout.|"
       "0,9={/example/tidyq/compare/v2.3.1...v2.4.0}>Full Changelog: v2.3.1...v2.4.0|0,10=Assets 3|"
       "0,11={/example/tidyq/releases/download/v2.4.0/tidyq-linux-x86_64.tar.gz}>tidyq-linux-x86_64.tar.gz|"
       // The page's dates in English words are dates (shown as written, given here as typed).
       "1,11=4.1 MB|2,11=5/2/2026|0,12={/example/tidyq/archive/refs/tags/v2.4.0.zip}>Source code (zip)|"
       "2,12=5/2/2026|0,13={/example/tidyq/archive/refs/tags/v2.4.0.tar.gz}>Source code (tar.gz)|"
       "2,13=5/2/2026"},
      {"sources/pages/report-card.html",
       "0,0=Lindenhurst Primary — End of Term Report|0,1=Pupil: Noor Hassan|1,1=Class: 5B|2,1=Term: Spring 2026|"
       "0,2=Subject|1,2=Attainment|3,2=Effort|4,2=Comment|1,3=Autumn|2,3=Spring|0,4=English|1,4=B|2,4=A\u2212|"
       "3,4=4|4,4=Reads widely; lovely descriptive writing.|0,5=Mathematics|1,5=B+|2,5=B+|3,5=3|"
       "4,5=Secure with fractions. Practise times tables.|0,6=Science|1,6=C|2,6=D|3,6=2|"
       "4,6=Needs to finish experiment write-ups.|0,7=Music|1,7=Not assessed|3,7=4|"
       "4,7=Plays recorder in the school band.|0,8=Attendance: 96.4% (3 days absent, 1 late).|"
       "0,9=Effort: 4 = excellent, 1 = poor."},
      {"sources/pages/rtl-news.html",
       "0,0=أسعار الصرف اليوم|0,1=آخر تحديث: ٠١/٠٣/٢٠٢٦ ٩:٠٠|0,2=العملة|1,2=الرمز|2,2=الشراء|3,2=البيع|"
       "4,2=التغير|0,3=دولار أمريكي|1,3=USD|2,3=3.6725|3,3=3.6731|4,3=+0.02%|0,4=يورو|1,4=EUR|2,4=3.981|"
       "3,4=3.9902|4,4=-0.0015|0,5=جنيه إسترليني|1,5=GBP|2,5=٤٫٦٥١٠|3,5=٤٫٦٦٠٢|4,5=0|"
       "0,6=המחירים להמחשה בלבד ‎(USD)‎."},
      {"sources/pages/sheets-published.html",
       "0,0=Volunteer rota|1,1=A|2,1=B|3,1=C|0,2=1|1,2=Date|2,2=Name|3,2=Shift|0,3=2|1,3=6/6/2026|2,3=Aiyana|"
       "3,3=Morning|0,4=3|1,4=6/6/2026|2,4=Bartholomew Featherstonehaugh|0,5=4|1,5=7/6/2026|2,5=Chidi|"
       "3,5=Evening|0,6=https://docs.example.com/>Published by Example Docs – Updated automatically every 5 minutes"},
      {"sources/pages/shop-category.html",
       "0,0={/}>|0,1=Search Go|0,2={/}>Home ›|0,3={/kitchen}>Kitchen ›|0,4=Kettles|0,5=Kettles (3 products)|"
       "0,6=Turn on JavaScript to filter products.|0,8={/p/k1}>Steel kettle 1.7\u00a0l|"
       "0,9=★★★★☆ (128)|0,10=£39.99 £29.99|0,12={/p/k2}>Glass kettle with blue\u00adlight|"
       "0,13=★★★☆☆ (17)|0,14=44.5|0,15=Sort by:|0,16=Relevance|0,17=Price: low to high|"
       "0,18={/terms}>© 2026 Example Shop Ltd · Terms"},
      {"sources/pages/sports-results.html",
       "0,0=Valley League — Matchday 14|0,1=Sat 14 Feb|"
       "1,1=Riverside FC 2\u00a0–\u00a01 Old Mill Town Scorers: Adeyemi 12', 77'; Kowalski 58' (pen)|"
       "0,2=Sat 14 Feb|1,2=Hillcrest Rovers 0\u00a0–\u00a00 Lakeside United|0,3=Standings|0,4=#|1,4=Team|2,4=P|"
       "3,4=W|4,4=D|5,4=L|6,4=GD|7,4=Pts|0,5=1|1,5={/team/riverside}>Riverside FC|2,5=14|3,5=10|4,5=2|5,5=2|"
       "6,5=+17|7,5=32|0,6=2|1,6={/team/lakeside}>Lakeside United|2,6=14|3,6=8|4,6=4|5,6=2|6,6=+9|7,6=28|0,7=3|"
       "1,7={/team/hillcrest}>Hillcrest Rovers|2,7=14|3,7=6|4,7=3|5,7=5|6,7=0|7,7=21|0,8=4|"
       "1,8={/team/oldmill}>Old Mill Town|2,8=14|3,8=2|4,8=1|5,8=11|6,8=-26|7,8=7"},
      {"sources/pages/stock-table.html",
       "0,0=Market close – Friday|0,1=Symbol|1,1=Name|2,1=Last|3,1=Change|4,1=% Chg|5,1=Volume|"
       "0,2={/q/NRTH}>NRTH|1,2=Northwind Holdings|2,2=142.18|3,2=+3.07|4,2=+2.21%|5,2=1.24M|0,3={/q/BLUE}>BLUE|"
       "1,3=Bluefin Energy|2,3=38.6|3,3=-0.95|4,3=-0.024|5,3=880.5K|0,4={/q/GRNL}>GRNL|1,4=Greenleaf Foods|"
       "2,4=7.02|3,4=0|4,4=0|5,4=312K|0,5={/q/SKYT}>SKYT|1,5=Skyto Telecom|2,5=1015.4|3,5=-12.6|4,5=-0.0123|"
       "5,5=45210|0,6=Index: VX 50 4,812.33 \u22120.41%. Data delayed 15 minutes."},
      {"sources/pages/survey-results.html",
       "0,0=Staff survey 2026: results by department|0,1=Department|1,1=Responses|2,1=Satisfied|3,1=Neutral|"
       "4,1=Dissatisfied|0,2=Finance|1,2=38|2,2=0.66|3,2=0.21|4,2=0.13|0,3=Operations|1,3=205|2,3=0.58|3,3=0.25|"
       "4,3=0.17|0,4=Research|1,4=169|2,4=0.63|3,4=0.24|4,4=0.13|0,5=All departments|1,5=412|2,5=0.61|3,5=0.24|"
       "4,5=0.15|0,6=Percentages may not add up to 100 due to rounding.|"
       "0,7=n = 412 of 530 staff (78% response rate)."},
      {"sources/pages/task-notes.html",
       "0,0=Move house checklist|0,1=Book the van|0,2=Tell the bank|0,3=Savings account|0,4=Credit card|"
       "0,5=Pack fragile boxes last|0,6=Meter readings|0,7=Meter|1,7=Old flat|2,7=New flat|0,8=Electricity|"
       "1,8=48213 kWh|2,8=00912 kWh|0,9=Water|1,9=1,204.6 m³|2,9=pending|0,10=Old addresses|0,11=Done by Friday!"},
      {"sources/pages/timetable.html",
       "0,0=Route 42 – Harbour to Hillcrest|0,1=Valid from 6 April 2026. Times are approximate.|0,2=Stop|"
       "1,2=Monday – Friday|4,2=Saturday|1,3=Early|2,3=Day|3,3=Late|4,3=Day|5,3=Late|0,4=Harbour Bus Station|"
       "1,4=05:45|2,4=09:15|3,4=22:40|4,4=08:30|5,4=23:10|0,5=Market Street (stop K)|1,5=05:52|2,5=09:24|"
       "3,5=22:47|4,5=08:38|5,5=23:17|0,6=Railway Station|1,6=05:58|2,6=every 12 min|3,6=22:53|4,6=08:45|"
       "5,6=23:23|0,7=General Hospital|1,7=06:05|3,7=23:00|4,7=08:52|5,7=—|0,8=Hillcrest Terminus|1,8=06:14|"
       "2,8=17:32|3,8=23:09|4,8=09:01|5,8=—|0,9=Note: no service on public holidays.|"
       "0,10=Buses marked — do not run."},
      {"sources/pages/weather-forecast.html",
       "0,0=Tromsø – 7-day forecast|"
       "0,1=Updated 06:00 CET. Temperatures in °C, wind in m/s, precipitation in mm.|0,2=Day|1,2=Weather|"
       "2,2=Max|3,2=Min|4,2=Precip.|5,2=Wind|0,3=Mon 9 Feb|1,3=Light snow|2,3=\u22122°|3,3=\u22127°|4,3=1.5|"
       "5,3=6 NW|0,4=Tue 10 Feb|2,4=0°|3,4=\u22124°|4,4=0|5,4=4 W|0,5=Wed 11 Feb|1,5=Sleet|2,5=+1°|3,5=\u22121°|"
       "4,5=3.2–5.0|5,5=11 SW|0,6=Thu 12 Feb|1,6=Clear|2,6=\u22125°|3,6=\u221212°|4,6=0|5,6=2 N|"
       "0,7=Sunrise 09:18, sunset 14:31. Daylight 5\u00a0h 13\u00a0min (+16 min)."},
      {"sources/pages/wiki-infobox.html",
       "0,0=Brennmoor|0,1=Brennmoor|0,2={/wiki/File:Brennmoor.jpg}>View from the south|0,3=Country|"
       "1,3={/wiki/Freeland}>Freeland|0,4=Area|1,4=42.7\u00a0km2 (16.5\u00a0sq\u00a0mi)|0,5=Elevation|"
       "1,5=312\u00a0m (1,024\u00a0ft)|0,6=Population (2021)[1]|1,6=8415|"
       "0,7=Brennmoor is a small town on the edge of the moor.[2] It was first recorded in 1184.|"
       "0,8={/w/index.php?title=Brennmoor&action=edit&section=1}>References[edit]|0,9=^ \"Census 2021\". Freeland Statistics Office.|"
       "0,10=^ Holm, A. (1998). Moorland towns. p.\u00a041."},
      {"sources/pages/word-minutes.html",
       "0,0=Minutes of the Garden Committee|0,1=Date: 3 March 2026\u00a0\u00a0\u00a0\u00a0 Place: Café room|"
       "0,2=|0,3=·\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0 Apologies from J. Müller and S. O’Neill|"
       "0,4=·\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0\u00a0 The treasurer’s report was “noted with thanks”|"
       // The body's British English makes the due day a date (given here as typed).
       "0,5=Action|1,5=Owner|2,5=Due|0,6=Order compost – 2 m³|1,6=Rémy|2,6=3/20/2026|0,7=Repair the shed door|"
       "1,7=Anna & Tom|2,7=… before April|0,8=|0,9=Next meeting: 7 April 2026, 19:30 — all welcome."},
      // Text beside a link keeps its no-break spaces; elements of text a style lays out as
      // blocks make lines of their own, in a cell and outside a table; a template shows nothing,
      // nor does what a meter or a progress bar holds for readers that cannot draw it.
      {"<style>.ev{display:block}</style><table><tr><td>2<a class=\"ev\" href=\"/e/1\">Fair</a><span "
       "class=\"ev\">BBQ</span></td><td>3</td></tr></table><p>x<span style=\"display:block\">y</span>z</p><p>a "
       "<b style=\"display:list-item\">b</b></p><template><p>Template</p></template><p><a href=\"#c\">^</a> "
       "p.&nbsp;41.</p><table><tr><td><meter value=\"0.8\">80%</meter></td><td><progress value=\"3\" max=\"10\">3/10"
       "</progress></td><td>c</td></tr></table>",
       "0,0={/e/1}>2\nFair\nBBQ|1,0=3|0,1=x|0,2=y|0,3=z|0,4=a|0,5=b|0,6=^ p.\u00a041.|2,7=c"},
      // A line break that ends a paragraph or a cell starts no line: the next paragraph is on the
      // row after, as a browser lays it out; a second one, or one alone, is an empty line.
      {"<p>a<br></p><p>b<br><br></p><p><br></p><p>c</p><div>d<br> </div><table><tr><td>x<br></td><td>y<br><br>z<br>"
       "<br></td></tr></table>",
       "0,0=a|0,1=b|0,4=c|0,5=d|0,6=x|1,6=y\n\nz"},
  };
  for (const auto& c : cases) expectPage(c.page, c.cells, "", true);
}

// Words beside a picture stay, the picture beside them where it can be had, on the side it is
// shown on, a table's later cells moved right for it: an open (a picture named beside the page)
// and a paste (one named by its file's address) agree.
TEST_F(HtmlOrdinaryPagesTest, WordsBesideAPictureStayOpenedOrPasted) {
  const QString picture = TestDataPath(QStringLiteral("html/logo.png"));
  const struct {
    const char* page;  // {picture}: where the page names the picture
    const char* cells;
  } cases[] = {
      {"<p>Company <img src=\"{picture}\"> Annual report</p>", "0,0=Company Annual report|1,0=picture"},
      {"<p><img src=\"{picture}\"></p>", "0,0=picture"},
      {"<pre>a\t<img src=\"{picture}\"> b\tc</pre>", "0,0=a|1,0=picture|2,0=b|3,0=c"},
      {"<table><tr><td><img src=\"{picture}\"> figure 1</td></tr></table>", "0,0=picture|1,0=figure 1"},
      {"<table><tr><td>logo <img src=\"{picture}\"></td><td></td></tr></table>", "0,0=logo|1,0=picture"},
      // The row's next cell moves right: the words stay, the picture takes a column of its own.
      {"<table><tr><td><img src=\"{picture}\"> figure 1</td><td>b</td></tr></table>",
       "0,0=picture|1,0=figure 1|2,0=b"},
      // A picture alone on a cell's first line, its caption below it (in a block, after a line
      // break, under a linked picture): the caption stays, the picture beside it (a linked
      // picture's after its link), the captions in one column, no empty line above a caption.
      {"<table><tr><td><img src=\"{picture}\"><div>caption</div></td></tr><tr><td><img src=\"{picture}\"><br>"
       "caption 2</td><td>b</td></tr><tr><td><a href=\"https://x.example/\"><img src=\"{picture}\"></a><div>"
       "caption 3</div></td></tr></table>",
       "0,0=picture|1,0=caption|0,1=picture|1,1=caption 2|3,1=b|1,2=https://x.example/>caption 3|2,2=picture"},
      // A picture that cannot be had leaves the words as they would read beside it; a line break
      // that starts a cell is the cell's own.
      {"<p>Company <img src=\"missing.png\"> Annual report</p><table><tr><td><img src=\"missing.png\"> figure"
       " 1</td></tr></table>",
       "0,0=Company Annual report|0,1=figure 1"},
      {"<table><tr><td><img src=\"missing.png\"><div>caption</div></td></tr><tr><td><img src=\"missing.png\"><br>"
       "caption 2</td></tr><tr><td><a href=\"https://x.example/\"><img src=\"missing.png\"></a><div>caption 3"
       "</div></td></tr><tr><td><br>lead</td></tr></table>",
       "0,0=caption|0,1=caption 2|0,2=https://x.example/>caption 3|0,3=\nlead"},
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
