// Tables of many rows that hold no cell and one row of many cells, and chat logs that leave a
// colour open on every line: the work follows what the page writes (its rows' cells, its lines),
// never its rows times its widest row nor the depth its open elements would reach. Each is opened
// from a file and pasted (as the paste reads a page) once a round; peaks are per process, so run
// one benchmark a process, e.g.
//   benchEmptyRowGrids --benchmark_filter='BM_OpenEmptyRowGrid/rows:45000/columns:120'
// Figures: bench/README.md, "Empty rows and chat logs" and "Short rows of wide tables".
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CADocument.h"
#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>

namespace {

// `rows` rows without a cell, then one row of `columns` cells.
QByteArray EmptyRowGrid(int64_t rows, int64_t columns) {
  QByteArray page = "<table>\n" + QByteArray("<tr></tr>\n").repeated(rows) + "<tr>";
  for (int64_t x = 0; x < columns; ++x) page += "<td>" + QByteArray::number(x) + "</td>";
  return page + "</tr></table>\n";
}

// Ragged tables: `rows` rows of one cell each and one row of `columns` cells, first (shape 0) or
// last (1), one cell spanning `columns` columns first (2), or a first row whose first cell spans
// every row down and whose others reach `columns` (3).
QByteArray RaggedGrid(int64_t rows, int64_t columns, int shape) {
  QByteArray wide = "<tr>";
  if (shape == 2) wide += "<td colspan=" + QByteArray::number(columns) + ">w</td>";
  if (shape == 3) wide += "<td rowspan=" + QByteArray::number(rows + 1) + ">a</td>";
  for (int64_t x = shape == 3 ? 1 : 0; x < columns && shape != 2; ++x)
    wide += "<td>" + QByteArray::number(x) + "</td>";
  wide += "</tr>\n";
  QByteArray narrow;
  for (int64_t y = 0; y < rows; ++y) narrow += "<tr><td>" + QByteArray::number(y) + "</td></tr>\n";
  return "<table>\n" + (shape == 1 ? narrow + wide : wide + narrow) + "</table>\n";
}

// Lines of two speakers, each line's colour left open: alternating, or a face around each colour.
QByteArray ChatLog(int64_t lines, bool faces) {
  QByteArray page;
  for (int64_t k = 0; k < lines; ++k) {
    const QByteArray line = QByteArray::number(k);
    if (faces) page += "<font face=Arial><font color=red>line " + line + "<br>";
    else page += (k % 2 ? "<font color=blue>Bob: line " : "<font color=red>Alice: line ") + line + "<br>";
  }
  return page;
}

void Open(benchmark::State& state, const QByteArray& page) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("page.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) state.SkipWithError("write failed");
  }
  ResetPeakMemory();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
  }
  state.counters["peak_MiB"] = ResidentPeakMiB();
  state.counters["page_KB"] = double(page.size()) / 1e3;
  state.counters["refused"] = refused;
}

void Paste(benchmark::State& state, const QByteArray& page) {
  EnsureBenchApplication();
  const QString html = QString::fromUtf8(page);
  ResetPeakMemory();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    refused = !LoadPastedHtml(document, html, &refused);
  }
  state.counters["peak_MiB"] = ResidentPeakMiB();
  state.counters["page_KB"] = double(page.size()) / 1e3;
  state.counters["refused"] = refused;
}

void BM_OpenEmptyRowGrid(benchmark::State& state) { Open(state, EmptyRowGrid(state.range(0), state.range(1))); }
void BM_PasteEmptyRowGrid(benchmark::State& state) { Paste(state, EmptyRowGrid(state.range(0), state.range(1))); }
BENCHMARK(BM_OpenEmptyRowGrid)
    ->Args({4000, 120})->Args({45000, 120})->Args({450000, 120})->Args({5500, 1000})->Args({55000, 1000})
    ->ArgNames({"rows", "columns"})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteEmptyRowGrid)
    ->Args({4000, 120})->Args({45000, 120})->Args({450000, 120})->Args({5500, 1000})
    ->ArgNames({"rows", "columns"})->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenRaggedGrid(benchmark::State& state) {
  Open(state, RaggedGrid(state.range(0), state.range(1), int(state.range(2))));
}
void BM_PasteRaggedGrid(benchmark::State& state) {
  Paste(state, RaggedGrid(state.range(0), state.range(1), int(state.range(2))));
}
BENCHMARK(BM_OpenRaggedGrid)
    ->ArgsProduct({{10000, 100000, 1000000}, {1000}, {0, 1, 2, 3}})
    ->ArgNames({"rows", "columns", "shape"})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteRaggedGrid)
    ->ArgsProduct({{10000, 100000, 1000000}, {1000}, {0, 1, 2, 3}})
    ->ArgNames({"rows", "columns", "shape"})->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenChatLog(benchmark::State& state) { Open(state, ChatLog(state.range(0), state.range(1) != 0)); }
void BM_PasteChatLog(benchmark::State& state) { Paste(state, ChatLog(state.range(0), state.range(1) != 0)); }
BENCHMARK(BM_OpenChatLog)
    ->Args({1200, 0})->Args({12000, 0})->Args({120000, 0})->Args({1200, 1})->Args({12000, 1})
    ->ArgNames({"lines", "faces"})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteChatLog)
    ->Args({1200, 0})->Args({12000, 0})->Args({120000, 0})
    ->ArgNames({"lines", "faces"})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
