// Sheet storage: sorted sparse rows, columns and cells, lookups that fold absolute coordinates,
// the occupied extent, geometry, overflow invalidation, sorting order, and the XML of rows and
// columns.
#include <gtest/gtest.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/FLXmlEncoder.h"
#include "ModelTestSupport.h"
#include "support/LogCapture.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace {

const QString kDeclaration = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n");

class StorageTest : public testing::Test {
 protected:
  CACell& entered(int64_t x, int64_t y, const QString& text) {
    CACell& cell = *document.cellAtGridPointImperative({x, y});
    cell.setFormula(text);
    return cell;
  }
  std::vector<int64_t> rowYs() const {
    std::vector<int64_t> ys;
    for (const auto& row : document.rows()) ys.push_back(row->gridY());
    return ys;
  }

  ModelEnvironment environment;
  CADocument document;
};

TEST_F(StorageTest, RowsColumnsAndCellsStaySortedAndUnique) {
  for (int64_t y : {3, 9, 7, 0, 7}) document.rowImperative(y);
  EXPECT_EQ(rowYs(), (std::vector<int64_t>{0, 3, 7, 9}));
  for (int64_t x : {5, 1, 3, 1}) document.columnImperative(x);
  ASSERT_EQ(document.columns().size(), 3u);
  EXPECT_EQ(document.columns()[2]->gridX(), 5);
  for (int64_t x : {4, 0, 2}) entered(x, 7, QStringLiteral("v"));
  const CARow* row = document.row(7);
  ASSERT_EQ(row->cells().size(), 3u);
  EXPECT_EQ(row->cells()[1].x(), 2);

  LogCapture log;
  document.storeCell(std::make_unique<CACell>(GridPoint{2, 7}, &document), GridPoint{2, 7});
  EXPECT_TRUE(log.contains(QStringLiteral("Storing over existing cell")));
  EXPECT_EQ(row->cells().size(), 3u);
  EXPECT_TRUE(document.cellAdded());
  EXPECT_TRUE(document.storeCell(std::make_unique<CACell>(GridPoint{0, 20}, &document)));
  EXPECT_FALSE(document.storeCell(std::make_unique<CACell>(GridPoint{0, 20}, &document)));
  EXPECT_EQ(document.row(20)->cells().size(), 1u);
}

TEST_F(StorageTest, ReadingARangeMakesNoCellOfAPlainNumberAndEnumeratingOneDoes) {
  entered(0, 1, QStringLiteral("text"));
  std::optional<CACellEntry> five = CACellEntry::plainNumber(1, CANumber(5));
  std::optional<CACellEntry> quarter = CACellEntry::plainNumber(0, CANumber::withNumerator(1, 4));
  ASSERT_TRUE(five && quarter);
  document.rowImperative(1)->mutableCells().push_back(std::move(*five));
  document.rowImperative(2)->mutableCells().push_back(std::move(*quarter));
  const GridRange all{{0, 0}, {3, 3}};
  QStringList read;
  document.readCellsInRange(all, [&](const CACell& cell, bool&) {
    read << FormatGridPoint(cell.gridPoint()) + QLatin1Char('=') + cell.displayText(false);
  });
  EXPECT_EQ(read, (QStringList{QStringLiteral("A2=text"), QStringLiteral("B2=5"), QStringLiteral("A3=0.25")}));
  EXPECT_TRUE(document.row(1)->entryAt(1)->isPlain());
  EXPECT_TRUE(document.row(2)->entryAt(0)->isPlain());
  // A stop ends the whole walk.
  int visited = 0;
  document.readCellsInRange(all, [&](const CACell&, bool& stop) { stop = ++visited == 2; });
  EXPECT_EQ(visited, 2);
  // A block that may change the cells gets the document's own.
  std::vector<CACell*> cells;
  document.enumerateCellsinRange(all, [&](CACell& cell, size_t, bool&) { cells.push_back(&cell); });
  ASSERT_EQ(cells.size(), 3u);
  EXPECT_FALSE(document.row(1)->entryAt(1)->isPlain());
  EXPECT_EQ(cells[1], document.cellAtGridPoint({1, 1}));
  EXPECT_EQ(NumberIn(cells[2]).archive(), QStringLiteral("f1/4"));
}

