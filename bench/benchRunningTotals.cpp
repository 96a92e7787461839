// Running totals over a column of formulas: row k holds =Ck*2, =SUM($A$1:Ak) and the number
// k mod 7 + 1 (columns A, B, C), so every total reads every formula above it through its
// range. Opened as CSV and as .xls (each formula storing its value), as the application opens
// a file (the reading, then the recalculation), and the variant whose totals read themselves,
// =SUM($B$1:Bk), which is one long cycle (its workbook stores 0 for each total, as Excel does,
// and the import keeps those values where the formulas compute otherwise). Then
// typing into C1, which sends every formula of the sheet through one recalculation.
// Then the sheets whose formulas come before the cells they read (TotalsSheets.h), the remaining
// balance up to a million rows among them, and a remaining balance over computed reals (row k:
// k, =SQRT(Ak), =SUM(Bk:B$N)), opened and with a value typed at its bottom. Last, remaining
// balances over computed fractions whose common denominator passes 64 bits (amounts with cents
// over k mod 97 + 1, one over each amount, one over each row's number) and over amounts of 17 to 19 digits times 1.07, the
// first of them with =1/0 near its bottom, and a running balance with =1/0 three rows from its
// end: each opened, then with a value typed at its top and at its bottom.
//
// Each open reports its memory peaks (see BenchPeakMemory.h); they are meaningful one
// benchmark per process:
//   benchRunningTotals --benchmark_filter='BM_OpenRunningTotalsCsv/65536$'
// `benchRunningTotals --write ROWS PATH` writes the sheet (".csv" or ".xls" by PATH, with
// "cycle" after PATH for the variant), for opening it in other programs;
// `benchRunningTotals --to-native IN PACKAGE` opens such a sheet as the application does, checks
// its last total and saves it as a package: the whole process set beside other programs'
// conversions of the same file (bench/totals-figures.sh).
#include "../tests/calculator/fileformats/TotalsSheets.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caUndoArchives.h"

#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchOpenSheet.h"
#include "BenchPeakMemory.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>

namespace {

QByteArray TotalsBytes(int64_t rows, bool workbook, bool cycle) {
  return workbook ? TotalsWorkbook(rows, cycle) : TotalsCsv(rows, cycle);
}

class TotalsFile {
 public:
  TotalsFile(int64_t rows, bool workbook, bool cycle) {
    path_ = folder_.filePath(workbook ? QStringLiteral("totals.xls") : QStringLiteral("totals.csv"));
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly)) file.write(TotalsBytes(rows, workbook, cycle));
  }
  const QString& path() const { return path_; }

 private:
  QTemporaryDir folder_;
  QString path_;
};

// Whether the sheet computed what it should: the last total, or, for the cycle, the circular
// error in the first and the last total (the stored 0 in a workbook).
bool Computed(const CADocument& document, int64_t rows, bool workbook, bool cycle) {
  if (cycle && workbook) {
    const CARow* row = document.row(rows - 1);
    const CACellEntry* entry = row ? row->entryAt(1) : nullptr;
    if (!entry) return false;
    const CACellReading last(*entry, rows - 1, &document);
    return last->valueType() == kValueNumber && last->number() && last->number()->isZero();
  }
  const CACell* last = document.cellAtGridPoint({1, rows - 1});
  if (cycle) {
    const CACell* first = document.cellAtGridPoint({1, 0});
    return first && last && first->valueType() == kValueError && last->valueType() == kValueError;
  }
  return last && last->valueType() == kValueFormula && last->number() &&
         *last->number() == CANumber::withInteger(TotalOfRows(rows));
}


void OpenBenchmark(benchmark::State& state, bool workbook, bool cycle) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  const TotalsFile file(rows, workbook, cycle);
  ResetPeakMemory();
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    const bool opened = OpenAsTheApplication(*document, file.path());
    state.PauseTiming();
    if (!opened || !Computed(*document, rows, workbook, cycle)) {
      state.SkipWithError("the sheet did not open right");
      break;
    }
    document.reset();
    state.ResumeTiming();
  }
  ReportPeakMemory(state);
}

