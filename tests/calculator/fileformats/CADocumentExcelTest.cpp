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
#include "calculator/model/UndoTestSupport.h"
#include "platform/FLError.h"
#include "platform/UserDefaults.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "calculator/model/CellNumberTestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <numbers>

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
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({0, 0})).realValue(), 2.5L);
  ASSERT_NE(document.cellAtGridPoint({0, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 1})->valueType(), kValueDate);
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({0, 1})).integerValue(), 20210101);
  ASSERT_NE(document.cellAtGridPoint({0, 2}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({0, 2})->formula(), QStringLiteral("padded"));
  ASSERT_NE(document.cellAtGridPoint({0, 3}), nullptr);
  EXPECT_TRUE(document.cellAtGridPoint({0, 3})->isChecked());
  ASSERT_NE(document.cellAtGridPoint({1, 0}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 0})->formula(), QStringLiteral("=A1*A1"));
  EXPECT_EQ(NumberIn(document.cellAtGridPoint({1, 0})).realValue(), 6.25L);
  const CACell* kept = document.cellAtGridPoint({1, 1});
  EXPECT_EQ(kept->valueType(), kValueNumber);
  EXPECT_EQ(NumberIn(kept).integerValue(), 99);
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

// ---------------------------------------------------------------------------------------------
// Workbooks as other programs write them, opened and then edited: what the formulas become must
// behave as the same sheet typed in.

// A document with a window for the undo steps of its edit commands.
struct EditedSheet {
  EditedSheet() { document.setController(&window); }
  ~EditedSheet() { document.setController(nullptr); }
  EditedSheet(const EditedSheet&) = delete;
  EditedSheet& operator=(const EditedSheet&) = delete;

  CADocument document;
  UndoWindow window{document};
};

TEST_F(DocumentExcelTest, SharedFormulasKeepTheirAbsoluteCoordinatesThroughSortAndFill) {
  CAModelPreferences preferences;
  preferences.sortWholeDoc = false;
  environment.set(preferences);
  const QString path = write(QStringLiteral("shared.xls"), MakeWorkbook({}, {SharedFormulasSheet()}));
  const struct {
    const char* edit;
    std::function<void(CADocument&)> apply;
  } edits[] = {
      {"none", [](CADocument&) {}},
      {"sort by the amounts", [](CADocument& d) {
         d.setSortKey1({0, 0});
         d.setSortKey2({-1, -1});
         d.setSelectionRange(GridRange{{0, 2}, {3, 11}});
         d.sort();
       }},
      {"fill the first running total down", [](CADocument& d) {
         d.setSelectionRange(GridRange{{2, 2}, {2, 11}});
         d.fillUsingInfo(CAFillInfo{});
       }},
      {"a new factor", [](CADocument& d) {
         d.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("3"));
         d.evaluate();
       }},
  };
  for (const auto& edit : edits) {
    EditedSheet read;
    FLError error;
    ASSERT_EQ(read.document.openFile(path, &error), 3) << error.reason.toStdString();
    // The same sheet typed in.
    EditedSheet typed;
    typed.document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("2"));
    for (int64_t row = 2; row < 12; ++row) {
      const QString n = QString::number(row + 1);
      typed.document.cellAtGridPointImperative({0, row})->setFormula(QString::number(kSharedAmounts[row - 2]));
      typed.document.cellAtGridPointImperative({1, row})->setFormula(QStringLiteral("=A%1*B$1").arg(n));
      typed.document.cellAtGridPointImperative({2, row})->setFormula(QStringLiteral("=SUM($A$3:A%1)").arg(n));
      typed.document.cellAtGridPointImperative({3, row})->setFormula(QStringLiteral("=A%1/A$12").arg(n));
    }
    typed.document.evaluate();
    edit.apply(read.document);
    edit.apply(typed.document);
    EXPECT_EQ(CellsOf(read.document), CellsOf(typed.document)) << edit.edit;
  }
  EXPECT_TRUE(alert.shown.isEmpty());
}

