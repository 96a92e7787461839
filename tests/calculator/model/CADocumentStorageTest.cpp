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

TEST_F(StorageTest, LookupsFoldAbsoluteCoordinates) {
  CACell& cell = entered(2, 4, QStringLiteral("x"));
  EXPECT_EQ(document.cellAtGridPoint({~int64_t(2), ~int64_t(4)}), &cell);  // $C$5
  EXPECT_EQ(document.cellAtGridPoint({2, ~int64_t(4)}), &cell);
  EXPECT_EQ(document.row(~int64_t(4)), document.row(4));
  EXPECT_EQ(document.cellAtGridPoint({3, 4}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({kGridWildcard, kGridWildcard}), nullptr);
  document.columnImperative(2);
  EXPECT_NE(document.column(2), nullptr);
  EXPECT_EQ(document.column(~int64_t(2)), nullptr);  // columns take plain x only
  const CACell* absolute = document.cellAtGridPointImperative({~int64_t(7), ~int64_t(1)});
  EXPECT_EQ(absolute->gridPoint(), (GridPoint{7, 1}));
}

TEST_F(StorageTest, RowsColumnsAndCellsStaySortedAndUnique) {
  document.rowImperative(3);
  document.rowImperative(9);
  document.rowImperative(7);
  document.rowImperative(0);
  document.rowImperative(7);
  EXPECT_EQ(rowYs(), (std::vector<int64_t>{0, 3, 7, 9}));
  for (int64_t x : {5, 1, 3, 1}) document.columnImperative(x);
  ASSERT_EQ(document.columns().size(), 3u);
  EXPECT_EQ(document.columns()[0]->gridX(), 1);
  EXPECT_EQ(document.columns()[2]->gridX(), 5);
  for (int64_t x : {4, 0, 2}) entered(x, 7, QStringLiteral("v"));
  const CARow* row = document.row(7);
  ASSERT_EQ(row->cells().size(), 3u);
  EXPECT_EQ(row->cells()[1]->gridPoint().x, 2);

  LogCapture log;
  document.storeCell(std::make_unique<CACell>(GridPoint{2, 7}, &document), GridPoint{2, 7});
  EXPECT_TRUE(log.contains(QStringLiteral("Storing over existing cell")));
  EXPECT_EQ(row->cells().size(), 3u);
  EXPECT_TRUE(document.cellAdded());
  EXPECT_TRUE(document.storeCell(std::make_unique<CACell>(GridPoint{0, 20}, &document)));
  EXPECT_FALSE(document.storeCell(std::make_unique<CACell>(GridPoint{0, 20}, &document)));
  EXPECT_EQ(document.row(20)->cells().size(), 1u);
}

TEST_F(StorageTest, ManyRowsInAnyOrderAreFoundByBisection) {
  std::vector<int64_t> ys(20000);
  for (size_t i = 0; i < ys.size(); ++i) ys[i] = int64_t(i) * 3;
  std::mt19937 random(7);
  std::shuffle(ys.begin(), ys.end(), random);
  for (int64_t y : ys) document.cellAtGridPointImperative({y % 5, y});
  const std::vector<int64_t> sorted = rowYs();
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end()));
  EXPECT_EQ(sorted.size(), ys.size());
  for (int64_t y : {0, 3, 59997, 30000}) EXPECT_NE(document.cellAtGridPoint({y % 5, y}), nullptr) << y;
  for (int64_t y : {1, 59998, 60000, -5}) EXPECT_EQ(document.row(y), nullptr) << y;
}

TEST_F(StorageTest, ImportsBooleansAsCheckboxesAndTextAsTyped) {
  document.setCellAtPoint({0, 0}, QVariant(true), kValueCheckbox);
  document.setCellAtPoint({1, 0}, QVariant(false), kValueCheckbox);
  document.setCellAtPoint({2, 0}, QStringLiteral("12"), kValueLink);
  document.setCellAtPoint({3, 0}, QStringLiteral("=A1"), 0);
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->valueType(), kValueCheckbox);
  EXPECT_TRUE(document.cellAtGridPoint({0, 0})->isChecked());
  EXPECT_FALSE(document.cellAtGridPoint({1, 0})->isChecked());
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->valueType(), kValueNumber);
  EXPECT_EQ(document.cellAtGridPoint({3, 0})->valueType(), kValueFormula);
  EXPECT_TRUE(document.row(0)->needCalculate());
}

