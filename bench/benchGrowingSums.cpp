// Sums whose terms' common denominator keeps growing, beside the ordinary ones:
// - ledgers over reciprocals (=1/Bk over amounts with cents, or over the k-th odd prime), with a
//   remaining balance =SUM(Ck:C$N) or a running one =SUM(C$1:Ck) in every row, and a running
//   =MAX(C$1:Ck) over the prime reciprocals; a remaining balance over amounts per share with a
//   typed 1E5000 three rows from its end; and, as they were before, remaining balances over whole
//   amounts and over amounts with cents: each opened, then with a value typed at its top and at
//   its bottom; and the one with 1E5000 with a value NaN in its place, a value typed at its top
//   and at its bottom;
// - one =SUM over 10^5 and 10^6 reciprocals, opened and with an amount typed;
// - a remaining balance over shares 1/k and 1/p (p the odd primes) under a heading, opened and
//   with a share typed into C2 and into CN;
// - a package of 200,000 fractions 1/p (distinct odd primes, stored as values) with their SUM and
//   AVERAGE under them, opened.
// - ten running balances side by side over amounts holding 1E4900 and 1E-4900, and over ordinary
//   numbers, opened;
// - the sum loops alone: SUM's fold (SumOfOperands), a list function's (ListAggregate) and the
//   remaining balance's (ExactAccumulator) over 16,384 and 65,536 amounts in cents, whole amounts
//   and amounts per share.
// Each open reports its memory peaks (BenchPeakMemory.h), meaningful one benchmark per process:
//   benchGrowingSums --benchmark_filter='BM_OpenPrimeReciprocalsPackage/200000$'
#include "../tests/calculator/fileformats/TotalsSheets.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/formula/caExactAccumulator.h"
#include "calculator/model/formula/caStatisticsCores.h"

#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchOpenSheet.h"
#include "BenchPeakMemory.h"

#include <functional>
#include <memory>
#include <vector>

namespace {

enum class Ledger {
  kCentsRemaining,
  kCentsRunning,
  kPrimesRemaining,
  kPrimesRunning,
  kPrimesRunningLargest,
  kInfiniteRemaining,
  kWholeRemaining,
  kMoneyRemaining,
  // As kInfiniteRemaining, with a value NaN (as a package can hold) set in place of 1E5000.
  kNaNRemaining,
};

QByteArray LedgerCsv(Ledger ledger, int64_t rows) {
  switch (ledger) {
    case Ledger::kCentsRemaining: return ComputedLedgerCsv(rows, ComputedShape::kReciprocal, false);
    case Ledger::kCentsRunning: return ComputedLedgerCsv(rows, ComputedShape::kReciprocal, true);
    case Ledger::kPrimesRemaining: return ComputedLedgerCsv(rows, ComputedShape::kPrimeReciprocal, false);
    case Ledger::kPrimesRunning: return ComputedLedgerCsv(rows, ComputedShape::kPrimeReciprocal, true);
    case Ledger::kPrimesRunningLargest:
      return ComputedLedgerCsv(rows, ComputedShape::kPrimeReciprocal, true, 0, "MAX");
    case Ledger::kInfiniteRemaining:
    case Ledger::kNaNRemaining: return ComputedLedgerCsv(rows, ComputedShape::kPerShare, false, rows - 3);
    case Ledger::kWholeRemaining: return AheadCsv(rows, AheadShape::kBalance);
    case Ledger::kMoneyRemaining: return AheadCsv(rows, AheadShape::kBalanceInCents);
  }
  return {};
}

// The column of balances: the third, or the first in the sheets of amounts.
bool OfAmounts(Ledger ledger) { return ledger == Ledger::kWholeRemaining || ledger == Ledger::kMoneyRemaining; }
int64_t BalanceColumn(Ledger ledger) { return OfAmounts(ledger) ? 0 : 2; }
int64_t AmountColumn(Ledger ledger) { return OfAmounts(ledger) ? 1 : 0; }

// Every balance holds a number (infinity where the range holds 1E5000).
bool LedgerComputed(const CADocument& document, Ledger ledger, int64_t rows) {
  for (const int64_t y : {int64_t(0), rows / 2, rows - 1}) {
    const CACell* balance = document.cellAtGridPoint({BalanceColumn(ledger), y});
    if (!balance || !balance->number()) return false;
    const bool invalid = (ledger == Ledger::kInfiniteRemaining || ledger == Ledger::kNaNRemaining) && y <= rows - 4;
    const int32_t form = ledger == Ledger::kNaNRemaining ? kNumberNaN : kNumberInfinity;
    if ((balance->number()->form() == form) != invalid) return false;
  }
  return true;
}

void OpenLedgerBenchmark(benchmark::State& state, Ledger ledger) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(state, LedgerCsv(ledger, rows), QStringLiteral("ledger.csv"),
                     [ledger, rows](const CADocument& document) { return LedgerComputed(document, ledger, rows); });
}

