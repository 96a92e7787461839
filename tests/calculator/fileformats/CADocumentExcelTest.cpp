// The document's Excel loader: cells, dates and formulas as the sheet keeps them, the mark and
// the one alert for formulas kept as values, its suppression in the shared preferences, and
// refusals through the open dispatch.
#include "ExcelTestSupport.h"

#include "calculator/fileformats/caCompoundFile.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CARow.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/ModelTestSupport.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

using namespace xls;

namespace {

class RecordingAlert : public CAImportAlert {
 public:
  bool showSuppressibleAlert(const QString& message, const QString& information) override {
    shown.append(message + QLatin1Char('|') + information);
    return suppress;
  }
  QStringList shown;
  bool suppress = false;
};

class DocumentExcelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetImportAlert(&alert);
    UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  }
  void TearDown() override {
    SetImportAlert(nullptr);
    UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  }
  QString write(const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  ModelEnvironment environment;
  QTemporaryDir folder;
  RecordingAlert alert;
};

QByteArray WorkbookWithAFailingFormula() {
  const QByteArray a1 = Bytes().u8(0x24).u16(0).u16(0xC000).data;
  const QByteArray text = Bytes().u8(0x17).u8(1).u8(0).raw("x").data;
  return MakeWorkbook({}, {Number(0, 0, 0, 2.5) + Number(1, 0, 1, 44197) + Label(2, 0, QStringLiteral("  padded  ")) +
                           BoolErr(3, 0, 1, false) + Formula(0, 1, 0, a1 + a1 + QByteArray(1, 5), 6.25) +
                           Formula(1, 1, 0, text + a1 + QByteArray(1, 3), 99)});
}

TEST_F(DocumentExcelTest, CellsFormulasAndTheMarkOfFailure) {
  CADocument document;
  FLError error;
  const QString path = write(QStringLiteral("Report.final.xls"), WorkbookWithAFailingFormula());
  ASSERT_EQ(document.openFile(path, &error), 3) << error.reason.toStdString();
  document.evaluate();
  // The lone number is kept plainly; the date, the kept value and the formula are cells.
  const auto plain = [&](int64_t x, int64_t y) { return document.row(y)->entryAt(x)->isPlain(); };
  EXPECT_TRUE(plain(0, 0));
  EXPECT_FALSE(plain(0, 1));
  EXPECT_FALSE(plain(1, 0));
  EXPECT_FALSE(plain(1, 1));
  EXPECT_EQ(document.cellAtGridPoint({0, 0})->number()->realValue(), 2.5L);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->valueType(), kValueDate);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->number()->integerValue(), 20210101);
  EXPECT_EQ(document.cellAtGridPoint({0, 2})->formula(), QStringLiteral("padded"));
  EXPECT_TRUE(document.cellAtGridPoint({0, 3})->isChecked());
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->formula(), QStringLiteral("=A1*A1"));
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->number()->realValue(), 6.25L);
  const CACell* kept = document.cellAtGridPoint({1, 1});
  EXPECT_EQ(kept->valueType(), kValueNumber);
  EXPECT_EQ(kept->number()->integerValue(), 99);
  EXPECT_EQ(kept->format()->backgroundKolor(), kFormulaImportErrorKolor);

  ASSERT_EQ(alert.shown.size(), 1);
  EXPECT_TRUE(alert.shown[0].startsWith(QStringLiteral("Excel file has import errors.|The file \"Report.final\" was imported")));
  EXPECT_FALSE(UserDefaults::sharedDefaults().boolForKey(QStringLiteral("ov.excel.import")));
}

TEST_F(DocumentExcelTest, TheAlertCanBeSuppressed) {
  const QString path = write(QStringLiteral("a.xls"), WorkbookWithAFailingFormula());
  alert.suppress = true;
  CADocument first;
  EXPECT_EQ(first.openFile(path, nullptr), 3);
  EXPECT_TRUE(UserDefaults::sharedDefaults().boolForKey(QStringLiteral("ov.excel.import")));
  CADocument second;
  EXPECT_EQ(second.openFile(path, nullptr), 3);
  EXPECT_EQ(alert.shown.size(), 1);
  // A workbook whose formulas all convert shows nothing.
  UserDefaults::sharedDefaults().removeObjectForKey(QStringLiteral("ov.excel.import"));
  CADocument clean;
  EXPECT_EQ(clean.openFile(write(QStringLiteral("b.xls"), MakeWorkbook({}, {Number(0, 0, 0, 1)})), nullptr), 3);
  EXPECT_EQ(alert.shown.size(), 1);
}