TEST_F(StorageTest, ExtentCoversTheCellsOnly) {
  EXPECT_EQ(document.extent(), GridRange{});
  document.rowImperative(12);  // rows without cells do not count
  entered(1, 1, QStringLiteral("a"));  // B2
  entered(3, 0, QStringLiteral("b"));  // D1
  EXPECT_EQ(document.extent(), (GridRange{{1, 0}, {3, 1}}));
  EXPECT_EQ(document.fullExtent(), (GridRange{{0, 0}, {3, 1}}));
  EXPECT_EQ(document.maxGridPoint(), (GridPoint{3, 1}));
  document.registerDisplayGridPoint({2, 9});
  document.registerDisplayGridPoint({5, 1});
  EXPECT_EQ(document.maxDisplayGridPoint(), (GridPoint{5, 9}));
}

TEST_F(StorageTest, MaximaCountOnlyCellsWithValues) {
  entered(1, 0, QStringLiteral("a"));
  entered(4, 0, QStringLiteral(""));  // no value
  entered(2, 2, QStringLiteral("5"));
  entered(6, 5, QStringLiteral("z"));
  EXPECT_EQ(document.maximumX({{0, 0}, {0, 2}}), 2);
  EXPECT_EQ(document.maximumX({{0, 3}, {0, 4}}), -1);
  EXPECT_EQ(document.maximumY({{0, 0}, {3, 0}}), 2);
  EXPECT_EQ(document.maximumY({{5, 0}, {9, 0}}), 5);
  EXPECT_EQ(document.maximumY({{3, 0}, {5, 0}}), -1);
}

TEST_F(StorageTest, TotalsGoRightOrBelowByWhatIsFree) {
  for (int64_t y = 0; y < 3; ++y)
    for (int64_t x = 0; x < 2; ++x) entered(x, y, QStringLiteral("1"));
  const GridRange block{{0, 0}, {1, 2}};
  EXPECT_FALSE(document.fillColumnForRange({{0, 0}, {0, 2}}));  // one column wide
  EXPECT_TRUE(document.fillColumnForRange({{0, 0}, {1, 0}}));   // one row high
  EXPECT_FALSE(document.fillColumnForRange(block));             // nothing below
  entered(0, 3, QStringLiteral("total"));
  EXPECT_TRUE(document.fillColumnForRange(block));
  entered(2, 1, QStringLiteral("taken"));
  EXPECT_FALSE(document.fillColumnForRange(block));
}

TEST_F(StorageTest, EnumeratesInOrderAndWithinRanges) {
  for (auto [x, y] : std::vector<std::pair<int64_t, int64_t>>{{2, 1}, {0, 0}, {1, 1}, {5, 1}, {1, 3}})
    entered(x, y, QStringLiteral("c"));
  QStringList all;
  document.enumerateCellsUsingBlock([&](CACell& cell, size_t, bool& stop) {
    all << FormatGridPoint(cell.gridPoint());
    if (cell.gridPoint() == GridPoint{1, 1}) stop = true;  // ends this row only
  });
  EXPECT_EQ(all, (QStringList{"A1", "B2", "B4"}));
  QStringList inRange;
  document.enumerateCellsinRange({{1, 1}, {2, 3}}, [&](CACell& cell, size_t, bool&) {
    inRange << FormatGridPoint(cell.gridPoint());
  });
  EXPECT_EQ(inRange, (QStringList{"B2", "C2", "B4"}));
  QStringList columns;
  document.enumerateCellsinRange({{1, kGridWildcard}, {1, kGridWildcard}}, [&](CACell& cell, size_t, bool&) {
    columns << FormatGridPoint(cell.gridPoint());
  });
  EXPECT_EQ(columns, (QStringList{"B2", "B4"}));
}

