// Rich text into the engine: lists keep their markers by level, links their address and shown
// text, and formatting its character properties.
#include "StorageTestSupport.h"

#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "glimmet/storage/gmKnots.h"
#include "glimmet/storage/gmLists.h"
#include "glimmet/storage/gmTables.h"

#include <QFile>
#include <QImage>
#include <QTextBlock>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <gtest/gtest.h>

#include <random>

namespace {

// The page as rich text, made by Qt's reader or (ours) by the program's own, which must give the
// engine the same.
GlimmetDocPtr Imported(const char* html, bool ours = false) {
  GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
  QTextDocument text;
  if (ours) EXPECT_TRUE(ReadHtmlPage(QString::fromUtf8(html), &text, 0).read()) << html;
  else text.setHtml(QString::fromUtf8(html));
  EXPECT_TRUE(ImportAttributedText(doc.get(), text)) << html;
  return doc;
}

TEST(AttributedImportTest, ListsKeepTheirMarkersByLevel) {
  const struct {
    const char* html;
    uint32_t kind0, value0, kind1, value1;  // marker kind and number format or bullet, levels 0 and 1
  } cases[] = {
      {"<ul><li>a</li></ul>", kMarkerBullet, 0x2022, kMarkerInherit, 0},
      {"<ol type=\"I\"><li>a<ol type=\"a\"><li>b</li></ol></li></ol>", kMarkerNumber, 1, kMarkerNumber, 4},
      {"<ul style=\"list-style-type:square\"><li>a<ul type=\"circle\"><li>b</li></ul></li></ul>", kMarkerBullet, 0x25A0,
       kMarkerBullet, 0x25CB},
  };
  for (const auto& c : cases) for (const bool ours : {false, true}) {
    GlimmetDocPtr doc = Imported(c.html, ours);
    KnotInfo list;
    PropRecord props;
    ASSERT_TRUE(FetchList(doc.get(), kBody + 1, &list, &props)) << c.html;
    const auto marker = [&](uint32_t level, uint32_t* value) {
      const uint32_t at = ListField::markers + ListField::markerSize * level;
      const uint32_t kind = props.get<uint32_t>(at);
      *value = kind == kMarkerBullet ? props.get<uint16_t>(at + 8) : props.get<uint32_t>(at + 4);
      return kind;
    };
    uint32_t value = 0;
    EXPECT_EQ(marker(0, &value), c.kind0) << c.html;
    EXPECT_EQ(value, c.value0) << c.html;
    EXPECT_EQ(marker(1, &value), c.kind1) << c.html;
    EXPECT_EQ(value, c.value1) << c.html;
  }
  EXPECT_EQ(MarkerInfoForKeyword(QStringLiteral("Upper-Roman"))->value, 1u);
  EXPECT_EQ(MarkerInfoForKeyword(QStringLiteral("nothing")), nullptr);
}

TEST(AttributedImportTest, LinksAndFormattingArriveAsKnotsAndProperties) {
  for (const bool ours : {false, true}) {
  GlimmetDocPtr doc = Imported("<p><a href=\"http://e.org/\">e <i>org</i></a> <b><sup>2</sup></b></p>", ours);
  KnotInfo link;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody, &link, kKnotLink));
  EXPECT_EQ(TextOfRange({doc.get(), link.kinkCps[0] + 1, link.kinkCps[1]}), QStringLiteral("e org"));
  EXPECT_EQ(TextOfRange({doc.get(), link.kinkCps[1] + 1, link.kinkCps[2]}), QStringLiteral("http://e.org/"));
  EXPECT_TRUE(CharsAt(doc.get(), link.kinkCps[1] - 1).body[CharField::italic]);
  const PropRecord raised = CharsAt(doc.get(), link.limit + 1);
  EXPECT_TRUE(raised.body[CharField::bold]);
  EXPECT_EQ(raised.get<int64_t>(CharField::subscript), -38100);
  }
}

// A table inside a cell gives its words to the cell's paragraph, in one line, and the paragraph
// takes the formatting of the last of them all through.
TEST(AttributedImportTest, ATableInACellJoinsTheCellsParagraph) {
  for (const bool ours : {false, true}) {
  GlimmetDocPtr doc = Imported(
      "<table><tr><td><p align=\"center\">out</p><table><tr><td>in1</td></tr>"
      "<tr><td><p align=\"right\">in2</p></td></tr></table></td><td>b</td></tr></table>", ours);
  KnotInfo table, row;
  ASSERT_TRUE(FetchKnot(doc.get(), kBody, &table, kKnotTable));
  ASSERT_TRUE(FetchKnot(doc.get(), table.first + 1, &row, kKnotRow));
  ASSERT_EQ(row.kinkCount, 3u);
  const DocRange cell{doc.get(), row.kinkCps[0] + 1, row.kinkCps[1]};
  EXPECT_EQ(TextOfRange(cell), QStringLiteral("out in1 in2\n"));
  EXPECT_EQ(ParaAt(doc.get(), cell.first).get<int32_t>(ParaField::alignment), 3);
  const GMCpTable<uint32_t>& runs = doc->paraRuns;
  EXPECT_EQ(runs.at(runs.indexOfCp(cell.first)), runs.at(runs.indexOfCp(cell.limit - 1)));
  EXPECT_EQ(TextOfRange({doc.get(), row.kinkCps[1] + 1, row.kinkCps[2]}), QStringLiteral("b\n"));
  }
}

}  // namespace

