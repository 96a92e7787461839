// A ledger with running totals, the commonest long sheet there is: a heading, then rows
// "item k,food,<amount>,=SUM(C$2:Ck)", then a total row, N rows in all. Opened as CSV and as
// .xls (the workbook storing each formula's value), with AVERAGE, MAX and COUNT columns over the
// same ranges, and the edits that make the sheet recalculate again: typing in C2, inserting a
// row near the top, undoing the typing, and sorting the rows by their amounts.
//
// Each benchmark reports "formula_runs_per_formula": how many times each formula of the sheet
// was evaluated, on average, by one iteration (1 is one recalculation). The memory figures of
// the opens (see BenchPeakMemory.h) are meaningful one benchmark per process:
//   benchLedger --benchmark_filter='BM_OpenLedgerCsv/65536$'
// `benchLedger --write ROWS PATH` writes the ledger (".csv" or ".xls" by PATH) for opening it in
// other programs; `benchLedger --to-native IN PACKAGE` opens such a ledger as the application
// does, checks its total and saves it as a package: the whole process set beside other programs'
// conversions of the same file (bench/totals-figures.sh).
#include "../tests/calculator/fileformats/ExcelTestSupport.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLUndoManager.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QApplication>
#include <QFile>
#include <QMainWindow>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchOpenSheet.h"
#include "BenchPeakMemory.h"
#include "BenchUndoWindow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// The columns a ledger may carry beside its balance, each over the balance's range.
constexpr const char* kStatistics[] = {"AVERAGE", "MAX", "COUNT"};

// Amounts in cents, as a ledger holds them: fractions of 100 and some whole numbers.
int64_t AmountCents(int64_t k) { return (k * 7919) % 100000 + 1; }

QByteArray AmountText(int64_t k) {
  const int64_t cents = AmountCents(k);
  return QByteArray::number(cents / 100) + '.' + QByteArray::number(cents % 100 + 100).mid(1);
}

// `rows` lines in all: the heading (row 1), the items (rows 2 .. rows - 1), the total.
QByteArray LedgerCsv(int64_t rows, bool statistics) {
  QByteArray csv = "Item,Category,Amount,Balance";
  if (statistics) csv += ",Average,Largest,Count";
  csv += '\n';
  for (int64_t k = 2; k < rows; ++k) {
    const QByteArray range = "(C$2:C" + QByteArray::number(k) + ')';
    csv += "item " + QByteArray::number(k - 1) + ",food," + AmountText(k) + ",=SUM" + range;
    if (statistics)
      for (const char* function : kStatistics) csv += ",=" + QByteArray(function) + range;
    csv += '\n';
  }
  csv += "Total,,=SUM(C2:C" + QByteArray::number(rows - 1) + "),\n";
  return csv;
}

// The same ledger as a workbook whose formulas store the values they compute.
QByteArray LedgerWorkbook(int64_t rows) {
  QByteArray sheet = xls::Dimensions(4);
  const char* headings[] = {"Item", "Category", "Amount", "Balance"};
  for (uint16_t x = 0; x < 4; ++x) sheet += xls::Label(0, x, QLatin1String(headings[x]));
  // SUM over an area whose first row is absolute: tArea, then tFuncVar SUM of one argument.
  const auto sumOf = [](uint16_t first, uint16_t last, bool firstAbsolute) {
    return Bytes().u8(0x25).u16(first).u16(last).u16(firstAbsolute ? 0x4002 : 0xC002).u16(0xC002).u8(0x22).u8(1).u16(4).data;
  };
  double total = 0;
  for (int64_t k = 2; k < rows; ++k) {
    const uint16_t r = uint16_t(k - 1);
    const double amount = double(AmountCents(k)) / 100;
    total += amount;
    sheet += xls::Label(r, 0, QStringLiteral("item %1").arg(k - 1));
    sheet += xls::Label(r, 1, QStringLiteral("food"));
    sheet += xls::Number(r, 2, 0, amount);
    sheet += xls::Formula(r, 3, 0, sumOf(1, r, true), total);
  }
  const uint16_t last = uint16_t(rows - 1);
  sheet += xls::Label(last, 0, QStringLiteral("Total"));
  sheet += xls::Formula(last, 2, 0, sumOf(1, uint16_t(last - 1), false), total);
  return MakeCompoundFile(MakeWorkbookStream({}, {sheet}));
}

QByteArray LedgerBytes(int64_t rows, bool workbook, bool statistics = false) {
  return workbook ? LedgerWorkbook(rows) : LedgerCsv(rows, statistics);
}

class LedgerFile {
 public:
  LedgerFile(int64_t rows, bool workbook, bool statistics = false) {
    path_ = folder_.filePath(workbook ? QStringLiteral("ledger.xls") : QStringLiteral("ledger.csv"));
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly)) file.write(LedgerBytes(rows, workbook, statistics));
  }
  const QString& path() const { return path_; }

 private:
  QTemporaryDir folder_;
  QString path_;
};