TEST_F(StorageTest, ColumnWidthsComeFromDigitsOrEmu) {
  const float digit = float(document.digitWidth());
  ASSERT_GT(digit, 0.0f);
  const float padding = 6.0f;  // twice 38100 EMU
  EXPECT_FLOAT_EQ(document.widthOfColumn(0), std::ceil(12 * digit + padding));
  document.columnImperative(1)->setDigitCount(4);
  EXPECT_FLOAT_EQ(document.widthOfColumn(1), std::ceil(4 * digit + padding));
  CAColumn* wide = document.columnImperative(2);
  wide->setDigitCount(-1);
  wide->setWidth(1270000);  // 100 points
  EXPECT_FLOAT_EQ(document.widthOfColumn(2), 106.0f);
  wide->setWidth(1000);  // raised to the narrowest width, 9 points
  EXPECT_EQ(wide->width(), 114300);
  EXPECT_FLOAT_EQ(document.widthOfColumn(2), 15.0f);
  document.setDefaultWidth(635000);  // 50 points for every column without its own width
  EXPECT_EQ(document.defaultDigitCount(), -1);
  EXPECT_FLOAT_EQ(document.widthOfColumn(7), 56.0f);
  EXPECT_FLOAT_EQ(document.widthOfColumn(1), std::ceil(4 * digit + padding));
  document.setDefaultWidth(0);
  EXPECT_FLOAT_EQ(document.widthOfColumn(7), std::ceil(12 * digit + padding));
  document.setDefaultDigitCount(5);
  EXPECT_FLOAT_EQ(document.widthOfColumn(7), std::ceil(5 * digit + padding));
  document.setCellPadding({0, 0});
  EXPECT_FLOAT_EQ(document.widthOfColumn(2), 9.0f);

  CAModelPreferences metric;
  metric.defaultUnits = kUnitsCentimetres;
  environment.set(metric);
  wide->setWidth(1000);
  EXPECT_EQ(wide->width(), 108000);
  wide->setWidth(0);
  EXPECT_EQ(wide->width(), 0);
}

TEST_F(StorageTest, RowHeightsComeFromContentsMinimaAndTheFont) {
  const float line = float(document.lineHeight());
  ASSERT_GT(line, 0.0f);
  EXPECT_FLOAT_EQ(document.heightOfRow(4), line + 6.0f);
  EXPECT_FLOAT_EQ(document.heightOfRow(-1), line + 6.0f);
  CACell& check = *document.cellAtGridPointImperative({0, 4});
  check.setValueType(kValueCheckbox);
  document.row(4)->setNeedCalculate(true);
  EXPECT_FLOAT_EQ(document.heightOfRow(4), std::max(18.0f, line) + 6.0f);
  CAModelPreferences small;
  small.smallCheckbox = true;
  environment.set(small);
  document.row(4)->setNeedCalculate(true);
  EXPECT_FLOAT_EQ(document.heightOfRow(4), std::max(13.0f, line) + 6.0f);
  document.row(4)->setMinimumHeight(40 * 12700);
  document.row(4)->setNeedCalculate(true);
  EXPECT_FLOAT_EQ(document.heightOfRow(4), 46.0f);
  document.setMinimumHeight(60 * 12700);
  EXPECT_FLOAT_EQ(document.heightOfRow(9), 66.0f);
  document.resetRowHeights();
  EXPECT_EQ(document.row(4)->minimumHeight(), 0);
  EXPECT_TRUE(document.row(4)->needCalculate());
}

TEST_F(StorageTest, StripesNeedAnIntervalAndAColour) {
  EXPECT_FALSE(document.shouldStripeRow(1));
  document.setStripeInterval(2);
  EXPECT_FALSE(document.shouldStripeRow(1));
  document.setStripeKolor(0x64EEEEEE);
  EXPECT_TRUE(document.shouldStripeRow(1));
  EXPECT_FALSE(document.shouldStripeRow(2));
  EXPECT_TRUE(document.shouldStripeRow(5));
}

