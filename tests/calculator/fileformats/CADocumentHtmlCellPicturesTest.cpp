// Pages whose table cells show pictures and links beside their words, a page that names its own
// base address, captions placed below their tables, and parts a style sheet reveals or hides
// open and paste with the cells a browser shows: every picture and link a cell shows is kept
// (the pictures in columns of their own on the side they are shown on, the table's later columns
// moved right, so that none overwrites a neighbour), a link among a cell's words keeps its
// address with all the words, and an opened page's links and pictures are resolved against its
// base element. A paste resolves nothing relative and finds none of the pictures. The cells are
// written out by hand from what a browser shows of each page (tests/data/html/cell-pictures).
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/model/LocaleTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QFileInfo>
#include <QTextDocument>
#include <QUrl>

namespace {

class HtmlCellPicturesTest : public RichTextTest {};

// The page's folder as an address, for the cells that name a file beside it.
QString FolderUrlOf(const QString& page) {
  return QUrl::fromLocalFile(QFileInfo(page).absolutePath() + u'/').toString(QUrl::FullyEncoded);
}

TEST_F(HtmlCellPicturesTest, PicturesAndLinksInCellsOpenAndPasteAsABrowserShowsThem) {
  const struct {
    const char* page;    // of tests/data/html/cell-pictures
    const char* opened;  // {folder}: the page's folder as an address
    const char* pasted;
  } cases[] = {
      // A medal table: a flag before a linked name and words after it, after a linked name, in a
      // span before a no-break space and a linked name, and in a row with no cell after it. The
      // flags take a column before the names, the one shown after a name a column after them,
      // and the gold medals move right; the header stays over the names.
      {"medal-table.html",
       "0,0=Medal table|0,1=Rank|2,1=Nation|4,1=Gold|0,2=1|1,2=picture|"
       "2,2=https://en.example.org/wiki/Norway>Norway (NOR)|4,2=16|0,3=2|"
       "2,3=https://en.example.org/wiki/Switzerland>Switzerland|3,3=picture|4,3=16|0,4=3|1,4=picture|"
       "2,4=https://en.example.org/wiki/Austria>Austria|4,4=16|0,5=4|1,5=picture|"
       "2,5=https://en.example.org/wiki/Sweden>Sweden",
       "0,0=Medal table|0,1=Rank|1,1=Nation|2,1=Gold|0,2=1|1,2=https://en.example.org/wiki/Norway>Norway (NOR)|"
       "2,2=16|0,3=2|1,3=https://en.example.org/wiki/Switzerland>Switzerland|2,3=16|0,4=3|"
       "1,4=https://en.example.org/wiki/Austria>Austria|2,4=16|0,5=4|1,5=https://en.example.org/wiki/Sweden>Sweden"},
      // A shop's list: a linked product picture, with and without words in the link, and a
      // picture on a cell's line after its words.
      {"shop-list.html",
       "0,0=Product|2,0=Price|0,1=https://shop.example/p/1>|1,1=picture|2,1=16|"
       "0,2=https://shop.example/p/2>Product two|1,2=picture|2,2=24|0,3=Gift card|2,3=50|0,4=Kettle|1,4=picture|"
       "2,4=30",
       "0,0=Product|1,0=Price|0,1=https://shop.example/p/1>|1,1=16|0,2=https://shop.example/p/2>Product two|"
       "1,2=24|0,3=Gift card|1,3=50|0,4=Kettle|1,4=30"},
      // A saved documentation page: its first base element with an address names what its links
      // are relative to, in-page and query links too.
      {"documentation-base.html",
       "0,0=https://docs.example.org/v2/guide/install.html>Install|0,1=https://docs.example.org/v2/faq/>FAQ|"
       "0,2=https://docs.example.org/v2/guide/#top>Top|0,3=https://docs.example.org/v2/guide/?page=2>Next|"
       "0,4=https://other.example/x>Other",
       "0,0=install.html>Install|0,1=../faq/>FAQ|0,2=#top>Top|0,3=?page=2>Next|0,4=https://other.example/x>Other"},
      // A base element that only runs a script names no base: the page's own address is it.
      {"script-base.html", "0,0={folder}page.html>Page", "0,0=page.html>Page"},
      // A saved e-mail whose base is a folder beside it: its picture is found there, its link
      // points there.
      {"assets-base.html", "0,0=picture|1,0=Newsletter|2,0=May|0,1={folder}assets/archive.html>Archive",
       "0,0=Newsletter|1,0=May|0,1=archive.html>Archive"},
      // Captions below their tables by their align attribute, unless their own style says
      // otherwise; one a table's style puts below goes above by its own attribute. A part
      // hidden by its attribute that a rule of the page reveals, a hidden one no rule reveals,
      // and one a rule hides for good whatever its own style says.
      {"captions-and-revealed-parts.html",
       "0,0=a|1,0=1|0,1=Table 1: totals|0,2=Table 2|0,3=b|1,3=2|0,4=Table 3|0,5=c|1,5=3|0,6=Shown note|0,7=End",
       "0,0=a|1,0=1|0,1=Table 1: totals|0,2=Table 2|0,3=b|1,3=2|0,4=Table 3|0,5=c|1,5=3|0,6=Shown note|0,7=End"},
      // Pictures and line breaks alike: a hidden picture a rule reveals, one an important rule
      // hides whatever its own style says, a hidden one, a line break a rule on an attribute hides.
      {"revealed-pictures.html", "0,0=picture|1,0=Norway|0,1=Switzerland|0,2=Austria(AUT)",
       "0,0=Norway|0,1=Switzerland|0,2=Austria(AUT)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    const QString page = TestDataPath(QStringLiteral("html/cell-pictures/") + QLatin1String(c.page));
    const QByteArray html = ReadFileBytes(page);
    ASSERT_FALSE(html.isEmpty());
    {
      CADocument sheet;
      FLError error;
      ASSERT_EQ(sheet.openFile(page, &error), kFileTypeHtml) << error.reason.toStdString();
      QString opened = QString::fromUtf8(c.opened);
      opened.replace(QStringLiteral("{folder}"), FolderUrlOf(page));
      EXPECT_EQ(CellSummary(sheet).toStdString(), opened.toStdString()) << "open";
    }
    {
      CADocument sheet;
      InstallFileFormatServices();
      ASSERT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(html)));
      EXPECT_EQ(CellSummary(sheet).toStdString(), c.pasted) << "paste";
    }
  }
}