TEST_F(DocumentExcelTest, AddInFunctionsStayFormulasFromEitherWritersBook) {
  const std::vector<QString> names = {QStringLiteral("QUOTIENT"), QStringLiteral("MROUND"), QStringLiteral("GCD"),
                                      QStringLiteral("LCM"),      QStringLiteral("SQRTPI"), QStringLiteral("MULTINOMIAL"),
                                      QStringLiteral("EOMONTH")};
  const QByteArray a1b1 = Bytes().u8(0x44).u16(0).u16(0xC000).u8(0x44).u16(0).u16(0xC001).data;
  const QByteArray a1 = Bytes().u8(0x44).u16(0).u16(0xC000).data;
  const QByteArray a2b1 = Bytes().u8(0x44).u16(1).u16(0xC000).u8(0x44).u16(0).u16(0xC001).data;
  // A1 = 23, B1 = 5, A2 the date 2021-01-15 (serial 44211), then the calls in row 3 onwards.
  const struct {
    const char* formula;
    QByteArray tokens;
    double stored;
    const char* after;  // once A1 is 50
  } calls[] = {
      {"=QUOTIENT(A1,B1)", AddInCall(1, a1b1, 2), 4, "10"},
      {"=MROUND(A1,B1)", AddInCall(2, a1b1, 2), 25, "50"},
      {"=GCD(A1,B1)", AddInCall(3, a1b1, 2), 1, "5"},
      {"=LCM(A1,B1)", AddInCall(4, a1b1, 2), 115, "50"},
      {"=SQRTPI(A1)", AddInCall(5, a1, 1), std::sqrt(23 * std::numbers::pi), nullptr},
      {"=MULTINOMIAL(A1,B1)", AddInCall(6, a1b1, 2), 98280, "3478761"},
      {"=EOMONTH(A2,B1)", AddInCall(7, a2b1, 2), 44377, nullptr},
  };
  QByteArray sheet = Number(0, 0, 0, 23) + Number(0, 1, 0, 5) + Number(1, 0, 1, 44211);
  for (uint16_t i = 0; i < std::size(calls); ++i) sheet += Formula(uint16_t(2 + i), 0, 0, calls[i].tokens, calls[i].stored);
  std::map<std::pair<int64_t, int64_t>, QString> gnumeric;
  for (const bool addInFirst : {true, false}) {
    const char* writer = addInFirst ? "Gnumeric" : "LibreOffice";
    CADocument document;
    FLError error;
    ASSERT_EQ(document.openFile(write(QStringLiteral("addins.xls"), MakeWorkbook(AddInBook(addInFirst, names), {sheet})),
                                &error),
              3)
        << error.reason.toStdString();
    for (uint16_t i = 0; i + 1u < std::size(calls); ++i) {
      const CACell* cell = document.cellAtGridPoint({0, 2 + i});
      ASSERT_TRUE(cell) << writer << " " << calls[i].formula;
      EXPECT_EQ(cell->formula(), QLatin1String(calls[i].formula)) << writer;
      ASSERT_TRUE(cell->number()) << writer << " " << calls[i].formula;
      EXPECT_NEAR(double(cell->number()->realValue()), calls[i].stored, 1e-9) << writer << " " << calls[i].formula;
    }
    // The end of a month is a day count in the workbook and a day index here: whatever the rule
    // for that makes of it, it does for either writer's book.
    if (addInFirst)
      gnumeric = CellsOf(document);
    else
      EXPECT_EQ(CellsOf(document), gnumeric);
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("50"));
    document.evaluate();
    for (uint16_t i = 0; i < std::size(calls); ++i) {
      if (!calls[i].after) continue;
      const CACell* cell = document.cellAtGridPoint({0, 2 + i});
      EXPECT_EQ(cell->displayText(false), QLatin1String(calls[i].after)) << writer << " " << calls[i].formula;
    }
    EXPECT_NEAR(double(NumberIn(document.cellAtGridPoint({0, 6})).realValue()), std::sqrt(50 * std::numbers::pi), 1e-12) << writer;
  }
}

