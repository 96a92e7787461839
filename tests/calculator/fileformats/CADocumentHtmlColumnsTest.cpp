// A paragraph of a page split into fields by tabs puts no cell past the grid's last column:
// fields past it are left out, as the readers of delimited text leave them, and an open says so.
#include "ImportAlertRecorder.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/caColumnLabels.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "support/TestFiles.h"

#include <QImage>

#include <utility>

namespace {

class HtmlColumnsTest : public RichTextTest {};

constexpr const char* kColumnsAlert =
    "Truncated columns.|\"fields.html\" has more columns than a spreadsheet can hold; the columns past the last "
    "were left out.";

TEST_F(HtmlColumnsTest, FieldsPastTheLastColumnAreLeftOutOpenedOrPasted) {
  const QByteArray kept = "<style>p{white-space:pre}</style><p>";
  const struct {
    QByteArray page;
    uint64_t lastColumn;
    const char* cells;
    bool told;  // the open shows the alert
  } cases[] = {
      // One kept line (the rich text reads it) with fields just past the last column.
      {kept + "a\tb\tc\td\te</p>", 2, "0,0=a|1,0=b|2,0=c", true},
      {kept + "a\tb\tc</p>", 2, "0,0=a|1,0=b|2,0=c", false},
      {kept + "a\tb\tc\td</p>", 3, "0,0=a|1,0=b|2,0=c|3,0=d", false},
      {kept + "a\t\t\t\tx</p>", 3, "0,0=a", true},
      {kept + "\t\t\t\t\tx</p>", 3, "", true},
      // Tabs alone past the last column hold no field.
      {kept + "a\tb\tc\t\t\t</p>", 2, "0,0=a|1,0=b|2,0=c", false},
      // Lines after the first, which the sheet reads itself.
      {kept + "a\tb\tc\td\ne\tf\tg\th\ni</p>", 2, "0,0=a|1,0=b|2,0=c|0,1=e|1,1=f|2,1=g|0,2=i", true},
      {kept + "a\tb\ne\tf\tg\n</p>", 2, "0,0=a|1,0=b|0,1=e|1,1=f|2,1=g", false},
      {"<pre>a\tb\tc\td</pre>", 1, "0,0=a|1,0=b", true},
      // Cells of a table are no fields.
      {"<table><tr><td>a\tb\tc\td</td></tr></table>", 1, "0,0=a b c d", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page.toStdString() + " last column " + std::to_string(c.lastColumn));
    const QString file = path("fields.html");
    ASSERT_TRUE(WriteFileBytes(file, c.page));
    ImportAlertRecorder alerts;
    const uint64_t lastColumn = std::exchange(g_maxColumn, c.lastColumn);
    CADocument opened, pasted;
    FLError error;
    const int32_t type = opened.openFile(file, &error);
    InstallFileFormatServices();
    const bool pastedRead = FileFormatServices().loadHtml(pasted, QString::fromUtf8(c.page));
    g_maxColumn = lastColumn;
    ASSERT_EQ(type, kFileTypeHtml) << error.reason.toStdString();
    ASSERT_TRUE(pastedRead);
    EXPECT_EQ(CellSummary(opened).toStdString(), c.cells);
    EXPECT_EQ(CellSummary(pasted).toStdString(), c.cells);
    EXPECT_EQ(alerts.shown, c.told ? QStringList{QString::fromUtf8(kColumnsAlert)} : QStringList());
  }
}

// A paragraph of rich text read from RTF is split into fields alike.
TEST_F(HtmlColumnsTest, RtfFieldsPastTheLastColumnAreLeftOutAndTold) {
  const struct {
    const char* rtf;
    uint64_t lastColumn;
    const char* cells;
    bool told;
  } cases[] = {
      {"{\\rtf1 a\\tab b\\tab c\\tab d\\par}", 1, "0,0=a|1,0=b", true},
      {"{\\rtf1 a\\tab b\\tab c\\tab d\\par}", 3, "0,0=a|1,0=b|2,0=c|3,0=d", false},
      {"{\\rtf1 a\\tab b\\tab\\tab\\par}", 1, "0,0=a|1,0=b", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rtf) + " last column " + std::to_string(c.lastColumn));
    const QString file = path("fields.rtf");
    ASSERT_TRUE(WriteFileBytes(file, c.rtf));
    ImportAlertRecorder alerts;
    const uint64_t lastColumn = std::exchange(g_maxColumn, c.lastColumn);
    CADocument opened;
    FLError error;
    const int32_t type = opened.openFile(file, &error);
    g_maxColumn = lastColumn;
    ASSERT_EQ(type, kFileTypeRtf) << error.reason.toStdString();
    EXPECT_EQ(CellSummary(opened).toStdString(), c.cells);
    const QString told = QString::fromUtf8(kColumnsAlert).replace(QStringLiteral("fields.html"), QStringLiteral("fields.rtf"));
    EXPECT_EQ(alerts.shown, c.told ? QStringList{told} : QStringList());
  }
}

// A picture beside the words of a field takes the column after them, and in a table the columns
// after it move right: where that is past the grid's last column, what goes there is left out and
// told, as the fields there are, never placed where no column is.
TEST_F(HtmlColumnsTest, APictureBesideWordsIsNeverPlacedPastTheLastColumn) {
  QImage bitmap(30, 10, QImage::Format_RGB32);
  bitmap.fill(Qt::red);
  ASSERT_TRUE(bitmap.save(path("dot.png")));
  const struct {
    const char* page;
    uint64_t lastColumn;
    const char* cells;
    bool told;
  } cases[] = {
      {"<pre>a\tb\twords <img src=\"dot.png\"></pre>", 2, "0,0=a|1,0=b|2,0=words", true},
      {"<pre>a\twords <img src=\"dot.png\"></pre>", 2, "0,0=a|1,0=words|2,0=picture", false},
      {"<p>see <img src=\"dot.png\"> here</p>", 0, "0,0=see here", true},
      {"<table><tr><td>a</td><td>logo <img src=\"dot.png\"></td></tr></table>", 1, "0,0=a|1,0=logo", true},
      {"<table><tr><td>logo <img src=\"dot.png\"></td><td>b</td></tr></table>", 1, "0,0=logo|1,0=picture", true},
      {"<table><tr><td>logo <img src=\"dot.png\"></td></tr></table>", 1, "0,0=logo|1,0=picture", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.page) + " last column " + std::to_string(c.lastColumn));
    const QString file = path("fields.html");
    ASSERT_TRUE(WriteFileBytes(file, c.page));
    ImportAlertRecorder alerts;
    const uint64_t lastColumn = std::exchange(g_maxColumn, c.lastColumn);
    CADocument opened;
    FLError error;
    const int32_t type = opened.openFile(file, &error);
    const int64_t widest = opened.maxGridPoint().x;
    g_maxColumn = lastColumn;
    ASSERT_EQ(type, kFileTypeHtml) << error.reason.toStdString();
    EXPECT_EQ(CellSummary(opened).toStdString(), c.cells);
    EXPECT_LE(widest, int64_t(c.lastColumn));
    EXPECT_EQ(alerts.shown, c.told ? QStringList{QString::fromUtf8(kColumnsAlert)} : QStringList());
  }
}

}  // namespace