TEST_F(StorageTest, ManyRowsInAnyOrderAreFoundByBisection) {
  std::vector<int64_t> ys(20000);
  for (size_t i = 0; i < ys.size(); ++i) ys[i] = int64_t(i) * 3;
  std::mt19937 random(7);
  std::shuffle(ys.begin(), ys.end(), random);
  for (int64_t y : ys) document.cellAtGridPointImperative({y % 5, y});
  const std::vector<int64_t> sorted = rowYs();
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
  for (int64_t y : {0, 3, 59997, 30000}) EXPECT_NE(document.cellAtGridPoint({y % 5, y}), nullptr) << y;
  for (int64_t y : {1, 59998, 60000, -5}) EXPECT_EQ(document.row(y), nullptr) << y;
}

TEST_F(StorageTest, TheOccupiedExtentAndTheLastValueOfLines) {
  EXPECT_EQ(document.extent(), GridRange{});
  EXPECT_EQ(document.maximumX({{0, 0}, {0, 100}}), -1);
  entered(3, 2, QStringLiteral("a"));
  entered(1, 7, QStringLiteral("b"));
  entered(6, 4, QStringLiteral(""));  // a cell without a value is no value of its line
  document.rowImperative(20);         // nor is a row without cells
  EXPECT_EQ(document.extent(), (GridRange{{1, 2}, {6, 7}}));
  EXPECT_EQ(document.fullExtent(), (GridRange{{0, 0}, {6, 7}}));
  const struct { GridRange lines; int64_t lastX, lastY; } cases[] = {
      {{{0, 0}, {10, 3}}, 3, 7},   // rows 1-4: the "a" at D3; columns A-K: the "b" in row 8
      {{{0, 4}, {10, 4}}, -1, 7},  // row 5 holds only the empty cell
      {{{2, 0}, {6, 6}}, 3, 2},    // columns C-G to row 7
      {{{7, 0}, {9, 9}}, 3, -1},   // rows 1-10 hold D3; columns H-J hold nothing
  };
  for (const auto& c : cases) {
    EXPECT_EQ(document.maximumX(c.lines), c.lastX) << FormatGridPoint(c.lines.startPoint).toStdString();
    EXPECT_EQ(document.maximumY(c.lines), c.lastY) << FormatGridPoint(c.lines.startPoint).toStdString();
  }
}

TEST_F(StorageTest, RowHeightsMakeRoomForCheckboxesAndMinimums) {
  document.setCellPadding({0, 0});
  const float plain = document.heightOfRow(0);
  EXPECT_GT(plain, 0);
  CACell& box = *document.cellAtGridPointImperative({2, 1});
  box.setValueType(kValueCheckbox);
  document.row(1)->setNeedCalculate(true);
  EXPECT_EQ(document.heightOfRow(1), std::max(plain, float(kCheckboxHeight)));
  CAModelPreferences small;
  small.smallCheckbox = true;
  environment.set(small);
  document.row(1)->setNeedCalculate(true);
  EXPECT_EQ(document.heightOfRow(1), std::max(plain, float(kSmallCheckboxHeight)));
  // A row's own minimum and the document's minimum, in EMU, raise the height; padding adds on.
  document.rowImperative(3)->setMinimumHeight(40 * 12700);
  EXPECT_EQ(document.heightOfRow(3), 40.0f);
  document.setMinimumHeight(50 * 12700);
  EXPECT_EQ(document.heightOfRow(3), 50.0f);
  document.setCellPadding({0, 3 * 12700});
  EXPECT_EQ(document.heightOfRow(3), 56.0f);
}

