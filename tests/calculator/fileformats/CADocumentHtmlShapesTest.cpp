// Pages whose shape, not their size, once made the reading slow or refused them: rows that hold
// no cell, formatting elements a chat log leaves open line after line, fields past the grid's
// last column. Each is read as a browser shows it, opened and pasted alike, or refused with why.
#include "ImportAlertRecorder.h"
#include "RichTextTestSupport.h"

#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/UndoTestSupport.h"
#include "calculator/model/caDocumentServices.h"
#include "framlet/foundation/flBase.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QMimeData>
#include <QTemporaryDir>

#include <functional>

namespace {

class HtmlShapesTest : public EditTest {
 protected:
  HtmlShapesTest() {
    InstallFileFormatServices();
    previousLog_ = SetLogHandler([](const QString&) {});
  }
  ~HtmlShapesTest() override {
    SetLogHandler(previousLog_);
    SetFileFormatServices(CAFileFormatServices());
  }

  // The open of the page: its cells, or "refused: " and the reason.
  std::string open(const QByteArray& html) {
    const QString file = QDir(folder.path()).filePath(QStringLiteral("page.html"));
    EXPECT_TRUE(WriteFileBytes(file, html));
    CADocument opened;
    FLError error;
    if (opened.openFile(file, &error) != kFileTypeHtml) return "refused: " + error.reason.toStdString();
    return FilledCellSummary(opened);
  }

  // The paste of the page at A1: the sheet's cells, or "refused: " and the alert's text where the
  // sheet was left as it was.
  std::string paste(const QByteArray& html) {
    QMimeData data;
    PasteboardSetData(data, QLatin1String(kPasteboardHtmlType), html);
    select("A1", "A1");
    const qsizetype told = alerts.shown.size();
    if (document.paste(&data, false)) {
      const std::string cells = FilledCellSummary(document);
      window.manager.undo();
      return cells;
    }
    if (alerts.shown.size() != told + 1) return "refused without the alert";
    return "refused: " + alerts.shown.back().section(QLatin1Char('|'), 1).toStdString();
  }

  ImportAlertRecorder alerts;
  QTemporaryDir folder;

 private:
  FLLogHandler previousLog_;
};

QByteArray Repeated(int count, const std::function<QByteArray(int)>& piece) {
  QByteArray page;
  for (int k = 0; k < count; ++k) page += piece(k);
  return page;
}

// The cells 0, 1, ... of the first `columns` columns of row y.
std::string RowOfNumbers(int columns, int y) {
  std::string cells;
  for (int x = 0; x < columns; ++x)
    cells += (x ? "|" : "") + std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(x);
  return cells;
}

// Rows that start no cell show nothing in a browser: they make no row of the sheet, and cost no
// cell of the widest row each, so that a page of many of them is read within a budget its own
// size allows.
TEST_F(HtmlShapesTest, RowsWithoutCellsMakeNothing) {
  const auto numbers = [](int columns) {
    return "<tr>" + Repeated(columns, [](int x) { return "<td>" + QByteArray::number(x) + "</td>"; }) + "</tr>";
  };
  const struct {
    const char* name;
    QByteArray page;
    std::string cells;
  } cases[] = {
      {"before the cells", "<table><tr></tr><tr></tr><tr></tr><tr><td>a</td><td>b</td></tr></table>", "0,0=a|1,0=b"},
      {"between rows", "<table><tr><td>a</td></tr><tr></tr><tr> </tr><tr><td>b</td></tr></table>", "0,0=a|0,1=b"},
      {"under a span", "<table><tr><td rowspan=3>a</td><td>b</td></tr><tr></tr><tr><td>c</td></tr></table>",
       "0,0=a|1,0=b|1,1=c"},
      {"in a footer", "<table><tfoot><tr></tr><tr><td>f</td></tr></tfoot><tr><td>a</td></tr><tr></tr></table>",
       "0,0=a|0,1=f"},
      {"alone", "<table><tr></tr><tr></tr></table><p>x</p>", "0,0=x"},
      {"before a paragraph", "<p>x</p><table><tr></tr><tr><td>a</td></tr></table>", "0,0=x|0,1=a"},
      {"4,000 before 120 cells", "<table>" + QByteArray("<tr></tr>\n").repeated(4000) + numbers(120) + "</table>",
       RowOfNumbers(100, 0)},
      {"5,500 before 1,000 cells", "<table>" + QByteArray("<tr></tr>").repeated(5500) + numbers(1000) + "</table>",
       RowOfNumbers(100, 0)},
  };
  // Far less than 4,000 rows of 120 cells would take, and more than the pages hold.
  const int64_t budget = SetPageReadingBudget(int64_t(16) << 20);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string opened = open(c.page);
    EXPECT_EQ(opened.substr(0, c.cells.size()), c.cells);
    EXPECT_EQ(paste(c.page), opened);
  }
  SetPageReadingBudget(budget);
}