namespace {


// What an imported page names is read only from regular files: a picture naming a device is
// missing, at once, and a picture beside the page comes along.
// The cell found to begin at a place of the grid by its neighbours is the one that says it begins
// there: in seeded runs of merges and splits, and in pages of seeded spans as Qt's reader makes them.
TEST(AttributedImportTest, CellsBeginWhereTheySayTheyBegin) {
  const struct {
    unsigned seed;
    int rows, columns, edits;
    bool page;  // the table read from a page of random spans, else made and edited
  } cases[] = {
      {1, 1, 1, 20, false}, {2, 1, 9, 60, false}, {3, 9, 1, 60, false}, {4, 6, 6, 120, false},
      {5, 12, 4, 200, false}, {6, 3, 15, 200, false}, {7, 8, 8, 0, true}, {8, 20, 3, 0, true}, {9, 4, 12, 0, true},
  };
  for (const auto& test : cases) {
    std::mt19937 random(test.seed);
    const auto below = [&](int n) { return n > 0 ? int(random() % unsigned(n)) : 0; };
    QTextDocument text;
    QTextTable* table = nullptr;
    if (test.page) {
      QString html = QStringLiteral("<table>");
      for (int r = 0; r < test.rows; ++r) {
        html += QStringLiteral("<tr>");
        for (int c = 0; c < test.columns; ++c)
          html += QStringLiteral("<td rowspan=%1 colspan=%2>%3</td>").arg(1 + below(3) / 2).arg(1 + below(4) / 3).arg(c);
        html += QStringLiteral("</tr>");
      }
      text.setHtml(html + QStringLiteral("</table>"));
      for (QTextFrame* frame : text.rootFrame()->childFrames())
        if (!table) table = qobject_cast<QTextTable*>(frame);
    } else {
      table = QTextCursor(&text).insertTable(test.rows, test.columns);
    }
    ASSERT_NE(table, nullptr) << test.seed;
    for (int edit = 0; edit <= test.edits; ++edit) {
      const int rows = table->rows(), columns = table->columns();
      for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
          const QTextTableCell cell = table->cellAt(r, c);
          const bool begins = cell.isValid() && cell.row() == r && cell.column() == c;
          const QTextTableCell found = CellBeginningAt(*table, r, c);
          EXPECT_EQ(found.isValid(), begins) << test.seed << " edit " << edit << " at " << r << "," << c;
          if (begins) EXPECT_TRUE(found == cell) << test.seed << " edit " << edit << " at " << r << "," << c;
        }
      }
      if (edit == test.edits) break;
      const int r = below(rows), c = below(columns);
      if (below(3) < 2) {
        table->mergeCells(r, c, 1 + below(rows - r), 1 + below(columns - c));
      } else {
        const QTextTableCell cell = table->cellAt(r, c);
        if (cell.isValid()) table->splitCell(cell.row(), cell.column(), 1, 1);
      }
    }
  }
}

TEST(HtmlNestingTest, ImportedPagesReadOnlyRegularFiles) {
  QImage dot(4, 4, QImage::Format_RGB32);
  dot.fill(Qt::red);
  QTemporaryDir dir;
  ASSERT_TRUE(dot.save(dir.filePath(QStringLiteral("dot.png"))));
  const struct {
    const char* src;
    bool picture;
  } cases[] = {{"/dev/zero", false}, {"/dev/urandom", false}, {"dot.png", true}, {"missing.png", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.src);
    GMImportTextDocument text;
    text.setBaseUrl(QUrl::fromLocalFile(dir.path() + u'/'));
    text.setHtml(QStringLiteral("<p>a<img src=\"%1\">b</p>").arg(QString::fromLatin1(c.src)));
    const QVariant resource = text.resource(QTextDocument::ImageResource, QUrl(QString::fromLatin1(c.src)));
    EXPECT_EQ(resource.canConvert<QImage>() && !resource.value<QImage>().isNull(), c.picture);
    GlimmetDocPtr doc(NewGlimmetDoc(kDocTemporary));
    EXPECT_TRUE(ImportAttributedText(doc.get(), text));
    EXPECT_EQ(!doc->pictures.empty(), c.picture);
    EXPECT_TRUE(BodyText(doc.get()).startsWith(u'a'));
  }
}

// A style sheet beside the page applies; one naming a device, or larger than any page's, does not.
TEST(HtmlNestingTest, StyleSheetsAreReadOnlyFromSmallRegularFiles) {
  QTemporaryDir dir;
  const QByteArray rule = "p { color: #ff0000; }\n";
  for (const auto& [name, bytes] : {std::pair<const char*, QByteArray>{"small.css", rule},
                                    std::pair<const char*, QByteArray>{"huge.css", rule + QByteArray(5 << 20, ' ')}}) {
    QFile file(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  const struct {
    const char* href;
    bool applies;
  } cases[] = {{"small.css", true}, {"huge.css", false}, {"/dev/zero", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.href);
    GMImportTextDocument text;
    text.setBaseUrl(QUrl::fromLocalFile(dir.path() + u'/'));
    text.setHtml(QStringLiteral("<html><head><link rel=\"stylesheet\" type=\"text/css\" href=\"%1\"></head>"
                                "<body><p>x</p></body></html>")
                     .arg(QString::fromLatin1(c.href)));
    const QColor color = text.begin().charFormat().foreground().color();
    EXPECT_EQ(color == QColor(255, 0, 0), c.applies);
  }
}

}  // namespace
