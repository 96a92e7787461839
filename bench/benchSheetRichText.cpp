// Saving a large sheet as RTF and opening it back as HTML: rows of five cells (numbers and short
// texts) become one table of the text engine, whose every cell is formatted on the way out and
// read cell by cell on the way in. The argument is the number of rows; the time should grow with
// it about linearly.
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"

namespace {

constexpr int64_t kColumns = 5;

void FillSheet(CADocument& document, int64_t rows) {
  for (int64_t y = 0; y < rows; ++y) {
    for (int64_t x = 0; x < kColumns; ++x) {
      CACell* cell = document.cellAtGridPointImperative({x, y});
      cell->setFormula(x % 2 ? QStringLiteral("item %1").arg(y * kColumns + x) : QString::number((y * 7919 + x) % 10007));
    }
  }
}

void Prepare() {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
}

void BM_SaveSheetAsRtf(benchmark::State& state) {
  Prepare();
  CADocument document;
  FillSheet(document, state.range(0));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("sheet.rtf"));
  for (auto _ : state) {
    if (!document.saveToRtfFile(path, nullptr)) state.SkipWithError("save failed");
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_SaveSheetAsRtf)->Arg(1500)->Arg(3000)->Arg(6000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenSheetAsHtml(benchmark::State& state) {
  Prepare();
  QTemporaryDir folder;
  // The sheet is saved as a folder holding its page.
  const QString saved = folder.filePath(QStringLiteral("sheet.html"));
  const QString path = QDir(saved).filePath(QStringLiteral("index.html"));
  {
    CADocument document;
    FillSheet(document, state.range(0));
    if (!document.saveToHtmlFile(saved, nullptr)) state.SkipWithError("save failed");
  }
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) <= 0) state.SkipWithError(("open failed: " + error.reason).toStdString().c_str());
    benchmark::DoNotOptimize(document.cellAtGridPoint({kColumns - 1, state.range(0) - 1}));
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_OpenSheetAsHtml)->Arg(1500)->Arg(3000)->Arg(6000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