TEST_F(StorageTest, SortComparesByTypePriorityThenValue) {
  CACell& number = entered(0, 0, QStringLiteral("5"));
  CACell& bigger = entered(0, 1, QStringLiteral("7.5"));
  CACell& date = entered(0, 2, QStringLiteral("1/1/2024"));
  CACell& text = entered(0, 3, QStringLiteral("apple"));
  CACell& upper = entered(0, 4, QStringLiteral("Banana"));
  CACell& check = *document.cellAtGridPointImperative({0, 5});
  check.setValueType(kValueCheckbox);
  CACell& link = entered(0, 6, QStringLiteral("http://a.example.com"));
  EXPECT_EQ(document.compareCell(&number, &bigger, false), -1);
  EXPECT_EQ(document.compareCell(&number, &bigger, true), 1);
  EXPECT_EQ(document.compareCell(&number, &date, false), -1);
  EXPECT_EQ(document.compareCell(&text, &upper, false), -1);  // without regard to case
  EXPECT_EQ(document.compareCell(&check, &number, false), -1);
  EXPECT_EQ(document.compareCell(nullptr, &check, false), -1);
  EXPECT_EQ(document.compareCell(&link, &text, false), 0);  // links and texts share a priority
  EXPECT_EQ(document.compareCell(nullptr, nullptr, false), 0);

  CAModelPreferences stopList;
  stopList.useStopList = true;
  environment.set(stopList);
  CACell& theZebra = entered(1, 0, QStringLiteral("the zebra"));
  CACell& ant = entered(1, 1, QStringLiteral("ant"));
  EXPECT_EQ(document.compareCell(&theZebra, &ant, false), 1);

  document.setSortKey1({0, 0});
  EXPECT_EQ(document.compareForSort(CASortContext{false, false}, 0, 1), -1);
  EXPECT_EQ(document.compareForSort(CASortContext{false, true}, 0, 1), 1);
  document.setSortKey1({0, 0});
  EXPECT_EQ(document.compareForSort(CASortContext{true, false}, 0, 1), -1);  // A1 "5", B1 a text
}

// ---------------------------------------------------------------------------------------------
// XML of rows and columns

QString Xml(CARow& row, bool info = true, int64_t fromX = -1, int64_t toX = -1) {
  FLXmlEncoder encoder;
  row.saveToXml(encoder, nullptr, info, fromX, toX);
  return encoder.xml().mid(kDeclaration.size());
}

TEST_F(StorageTest, RowsReadBackWithTheirCells) {
  CARow* row = document.rowImperative(2);
  CAFormat italic;
  italic.setItalic(true);
  row->setFormat(italic);
  row->setMinimumHeight(127000);
  entered(3, 2, QStringLiteral("hello"));
  entered(0, 2, QStringLiteral("=B3+1"));
  const QString xml = Xml(*row);
  auto decoder = FLXmlDecoder::withString(kDeclaration + xml);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  CADocument other;
  std::unique_ptr<CARow> back = CARow::withXml(*decoder, &other);
  EXPECT_EQ(back->minimumHeight(), 127000);
  EXPECT_TRUE(back->format()->italic());
  ASSERT_EQ(back->cells().size(), 2u);
  EXPECT_EQ(back->cells()[1].cell()->formula(), QStringLiteral("hello"));
  EXPECT_DOUBLE_EQ(back->height(), 10.0);
}

TEST_F(StorageTest, RowHeightTextIsReadByHand) {
  struct Case { const char* dy; double height; };
  const Case cases[] = {{"12.5", 12.5}, {".5", 0.5}, {"-3", -3},  {"1e2", 100}, {"2E-1", 0.2},
                        {"7,5", 7},     {"x", 99},   {"1.2.3", 99}, {"1e", 99}, {"", 99}};
  for (const Case& c : cases) {
    CARow row(0);
    row.setHeight(99);
    auto decoder = FLXmlDecoder::withString(
        kDeclaration + QStringLiteral("<row y=\"0\"><dy>%1</dy></row>").arg(QString::fromUtf8(c.dy)));
    ASSERT_TRUE(decoder && decoder->getNextTag());
    row.loadFromXml(*decoder, &document);
    row.setNeedCalculate(false);
    EXPECT_DOUBLE_EQ(row.height(), c.height) << c.dy;
  }
}

// The width forms and formats of columns are pinned by the package's golden file; what the file
// cannot show is kept here.
TEST_F(StorageTest, AColumnKeepsANarrowWidthFromTheFileAndCopiesWhole) {
  auto narrow = FLXmlDecoder::withString(kDeclaration + QStringLiteral("<col x=\"1\"><width>10</width></col>"));
  ASSERT_TRUE(narrow && narrow->getNextTag());
  EXPECT_EQ(CAColumn::withXml(*narrow)->width(), 10);  // below today's minimum too
  auto decoder = FLXmlDecoder::withString(
      kDeclaration + QStringLiteral("<col x=\"4\"><width>500000</width><format><strike>1</strike></format></col>"));
  ASSERT_TRUE(decoder && decoder->getNextTag());
  const std::unique_ptr<CAColumn> copy = CAColumn::withXml(*decoder)->copy();
  EXPECT_EQ(copy->gridX(), 4);
  EXPECT_EQ(copy->width(), 500000);
  EXPECT_TRUE(copy->format()->strike());
}

}  // namespace
