// The formula bar showing the active cell's text and drawing it, for texts of 10 KB to 1 MB, of
// words or of one unbroken run: the cost must grow with the text's length, not with its square.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/views/CAFormulaTextView.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

namespace {

QString LongText(int64_t length, bool words) {
  QString text;
  text.reserve(length);
  for (int64_t i = 0; i < length; ++i) text += (words && i % 8 == 7) ? u' ' : char16_t(u'a' + i % 26);
  return text;
}

// Each round shows the long cell's text after an empty cell's and draws the bar once.
void ShowLongText(benchmark::State& state, bool words) {
  EnsureBenchApplication();
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(LongText(state.range(0), words));
  document.cellAtGridPointImperative({0, 1})->setFormula(QStringLiteral("short"));
  CAFormulaTextView view;
  view.resize(900, view.fontMetrics().lineSpacing() * 2 + 8);
  view.setDocument(&document);
  view.show();
  for (auto _ : state) {
    for (const int64_t y : {int64_t(1), int64_t(0)}) {
      document.setActiveCellPoint({0, y});
      view.showActiveCellFormula();
    }
    view.repaint();
    benchmark::DoNotOptimize(view.document());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0) * 2);
}

void BM_FormulaBarShowsLongWords(benchmark::State& state) { ShowLongText(state, true); }
void BM_FormulaBarShowsOneLongRun(benchmark::State& state) { ShowLongText(state, false); }

BENCHMARK(BM_FormulaBarShowsLongWords)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormulaBarShowsOneLongRun)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace
