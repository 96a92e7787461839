// Pages where links and pictures meet open and paste with the cells a browser shows: a picture
// inside a link is a picture with its link beside it, a link beside a picture keeps its link,
// words beside a linked picture keep the link and the picture in columns of their own, a
// table cell's lines after a link stay with it, a link on a later line carries the cell's words
// where none on its first line does and stands beside them where one does, and in-page and
// query links of an opened page point at the page itself. No cell's text holds a character the
// reader uses inside. The cells are written out by hand from what a browser shows of each page; a
// paste has no base, so it finds none of the pictures and keeps every address as written.
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QUrl>

namespace {

class HtmlLinkedPicturesTest : public RichTextTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("web")));
    const QString picture = TestDataPath(QStringLiteral("html/logo.png"));
    for (const char* name : {"pic.png", "flag.png", "badge1.png", "badge2.png"})
      ASSERT_TRUE(QFile::copy(picture, path("web/") + QLatin1String(name)));
  }
};

// Every cell's text: no kink, no stand-in for an object, no other control but a line end.
void ExpectNoInnerCharacters(const CADocument& sheet) {
  for (const std::unique_ptr<CARow>& row : sheet.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &sheet);
      for (const QString& text : {cell->formula(), cell->displayTextField(), cell->displayText(true)}) {
        for (const QChar ch : text) {
          EXPECT_TRUE(ch == u'\n' || ch == u'\t' || (ch.unicode() >= 32 && ch != QChar::ObjectReplacementCharacter &&
                                                     ch.unicode() != 0xFFFD))
              << "character " << int(ch.unicode()) << " in the cell at " << cell->gridPoint().x << ","
              << cell->gridPoint().y;
        }
      }
    }
  }
}

TEST_F(HtmlLinkedPicturesTest, LinksAndPicturesOpenAndPasteAsABrowserShowsThem) {
  const struct {
    const char* page;
    const char* opened;  // {page}: the page's own address, {folder}: its folder's, {up}: the folder above
    const char* pasted;
  } cases[] = {
      // A picture inside a link: the link, then the picture beside it; pasted, the link alone.
      {"<p><a href=https://shop.example/><img src=pic.png alt=\"Shop logo\"></a></p>",
       "0,0=https://shop.example/>|1,0=picture", "0,0=https://shop.example/>"},
      {"<p><a href=https://shop.example/><img src=pic.png alt=\"Shop logo\"> Cart (3)</a></p>",
       "0,0=https://shop.example/>Cart (3)|1,0=picture", "0,0=https://shop.example/>Cart (3)"},
      {"<table><tr><td><a href=https://shop.example/><img src=pic.png> Cart (3)</a></td></tr></table>",
       "0,0=https://shop.example/>Cart (3)|1,0=picture", "0,0=https://shop.example/>Cart (3)"},
      {"<table><tr><td><a href=https://shop.example/><img src=pic.png></a></td><td>x</td></tr></table>",
       "0,0=https://shop.example/>|1,0=picture|2,0=x", "0,0=https://shop.example/>|1,0=x"},
      // Badges: each linked picture of a line its link and its picture; words before a linked
      // picture stay words, its link and its picture beside them.
      {"<p><a href=\"https://ci.example/b\"><img src=badge1.png></a> <a href=\"https://cov.example/c\"><img "
       "src=badge2.png></a></p><p>Logo: <a href=\"https://shop.example/\"><img src=pic.png></a></p>",
       "0,0=https://ci.example/b>|1,0=picture|2,0=https://cov.example/c>|3,0=picture|0,1=Logo:|"
       "1,1=https://shop.example/>|2,1=picture",
       "0,0=https://ci.example/b>|1,0=https://cov.example/c>|0,1=Logo:|1,1=https://shop.example/>"},
      // Words and a linked picture: the words, the link and its picture each a column, in the
      // order they are shown, in a paragraph or a table cell, the picture had or not; a table
      // cell's link and picture take columns of their own, the cells after them moving right.
      {"<p>Logo: <a href=https://shop.example/><img src=pic.png alt=\"Shop logo\"></a></p><p>next</p>",
       "0,0=Logo:|1,0=https://shop.example/>|2,0=picture|0,1=next", "0,0=Logo:|1,0=https://shop.example/>|0,1=next"},
      {"<pre><b>Acme</b> <a href=https://shop.example/><img src=pic.png></a>\tQ3</pre>",
       "0,0=Acme|1,0=https://shop.example/>|2,0=picture|3,0=Q3", "0,0=Acme|1,0=https://shop.example/>|2,0=Q3"},
      {"<p><a href=https://shop.example/><img src=pic.png></a> Shop Ltd</p>",
       "0,0=https://shop.example/>|1,0=picture|2,0=Shop Ltd", "0,0=https://shop.example/>|1,0=Shop Ltd"},
      {"<p>Logo: <a href=https://shop.example/><img src=missing.png></a></p>", "0,0=Logo:|1,0=https://shop.example/>",
       "0,0=Logo:|1,0=https://shop.example/>"},
      {"<table><tr><td>Logo: <a href=https://shop.example/><img src=pic.png></a></td></tr><tr><td>b</td></tr></table>",
       "0,0=Logo:|1,0=https://shop.example/>|2,0=picture|0,1=b", "0,0=Logo:|1,0=https://shop.example/>|0,1=b"},
      {"<table><tr><td><a href=https://shop.example/><img src=pic.png></a> Shop Ltd</td></tr></table>",
       "0,0=https://shop.example/>|1,0=picture|2,0=Shop Ltd", "0,0=https://shop.example/>|1,0=Shop Ltd"},
      {"<table><tr><td>Logo: <a href=https://shop.example/><img src=pic.png></a></td><td>x</td><td></td></tr></table>",
       "0,0=Logo:|1,0=https://shop.example/>|2,0=picture|3,0=x", "0,0=Logo:|1,0=https://shop.example/>|2,0=x"},
      // A link beside a picture keeps its link, the picture on the side it is shown on, had or not.
      {"<table><tr><td><img src=flag.png alt=Nigeria> <a href=/wiki/Lena_Okafor>Lena Okafor</a></td></tr></table>",
       "0,0=picture|1,0=file:///wiki/Lena_Okafor>Lena Okafor", "0,0=/wiki/Lena_Okafor>Lena Okafor"},
      {"<table><tr><td><a href=/wiki/Lena_Okafor>Lena Okafor</a> <img src=flag.png></td><td>1990</td></tr>"
       "<tr><td><img src=missing.png> <a href=/wiki/Ada_Eze>Ada Eze</a></td><td>1991</td></tr></table>",
       "0,0=file:///wiki/Lena_Okafor>Lena Okafor|1,0=picture|2,0=1990|0,1=file:///wiki/Ada_Eze>Ada Eze|2,1=1991",
       "0,0=/wiki/Lena_Okafor>Lena Okafor|1,0=1990|0,1=/wiki/Ada_Eze>Ada Eze|1,1=1991"},
      {"<p><a href=\"people/lena.html\">Lena Okafor</a> <img src=flag.png></p><p><img src=missing.png> <a "
       "href=\"people/ada.html\">Ada Eze</a></p>",
       "0,0={folder}people/lena.html>Lena Okafor|1,0=picture|0,1={folder}people/ada.html>Ada Eze",
       "0,0=people/lena.html>Lena Okafor|0,1=people/ada.html>Ada Eze"},
      // Words on the lines after a link in a table cell stay with it, as lines of one cell do; a
      // link on those lines is kept as on a first line: carrying the words, or beside them.
      {"<table><tr><td><a href=/t/1>Title</a><br><span>by x</span></td><td>3</td></tr></table>",
       "0,0=file:///t/1>Title\nby x|1,0=3", "0,0=/t/1>Title\nby x|1,0=3"},
      {"<table><tr><td><a href=\"t/2.html\">Topic</a><br>by <b>y</b> in <a href=\"f/1.html\">News</a></td></tr>"
       "</table>",
       "0,0={folder}t/2.html>Topic\nby y in News|1,0={folder}f/1.html>News",
       "0,0=t/2.html>Topic\nby y in News|1,0=f/1.html>News"},
      {"<table><tr><td>Title<br><a href=/u/x>by x</a></td></tr></table>", "0,0=file:///u/x>Title\nby x", "0,0=/u/x>Title\nby x"},
      {"<pre><a href=https://a.example/><img src=badge1.png></a><a href=https://b.example/><img src=badge2.png></a>"
       "\tnext</pre>",
       "0,0=https://a.example/>|1,0=picture|2,0=https://b.example/>|3,0=picture|4,0=next",
       "0,0=https://a.example/>|1,0=https://b.example/>|2,0=next"},
      {"<table><tr><td><a href=https://a.example/><img src=badge1.png></a> <a href=https://b.example/><img "
       "src=badge2.png></a></td></tr></table><p><a href=https://a.example/>Home</a> <a href=https://b.example/>About"
       "</a></p>",
       "0,0=https://a.example/>|1,0=picture|2,0=https://b.example/>|3,0=picture|"
       "0,1=https://a.example/>Home About|1,1=https://b.example/>About",
       "0,0=https://a.example/>|1,0=https://b.example/>|0,1=https://a.example/>Home About|1,1=https://b.example/>About"},
      // In-page and query links point at the page itself; other relative ones at what they name.
      {"<p><a href=\"#History\">History</a></p><p><a href=\"?page=2\">Next</a></p><p><a href=\"#top\">Top</a></p>"
       "<p><a href=\"chapter2.html\">Chapter 2</a></p><p><a href=\"../wiki/Mars\">Mars</a></p>",
       "0,0={page}#History>History|0,1={page}?page=2>Next|0,2={page}#top>Top|0,3={folder}chapter2.html>Chapter 2|"
       "0,4={up}wiki/Mars>Mars",
       "0,0=#History>History|0,1=?page=2>Next|0,2=#top>Top|0,3=chapter2.html>Chapter 2|0,4=../wiki/Mars>Mars"},
  };
  const QString page = path("web/anchors.html");
  const QString folderUrl = QUrl::fromLocalFile(path("web/")).toString(QUrl::FullyEncoded);
  const QString upUrl = QUrl::fromLocalFile(folder.path() + u'/').toString(QUrl::FullyEncoded);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    ASSERT_TRUE(WriteFileBytes(page, c.page));
    {
      CADocument sheet;
      FLError error;
      ASSERT_EQ(sheet.openFile(page, &error), kFileTypeHtml);
      QString opened = QString::fromUtf8(c.opened);
      opened.replace(QStringLiteral("{page}"), QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded));
      opened.replace(QStringLiteral("{folder}"), folderUrl);
      opened.replace(QStringLiteral("{up}"), upUrl);
      EXPECT_EQ(CellSummary(sheet).toStdString(), opened.toStdString()) << "open";
      ExpectNoInnerCharacters(sheet);
    }
    {
      CADocument sheet;
      InstallFileFormatServices();
      ASSERT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(c.page)));
      EXPECT_EQ(CellSummary(sheet).toStdString(), c.pasted) << "paste";
      ExpectNoInnerCharacters(sheet);
    }
  }
}

