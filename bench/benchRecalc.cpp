// Recalculation speed: full recalculation of long chains, an edit at the head of a chain, and
// many sums over their own column ranges (registering the formulas and recalculating them).
#include <benchmark/benchmark.h>

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"

#include <QApplication>

#include <malloc.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>

namespace {

// A1 = 1, A2 = A1+1, ... down to row n.
std::unique_ptr<CADocument> MakeChain(int64_t length) {
  auto document = std::make_unique<CADocument>();
  document->cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  for (int64_t y = 1; y < length; ++y)
    document->cellAtGridPointImperative({0, y})->setFormula(QStringLiteral("=A%1+1").arg(y));
  document->evaluate();
  return document;
}

void BM_ChainFullRecalculation(benchmark::State& state) {
  const std::unique_ptr<CADocument> document = MakeChain(state.range(0));
  for (auto _ : state) {
    document->recalcEverything();
    document->evaluate();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ChainFullRecalculation)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

void BM_ChainEditHead(benchmark::State& state) {
  const std::unique_ptr<CADocument> document = MakeChain(state.range(0));
  CACell* head = document->cellAtGridPoint({0, 0});
  int value = 1;
  for (auto _ : state) {
    head->setFormula(QString::number(++value % 7));
    document->evaluate();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_ChainEditHead)->Arg(25000)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// Column A holds 11,000 numbers; B1..B10000 each sum their own 1,000 cells of column A
// (Bi = SUM(Ai:A(i+999))). One iteration enters the 10,000 formulas (parsing and registering
// them) and recalculates everything.
void BM_RangeSumsEnterAndRecalculate(benchmark::State& state) {
  constexpr int64_t kFormulas = 10000;
  constexpr int64_t kSpan = 1000;
  for (auto _ : state) {
    state.PauseTiming();
    auto document = std::make_unique<CADocument>();
    for (int64_t y = 0; y < kFormulas + kSpan; ++y)
      document->cellAtGridPointImperative({0, y})->setFormula(QString::number(y % 97));
    state.ResumeTiming();
    for (int64_t y = 0; y < kFormulas; ++y)
      document->cellAtGridPointImperative({1, y})
          ->setFormula(QStringLiteral("=SUM(A%1:A%2)").arg(y + 1).arg(y + kSpan));
    document->recalcEverything();
    document->evaluate();
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kFormulas * kSpan);
}
BENCHMARK(BM_RangeSumsEnterAndRecalculate)->Unit(benchmark::kMillisecond);

// The same sheet, recalculated in full only.
void BM_RangeSumsFullRecalculation(benchmark::State& state) {
  constexpr int64_t kFormulas = 10000;
  constexpr int64_t kSpan = 1000;
  CADocument document;
  for (int64_t y = 0; y < kFormulas + kSpan; ++y)
    document.cellAtGridPointImperative({0, y})->setFormula(QString::number(y % 97));
  for (int64_t y = 0; y < kFormulas; ++y)
    document.cellAtGridPointImperative({1, y})->setFormula(QStringLiteral("=SUM(A%1:A%2)").arg(y + 1).arg(y + kSpan));
  for (auto _ : state) {
    document.recalcEverything();
    document.evaluate();
  }
  state.SetItemsProcessed(state.iterations() * kFormulas * kSpan);
}
BENCHMARK(BM_RangeSumsFullRecalculation)->Unit(benchmark::kMillisecond);

// A change to one number of column A: only the sums whose range holds it are evaluated.
void BM_RangeSumsEditOneNumber(benchmark::State& state) {
  constexpr int64_t kFormulas = 10000;
  constexpr int64_t kSpan = 1000;
  CADocument document;
  for (int64_t y = 0; y < kFormulas + kSpan; ++y)
    document.cellAtGridPointImperative({0, y})->setFormula(QString::number(y % 97));
  for (int64_t y = 0; y < kFormulas; ++y)
    document.cellAtGridPointImperative({1, y})->setFormula(QStringLiteral("=SUM(A%1:A%2)").arg(y + 1).arg(y + kSpan));
  document.evaluate();
  CACell* edited = document.cellAtGridPoint({0, 5000});
  int value = 0;
  for (auto _ : state) {
    edited->setFormula(QString::number(++value % 11));
    document.evaluate();
  }
}
BENCHMARK(BM_RangeSumsEditOneNumber)->Unit(benchmark::kMillisecond);

// A million cells long, built and recalculated once: every walk must be iterative.
void BM_MillionCellChain(benchmark::State& state) {
  for (auto _ : state) {
    const std::unique_ptr<CADocument> document = MakeChain(1000000);
    document->recalcEverything();
    document->evaluate();
    benchmark::DoNotOptimize(document->cellAtGridPoint({0, 999999})->number());
    state.PauseTiming();
    const bool right = *document->cellAtGridPoint({0, 999999})->number() == CANumber(1000000);
    if (!right) state.SkipWithError("wrong value at the end of the chain");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_MillionCellChain)->Iterations(1)->Unit(benchmark::kMillisecond);

// A square grid in which each cell takes the cell to its left from the cell above, plus one
// (row 1 and column A hold ones): every named cell has two referrers, and a cell's inputs join
// the recalculation out of position order.
void BM_GridFullRecalculation(benchmark::State& state) {
  const int64_t side = state.range(0);
  CADocument document;
  for (int64_t y = 0; y < side; ++y)
    for (int64_t x = 0; x < side; ++x)
      document.cellAtGridPointImperative({x, y})
          ->setFormula(x == 0 || y == 0 ? QStringLiteral("1")
                                        : QStringLiteral("=%1-%2+1").arg(FormatGridPoint(x - 1, y), FormatGridPoint(x, y - 1)));
  document.evaluate();
  for (auto _ : state) {
    document.recalcEverything();
    document.evaluate();
  }
  state.SetItemsProcessed(state.iterations() * side * side);
}
BENCHMARK(BM_GridFullRecalculation)->Arg(300)->Unit(benchmark::kMillisecond);

// What recalculating a long chain holds beyond the sheet itself: the chain read down (each cell
// naming the one above) and read up (each naming the one below, so that its cells join the
// recalculation out of position order).
int64_t StatusKibibytes(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::strlen(field));
  return 0;
}

void BM_ChainRecalculationMemory(benchmark::State& state) {
  constexpr int64_t kLength = 500000;
  const bool down = state.range(0) != 0;
  CADocument document;
  for (int64_t i = 0; i < kLength; ++i) {
    const int64_t y = down ? i : kLength - 1 - i;
    const int64_t input = down ? y - 1 : y + 1;
    const QString text = i == 0 ? QStringLiteral("1") : QStringLiteral("=A%1+1").arg(input + 1);
    document.cellAtGridPointImperative({0, y})->setFormula(text);
  }
  document.evaluate();
  double transient = 0;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    if (std::ofstream clear("/proc/self/clear_refs"); clear) clear << "5";  // the high-water mark starts again here
    const int64_t before = StatusKibibytes("VmRSS:");
    state.ResumeTiming();
    document.recalcEverything();
    document.evaluate();
    state.PauseTiming();
    transient = double(StatusKibibytes("VmHWM:") - before) / 1024.0;
    state.ResumeTiming();
  }
  state.counters["recalc_transient_MiB"] = transient;
  state.counters["transient_B_per_cell"] = transient * 1024.0 * 1024.0 / double(kLength);
}
BENCHMARK(BM_ChainRecalculationMemory)->ArgName("down")->Arg(1)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // Documents measure their font, which needs an application.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