TEST_F(DocumentExcelTest, RefusalsCarryTheirMessages) {
  LogCapture quiet;
  const struct { const char* name; QByteArray bytes; int code; const char* reason; } cases[] = {
      {"text.xls", QByteArray("not a workbook at all, just text"), -50, kExcelFormatReason},
      {"hidden.xls", MakeWorkbook({}, {Number(0, 0, 0, 1)}, {1}), -50, "There are no visible spreadsheets in the file."},
  };
  for (const auto& c : cases) {
    CADocument document;
    FLError error;
    EXPECT_EQ(document.openFile(write(QLatin1String(c.name), c.bytes), &error), 0) << c.name;
    EXPECT_EQ(error.code, c.code) << c.name;
    EXPECT_EQ(error.reason, QLatin1String(c.reason)) << c.name;
    EXPECT_FALSE(document.opening());
  }
  CADocument document;
  FLError error;
  EXPECT_EQ(document.openFile(folder.filePath(QStringLiteral("missing.XLS")), &error), 0);
  EXPECT_EQ(error.domain, QLatin1String(kFLPosixErrorDomain));
}

// Every cell of the sheet that holds something: its formula, if any, what it shows, and whether
// it carries the mark of a formula kept as its stored value.
std::map<std::pair<int64_t, int64_t>, QString> CellsOf(const CADocument& document) {
  std::map<std::pair<int64_t, int64_t>, QString> cells;
  for (const auto& row : document.rows()) {
    for (const CACellEntry& entry : row->cells()) {
      const CACellReading cell(entry, row->gridY(), &document);
      if (!cell->hasValue()) continue;
      QString text = cell->isFormula() ? cell->formula() + QLatin1Char(' ') : QString();
      text += cell->displayText(false);
      if (cell->format() && cell->format()->backgroundKolor() == kFormulaImportErrorKolor) text += QStringLiteral(" !");
      cells[{entry.x(), row->gridY()}] = text;
    }
  }
  return cells;
}

TEST_F(DocumentExcelTest, AFormulaWhoseStoredResultIsAnEmptyTextStaysLive) {
  // Its writer stores "" for both formulas, =SUM(AA1:AA3) and =AA1+AB1.
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(TestDataPath(QStringLiteral("xls/calamine-tests/xls_formula_columns_beyond_z.xls")), &error), 3)
      << error.reason.toStdString();
  const std::map<std::pair<int64_t, int64_t>, QString> expected = {
      {{0, 0}, QStringLiteral("=SUM(AA1:AA3) 6")}, {{0, 1}, QStringLiteral("=AA1+AB1 1")},
      {{26, 0}, QStringLiteral("1")}, {{26, 1}, QStringLiteral("2")}, {{26, 2}, QStringLiteral("3")}};
  EXPECT_EQ(CellsOf(document), expected);
  EXPECT_TRUE(alert.shown.isEmpty());
}

TEST_F(DocumentExcelTest, OnlyTheFormulaThatComputesOtherwiseKeepsItsStoredValue) {
  const auto ref = [](uint16_t column, uint16_t row) { return Bytes().u8(0x24).u16(row).u16(0xC000 | column).data; };
  const auto integer = [](uint16_t value) { return Bytes().u8(0x1E).u16(value).data; };
  const QByteArray times(1, 0x05), plus(1, 0x03);
  // A text "5" read by =A*1, and what reads that: only the first formula differs from the
  // workbook (the text is 0 to our formulas); the chain is written in order and backwards.
  const auto chain = [&](uint16_t row, bool backwards) {
    const QByteArray records[] = {Formula(row, 1, 0, ref(0, row) + integer(1) + times, 5),
                                  Formula(row, 2, 0, ref(1, row) + integer(2) + times, 10),
                                  Formula(row, 3, 0, ref(2, row) + integer(2) + times, 20),
                                  Formula(row, 4, 0, ref(3, row) + integer(1) + plus, 21)};
    QByteArray cells = Label(row, 0, QStringLiteral("5"));
    for (int i = 0; i < 4; ++i) cells += records[backwards ? 3 - i : i];
    return cells;
  };
  const QByteArray twoTimesThree = integer(2) + integer(3) + times;
  const QByteArray sheet =
      chain(0, false) + chain(3, true) +
      // A later record for the cell replaces the formula, whose stored value does not come back.
      Formula(1, 0, 0, twoTimesThree, 4) + Number(1, 0, 0, 99) +
      // Stored results that are no numbers are no evidence against a working formula.
      Formula(2, 0, 0, twoTimesThree, std::nan("")) + Formula(2, 1, 0, twoTimesThree, HUGE_VAL) +
      Formula(2, 2, 0, twoTimesThree, -HUGE_VAL);
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(write(QStringLiteral("chain.xls"), MakeWorkbook({}, {sheet})), &error), 3)
      << error.reason.toStdString();
  const std::map<std::pair<int64_t, int64_t>, QString> expected = {
      {{0, 0}, QStringLiteral("5")}, {{1, 0}, QStringLiteral("5 !")}, {{2, 0}, QStringLiteral("=B1*2 10")},
      {{3, 0}, QStringLiteral("=C1*2 20")}, {{4, 0}, QStringLiteral("=D1+1 21")},
      {{0, 1}, QStringLiteral("99")},
      {{0, 2}, QStringLiteral("=2*3 6")}, {{1, 2}, QStringLiteral("=2*3 6")}, {{2, 2}, QStringLiteral("=2*3 6")},
      {{0, 3}, QStringLiteral("5")}, {{1, 3}, QStringLiteral("5 !")}, {{2, 3}, QStringLiteral("=B4*2 10")},
      {{3, 3}, QStringLiteral("=C4*2 20")}, {{4, 3}, QStringLiteral("=D4+1 21")}};
  EXPECT_EQ(CellsOf(document), expected);
  ASSERT_EQ(alert.shown.size(), 1);
  EXPECT_TRUE(alert.shown[0].endsWith(QStringLiteral(" 2 cells kept the values stored in the file.")))
      << alert.shown[0].toStdString();
}