// The stand-in for a picture written as a page's text is a blank, as the rich text makes it, in
// a short table, a long one (which the sheet reads without the rich text where its rows are
// plain) and a paragraph alike; no cell is left holding it.
TEST_F(HtmlLinkedPicturesTest, APicturesStandInWrittenAsTextIsABlank) {
  QByteArray longTable = "<table>";
  for (int y = 0; y < 100; ++y)
    longTable += "<tr><td>" + QByteArray(y == 70 ? "a&#xFFFC;b" : "r") + "</td><td>" + QByteArray::number(y) + "</td></tr>";
  longTable += "</table>";
  const struct {
    QByteArray page;
    GridPoint at;
  } cases[] = {
      {"<p>a&#xFFFC;b</p>", {0, 0}},
      {"<table><tr><td>a&#xFFFC;b</td></tr></table>", {0, 0}},
      {longTable, {0, 70}},
  };
  const QString page = path("web/page.html");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page.left(60).toStdString());
    ASSERT_TRUE(WriteFileBytes(page, c.page));
    for (const bool open : {true, false}) {
      CADocument sheet;
      FLError error;
      InstallFileFormatServices();
      if (open) ASSERT_EQ(sheet.openFile(page, &error), kFileTypeHtml);
      else ASSERT_TRUE(FileFormatServices().loadHtml(sheet, QString::fromUtf8(c.page)));
      const CACell* cell = sheet.cellAtGridPoint(c.at);
      ASSERT_TRUE(cell) << (open ? "open" : "paste");
      EXPECT_EQ(cell->formula().toStdString(), "a b") << (open ? "open" : "paste");
      ExpectNoInnerCharacters(sheet);
    }
  }
}

}  // namespace