// Typing into the amount of the first or the next to last row, in turn 7.25 and 8.5.
void TypeInLedgerBenchmark(benchmark::State& state, Ledger ledger, bool atTheTop) {
  const int64_t rows = state.range(0);
  TypeInTurnsBenchmark(
      state, LedgerCsv(ledger, rows), QStringLiteral("ledger.csv"), {AmountColumn(ledger), atTheTop ? 0 : rows - 2},
      QStringLiteral("7.25"), QStringLiteral("8.5"),
      [ledger, rows](const CADocument& document) { return LedgerComputed(document, ledger, rows); },
      [ledger, rows](CADocument& document) {
        if (ledger != Ledger::kNaNRemaining) return;
        document.cellAtGridPointImperative({1, rows - 4})->setNumberValue(CANumber::asNan());
        document.evaluate();
      });
}

#define LEDGER_BENCHMARKS(name, ledger, ...)                                                                    \
  void BM_Open##name(benchmark::State& state) { OpenLedgerBenchmark(state, ledger); }                          \
  BENCHMARK(BM_Open##name)->__VA_ARGS__->Iterations(1)->Unit(benchmark::kMillisecond);                        \
  void BM_##name##TypeAtTop(benchmark::State& state) { TypeInLedgerBenchmark(state, ledger, true); }          \
  BENCHMARK(BM_##name##TypeAtTop)->__VA_ARGS__->Iterations(2)->Unit(benchmark::kMillisecond);                 \
  void BM_##name##TypeAtBottom(benchmark::State& state) { TypeInLedgerBenchmark(state, ledger, false); }      \
  BENCHMARK(BM_##name##TypeAtBottom)->__VA_ARGS__->Iterations(2)->Unit(benchmark::kMillisecond);

LEDGER_BENCHMARKS(RemainingOverCentsReciprocals, Ledger::kCentsRemaining, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RunningOverCentsReciprocals, Ledger::kCentsRunning, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RemainingOverPrimeReciprocals, Ledger::kPrimesRemaining, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RunningOverPrimeReciprocals, Ledger::kPrimesRunning, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RunningLargestOverPrimeReciprocals, Ledger::kPrimesRunningLargest, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RemainingPastAnInfiniteNumber, Ledger::kInfiniteRemaining, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RemainingOverWholeAmounts, Ledger::kWholeRemaining, Arg(16384)->Arg(65536)->Arg(262144))
LEDGER_BENCHMARKS(RemainingOverMoney, Ledger::kMoneyRemaining, Arg(16384)->Arg(65536)->Arg(262144))

void BM_RemainingPastANaNTypeAtTop(benchmark::State& state) { TypeInLedgerBenchmark(state, Ledger::kNaNRemaining, true); }
BENCHMARK(BM_RemainingPastANaNTypeAtTop)->Arg(16384)->Arg(65536)->Arg(262144)->Iterations(2)->Unit(benchmark::kMillisecond);
void BM_RemainingPastANaNTypeAtBottom(benchmark::State& state) { TypeInLedgerBenchmark(state, Ledger::kNaNRemaining, false); }
BENCHMARK(BM_RemainingPastANaNTypeAtBottom)->Arg(16384)->Arg(65536)->Arg(262144)->Iterations(2)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// One total over many reciprocals: row 1 holds =SUM(C2:CN), row k the amount (with cents, or the
// k-th odd prime) and =1/Ak.
QByteArray OneTotalCsv(int64_t rows, bool primes) {
  QByteArray csv;
  csv.reserve(rows * 24);
  csv += "total,,=SUM(C2:C" + QByteArray::number(rows) + ")\n";
  const ComputedShape shape = primes ? ComputedShape::kPrimeReciprocal : ComputedShape::kReciprocal;
  for (int64_t k = 2; k <= rows; ++k)
    csv += "item," + ComputedAmountText(shape, k) + ",=1/B" + QByteArray::number(k) + '\n';
  return csv;
}

bool TotalComputed(const CADocument& document) {
  const CACell* total = document.cellAtGridPoint({2, 0});
  return total && total->number() && total->number()->isValid() && total->number()->realValue() > 0;
}

void OpenOneTotalBenchmark(benchmark::State& state, bool primes) {
  OpenSheetBenchmark(state, OneTotalCsv(state.range(0), primes), QStringLiteral("total.csv"), TotalComputed);
}

void EditOneTotalBenchmark(benchmark::State& state, bool primes) {
  const int64_t rows = state.range(0);
  TypeInTurnsBenchmark(state, OneTotalCsv(rows, primes), QStringLiteral("total.csv"), {1, rows / 2},
                       QStringLiteral("7.25"), QStringLiteral("8.5"), TotalComputed);
}

void BM_OpenOneTotalOverCentsReciprocals(benchmark::State& state) { OpenOneTotalBenchmark(state, false); }
BENCHMARK(BM_OpenOneTotalOverCentsReciprocals)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
void BM_EditOneTotalOverCentsReciprocals(benchmark::State& state) { EditOneTotalBenchmark(state, false); }
BENCHMARK(BM_EditOneTotalOverCentsReciprocals)->Arg(100000)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
void BM_OpenOneTotalOverPrimeReciprocals(benchmark::State& state) { OpenOneTotalBenchmark(state, true); }
BENCHMARK(BM_OpenOneTotalOverPrimeReciprocals)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);
void BM_EditOneTotalOverPrimeReciprocals(benchmark::State& state) { EditOneTotalBenchmark(state, true); }
BENCHMARK(BM_EditOneTotalOverPrimeReciprocals)->Arg(100000)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// A remaining balance over shares, as a ledger lays it out: a heading, then in row k (2 to N) the
// item, its amount (k - 1, or the (k - 1)-th odd prime), its share =1/Bk and what remains from it,
// =SUM(Ck:C$N); the sums past the exact bound are those of the shares each rounded. Opened, and
// with a share typed into C2 (read by one balance) and into CN (read by every balance).
QByteArray RemainingShareCsv(int64_t rows, bool primes) {
  QByteArray csv;
  csv.reserve(rows * 40);
  csv += "item,amount,share,remaining\n";
  const QByteArray last = QByteArray::number(rows);
  for (int64_t k = 2; k <= rows; ++k) {
    const QByteArray n = QByteArray::number(k);
    csv += "item " + n + ',' + QByteArray::number(primes ? OddPrime(k - 1) : k - 1) + ",=1/B" + n + ",=SUM(C" + n +
           ":C$" + last + ")\n";
  }
  return csv;
}

// The last balance is its own share; the first and the middle ones are sums of rounded shares.
bool RemainingSharesComputed(const CADocument& document, int64_t rows) {
  const CACell* lastShare = document.cellAtGridPoint({2, rows - 1});
  const CACell* lastBalance = document.cellAtGridPoint({3, rows - 1});
  if (!lastShare || !lastBalance || !lastShare->number() || lastShare->number() != lastBalance->number()) return false;
  for (const int64_t y : {int64_t(1), rows / 2}) {
    const CACell* balance = document.cellAtGridPoint({3, y});
    if (!balance || !balance->number() || balance->number()->form() != kNumberReal) return false;
  }
  return true;
}

void OpenRemainingShareBenchmark(benchmark::State& state, bool primes) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(state, RemainingShareCsv(rows, primes), QStringLiteral("shares.csv"),
                     [rows](const CADocument& document) { return RemainingSharesComputed(document, rows); });
}

// Typing =1/7 and =1/11 in turn into C2 or CN of the opened sheet.
void TypeShareBenchmark(benchmark::State& state, bool primes, bool atTheTop) {
  const int64_t rows = state.range(0);
  TypeInTurnsBenchmark(state, RemainingShareCsv(rows, primes), QStringLiteral("shares.csv"),
                       {2, atTheTop ? 1 : rows - 1}, QStringLiteral("=1/7"), QStringLiteral("=1/11"),
                       [rows](const CADocument& document) { return RemainingSharesComputed(document, rows); });
}

#define REMAINING_SHARE_BENCHMARKS(name, primes)                                                               \
  void BM_OpenRemainingShareOf##name(benchmark::State& state) { OpenRemainingShareBenchmark(state, primes); } \
  BENCHMARK(BM_OpenRemainingShareOf##name)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond); \
  void BM_RemainingShareOf##name##TypeInC2(benchmark::State& state) { TypeShareBenchmark(state, primes, true); } \
  BENCHMARK(BM_RemainingShareOf##name##TypeInC2)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond); \
  void BM_RemainingShareOf##name##TypeInCN(benchmark::State& state) { TypeShareBenchmark(state, primes, false); } \
  BENCHMARK(BM_RemainingShareOf##name##TypeInCN)->Arg(16384)->Arg(65536)->Arg(262144)->Unit(benchmark::kMillisecond);

REMAINING_SHARE_BENCHMARKS(Counts, false)
REMAINING_SHARE_BENCHMARKS(OddPrimes, true)

// ---------------------------------------------------------------------------------------------
// A package of fractions 1/p in column A, distinct odd primes stored as values, with
// =SUM(A1:AN) and =AVERAGE(A1:AN) under them.
bool WritePrimeReciprocalsPackage(const QString& path, int64_t rows) {
  g_glimmetConfig.tableOption = 1;  // as the application sets it at launch
  CADocument document;
  for (int64_t k = 1; k <= rows; ++k)
    document.cellAtGridPointImperative({0, k - 1})->setNumberValue(CANumber::withNumerator(1, uint64_t(OddPrime(k))));
  const QString range = QStringLiteral("A1:A%1").arg(rows);
  document.cellAtGridPointImperative({0, rows})->setFormula(QStringLiteral("=SUM(%1)").arg(range));
  document.cellAtGridPointImperative({0, rows + 1})->setFormula(QStringLiteral("=AVERAGE(%1)").arg(range));
  FLError error;
  return document.saveToNativeFile(path, false, &error);
}

void BM_OpenPrimeReciprocalsPackage(benchmark::State& state) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(
      state, [rows](const QString& path) { return WritePrimeReciprocalsPackage(path, rows); },
      QStringLiteral("Reciprocals.Numlet"), [rows](const CADocument& document) {
        const CACell* sum = document.cellAtGridPoint({0, rows});
        const CACell* average = document.cellAtGridPoint({0, rows + 1});
        return sum && average && sum->number() && average->number() && sum->number()->realValue() > 1 &&
               average->number()->realValue() > 0;
      });
}
BENCHMARK(BM_OpenPrimeReciprocalsPackage)->Arg(100000)->Arg(200000)->Iterations(1)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// The sum loops alone, over amounts in cents (as typed), whole amounts, and amounts per share
// (k/(k mod 97 + 1)).
enum class Terms { kCents, kWhole, kPerShare };

std::vector<CANumber> SumTerms(Terms terms, int64_t count) {
  std::vector<CANumber> numbers;
  numbers.reserve(size_t(count));
  for (int64_t k = 1; k <= count; ++k) {
    const int64_t amount = 1 + k * 7919 % 99999;
    switch (terms) {
      case Terms::kCents: numbers.push_back(CANumber::withNumerator(amount * 100 + k * 37 % 100, 100)); break;
      case Terms::kWhole: numbers.push_back(CANumber(amount)); break;
      case Terms::kPerShare: numbers.push_back(CANumber::withNumerator(amount, uint64_t(k % 97 + 1))); break;
    }
  }
  return numbers;
}

void SumLoopBenchmark(benchmark::State& state, Terms terms) {
  const std::vector<CANumber> numbers = SumTerms(terms, state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(SumOfOperands(numbers));
}

void AggregateLoopBenchmark(benchmark::State& state, Terms terms) {
  const std::vector<CANumber> numbers = SumTerms(terms, state.range(0));
  for (auto _ : state) {
    // As the range memo folds a block.
    ListAggregate fold(ListAggregate::kAll | ListAggregate::kExactFirst);
    for (const CANumber& number : numbers) fold.add(number);
    benchmark::DoNotOptimize(fold.sum());
  }
}

void AccumulatorLoopBenchmark(benchmark::State& state, Terms terms) {
  const std::vector<CANumber> numbers = SumTerms(terms, state.range(0));
  for (auto _ : state) {
    // As the range memo folds a block from its end.
    ExactAccumulator sum = ExactAccumulator::exactFirst();
    for (const CANumber& number : numbers) sum.add(number);
    benchmark::DoNotOptimize(sum.value());
  }
}

#define SUM_LOOP_BENCHMARKS(name, terms)                                                                         \
  void BM_SumLoopOf##name(benchmark::State& state) { SumLoopBenchmark(state, terms); }                        \
  BENCHMARK(BM_SumLoopOf##name)->Arg(16384)->Arg(65536)->Unit(benchmark::kMicrosecond);                       \
  void BM_AggregateLoopOf##name(benchmark::State& state) { AggregateLoopBenchmark(state, terms); }            \
  BENCHMARK(BM_AggregateLoopOf##name)->Arg(16384)->Arg(65536)->Unit(benchmark::kMicrosecond);                 \
  void BM_AccumulatorLoopOf##name(benchmark::State& state) { AccumulatorLoopBenchmark(state, terms); }        \
  BENCHMARK(BM_AccumulatorLoopOf##name)->Arg(16384)->Arg(65536)->Unit(benchmark::kMicrosecond);

SUM_LOOP_BENCHMARKS(Cents, Terms::kCents)
SUM_LOOP_BENCHMARKS(WholeAmounts, Terms::kWhole)
SUM_LOOP_BENCHMARKS(AmountsPerShare, Terms::kPerShare)

// ---------------------------------------------------------------------------------------------
// Ten running balances side by side: column 2c holds amounts and column 2c + 1 =SUM(X$1:Xk) over
// them, each column of amounts holding 1E4900 and 1E-4900 in rows 10 and 20 among ordinary
// numbers: a sum over both spans some thirty thousand bits, and the states of ten such folds
// outgrow the memo's room. Beside it the same sheet with 5 and 3 in their place.

constexpr int kSideBySideColumns = 10;

QByteArray SideBySideCsv(int64_t rows, bool extreme) {
  QByteArray csv;
  csv.reserve(size_t(rows) * kSideBySideColumns * 24);
  for (int64_t k = 1; k <= rows; ++k) {
    for (int c = 0; c < kSideBySideColumns; ++c) {
      if (c > 0) csv += ',';
      if (k == 10)
        csv += extreme ? "1E4900" : "5";
      else if (k == 20)
        csv += extreme ? "1E-4900" : "3";
      else
        csv += QByteArray::number((k * (c + 3)) % 97 + 1);
      const char column = char('A' + 2 * c);
      csv += ",=SUM(";
      csv += column;
      csv += "$1:";
      csv += column;
      csv += QByteArray::number(k);
      csv += ')';
    }
    csv += '\n';
  }
  return csv;
}

// Every last balance holds a finite number, as large as 1E4900 where the amounts hold it.
bool SideBySideComputed(const CADocument& document, int64_t rows, bool extreme) {
  for (int c = 0; c < kSideBySideColumns; ++c) {
    const CACell* balance = document.cellAtGridPoint({2 * c + 1, rows - 1});
    if (!balance || !balance->number() || !balance->number()->isValid()) return false;
    if ((balance->number()->realValue() > 1e4000L) != extreme) return false;
  }
  return true;
}

void OpenSideBySideBenchmark(benchmark::State& state, bool extreme) {
  const int64_t rows = state.range(0);
  OpenSheetBenchmark(state, SideBySideCsv(rows, extreme), QStringLiteral("balances.csv"),
                     [rows, extreme](const CADocument& document) { return SideBySideComputed(document, rows, extreme); });
}

void BM_OpenTenBalancesOverExtremeReals(benchmark::State& state) { OpenSideBySideBenchmark(state, true); }
BENCHMARK(BM_OpenTenBalancesOverExtremeReals)->Arg(16384)->Arg(65536)->Iterations(1)->Unit(benchmark::kMillisecond);
void BM_OpenTenBalancesOverOrdinaryNumbers(benchmark::State& state) { OpenSideBySideBenchmark(state, false); }
BENCHMARK(BM_OpenTenBalancesOverOrdinaryNumbers)->Arg(16384)->Arg(65536)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv); }