int64_t FormulaCount(int64_t rows, bool statistics) { return (rows - 2) * (statistics ? 4 : 1) + 1; }

void ReportRuns(benchmark::State& state, uint64_t runs, int64_t formulas) {
  state.counters["formula_runs_per_formula"] = double(runs) / double(state.iterations()) / double(formulas);
}


// Whether the total of a ledger of `rows` lines is the exact sum of its amounts.
bool TotalRight(const CADocument& document, int64_t rows) {
  int64_t cents = 0;
  for (int64_t k = 2; k < rows; ++k) cents += AmountCents(k);
  const CACell* total = document.cellAtGridPoint({2, rows - 1});
  return total && total->number() && *total->number() == CANumber::withNumerator(cents, 100);
}

// Opens the ledger as the application does and checks its total.
bool OpenLedger(CADocument& document, const QString& path, int64_t rows) {
  return OpenAsTheApplication(document, path) && TotalRight(document, rows);
}

void OpenLedgerBenchmark(benchmark::State& state, bool workbook, bool statistics) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  const LedgerFile file(rows, workbook, statistics);
  ResetPeakMemory();
  const uint64_t before = CACell::formulaRuns();
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    const bool opened = OpenLedger(*document, file.path(), rows);
    state.PauseTiming();
    if (!opened) {
      state.SkipWithError("the ledger did not open right");
      break;
    }
    document.reset();
    state.ResumeTiming();
  }
  ReportRuns(state, CACell::formulaRuns() - before, FormulaCount(rows, statistics));
  ReportPeakMemory(state);
}

void BM_OpenLedgerCsv(benchmark::State& state) { OpenLedgerBenchmark(state, false, false); }
BENCHMARK(BM_OpenLedgerCsv)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenLedgerXls(benchmark::State& state) { OpenLedgerBenchmark(state, true, false); }
BENCHMARK(BM_OpenLedgerXls)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// Balance, AVERAGE, MAX and COUNT columns over the same ranges, as CSV.
void BM_OpenLedgerStatistics(benchmark::State& state) { OpenLedgerBenchmark(state, false, true); }
BENCHMARK(BM_OpenLedgerStatistics)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// Documents measure their font: the application comes before the document.
struct BenchApplication {
  BenchApplication() { EnsureBenchApplication(); }
};

// An opened ledger in a window.
struct OpenedLedger : BenchApplication {
  explicit OpenedLedger(benchmark::State& state) : rows(state.range(0)), file(rows, false) {
    if (!OpenLedger(document, file.path(), rows)) state.SkipWithError("the ledger did not open right");
    document.setController(&window);
  }
  ~OpenedLedger() { document.setController(nullptr); }

  // What typing a value into a cell does once the typing ends: the step, the text, one recalculation.
  void type(const GridPoint& point, const QString& text) {
    document.setSelectionPoint(point);
    if (!document.setCellUndo(kUndoFormula, kUndoRangeActiveCell)) return;
    document.cellAtGridPointImperative(point)->setFormula(text);
    document.evaluate();
  }

  const int64_t rows;
  const LedgerFile file;
  CADocument document;
  BenchUndoWindow window{document};
};

void BM_LedgerTypeInC2(benchmark::State& state) {
  OpenedLedger ledger(state);
  const uint64_t before = CACell::formulaRuns();
  int64_t value = 0;
  for (auto _ : state) ledger.type({2, 1}, QString::number(++value % 97));
  ReportRuns(state, CACell::formulaRuns() - before, FormulaCount(ledger.rows, false));
}
BENCHMARK(BM_LedgerTypeInC2)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// A row inserted above row 3; the row goes again, untimed, before the next one.
void BM_LedgerInsertRow(benchmark::State& state) {
  OpenedLedger ledger(state);
  CADocument& document = ledger.document;
  uint64_t runs = 0;
  for (auto _ : state) {
    document.setSelectionRange(GridRange{{kGridWildcard, 2}, {kGridWildcard, 2}});
    const uint64_t before = CACell::formulaRuns();
    document.insert(kEditRows);
    runs += CACell::formulaRuns() - before;
    state.PauseTiming();
    document.setSelectionRange(GridRange{{kGridWildcard, 2}, {kGridWildcard, 2}});
    document.deleteSelection(kEditRows);
    state.ResumeTiming();
  }
  ReportRuns(state, runs, FormulaCount(ledger.rows, false));
}
BENCHMARK(BM_LedgerInsertRow)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// The typing in C2 undone (the typing itself untimed).
void BM_LedgerUndoTyping(benchmark::State& state) {
  OpenedLedger ledger(state);
  uint64_t runs = 0;
  int64_t value = 0;
  for (auto _ : state) {
    state.PauseTiming();
    ledger.type({2, 1}, QString::number(++value % 97));
    state.ResumeTiming();
    const uint64_t before = CACell::formulaRuns();
    ledger.window.manager.undo();
    runs += CACell::formulaRuns() - before;
  }
  ReportRuns(state, runs, FormulaCount(ledger.rows, false));
}
BENCHMARK(BM_LedgerUndoTyping)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);