TEST_F(StorageTest, InvalidatingLongTextRedrawsTheSpanAndMarksTheCell) {
  FakeWindow window;
  document.setController(&window);
  document.setFont(QFont(QStringLiteral("DejaVu Sans"), 12));
  CACell& text = entered(1, 0, QString(100, QLatin1Char('W')));
  text.setExtraColumns();
  ASSERT_GE(text.extraColumns(), 2u);
  text.setNeedRecalc(false);
  document.invalidateLongText({3, 0});  // a cell inside the span
  ASSERT_EQ(window.ranges.size(), 1u);
  EXPECT_EQ(window.ranges[0], (GridRange{{1, 0}, {1 + int64_t(text.extraColumns()), 0}}));
  EXPECT_TRUE(text.needRecalc());
  text.setNeedRecalc(false);
  document.invalidateLongText({1, 0});  // the text cell itself
  EXPECT_EQ(window.ranges.size(), 2u);
  document.invalidateLongText({40, 0});  // beyond the span
  EXPECT_EQ(window.ranges.size(), 2u);
  document.setOpening(true);
  document.invalidateLongText({1, 0});
  EXPECT_EQ(window.ranges.size(), 2u);
  document.setOpening(false);
  text.setNeedRecalc(false);
  document.invalidateAllLongText();
  EXPECT_TRUE(text.needRecalc());
  document.setController(nullptr);
}

TEST_F(StorageTest, RemovingCellsAndClearingThem) {
  for (int64_t x = 0; x < 6; ++x) entered(x, 0, QStringLiteral("v"));
  CARow* row = document.row(0);
  row->deleteCellsFrom(2, 3);
  ASSERT_EQ(row->cells().size(), 4u);
  EXPECT_EQ(row->cells()[2]->gridPoint().x, 4);
  CACell* cell = row->cells()[0].get();
  CAFormat bold;
  bold.setBold(true);
  cell->setFormat(bold);
  document.clearCell(cell, row->mutableCells(), kClearContents);
  EXPECT_EQ(cell->valueType(), kValueNone);
  EXPECT_TRUE(cell->format());
  document.clearCell(cell, row->mutableCells(), kClearFormats);
  EXPECT_FALSE(cell->format());
  document.clearCell(cell, row->mutableCells(), kClearAll);
  EXPECT_EQ(row->cells().size(), 3u);
  row->deleteCellsFrom(-1, 0);
  EXPECT_TRUE(row->cells().empty());
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
  row.saveToXml(encoder, info, fromX, toX);
  return encoder.xml().mid(kDeclaration.size());
}

TEST_F(StorageTest, RowsWriteTheirInformationAndCells) {
  CARow* row = document.rowImperative(3);
  row->setMinimumHeight(254000);
  row->setNeedCalculate(true);
  EXPECT_EQ(Xml(*row), QStringLiteral("<row y=\"3\">\n\t<dy>20.0000</dy>\n\t<minhigh>254000</minhigh>\n</row>\n"));
  document.cellAtGridPointImperative({0, 3});  // empty and unformatted: not written
  EXPECT_EQ(Xml(*row, false), QStringLiteral("<row y=\"3\"></row>\n"));
  entered(1, 3, QStringLiteral("9"));
  entered(4, 3, QStringLiteral("t"));
  EXPECT_EQ(Xml(*row, false, 0, 2),
            QStringLiteral("<row y=\"3\">\n\t<cells>\n\t\t<cell x=\"1\" y=\"3\" type=\"#\">\n"
                           "\t\t\t<val>i9</val>\n\t\t</cell>\n\t</cells>\n</row>\n"));
  FLXmlEncoder encoder;
  EXPECT_FALSE(row->saveToXml(encoder, false, 2, 3));
  EXPECT_TRUE(row->saveToXml(encoder, false, 2, 9));
  FLXmlEncoder heights;
  row->saveHeightToXml(heights);
  EXPECT_EQ(heights.xml().mid(kDeclaration.size()),
            QStringLiteral("<row y=\"3\">\n\t<dy>20.0000</dy>\n\t<minhigh>254000</minhigh>\n</row>\n"));
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
  EXPECT_EQ(back->gridY(), 2);
  EXPECT_EQ(back->minimumHeight(), 127000);
  ASSERT_TRUE(back->format());
  EXPECT_TRUE(back->format()->italic());
  ASSERT_EQ(back->cells().size(), 2u);
  EXPECT_EQ(back->cells()[0]->formula(), QStringLiteral("=B3+1"));
  EXPECT_EQ(back->cells()[1]->formula(), QStringLiteral("hello"));
  EXPECT_TRUE(back->needCalculate());
  EXPECT_DOUBLE_EQ(back->height(), 10.0);
}