// An RTF table's cells take their pictures beside their words as a page's do, opened or pasted:
// the pictures in columns of their own, the later columns moved right.
TEST_F(HtmlCellPicturesTest, RtfTableCellsKeepTheirPicturesBesideTheirWords) {
  const QByteArray png = ReadFileBytes(TestDataPath(QStringLiteral("html/cell-pictures/flags/nor.png")));
  ASSERT_FALSE(png.isEmpty());
  const QByteArray pict = "{\\pict\\pngblip " + png.toHex() + "}";
  const QByteArray rtf = "{\\rtf1\\trowd\\cellx1000\\cellx2000\\cellx3000\\intbl " + pict +
                         " Oslo\\cell Bergen " + pict + "\\cell 5\\cell\\row"
                         "\\trowd\\cellx1000\\cellx2000\\cellx3000\\intbl Trondheim\\cell x\\cell 6\\cell\\row}";
  const char* expected = "0,0=picture|1,0=Oslo|2,0=Bergen|3,0=picture|4,0=5|1,1=Trondheim|2,1=x|4,1=6";
  ASSERT_TRUE(WriteFileBytes(path("cells.rtf"), rtf));
  CADocument opened;
  FLError error;
  ASSERT_EQ(opened.openFile(path("cells.rtf"), &error), kFileTypeRtf);
  EXPECT_EQ(CellSummary(opened).toStdString(), expected);
  CADocument pasted;
  bool refused = false;
  ASSERT_TRUE(LoadPastedRtf(pasted, QString::fromLatin1(rtf), &refused));
  EXPECT_EQ(CellSummary(pasted).toStdString(), expected);
}

// Where a table's columns move right for the pictures beside its cells' words, the values a
// spreadsheet wrote behind its numbers still give those numbers their formats.
TEST_F(HtmlCellPicturesTest, StoredValuesKeepTheirFormatsWhereColumnsMoveRight) {
  const TestLocale scope("C");
  const QString picture = TestDataPath(QStringLiteral("html/cell-pictures/flags/nor.png"));
  const QString page = path("stored.html");
  const QByteArray html = "<table><tr><td><img src=\"" + QUrl::fromLocalFile(picture).toEncoded() +
                          "\"> Oslo</td><td sdval=\"1234.5\">1,234.50</td></tr></table>";
  ASSERT_TRUE(WriteFileBytes(page, html));
  CADocument sheet;
  FLError error;
  ASSERT_EQ(sheet.openFile(page, &error), kFileTypeHtml);
  const CACell* flag = sheet.cellAtGridPoint({0, 0});
  const CACell* words = sheet.cellAtGridPoint({1, 0});
  const CACell* number = sheet.cellAtGridPoint({2, 0});
  ASSERT_TRUE(flag && words && number);
  EXPECT_EQ(flag->valueType(), kValuePicture);
  EXPECT_EQ(words->displayText(false).toStdString(), "Oslo");
  EXPECT_EQ(number->valueType(), kValueNumber);
  EXPECT_EQ(number->displayText(false).toStdString(), "1,234.50");
  EXPECT_EQ(GlimmetImportColumn(0, 1), 2);
  EXPECT_EQ(GlimmetImportColumn(1, 1), 1);
}

// A base element that names a long address makes every link of the page as long: the page is
// charged for each, those written before it too, and refused past its budget as a page of as
// many long links is.
TEST_F(HtmlCellPicturesTest, ALongBaseAddressIsChargedForEveryLink) {
  const QByteArray links = QByteArray("<a href=x>x</a> ").repeated(2000);
  const QByteArray base = "<base href=\"https://example.org/" + QByteArray(20000, 'a') + "/\">";
  const auto cost = [](const QByteArray& page) {
    QTextDocument text;
    text.setBaseUrl(QUrl::fromLocalFile(QStringLiteral("/tmp/")));
    return ReadHtmlPage(QString::fromUtf8(page), &text, 0).cost;
  };
  const int64_t plain = cost(links);
  const int64_t before = cost(base + links);
  const int64_t after = cost(links + base);
  EXPECT_GT(before - plain, int64_t(2000) * 20000 * kHtmlLinkCharacterCost);
  EXPECT_GT(after - plain, int64_t(2000) * 20000 * kHtmlLinkCharacterCost);
}

}  // namespace