// The items sorted by their amounts, up and down in turn.
void BM_LedgerSort(benchmark::State& state) {
  OpenedLedger ledger(state);
  CADocument& document = ledger.document;
  bool reverse = false;
  uint64_t runs = 0;
  for (auto _ : state) {
    CAModelPreferences preferences;
    preferences.sortWholeDoc = false;
    preferences.sortReverse = reverse = !reverse;
    SetModelPreferencesProvider([preferences] { return preferences; });
    document.setSelectionRange(GridRange{{0, 1}, {3, ledger.rows - 2}});
    document.setSortKey1({2, 1});
    const uint64_t before = CACell::formulaRuns();
    document.sort();
    runs += CACell::formulaRuns() - before;
  }
  SetModelPreferencesProvider(nullptr);
  ReportRuns(state, runs, FormulaCount(ledger.rows, false));
}
BENCHMARK(BM_LedgerSort)->Arg(10000)->Arg(32768)->Arg(65536)->Unit(benchmark::kMillisecond);



// The ledger shown in a document window, as the application opens it.
struct LedgerWindow : BenchApplication {
  explicit LedgerWindow(benchmark::State& state) : rows(state.range(0)), file(rows, false) {
    if (!OpenLedger(document(), file.path(), rows)) state.SkipWithError("the ledger did not open right");
    controller.prepareToShow();
    controller.mainWindow()->resize(1000, 700);
    controller.mainWindow()->show();
    settle();
  }
  ~LedgerWindow() {
    SetModelPreferencesProvider(nullptr);
    controller.mainWindow()->close();
  }
  CADocument& document() const { return *controller.document(); }
  void settle() { QApplication::processEvents(); }

  // The items sorted by their amounts, by the selection only, up or down.
  void sort(bool reverse) {
    CAModelPreferences preferences;
    preferences.sortWholeDoc = false;
    preferences.sortReverse = reverse;
    SetModelPreferencesProvider([preferences] { return preferences; });
    document().setSelectionRange(GridRange{{0, 1}, {3, rows - 2}});
    document().setSortKey1({2, 1});
    document().sort();
    settle();
  }
  // Whole rows 101 .. 100 + count inserted or deleted, as Insert or Delete Rows does.
  void insertRows(int64_t count, bool remove) {
    document().setSelectionRange(GridRange{{kGridWildcard, 100}, {kGridWildcard, 99 + count}});
    if (remove)
      document().deleteSelection(kEditRows);
    else
      document().insert(kEditRows);
    settle();
  }

  const int64_t rows;
  const LedgerFile file;
  mutable CAWindowController controller;
};

void BM_WindowLedgerSort(benchmark::State& state) {
  LedgerWindow ledger(state);
  bool reverse = false;
  for (auto _ : state) ledger.sort(reverse = !reverse);
}
BENCHMARK(BM_WindowLedgerSort)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

// The sort undone (the sort itself untimed).
void BM_WindowLedgerUndoSort(benchmark::State& state) {
  LedgerWindow ledger(state);
  bool reverse = false;
  for (auto _ : state) {
    state.PauseTiming();
    ledger.sort(reverse = !reverse);
    state.ResumeTiming();
    ledger.controller.undoEdit();
    ledger.settle();
  }
}
BENCHMARK(BM_WindowLedgerUndoSort)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

// The undone sort redone (the sort and its undo untimed).
void BM_WindowLedgerRedoSort(benchmark::State& state) {
  LedgerWindow ledger(state);
  bool reverse = false;
  for (auto _ : state) {
    state.PauseTiming();
    ledger.sort(reverse = !reverse);
    ledger.controller.undoEdit();
    ledger.settle();
    state.ResumeTiming();
    ledger.controller.redoEdit();
    ledger.settle();
  }
}
BENCHMARK(BM_WindowLedgerRedoSort)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

// Ten rows inserted inside the ledger; they go again, untimed.
void BM_WindowLedgerInsertRows(benchmark::State& state) {
  LedgerWindow ledger(state);
  for (auto _ : state) {
    ledger.insertRows(10, false);
    state.PauseTiming();
    ledger.insertRows(10, true);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WindowLedgerInsertRows)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

// Ten rows deleted inside the ledger; blank ones come in their place, untimed.
void BM_WindowLedgerDeleteRows(benchmark::State& state) {
  LedgerWindow ledger(state);
  for (auto _ : state) {
    ledger.insertRows(10, true);
    state.PauseTiming();
    ledger.insertRows(10, false);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_WindowLedgerDeleteRows)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write") == 0) {
    const int rows = std::atoi(argv[2]);
    if (rows < 3 || rows > 65536) return 2;
    const QString path = QString::fromLocal8Bit(argv[3]);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    return file.write(LedgerBytes(rows, path.endsWith(QLatin1String(".xls")))) > 0 ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--to-native") == 0)
    return ConvertToNative(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           [](const CADocument& document, int64_t rows) { return TotalRight(document, rows); });
  return RunBenchmarks(argc, argv);
}