// A loan paid off over 360 months, as a writer computing in doubles stores it: the balances
// drift from the exact ones by the rounding of each month's thousands, the last one most of all
// against its own size. Month k (row k - 1): the balance brought forward (A), the interest
// rounded to cents (B), the principal repaid (C), the balance carried (D); H1 the yearly rate in
// percent, H2 the payment. The last balance's square (E of the last month) magnifies its drift;
// F1, the rate times the payment, reads only exact inputs.
constexpr int kLoanMonths = 360;
constexpr double kLoanPrincipal = 150000;
constexpr double kLoanPayment = 760.03;

QByteArray LoanSheet(double lastStoredFactor, double productStoredFactor = 1) {
  const auto ref = [](uint16_t row, uint16_t column) { return Bytes().u8(0x44).u16(row).u16(0xC000 | column).data; };
  const auto fixed = [](uint16_t row, uint16_t column) { return Bytes().u8(0x44).u16(row).u16(column).data; };
  const auto integer = [](uint16_t value) { return Bytes().u8(0x1E).u16(value).data; };
  const QByteArray times(1, 0x05), divided(1, 0x06), minus(1, 0x04);
  QByteArray sheet = Dimensions(8) + Number(0, 7, 0, 4.5) + Number(1, 7, 0, kLoanPayment);
  double balance = kLoanPrincipal;
  for (uint16_t row = 0; row < kLoanMonths; ++row) {
    const double interest = std::round(balance * 4.5 / 1200 * 100) / 100;
    const double principal = kLoanPayment - interest;
    const double carried = balance - principal;
    sheet += row == 0 ? Number(0, 0, 0, balance) : Formula(row, 0, 0, ref(uint16_t(row - 1), 3), balance);
    sheet += Formula(row, 1, 0, ref(row, 0) + fixed(0, 7) + times + integer(1200) + divided + integer(2) +
                                    Bytes().u8(0x41).u16(27).data,
                     interest);
    sheet += Formula(row, 2, 0, fixed(1, 7) + ref(row, 1) + minus, principal);
    sheet += Formula(row, 3, 0, ref(row, 0) + ref(row, 2) + minus,
                     row + 1 == kLoanMonths ? carried * lastStoredFactor : carried);
    const double last = carried * lastStoredFactor;
    if (row + 1 == kLoanMonths) sheet += Formula(row, 4, 0, ref(row, 3) + ref(row, 3) + times, last * last);
    if (row == 0)
      sheet += Formula(0, 5, 0, fixed(0, 7) + fixed(1, 7) + times, 4.5 * kLoanPayment * productStoredFactor);
    balance = carried;
  }
  return sheet;
}

// The last balance in cents, computed exactly: the interest of a month is the balance times the
// rate (tenths of a percent) over 12,000, rounded half away from 0.
int64_t ExactLastBalance(int64_t rateInTenths) {
  int64_t balance = int64_t(kLoanPrincipal) * 100;
  for (int month = 0; month < kLoanMonths; ++month) {
    const int64_t scaled = balance * rateInTenths * 2;
    const int64_t interest = scaled >= 0 ? (scaled + 12000) / 24000 : -((-scaled + 12000) / 24000);
    balance -= int64_t(std::llround(kLoanPayment * 100)) - interest;
  }
  return balance;
}

