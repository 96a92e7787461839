// Emptying cells and taking it back: a column of 10^3 to 10^4 values emptied (Delete) and the
// sheet then sorted, which must cost in proportion to the cells (the emptied column is no part of
// the sort); and a million numbers cleared from a whole sheet (Select All, Delete) and the
// clearing undone, timed apart, with the undo step's size and the memory peak. The peaks are
// meaningful one benchmark per process:
//   benchClears --benchmark_filter='BM_UndoDeleteOfNumbers/1000000$'
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "framlet/shell/FLUndoManager.h"

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchNumbers.h"
#include "BenchPeakMemory.h"
#include "BenchUndoWindow.h"

#include <memory>

namespace {

// A sheet in a window; the window goes first.
struct WindowedSheet {
  WindowedSheet() {
    EnsureBenchApplication();
    document = std::make_unique<CADocument>();
    window = std::make_unique<BenchUndoWindow>(*document);
    document->setController(window.get());
  }
  ~WindowedSheet() {
    document->setController(nullptr);
    window.reset();
    document.reset();
  }
  std::unique_ptr<CADocument> document;
  std::unique_ptr<BenchUndoWindow> window;
};

// Column A names the rows in shuffled order, column B holds a number each.
void FillLedger(CADocument& document, int64_t rows) {
  for (int64_t y = 0; y < rows; ++y) {
    document.setCellAtPoint({0, y}, QVariant(QStringLiteral("item %1").arg((y * 7919) % rows)), kValueText);
    document.setCellAtPoint({1, y}, QVariant(QString::number(y)), kValueNumber);
  }
  document.evaluate();
}

// Column B emptied by Delete, then the sheet sorted by column A from a selection of A1:A2.
void BM_EmptyColumnThenSort(benchmark::State& state) {
  const int64_t rows = state.range(0);
  CAModelPreferences preferences;
  preferences.sortWholeDoc = true;
  SetModelPreferencesProvider([preferences] { return preferences; });
  for (auto _ : state) {
    state.PauseTiming();
    WindowedSheet sheet;
    CADocument& document = *sheet.document;
    FillLedger(document, rows);
    state.ResumeTiming();
    document.setSelectionRange(GridRange{{1, kGridWildcard}, {1, kGridWildcard}});
    document.clear(kClearContents);
    document.setSelectionRange(GridRange{{0, 0}, {0, 1}});
    document.setSortKey1({0, 0});
    document.sort();
    state.PauseTiming();
    if (document.extent() != GridRange{{0, 0}, {0, rows - 1}}) {
      state.SkipWithError("column B is still part of the sheet");
      break;
    }
    state.ResumeTiming();
  }
  SetModelPreferencesProvider(nullptr);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_EmptyColumnThenSort)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);


// Select All and Delete over the numbers, then its undo; `undo` times the undo instead of the
// Delete. Both report the undo step's bytes per cell and the peak of the two.
void DeleteOfNumbers(benchmark::State& state, bool undo) {
  const int64_t count = state.range(0);
  WindowedSheet sheet;
  CADocument& document = *sheet.document;
  // Kept as an opened package keeps them.
  FillNumbers(document, count, true);
  document.evaluate();
  ResetPeakMemory();
  state.counters["sheet_MiB"] = ResidentPeakMiB();
  double stepBytes = 0;
  for (auto _ : state) {
    if (undo) state.PauseTiming();
    document.setSelectionRange(GridRange{{0, 0}, document.maxGridPoint()});
    document.clear(kClearContents);
    if (!undo) state.PauseTiming();
    stepBytes = double(sheet.window->archiver.archiveBytes());
    if (!undo) state.ResumeTiming();
    if (undo) {
      state.ResumeTiming();
      sheet.window->manager.undo();
    } else {
      state.PauseTiming();
      sheet.window->manager.undo();
      state.ResumeTiming();
    }
  }
  if (document.extent().endPoint != GridPoint{kNumbersPerRow - 1, (count - 1) / kNumbersPerRow})
    state.SkipWithError("the numbers did not come back");
  state.counters["step_B_per_cell"] = stepBytes / double(count);
  ReportPeakMemory(state);
}

void BM_DeleteOfNumbers(benchmark::State& state) { DeleteOfNumbers(state, false); }
BENCHMARK(BM_DeleteOfNumbers)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_UndoDeleteOfNumbers(benchmark::State& state) { DeleteOfNumbers(state, true); }
BENCHMARK(BM_UndoDeleteOfNumbers)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
