// The reader's own share of holding a page to its budget: what it charges for the pieces it
// keeps (classes, attributes, tables, runs in other looks), the steps it counts against the page's
// size, and a scan that never looks back.
#include "framlet/foundation/flReadingMeter.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>

#include <gtest/gtest.h>

namespace {

// "</" not followed by a name is text; followed by ">" it is nothing; with a name, an end tag.
TEST(HtmlMeterReading, AnEndTagsStartWithoutANameIsText) {
  const struct {
    const char* html;
    const char* text;
  } cases[] = {
      {"a</ b", "a</ b"},
      {"</</</x", "</</"},  // a tag the page never ends is none
      {"a</>b", "ab"},
      {"a</3>b", "a</3>b"},
      {"<b>a</b>c", "ac"},
      {"x</", "x</"},
      {"a</ b>c</p>d", "a</ b>c\nd"},
      {"a</ b</ c", "a</ b</ c"},
  };
  for (const auto& c : cases) {
    QTextDocument text;
    ASSERT_TRUE(ReadHtmlPage(QString::fromUtf8(c.html), &text, 0).read()) << c.html;
    EXPECT_EQ(text.toPlainText(), QString::fromUtf8(c.text)) << c.html;
  }
}

// Each piece the reading keeps is charged as it is made: twice the pieces, at least their price
// more, whether a listener hears the page or not.
TEST(HtmlMeterReading, PiecesTheReadingKeepsAreChargedAsTheyAreMade) {
  const auto many = [](const char* piece, int count) { return QString::fromUtf8(piece).repeated(count); };
  const struct {
    const char* name;
    std::function<QString(int)> page;
    int64_t each;  // the least charge of one more piece
  } cases[] = {
      {"classes", [](int n) { return "<p class=\"" + QStringLiteral("ab ").repeated(n) + "\">x</p>"; },
       kHtmlClassCost + 4},
      {"bare attributes", [](int n) { return "<p " + QStringLiteral("a ").repeated(n) + ">x</p>"; }, kHtmlAttributeCost},
      {"valued attributes", [](int n) { return "<td " + QStringLiteral("b=c ").repeated(n) + ">x"; },
       kHtmlAttributeCost},
      {"empty tables", [&](int n) { return many("<table></table>", n); }, kHtmlTableCost},
      {"tables of a cell", [&](int n) { return many("<table><td>x</table>", n); },
       kHtmlTableCost + kHtmlRichTableCost + kHtmlCellCost},
      {"runs in other looks", [&](int n) { return "<p>" + many("<b>x</b><i>y</i>", n / 2); }, kHtmlRunCost},
  };
  for (const auto& c : cases) {
    constexpr int kPieces = 1000;
    const int64_t once = HtmlPageReadingCost(c.page(kPieces));
    const int64_t twice = HtmlPageReadingCost(c.page(2 * kPieces));
    EXPECT_GE(twice - once, kPieces * c.each) << c.name;
    // Read within a budget just below the larger page's charge, it is refused, and leaves nothing.
    QTextDocument text;
    const GMHtmlReading reading = ReadHtmlPage(c.page(2 * kPieces), &text, twice - 1);
    EXPECT_EQ(int(reading.outcome), int(GMHtmlReading::Outcome::TooLarge)) << c.name;
    EXPECT_TRUE(text.isEmpty()) << c.name;
  }
}

// The steps a reading takes grow with the page; work its size does not allow (cells spans make
// by the million, within the budget) is refused before any of it is done, with nothing built.
TEST(HtmlMeterReading, StepsAreBoundedByThePagesSize) {
  const auto rows = [](int count, const char* row) { return "<table>" + QString::fromUtf8(row).repeated(count); };
  const struct {
    const char* name;
    QString page;
    bool read;
  } cases[] = {
      {"an end tag's start", QStringLiteral("</").repeated(50000), true},
      {"classes", "<p class=\"" + QStringLiteral("a ").repeated(50000) + "\">x", true},
      {"attributes", "<p " + QStringLiteral("a ").repeated(50000) + ">x", true},
      {"nested elements", QStringLiteral("<span>x").repeated(400) + QStringLiteral("</span>").repeated(400), true},
      {"cells", rows(2000, "<tr><td>x<td>y<td>z"), true},
      {"a few wide spans", rows(20, "<tr><td colspan=20000></td>"), true},
      {"many wide spans", rows(200, "<tr><td colspan=20000></td>"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FLReadingMeter meter(int64_t(3) << 29);
    QTextDocument text;
    const GMHtmlReading reading = ReadHtmlPage(c.page, &text, int64_t(3) << 29);
    EXPECT_EQ(reading.read(), c.read);
    EXPECT_EQ(text.isEmpty(), !c.read);
    EXPECT_EQ(meter.tooLong(), !c.read);
    if (c.read) {
      EXPECT_LE(meter.stepsTaken(), c.page.size() * kHtmlStepsPerCharacter + kHtmlLeastSteps);
      // What the reading counted of the page's own pieces is a few steps a character.
      if (c.page.size() > 10000) {
        EXPECT_GE(meter.stepsTaken(), c.page.size() / 8);
      }
    }
  }
}

}  // namespace

namespace {

// The grid cells the rich text made for the page's tables, and the cells among them that hold text.
struct MadeGrid {
  int64_t cells = 0, filled = 0, tables = 0;
};

MadeGrid GridOf(const QTextDocument& text) {
  MadeGrid grid;
  for (QTextFrame* frame : text.rootFrame()->childFrames()) {
    auto* table = qobject_cast<QTextTable*>(frame);
    if (!table) continue;
    ++grid.tables;
    grid.cells += int64_t(table->rows()) * table->columns();
    for (int r = 0; r < table->rows(); ++r)
      for (int c = 0; c < table->columns(); ++c)
        if (table->cellAt(r, c).firstCursorPosition().block().length() > 1) ++grid.filled;
  }
  return grid;
}

// A table whose rows hold fewer cells than its widest takes the work of the cells it writes, as
// a table of those cells in rows of one width does, not its rows times its widest row: its grid
// holds every written cell, and no more than about twice the cells and rows it writes.
TEST(HtmlMeterReading, ARaggedTableTakesTheWorkOfTheCellsItWrites) {
  constexpr int kRows = 2000;
  const auto cells = [](int count, const char* text) {
    QString row;
    for (int x = 0; x < count; ++x) row += QStringLiteral("<td>%1%2</td>").arg(QLatin1String(text)).arg(x);
    return row;
  };
  const auto narrow = [](int count) {
    QString rows;
    for (int y = 0; y < count; ++y) rows += QStringLiteral("<tr><td>y%1</td></tr>\n").arg(y);
    return rows;
  };
  const struct {
    const char* name;
    QString page;
    int64_t written;  // the cells that hold text
    int64_t rows;
  } cases[] = {
      {"a wide first row", "<table><tr>" + cells(100, "w") + "</tr>" + narrow(kRows) + "</table>", 100 + kRows,
       kRows + 1},
      {"a wide last row", "<table>" + narrow(kRows) + "<tr>" + cells(100, "w") + "</tr></table>", 100 + kRows,
       kRows + 1},
      {"a row past the sheet's columns", "<table><tr>" + cells(1000, "w") + "</tr>" + narrow(kRows) + "</table>",
       1000 + kRows, kRows + 1},
      {"a span across the first row", "<table><tr><td colspan=1000>w</td></tr>" + narrow(kRows) + "</table>",
       1 + kRows, kRows + 1},
      {"a row span beside a wide row",
       QStringLiteral("<table><tr><td rowspan=%1>a</td>").arg(kRows + 1) + cells(99, "w") + "</tr>" + narrow(kRows) +
           "</table>",
       100 + kRows, kRows + 1},
      {"a wide row every hundred rows",
       "<table>" + (narrow(99) + "<tr>" + cells(100, "w") + "</tr>").repeated(kRows / 100) + "</table>",
       (99 + 100) * (kRows / 100), kRows},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The same cells in rows of ten.
    QString dense = "<table>";
    for (int64_t k = 0; k < c.written; k += 10) dense += "<tr>" + cells(int(std::min<int64_t>(10, c.written - k)), "d");
    dense += "</table>";
    int64_t steps[2] = {};
    for (int k = 0; k < 2; ++k) {
      FLReadingMeter meter(int64_t(1) << 30);
      QTextDocument text;
      ASSERT_TRUE(ReadHtmlPage(k ? dense : c.page, &text, int64_t(1) << 30).read());
      steps[k] = meter.stepsTaken();
      if (k) continue;
      const MadeGrid grid = GridOf(text);
      EXPECT_EQ(grid.filled, c.written);
      EXPECT_LE(grid.cells, 2 * (c.written + c.rows) + 4096);
      // Tables after the first go on with it.
      int continued = 0;
      for (QTextFrame* frame : text.rootFrame()->childFrames())
        if (auto* table = qobject_cast<QTextTable*>(frame); table && table->format().boolProperty(kTableContinuesProperty))
          ++continued;
      EXPECT_EQ(continued, grid.tables - 1);
    }
    EXPECT_LE(steps[0], 3 * steps[1]);
  }
}

}  // namespace