void BM_OpenRunningTotalsCsv(benchmark::State& state) { OpenBenchmark(state, false, false); }
BENCHMARK(BM_OpenRunningTotalsCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRunningTotalsXls(benchmark::State& state) { OpenBenchmark(state, true, false); }
BENCHMARK(BM_OpenRunningTotalsXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenSelfReadingTotalsCsv(benchmark::State& state) { OpenBenchmark(state, false, true); }
BENCHMARK(BM_OpenSelfReadingTotalsCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenSelfReadingTotalsXls(benchmark::State& state) { OpenBenchmark(state, true, true); }
BENCHMARK(BM_OpenSelfReadingTotalsXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

// Typing into C1 once the sheet is open: A1 and every total are computed again.
void BM_RunningTotalsTypeInC1(benchmark::State& state) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  const TotalsFile file(rows, false, false);
  CADocument document;
  if (!OpenAsTheApplication(document, file.path())) {
    state.SkipWithError("the sheet did not open");
    return;
  }
  ResetPeakMemory();
  int64_t value = 1;
  for (auto _ : state) {
    value = value % 9 + 1;
    document.cellAtGridPointImperative({2, 0})->setFormula(QString::number(value));
    document.evaluate();
  }
  const int64_t expected = TotalOfRows(rows) - 2 * SheetAmount(1) + 2 * value;
  const CACell* last = document.cellAtGridPoint({1, rows - 1});
  if (!last || !last->number() || *last->number() != CANumber::withInteger(expected))
    state.SkipWithError("the totals are wrong after the typing");
  ReportPeakMemory(state);
}
BENCHMARK(BM_RunningTotalsTypeInC1)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Formulas that come before the cells they read (TotalsSheets.h).
using Ahead = AheadShape;

// The first and the last row's formula against their closed forms.
bool AheadComputed(const CADocument& document, int64_t rows, Ahead shape) {
  const auto holds = [&document](int64_t y, int64_t value) {
    const CACell* cell = document.cellAtGridPoint({0, y});
    return cell && cell->valueType() == kValueFormula && cell->number() && *cell->number() == CANumber::withInteger(value);
  };
  switch (shape) {
    case Ahead::kBalance: return holds(0, SheetAmounts(rows)) && holds(rows - 1, SheetAmount(rows));
    case Ahead::kBalanceOverFormulas: return holds(0, 2 * SheetAmounts(rows)) && holds(rows - 1, 2 * SheetAmount(rows));
    case Ahead::kTopTotal: return holds(0, SheetAmounts(rows) - SheetAmount(1));
    case Ahead::kBalanceInCents: {
      int64_t cents = 0;
      for (int64_t k = 1; k <= rows; ++k) cents += AheadCents(k);
      const auto inCents = [&document](int64_t y, int64_t value) {
        const CACell* cell = document.cellAtGridPoint({0, y});
        return cell && cell->number() && *cell->number() == CANumber::withNumerator(value, 100);
      };
      return inCents(0, cents) && inCents(rows - 1, AheadCents(rows));
    }
  }
  return false;
}

void OpenAheadBenchmark(benchmark::State& state, bool workbook, Ahead shape) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(state, workbook ? AheadWorkbook(rows, shape) : AheadCsv(rows, shape),
                     workbook ? QStringLiteral("ahead.xls") : QStringLiteral("ahead.csv"),
                     [rows, shape](const CADocument& document) { return AheadComputed(document, rows, shape); });
}

void BM_OpenRemainingBalanceCsv(benchmark::State& state) { OpenAheadBenchmark(state, false, Ahead::kBalance); }
BENCHMARK(BM_OpenRemainingBalanceCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRemainingBalanceXls(benchmark::State& state) { OpenAheadBenchmark(state, true, Ahead::kBalance); }
BENCHMARK(BM_OpenRemainingBalanceXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRemainingBalanceOverFormulasCsv(benchmark::State& state) {
  OpenAheadBenchmark(state, false, Ahead::kBalanceOverFormulas);
}
BENCHMARK(BM_OpenRemainingBalanceOverFormulasCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRemainingBalanceOverFormulasXls(benchmark::State& state) {
  OpenAheadBenchmark(state, true, Ahead::kBalanceOverFormulas);
}
BENCHMARK(BM_OpenRemainingBalanceOverFormulasXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

// Amounts with cents: the balances fold fractions.
void BM_OpenRemainingBalanceInCentsCsv(benchmark::State& state) {
  OpenAheadBenchmark(state, false, Ahead::kBalanceInCents);
}
BENCHMARK(BM_OpenRemainingBalanceInCentsCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRemainingBalanceInCentsXls(benchmark::State& state) {
  OpenAheadBenchmark(state, true, Ahead::kBalanceInCents);
}
BENCHMARK(BM_OpenRemainingBalanceInCentsXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

// The remaining balance at the largest sizes a sheet holds.
void BM_OpenLongRemainingBalanceCsv(benchmark::State& state) { OpenAheadBenchmark(state, false, Ahead::kBalance); }
BENCHMARK(BM_OpenLongRemainingBalanceCsv)->Arg(500000)->Arg(800000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_OpenTopTotalCsv(benchmark::State& state) { OpenAheadBenchmark(state, false, Ahead::kTopTotal); }
BENCHMARK(BM_OpenTopTotalCsv)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenTopTotalXls(benchmark::State& state) { OpenAheadBenchmark(state, true, Ahead::kTopTotal); }
BENCHMARK(BM_OpenTopTotalXls)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

// Pasting a column of amounts into B1 of the opened remaining balance (every amount read by the
// balances above it) and recalculating, as the window does after a paste.
void BM_PasteUnderRemainingBalance(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  const int64_t rows = state.range(0);
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("ahead.csv"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(AheadCsv(rows, Ahead::kBalance)) <= 0) {
      state.SkipWithError("the sheet could not be written");
      return;
    }
  }
  CADocument document;
  if (!OpenAsTheApplication(document, path)) {
    state.SkipWithError("the sheet did not open");
    return;
  }
  QString column;
  for (int64_t k = 1; k <= rows; ++k) column += QString::number(SheetAmount(k)) + QLatin1Char('\n');
  QMimeData clipboard;
  clipboard.setText(column);
  for (auto _ : state) {
    document.setSelectionRange(GridRange{{1, 0}, {1, 0}});
    if (!document.paste(&clipboard, true, kUndoUnnamed)) {
      state.SkipWithError("the paste failed");
      return;
    }
    document.evaluate();
  }
  if (!AheadComputed(document, rows, Ahead::kBalance)) state.SkipWithError("the balances are wrong after the paste");
}
BENCHMARK(BM_PasteUnderRemainingBalance)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);


// ---------------------------------------------------------------------------------------------
// A remaining balance over computed reals (row k: k, =SQRT(Ak), =SUM(Bk:B$N)).

// The first balance against the sum of the roots in order, within its precision, and the last
// against its one root.
bool RootsComputed(const CADocument& document, int64_t rows, int64_t bottom) {
  long double inOrder = 0;
  for (int64_t k = rows; k >= 1; --k)
    inOrder += std::sqrt(static_cast<long double>(k == rows - 1 ? bottom : k));
  const CACell* first = document.cellAtGridPoint({2, 0});
  const CACell* last = document.cellAtGridPoint({2, rows - 1});
  return first && first->number() && last && last->number() &&
         std::fabs(first->number()->realValue() - inOrder) <= std::ldexp(inOrder, -63) * 2 * rows &&
         last->number()->realValue() == std::sqrt(static_cast<long double>(rows));
}

bool WriteRoots(const QString& path, int64_t rows) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(RootsBalanceCsv(rows)) > 0;
}

void BM_OpenRemainingBalanceOverRootsCsv(benchmark::State& state) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(
      state, [rows](const QString& path) { return WriteRoots(path, rows); }, QStringLiteral("roots.csv"),
      [rows](const CADocument& document) { return RootsComputed(document, rows, rows - 1); });
}
BENCHMARK(BM_OpenRemainingBalanceOverRootsCsv)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond);

// Typing a value into the next to last row of the opened sheet: every balance is computed again.
void BM_RemainingBalanceOverRootsTypeAtBottom(benchmark::State& state) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("roots.csv"));
  CADocument document;
  if (!WriteRoots(path, rows) || !OpenAsTheApplication(document, path)) {
    state.SkipWithError("the sheet did not open");
    return;
  }
  int64_t value = rows - 1;
  for (auto _ : state) {
    value = value == rows - 1 ? 7 : rows - 1;
    document.cellAtGridPointImperative({0, rows - 2})->setFormula(QString::number(value));
    document.evaluate();
  }
  if (!RootsComputed(document, rows, value)) state.SkipWithError("the balances are wrong after the typing");
}
BENCHMARK(BM_RemainingBalanceOverRootsTypeAtBottom)->Arg(10000)->Arg(65536)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Balances over computed fractions and over a column holding an error (TotalsSheets.h).
enum class BalanceSheet { kPerShare, kReciprocal, kHarmonic, kWithTax, kErrorNearBottom, kRunningWithError };

QByteArray BalanceSheetCsv(BalanceSheet sheet, int64_t rows) {
  switch (sheet) {
    case BalanceSheet::kPerShare: return ComputedBalanceCsv(rows, ComputedShape::kPerShare);
    case BalanceSheet::kReciprocal: return ComputedBalanceCsv(rows, ComputedShape::kReciprocal);
    case BalanceSheet::kHarmonic: return ComputedBalanceCsv(rows, ComputedShape::kHarmonic);
    case BalanceSheet::kWithTax: return ComputedBalanceCsv(rows, ComputedShape::kWithTax);
    case BalanceSheet::kErrorNearBottom: return ComputedBalanceCsv(rows, ComputedShape::kPerShare, rows - 3);
    case BalanceSheet::kRunningWithError: return RunningBalanceCsv(rows, rows - 3);
  }
  return {};
}

// The balances at both ends: the error where the range holds =1/0, else the value read (the one
// term of the last remaining balance, or the first running balance's).
bool ComputedBalancesRight(const CADocument& document, BalanceSheet sheet, int64_t rows) {
  const auto cell = [&document](int64_t y, int64_t x) { return document.cellAtGridPoint({x, y}); };
  const CACell* top = cell(0, 2);
  const CACell* bottom = cell(rows - 1, 2);
  if (!top || !bottom) return false;
  const auto holdsValueOf = [&](const CACell* balance, int64_t y) {
    const CACell* value = cell(y, 1);
    return value && value->number() && balance->number() && *balance->number() == *value->number();
  };
  if (sheet == BalanceSheet::kRunningWithError) return holdsValueOf(top, 0) && bottom->valueType() == kValueError;
  if (sheet == BalanceSheet::kErrorNearBottom) return top->valueType() == kValueError && holdsValueOf(bottom, rows - 1);
  return top->number() && top->valueType() == kValueFormula && holdsValueOf(bottom, rows - 1);
}

void OpenComputedBenchmark(benchmark::State& state, BalanceSheet sheet) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(state, BalanceSheetCsv(sheet, rows), QStringLiteral("computed.csv"),
                     [rows, sheet](const CADocument& document) { return ComputedBalancesRight(document, sheet, rows); });
}

// Typing an amount into the first or the next to last row of the opened sheet, in turn 7.25
// and 8.5: every balance that reads it is computed again.
void TypeInComputedBenchmark(benchmark::State& state, BalanceSheet sheet, bool atTheTop) {
  const int64_t rows = state.range(0);
  TypeInTurnsBenchmark(state, BalanceSheetCsv(sheet, rows), QStringLiteral("computed.csv"),
                       {0, atTheTop ? 0 : rows - 2}, QStringLiteral("7.25"), QStringLiteral("8.5"),
                       [rows, sheet](const CADocument& document) { return ComputedBalancesRight(document, sheet, rows); });
}

#define COMPUTED_BENCHMARKS(name, sheet)                                                                     \
  void BM_Open##name(benchmark::State& state) { OpenComputedBenchmark(state, sheet); }                      \
  BENCHMARK(BM_Open##name)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);                          \
  void BM_##name##TypeAtTop(benchmark::State& state) { TypeInComputedBenchmark(state, sheet, true); }       \
  BENCHMARK(BM_##name##TypeAtTop)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);                   \
  void BM_##name##TypeAtBottom(benchmark::State& state) { TypeInComputedBenchmark(state, sheet, false); }   \
  BENCHMARK(BM_##name##TypeAtBottom)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);

COMPUTED_BENCHMARKS(BalanceOfAmountsPerShare, BalanceSheet::kPerShare)
COMPUTED_BENCHMARKS(BalanceOfReciprocals, BalanceSheet::kReciprocal)
COMPUTED_BENCHMARKS(BalanceOfHarmonics, BalanceSheet::kHarmonic)
COMPUTED_BENCHMARKS(BalanceOfAmountsWithTax, BalanceSheet::kWithTax)
COMPUTED_BENCHMARKS(BalanceWithAnErrorNearTheBottom, BalanceSheet::kErrorNearBottom)
COMPUTED_BENCHMARKS(RunningBalanceWithAnErrorNearTheEnd, BalanceSheet::kRunningWithError)

}  // namespace

int main(int argc, char** argv) {
  if ((argc == 4 || (argc == 5 && std::strcmp(argv[4], "cycle") == 0)) && std::strcmp(argv[1], "--write") == 0) {
    const int rows = std::atoi(argv[2]);
    if (rows <= 0 || rows > 65536) return 2;
    const QString path = QString::fromLocal8Bit(argv[3]);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    return file.write(TotalsBytes(rows, path.endsWith(QLatin1String(".xls")), argc == 5)) > 0 ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--to-native") == 0)
    return ConvertToNative(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                           [](const CADocument& document, int64_t rows) { return Computed(document, rows, false, false); });
  return RunBenchmarks(argc, argv);
}
