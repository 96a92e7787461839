// Speed of formula entry: parsing a typical formula into postfix tokens (the target is a million
// in under two seconds), the whole entry of typed text into a cell, and cell lookups in a
// sheet of 100,000 rows.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caFormulaParser.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

const QString kFormula = QStringLiteral("=SUM(A1:B10)*2+C3/4");

void BM_ParseFormula(benchmark::State& state) {
  CAExpression expression;
  expression.reserve(16);
  uint64_t offset = 0;
  for (auto _ : state) {
    expression.clear();
    benchmark::DoNotOptimize(ParseFormula(kFormula, expression, &offset));
    benchmark::DoNotOptimize(expression.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseFormula);

void BM_ParseMillionFormulas(benchmark::State& state) {
  CAExpression expression;
  expression.reserve(16);
  uint64_t offset = 0;
  for (auto _ : state) {
    for (int i = 0; i < 1000000; ++i) {
      expression.clear();
      benchmark::DoNotOptimize(ParseFormula(kFormula, expression, &offset));
    }
  }
}
BENCHMARK(BM_ParseMillionFormulas)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_EnterFormulaInCell(benchmark::State& state) {
  CADocument document;
  CACell* cell = document.cellAtGridPointImperative({0, 0});
  for (auto _ : state) cell->setFormula(kFormula);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EnterFormulaInCell);

void BM_CellLookupInLargeSheet(benchmark::State& state) {
  CADocument document;
  for (int64_t y = 0; y < 100000; ++y) document.cellAtGridPointImperative({y % 7, y});
  int64_t y = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(document.cellAtGridPoint({y % 7, y}));
    y = (y + 7919) % 100000;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CellLookupInLargeSheet);

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