// A table whose rows hold fewer cells than its widest row makes the cells it writes where a
// browser shows them, within a budget its rows times its widest row would pass many times over,
// opened and pasted alike; the sheet's columns past its last fold into it as before.
TEST_F(HtmlShapesTest, ShortRowsOfAWideTableMakeTheirOwnCells) {
  constexpr int kRows = 2000;
  const auto numbers = [](int first, int count) {
    return Repeated(count, [first](int x) { return "<td>" + QByteArray::number(first + x) + "</td>"; });
  };
  const auto narrow = [](int count) {
    return Repeated(count, [](int y) { return "<tr><td>" + QByteArray::number(y) + "</td></tr>\n"; });
  };
  // Row y's number y - first at column x, for rows from `first` to `last`.
  const auto column = [](int x, int first, int last) {
    std::string cells;
    for (int y = first; y < last; ++y)
      cells += "|" + std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(y - first);
    return cells;
  };
  const struct {
    const char* name;
    QByteArray page;
    std::string first, rest;  // how the cells begin and what they hold besides
  } cases[] = {
      {"a wide first row", "<table><tr>" + numbers(0, 100) + "</tr>" + narrow(kRows) + "</table>",
       RowOfNumbers(100, 0) + column(0, 1, kRows + 1), ""},
      {"a wide last row", "<table>" + narrow(kRows) + "<tr>" + numbers(0, 100) + "</tr></table>",
       column(0, 0, kRows).substr(1), "|" + RowOfNumbers(100, kRows)},
      {"a row past the sheet's columns", "<table><tr>" + numbers(0, 1000) + "</tr>" + narrow(kRows) + "</table>",
       RowOfNumbers(100, 0), column(0, 1, kRows + 1)},
      {"a span across the first row", "<table><tr><td colspan=20000>w</td></tr>" + narrow(kRows) + "</table>",
       "0,0=w" + column(0, 1, kRows + 1), ""},
      {"a row span beside a wide row",
       "<table><tr><td rowspan=" + QByteArray::number(kRows + 1) + ">a</td>" + numbers(1, 99) + "</tr>" +
           narrow(kRows) + "</table>",
       "0,0=a|" + RowOfNumbers(100, 0).substr(6) + column(1, 1, kRows + 1), ""},
  };
  // A small part of what the rows as wide as the widest would take.
  const int64_t budget = SetPageReadingBudget(int64_t(24) << 20);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string opened = open(c.page);
    EXPECT_EQ(opened.substr(0, c.first.size()), c.first);
    EXPECT_NE(opened.find(c.rest), std::string::npos);
    EXPECT_EQ(paste(c.page), opened);
  }
  SetPageReadingBudget(budget);
}

// A chat log leaves each line's colour open, the next line's another: it is read whole, each line
// in its colour, as browsers read it, opened and pasted alike. Where an open refuses a page for
// its depth, it says so.
TEST_F(HtmlShapesTest, FormattingLeftOpenLineAfterLineIsReadOrRefusedForItsDepth) {
  constexpr Kolor kRed = 0x640000FF, kBlue = 0x64FF0000;
  const std::string deep = "refused: The page is nested too deeply to open";
  const struct {
    const char* name;
    QByteArray page;
    int rows;  // 0: refused for its depth
    Kolor first = kNoKolor, second = kNoKolor, last = kNoKolor;  // the first, second and last rows' colours
  } cases[] = {
      {"alternating colours",
       Repeated(600, [](int k) {
         return "<font color=red>Alice: line " + QByteArray::number(k) + "<br><font color=blue>Bob: line " +
                QByteArray::number(k) + "<br>";
       }),
       1200, kRed, kBlue, kBlue},
      {"a face around each colour",
       Repeated(600, [](int k) { return "<font face=Arial><font color=red>line " + QByteArray::number(k) + "<br>"; }),
       600, kRed, kRed, kRed},
      {"three colours in turn",
       Repeated(900, [](int k) {
         static const char* const kColours[] = {"red", "blue", "green"};
         return "<font color=" + QByteArray(kColours[k % 3]) + ">line " + QByteArray::number(k) + "<br>";
       }),
       900, kRed, kBlue, 0x64008000},
      {"bold and italic in turn", Repeated(700, [](int k) { return (k % 2 ? "<i>" : "<b>") + QByteArray::number(k) + "<br>"; }),
       700},
      {"one colour left open", QByteArray("<font color=red>x<br>").repeated(65536), 0},
      {"blocks", QByteArray("<div>x").repeated(600), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString file = QDir(folder.path()).filePath(QStringLiteral("page.html"));
    ASSERT_TRUE(WriteFileBytes(file, c.page));
    CADocument opened;
    FLError error;
    const bool read = opened.openFile(file, &error) == kFileTypeHtml;
    const std::string pasted = paste(c.page);
    if (c.rows == 0) {
      EXPECT_FALSE(read);
      EXPECT_EQ(("refused: " + error.reason.toStdString()).rfind(deep, 0), 0u) << error.reason.toStdString();
      // A paste falls back on the plain text beside the page, where there is one.
      EXPECT_EQ(pasted.rfind("refused", 0), 0u) << pasted;
      continue;
    }
    ASSERT_TRUE(read) << error.reason.toStdString();
    EXPECT_EQ(FilledCellSummary(opened), pasted);
    EXPECT_EQ(opened.maxGridPoint().y, c.rows - 1);
    const auto colour = [&opened](int64_t y) {
      const CACell* cell = opened.cellAtGridPoint({0, y});
      return cell && cell->format() ? cell->format()->textKolor() : kNoKolor;
    };
    if (c.first == kNoKolor) continue;
    EXPECT_EQ(colour(0), c.first);
    EXPECT_EQ(colour(1), c.second);
    EXPECT_EQ(colour(c.rows - 1), c.last);
  }
}

}  // namespace