// A formula that computes otherwise keeps exactly the value stored, of whichever kind it reads as.
TEST_F(DocumentExcelTest, AKeptValueIsTheStoredValueOfEachKind) {
  const QByteArray twoTimesThree = Bytes().u8(0x1E).u16(2).u8(0x1E).u16(3).u8(0x05).data;
  const struct {
    double stored;
    uint16_t xf;
    int32_t type;
    double value;
  } cases[] = {
      {7, 0, kValueNumber, 7}, {2.5, 0, kValueNumber, 2.5}, {1.0 / 3, 0, kValueNumber, 1.0 / 3},
      {-1e300, 0, kValueNumber, -1e300}, {44197, 4, kValueDate, 20210101},
  };
  QByteArray sheet;
  for (uint16_t row = 0; row < std::size(cases); ++row)
    sheet += Formula(row, 0, cases[row].xf, twoTimesThree, cases[row].stored);
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(write(QStringLiteral("kinds.xls"), MakeWorkbook(Xf(14), {sheet})), &error), 3)
      << error.reason.toStdString();
  for (int64_t row = 0; row < int64_t(std::size(cases)); ++row) {
    const CACell* cell = document.cellAtGridPoint({0, row});
    ASSERT_TRUE(cell && cell->number()) << row;
    EXPECT_FALSE(cell->isFormula()) << row;
    EXPECT_EQ(cell->valueType(), cases[row].type) << row;
    EXPECT_EQ(double(cell->number()->realValue()), cases[row].value) << row;
  }
}

TEST_F(DocumentExcelTest, AChainWhoseStoredValuesAllDifferRunsEachFormulaAFewTimes) {
  // Each formula is judged once what it reads is settled, and run again only then: a chain
  // computed over again after each link kept its value runs its formulas rows² / 2 times.
  constexpr uint16_t kRows = 300;
  for (const bool asText : {false, true}) {
    CADocument document;
    FLError error;
    const uint64_t before = CACell::formulaRuns();
    ASSERT_EQ(document.openFile(write(QStringLiteral("total.xls"), MakeWorkbook({}, {RunningTotal(kRows, asText)})),
                                &error),
              3)
        << error.reason.toStdString();
    EXPECT_LE(CACell::formulaRuns() - before, 4u * kRows) << asText;
    const std::map<std::pair<int64_t, int64_t>, QString> cells = CellsOf(document);
    double total = 0;
    for (uint16_t row = 0; row < kRows; ++row) {
      total += row % 7 + 1;
      const auto found = cells.find({1, row});
      ASSERT_NE(found, cells.end()) << row;
      EXPECT_EQ(found->second, QString::number(asText ? total : 2 * total) + QStringLiteral(" !")) << row;
    }
    ASSERT_EQ(alert.shown.size(), 1);
    EXPECT_TRUE(alert.shown[0].endsWith(QStringLiteral(" 300 cells kept the values stored in the file.")))
        << alert.shown[0].toStdString();
    alert.shown.clear();
  }
}

TEST_F(DocumentExcelTest, TextsWithCharactersBeyondTheBasicPlaneReadWholeFromGnumeric) {
  // Written by tools/make_astral_xls.py with Gnumeric; the long texts run on into the shared
  // string table's continuations.
  QFile json(TestDataPath(QStringLiteral("foreign/gnumeric-astral.json")));
  ASSERT_TRUE(json.open(QIODevice::ReadOnly));
  const QJsonArray rows = QJsonDocument::fromJson(json.readAll()).object().value(QLatin1String("rows")).toArray();
  ASSERT_GT(rows.size(), 20);
  std::map<std::pair<int64_t, int64_t>, QString> expected;
  for (qsizetype y = 0; y < rows.size(); ++y) expected[{0, y}] = rows[y].toString();
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(TestDataPath(QStringLiteral("foreign/gnumeric-astral.xls")), &error), 3)
      << error.reason.toStdString();
  const std::map<std::pair<int64_t, int64_t>, QString> read = CellsOf(document);
  EXPECT_EQ(read.size(), expected.size());
  for (const auto& [point, text] : expected) {
    const auto found = read.find(point);
    ASSERT_NE(found, read.end()) << point.second;
    EXPECT_TRUE(found->second == text) << point.second << ": " << found->second.size() << " units, not " << text.size();
  }
}

}  // namespace
