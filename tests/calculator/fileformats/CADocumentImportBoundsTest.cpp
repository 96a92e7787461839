// Imports through the document: formulas whose values differ from the stored ones keep the
// stored values, formats that restate the defaults are not kept per cell, and files too large or
// too wide stop at the cell budget or the grid's last column with an alert saying so.
#include "ExcelTestSupport.h"
#include "ImportAlertRecorder.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"
#include "support/TestFiles.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace xls;

namespace {

class ImportBoundsTest : public ::testing::Test {
 protected:
  void SetUp() override { UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import")); }
  void TearDown() override { UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import")); }
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
  ImportAlertRecorder alerts;
};

const QByteArray kA1 = Bytes().u8(0x24).u16(0).u16(0xC000).data;
QByteArray Plus(int value) { return kA1 + Bytes().u8(0x1E).u16(uint32_t(value)).data + QByteArray(1, 0x03); }

TEST_F(ImportBoundsTest, FormulasThatComputeOtherwiseKeepTheStoredValue) {
  // 12/31/1999 is serial 36525; XF 1 is "m/d/yy". Excel's date sums are day counts.
  const QByteArray sheet = Number(0, 0, 1, 36525) + Formula(0, 1, 1, Plus(1), 36526) +
                           Formula(0, 2, 1, Plus(60), 36585) + Formula(0, 3, 0, Plus(0), 36525) +
                           Number(1, 0, 0, 2) + Formula(1, 1, 0, Bytes().u8(0x24).u16(1).u16(0xC000).data +
                                                                    Bytes().u8(0x1E).u16(3).data + QByteArray(1, 0x05), 6);
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(write(QStringLiteral("dates.xls"), MakeWorkbook({}, {sheet})), &error), 3)
      << error.reason.toStdString();
  // The date sums compute as the workbook's dates (a sum with a date counts in days): live.
  const struct { int64_t x; int32_t day; } live[] = {{1, 20000101}, {2, 20000229}};
  for (const auto& c : live) {
    const CACell* cell = document.cellAtGridPoint({c.x, 0});
    ASSERT_NE(cell, nullptr);
    EXPECT_EQ(cell->valueType(), kValueFormula) << c.x;
    EXPECT_EQ(cell->formulaResultType(), kValueDate) << c.x;
    EXPECT_EQ(NumberIn(cell).integerValue(), c.day) << c.x;
    EXPECT_TRUE(!cell->format() || cell->format()->backgroundKolor() != kFormulaImportErrorKolor) << c.x;
  }
  // What computes as the workbook did stays a live formula: =A2*3 is 6.
  const CACell* product = document.cellAtGridPoint({1, 1});
  EXPECT_EQ(product->formula(), QStringLiteral("=A2*3"));
  EXPECT_EQ(NumberIn(product).integerValue(), 6);
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_TRUE(alerts.shown[0].startsWith(QStringLiteral("Excel file has import errors.|")));
  // D1, =A1+0 in the general format, was stored as the day count 36525, which our date is not:
  // the stored value is kept, marked.
  const CACell* dayCount = document.cellAtGridPoint({3, 0});
  EXPECT_EQ(NumberIn(dayCount).integerValue(), 36525);
  ASSERT_NE(dayCount->format(), nullptr);
  EXPECT_EQ(dayCount->format()->backgroundKolor(), kFormulaImportErrorKolor);
  EXPECT_TRUE(alerts.shown[0].endsWith(QStringLiteral(" 1 cell kept the value stored in the file.")))
      << alerts.shown[0].toStdString();
}

TEST_F(ImportBoundsTest, CellsWhoseFormatRestatesTheDefaultsGetNoneOfTheirOwn) {
  // XF 0 is the general format in the workbook's font; XF 3 a grey pattern. Column C has XF 3.
  const QByteArray colInfo = Record(0x7D, Bytes().u16(2).u16(2).u16(0).u16(3).u16(0).u16(0).data);
  const QByteArray sheet = colInfo + Number(0, 0, 0, 1) + Number(0, 1, 3, 2) + Number(0, 2, 3, 3) +
                           Number(0, 3, 1, 36525) + Label(1, 0, QStringLiteral("text"));
  CADocument document;
  ASSERT_EQ(document.openFile(write(QStringLiteral("formats.xls"), MakeWorkbook({}, {sheet})), nullptr), 3);
  ASSERT_NE(document.cellAtGridPoint({0, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->format(), nullptr);
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->format(), nullptr);
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  ASSERT_NE(document.cellAtGridPoint({1, 0})->format(), nullptr);
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->format()->backgroundKolor(), Kolor(0x64808080));
  // The column already gives C1 its grey.
  ASSERT_NE(document.cellAtGridPoint({2, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({2, 0})->format(), nullptr);
  EXPECT_EQ(document.formatForCell(document.cellAtGridPoint({2, 0}), true).backgroundKolor(), Kolor(0x64808080));
  // A date format is the cell's own.
  ASSERT_NE(document.cellAtGridPoint({3, 0}), nullptr);
  ASSERT_NE(document.cellAtGridPoint({3, 0})->format(), nullptr);
  ASSERT_NE(document.cellAtGridPoint({3, 0}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({3, 0})->format()->numberFormat().has_value());
}

TEST_F(ImportBoundsTest, ATextFileStopsAtTheCellBudgetWithAnAlert) {
  QByteArray csv;
  for (int y = 0; y < 10; ++y) csv += "a,b,c\n";
  const uint64_t previous = SetImportCellBudget(7);
  CADocument document;
  const int32_t code = document.openFile(write(QStringLiteral("big.csv"), csv), nullptr);
  SetImportCellBudget(previous);
  ASSERT_EQ(code, 1);
  int64_t cells = 0;
  for (int64_t y = 0; y < 10; ++y)
    for (int64_t x = 0; x < 3; ++x) cells += document.cellAtGridPoint({x, y}) ? 1 : 0;
  EXPECT_EQ(cells, 7);
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_EQ(alerts.shown[0], QStringLiteral("The file is too large to open whole.|Only the first 7 cells of "
                                            "\"big.csv\" were read; the rest of the file was left out."));
}

TEST_F(ImportBoundsTest, AWorkbookStopsAtTheCellBudgetWithAnAlert) {
  QByteArray sheet;
  for (uint16_t y = 0; y < 30; ++y) sheet += Number(y, 0, 0, y);
  const uint64_t previous = SetImportCellBudget(12);
  CADocument document;
  const int32_t code = document.openFile(write(QStringLiteral("many.xls"), MakeWorkbook({}, {sheet})), nullptr);
  SetImportCellBudget(previous);
  ASSERT_EQ(code, 3);
  EXPECT_NE(document.cellAtGridPoint({0, 11}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 12}), nullptr);
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_TRUE(alerts.shown[0].contains(QStringLiteral("Only the first 12 cells of \"many.xls\" were read")));
}

TEST_F(ImportBoundsTest, FieldsPastTheLastColumnAreLeftOutWithTheTruncationAlert) {
  QByteArray line(LastGridColumn(), ',');
  line += "edge,past\nnext\n";
  CADocument document;
  ASSERT_EQ(document.openFile(write(QStringLiteral("wide.csv"), line), nullptr), 1);
  ASSERT_NE(document.cellAtGridPoint({LastGridColumn(), 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({LastGridColumn(), 0})->formula(), QStringLiteral("edge"));
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->formula(), QStringLiteral("next"));
  EXPECT_LE(document.maxGridPoint().x, LastGridColumn());
  ASSERT_EQ(alerts.shown.size(), 1);
  EXPECT_TRUE(alerts.shown[0].startsWith(QStringLiteral("Truncated columns.|\"wide.csv\" has more columns")));
}

}  // namespace