TEST_F(StorageTest, RowHeightTextIsReadByHand) {
  struct Case {
    const char* dy;
    double height;
  };
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
  LogCapture log;
  auto decoder = FLXmlDecoder::withString(kDeclaration + QStringLiteral("<row y=\"1\"><bogus>1</bogus></row>"));
  ASSERT_TRUE(decoder && decoder->getNextTag());
  CARow::withXml(*decoder, &document);
  EXPECT_TRUE(log.contains(QStringLiteral("Unknown row tag")));
}

TEST_F(StorageTest, ColumnsWriteWidthOrDigits) {
  CAColumn column(4);
  const auto xml = [](const CAColumn& c) {
    FLXmlEncoder encoder;
    c.saveToXml(encoder);
    return encoder.xml().mid(kDeclaration.size());
  };
  EXPECT_EQ(xml(column), QStringLiteral("<col x=\"4\"></col>\n"));
  column.setDigitCount(8);
  EXPECT_EQ(xml(column), QStringLiteral("<col x=\"4\">\n\t<digits>8</digits>\n</col>\n"));
  column.setDigitCount(-1);
  column.setWidth(500000);
  CAFormat strike;
  strike.setStrike(true);
  column.setFormat(strike);
  const QString written = xml(column);
  EXPECT_EQ(written, QStringLiteral("<col x=\"4\">\n\t<width>500000</width>\n\t<format>\n"
                                    "\t\t<strike>1</strike>\n\t</format>\n</col>\n"));
  auto decoder = FLXmlDecoder::withString(kDeclaration + written);
  ASSERT_TRUE(decoder && decoder->getNextTag());
  const std::unique_ptr<CAColumn> back = CAColumn::withXml(*decoder);
  EXPECT_EQ(back->gridX(), 4);
  EXPECT_EQ(back->digitCount(), -1);
  EXPECT_EQ(back->width(), 500000);
  ASSERT_TRUE(back->format());
  EXPECT_TRUE(back->format()->strike());
  // A width in the file is taken as written, below today's minimum too.
  auto narrow = FLXmlDecoder::withString(kDeclaration + QStringLiteral("<col x=\"1\"><width>10</width></col>"));
  ASSERT_TRUE(narrow && narrow->getNextTag());
  EXPECT_EQ(CAColumn::withXml(*narrow)->width(), 10);
  const std::unique_ptr<CAColumn> copy = back->copy();
  EXPECT_EQ(copy->width(), 500000);
  EXPECT_TRUE(copy->format()->strike());
}

TEST_F(StorageTest, ReadRowsAndColumnsJoinInOrder) {
  document.addRow(std::make_unique<CARow>(5));
  document.addRow(std::make_unique<CARow>(1));
  CARow* replaced = document.addRow(std::make_unique<CARow>(5));
  EXPECT_EQ(rowYs(), (std::vector<int64_t>{1, 5}));
  EXPECT_EQ(document.row(5), replaced);
  document.addColumn(std::make_unique<CAColumn>(3));
  document.addColumn(std::make_unique<CAColumn>(0));
  EXPECT_EQ(document.columns().front()->gridX(), 0);
}

}  // namespace