TEST_F(DocumentExcelTest, ALoanWhoseWriterDriftedKeepsItsFormulasAndFollowsANewRate) {
  // The stored last balance is the exact one to within the writer's drift, which is more than a
  // comparison of twelve digits allows.
  const double stored = [] {
    double balance = kLoanPrincipal;
    for (int month = 0; month < kLoanMonths; ++month)
      balance -= kLoanPayment - std::round(balance * 4.5 / 1200 * 100) / 100;
    return balance;
  }();
  const double exact = double(ExactLastBalance(45)) / 100;
  ASSERT_GT(std::fabs(stored - exact), 5e-12 * std::fabs(exact));
  ASSERT_LT(std::fabs(stored - exact), 1e-9);
  const struct {
    const char* file;
    double factor;  // of the stored last balance
    bool kept;      // the last balance keeps its stored value
    double productFactor = 1;  // of the stored product of exact inputs
  } cases[] = {{"as written", 1, false},
               {"the last balance a millionth off", 1 + 1e-6, true},
               {"a product of exact inputs a millionth off", 1, false, 1 + 1e-6}};
  for (const auto& c : cases) {
    CADocument document;
    FLError error;
    ASSERT_EQ(document.openFile(write(QStringLiteral("loan.xls"),
                                      MakeWorkbook({}, {LoanSheet(c.factor, c.productFactor)})),
                                &error),
              3)
        << error.reason.toStdString();
    const CACell* last = document.cellAtGridPoint({3, kLoanMonths - 1});
    ASSERT_TRUE(last && last->number()) << c.file;
    EXPECT_EQ(last->isFormula(), !c.kept) << c.file;
    const bool productKept = c.productFactor != 1;
    ASSERT_EQ(alert.shown.size(), c.kept || productKept ? 1 : 0) << c.file;
    // The square carries the last balance's drift, twice over, and no more: it stays live.
    const CACell* square = document.cellAtGridPoint({4, kLoanMonths - 1});
    ASSERT_TRUE(square && square->number()) << c.file;
    EXPECT_TRUE(square->isFormula()) << c.file;
    ASSERT_NE(document.cellAtGridPoint({5, 0}), nullptr);
    EXPECT_EQ(document.cellAtGridPoint({5, 0})->isFormula(), !productKept) << c.file;
    if (c.kept) {
      ASSERT_FALSE(alert.shown.empty()) << c.file;
      EXPECT_TRUE(alert.shown[0].endsWith(QStringLiteral(" 1 cell kept the value stored in the file.")))
          << alert.shown[0].toStdString();
      EXPECT_EQ(double(last->number()->realValue()), stored * c.factor) << c.file;
    } else {
      EXPECT_EQ(*last->number(), CANumber::withNumerator(ExactLastBalance(45), 100)) << c.file;
      // A new rate reaches the last balance.
      document.cellAtGridPointImperative({7, 0})->setFormula(QStringLiteral("3.9"));
      document.evaluate();
      const CANumber changed = CANumber::withNumerator(ExactLastBalance(39), 100);
      EXPECT_EQ(NumberIn(document.cellAtGridPoint({3, kLoanMonths - 1})), changed) << c.file;
      EXPECT_EQ(NumberIn(square), CANumber::withNumerator(ExactLastBalance(39) * ExactLastBalance(39), 10000))
          << c.file;
    }
    alert.shown.clear();
  }
}

// Gnumeric stores 0 for the cells of a cycle. The cycle's formulas compute the circular error and
// keep their stored values; the formulas that read them are judged on what they compute from
// those, each on its own, and stay live when that is what was stored.
TEST_F(DocumentExcelTest, TheReadersOfACycleAreJudgedOnTheirOwnValues) {
  const auto ref = [](uint16_t row, uint16_t column) { return Bytes().u8(0x44).u16(row).u16(0xC000 | column).data; };
  const auto integer = [](uint16_t value) { return Bytes().u8(0x1E).u16(value).data; };
  const QByteArray plus(1, 0x03), times(1, 0x05);
  const QByteArray sheet =
      // A1 = B1 and B1 = A1; C1 = A1 + E1, D1 = C1 * 2, F1 = A1 * 3 + 1 (stored wrong), E1 = 5.
      Formula(0, 0, 0, ref(0, 1), 0) + Formula(0, 1, 0, ref(0, 0), 0) + Formula(0, 2, 0, ref(0, 0) + ref(0, 4) + plus, 5) +
      Formula(0, 3, 0, ref(0, 2) + integer(2) + times, 10) + Number(0, 4, 0, 5) +
      Formula(0, 5, 0, ref(0, 0) + integer(3) + times + integer(1) + plus, 99) +
      // A cycle of one cell: A2 = A2, and C2 = A2 + E2, E2 = 7.
      Formula(1, 0, 0, ref(1, 0), 0) + Formula(1, 2, 0, ref(1, 0) + ref(1, 4) + plus, 7) + Number(1, 4, 0, 7);
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(write(QStringLiteral("cycle.xls"), MakeWorkbook({}, {sheet})), &error), 3)
      << error.reason.toStdString();
  const std::map<std::pair<int64_t, int64_t>, QString> opened = {
      {{0, 0}, QStringLiteral("0 !")},        {{1, 0}, QStringLiteral("0 !")},      {{2, 0}, QStringLiteral("=A1+E1 5")},
      {{3, 0}, QStringLiteral("=C1*2 10")},   {{4, 0}, QStringLiteral("5")},        {{5, 0}, QStringLiteral("99 !")},
      {{0, 1}, QStringLiteral("0 !")},        {{2, 1}, QStringLiteral("=A2+E2 7")}, {{4, 1}, QStringLiteral("7")}};
  EXPECT_EQ(CellsOf(document), opened);
  ASSERT_EQ(alert.shown.size(), 1);
  EXPECT_TRUE(alert.shown[0].endsWith(QStringLiteral(" 4 cells kept the values stored in the file.")))
      << alert.shown[0].toStdString();
  document.cellAtGridPointImperative({4, 0})->setFormula(QStringLiteral("10"));
  document.cellAtGridPointImperative({4, 1})->setFormula(QStringLiteral("8"));
  document.evaluate();
  std::map<std::pair<int64_t, int64_t>, QString> edited = opened;
  edited[{2, 0}] = QStringLiteral("=A1+E1 10");
  edited[{3, 0}] = QStringLiteral("=C1*2 20");
  edited[{4, 0}] = QStringLiteral("10");
  edited[{2, 1}] = QStringLiteral("=A2+E2 8");
  edited[{4, 1}] = QStringLiteral("8");
  EXPECT_EQ(CellsOf(document), edited);
}

