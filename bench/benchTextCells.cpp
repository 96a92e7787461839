// Opening files of text cells, each the letter "x", through the open dispatch: 10^5, 10^6 and
// 10^7 cells as lines of one field (shape 0) and as one long row of fields (shape 1). A text cell
// takes many times its two bytes of file, so the larger files meet the memory an open may take:
// each reports its time, the kernel's high-water mark of the open ("round_peak_MiB") and what
// the open added to it ("open_MiB"), the cells it made and whether it was refused. Run each in a
// process of its own:
//   benchTextCells --benchmark_filter='BM_OpenTextCells/cells:10000000/row:1/unbounded:0/'
// unbounded:1 opens the file with no budget, as every open of these files was read before.
#include "calculator/fileformats/caHtml.h"
#include "calculator/fileformats/caImportAlert.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"

#include <algorithm>
#include <utility>

namespace {

void BM_OpenTextCells(benchmark::State& state) {
  EnsureBenchApplication();
  const int64_t cells = state.range(0);
  const bool row = state.range(1) != 0;
  // Without the budget: what the open takes when nothing stops it, as it did before it had one.
  const int64_t budget = state.range(2) != 0 ? SetPageReadingBudget(0) : PageReadingBudget();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("cells.csv"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    const QByteArray piece = QByteArray(row ? "x," : "x\n").repeated(1 << 16);
    for (int64_t written = 0; written < cells; written += 1 << 16)
      file.write(piece.left(2 * std::min<int64_t>(cells - written, 1 << 16)));
  }
  ResetPeakMemory();
  const double before = ResidentPeakMiB();
  bool refused = false;
  int64_t made = 0;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    if (refused && error.code != kFileTooLargeCode) state.SkipWithError("open failed");
    if (refused) state.SetLabel(error.reason.toStdString());
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.counters["open_MiB"] = ResidentPeakMiB() - before;
    made = 0;
    for (const std::unique_ptr<CARow>& r : document.rows()) made += int64_t(r->cells().size());
    {
      CADocument discard;
      std::swap(discard.mutableRows(), document.mutableRows());
    }
    state.ResumeTiming();
  }
  SetPageReadingBudget(budget);
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["refused"] = refused ? 1 : 0;
  state.counters["cells_made"] = double(made);
  state.counters["peak_B_per_cell"] = refused ? 0 : state.counters["open_MiB"] * 1048576.0 / double(cells);
  state.SetItemsProcessed(state.iterations() * cells);
}
BENCHMARK(BM_OpenTextCells)
    ->ArgsProduct({{100000, 1000000, 10000000}, {0, 1}, {0}})
    ->Args({10000000, 0, 1})
    ->Args({10000000, 1, 1})
    ->ArgNames({"cells", "row", "unbounded"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