// A blank template from LibreOffice: its formulas stored "#DIV/0!" where ours compute an error of
// their own or, for the average of nothing, 0; they stay live and compute once the amounts come.
TEST_F(DocumentExcelTest, FormulasWhoseStoredResultIsAnErrorStayLive) {
  const QByteArray b2a2 = Bytes().u8(0x44).u16(1).u16(0xC001).u8(0x44).u16(1).u16(0xC000).u8(0x06).data;
  const QByteArray a2a5 = Bytes().u8(0x25).u16(1).u16(4).u16(0xC000).u16(0xC000).data;
  const QByteArray average = a2a5 + Bytes().u8(0x42).u8(1).u16(5).data;
  const QByteArray sum = a2a5 + Bytes().u8(0x42).u8(1).u16(4).data;
  const QByteArray sheet = LabelSst(0, 0, 0, 0) + LabelSst(0, 1, 0, 1) + Formula(0, 2, 0, b2a2, 0x07, 2) +
                           Formula(0, 3, 0, average, 0x07, 2) + Formula(0, 4, 0, sum, 0);
  CADocument document;
  FLError error;
  ASSERT_EQ(document.openFile(write(QStringLiteral("template.xls"),
                                    MakeWorkbook(Sst({QStringLiteral("qty"), QStringLiteral("total")}), {sheet})),
                              &error),
            3)
      << error.reason.toStdString();
  const struct { int64_t x; const char* formula; } formulas[] = {{2, "=B2/A2"}, {3, "=AVERAGE(A2:A5)"}, {4, "=SUM(A2:A5)"}};
  for (const auto& f : formulas) {
    const CACell* cell = document.cellAtGridPoint({f.x, 0});
    ASSERT_TRUE(cell) << f.formula;
    EXPECT_TRUE(cell->isFormula()) << f.formula;
    EXPECT_EQ(cell->formula(), QLatin1String(f.formula));
    EXPECT_TRUE(!cell->format() || cell->format()->backgroundKolor() != kFormulaImportErrorKolor) << f.formula;
  }
  EXPECT_TRUE(alert.shown.isEmpty());
  document.cellAtGridPointImperative({0, 1})->setFormula(QStringLiteral("4"));
  document.evaluate();
  const std::map<std::pair<int64_t, int64_t>, QString> expected = {
      {{0, 0}, QStringLiteral("qty")},          {{1, 0}, QStringLiteral("total")},
      {{2, 0}, QStringLiteral("=B2/A2 0")},     {{3, 0}, QStringLiteral("=AVERAGE(A2:A5) 4")},
      {{4, 0}, QStringLiteral("=SUM(A2:A5) 4")}, {{0, 1}, QStringLiteral("4")}};
  EXPECT_EQ(CellsOf(document), expected);
}

}  // namespace
