// Long tables through the sheet's HTML and RTF: a page of one table opened as a sheet, and a
// sheet saved as RTF and as a page, each at 5,000 and 20,000 rows of five cells. All should grow
// linearly:
// the 20,000-row case should take no more than 4.5 times the 5,000-row one. The page is also
// opened and saved as a package, with the memory peaks (see BenchPeakMemory.h).
//
//   benchSheetInterchange --write-page ROWS PATH   writes the benchmarks' page, for
// bench/import-figures.sh (benchExcelImport --to-native converts it as a whole process).
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmTables.h"
#include "platform/FLError.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"

#include <QDir>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int64_t kColumns = 5;

void Prepare() {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
}

// A page of one table, as a program that writes pages for tables would write it.
QByteArray TablePage(int64_t rows) {
  QByteArray page = "<html><body><table>\n";
  page.reserve(rows * 120);
  for (int64_t y = 0; y < rows; ++y) {
    page += "<tr>";
    for (int64_t x = 0; x < kColumns; ++x)
      page += "<td>" + (x % 2 ? "item " + QByteArray::number(y * kColumns + x) : QByteArray::number((y * 7919 + x) % 10007)) +
              "</td>";
    page += "</tr>\n";
  }
  page += "</table></body></html>\n";
  return page;
}

// The benchmark's page written into the folder; its path.
QString WrittenTablePage(benchmark::State& state, const QTemporaryDir& folder) {
  const QString path = folder.filePath(QStringLiteral("table.html"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(TablePage(state.range(0))) < 0) state.SkipWithError("no page");
  return path;
}

void BM_OpenHtmlTable(benchmark::State& state) {
  Prepare();
  QTemporaryDir folder;
  const QString path = WrittenTablePage(state, folder);
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) <= 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(document.cellAtGridPoint({kColumns - 1, state.range(0) - 1}));
  }
  state.counters["rows"] = double(state.range(0));
}
BENCHMARK(BM_OpenHtmlTable)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Rows of numbers and texts in turn, kColumns to a row.
void FillLongSheet(CADocument& document, int64_t rows) {
  for (int64_t y = 0; y < rows; ++y)
    for (int64_t x = 0; x < kColumns; ++x)
      document.cellAtGridPointImperative({x, y})->setFormula(
          x % 2 ? QStringLiteral("item %1").arg(y * kColumns + x) : QString::number((y * 7919 + x) % 10007));
}

// The long sheet of the benchmark's rows saved again and again as one kind of file.
template <typename Save>
void SaveLongSheet(benchmark::State& state, const char* name, Save save) {
  Prepare();
  CADocument document;
  FillLongSheet(document, state.range(0));
  QTemporaryDir folder;
  const QString path = folder.filePath(QLatin1String(name));
  for (auto _ : state) {
    if (!save(document, path)) state.SkipWithError("save failed");
  }
  state.counters["rows"] = double(state.range(0));
}

void BM_SaveLongSheetAsRtf(benchmark::State& state) {
  SaveLongSheet(state, "sheet.rtf",
                [](CADocument& document, const QString& path) { return document.saveToRtfFile(path, nullptr); });
}
BENCHMARK(BM_SaveLongSheetAsRtf)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A1, B1 and one cell far below: saved as RTF, and column A and B copied (RTF, cell archive
// and plain text), as Save As and Ctrl+C would. Within the table bound (row 50,000) the table
// is made; a cell at row 1,000,000 or 2^31 is refused at once. Each should take well under a
// second, in memory that does not grow with the far row.
void FillSheetWithAFarCell(CADocument& document, int64_t far) {
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({1, 0})->setFormula(QStringLiteral("2"));
  document.cellAtGridPointImperative({0, far})->setFormula(QStringLiteral("3"));
}

void BM_SaveSheetWithAFarCellAsRtf(benchmark::State& state) {
  Prepare();
  CADocument document;
  FillSheetWithAFarCell(document, state.range(0));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("far.rtf"));
  ResetPeakMemory();
  for (auto _ : state) {
    FLError error;
    benchmark::DoNotOptimize(document.saveToRtfFile(path, &error));
  }
  ReportPeakMemory(state);
}
BENCHMARK(BM_SaveSheetWithAFarCellAsRtf)
    ->Arg(49999)->Arg(999999)->Arg(int64_t(1) << 31)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CopyColumnsWithAFarCell(benchmark::State& state) {
  Prepare();
  InstallFileFormatServices();
  CADocument document;
  FillSheetWithAFarCell(document, state.range(0));
  document.setSelectionRange({{0, kGridWildcard}, {1, kGridWildcard}});
  ResetPeakMemory();
  for (auto _ : state) {
    QMimeData clipboard;
    benchmark::DoNotOptimize(document.copy(&clipboard));
  }
  ReportPeakMemory(state);
}
BENCHMARK(BM_CopyColumnsWithAFarCell)
    ->Arg(49999)->Arg(999999)->Arg(20000000)->Arg(int64_t(1) << 31)->Unit(benchmark::kMillisecond)->Iterations(1);

// A1 and A20,000,001, column A copied: the page of its twenty million rows is left off the
// clipboard, as its RTF is, at once. Target: within 0.5 s.
void BM_CopyColumnWithAFarCell(benchmark::State& state) {
  Prepare();
  InstallFileFormatServices();
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({0, 20000000})->setFormula(QStringLiteral("2"));
  document.setSelectionRange({{0, kGridWildcard}, {0, kGridWildcard}});
  ResetPeakMemory();
  for (auto _ : state) {
    QMimeData clipboard;
    benchmark::DoNotOptimize(document.copy(&clipboard));
    state.counters["html_MB"] = double(clipboard.data(QStringLiteral("text/html")).size()) / 1e6;
  }
  ReportPeakMemory(state);
}
BENCHMARK(BM_CopyColumnWithAFarCell)->Unit(benchmark::kMillisecond)->Iterations(1);

// A dense sheet of the argument's cells, kColumns to a row, saved as RTF and copied whole (RTF,
// HTML, cell archive and plain text), as Save As and Ctrl+A, Ctrl+C would. Target at 500,000
// cells: each within 3 s and 1 GB (`round_peak_MiB`, the peak over the sheet once made).
void BM_SaveDenseSheetAsRtf(benchmark::State& state) {
  Prepare();
  CADocument document;
  FillLongSheet(document, state.range(0) / kColumns);
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("dense.rtf"));
  ResetPeakMemory();
  for (auto _ : state) {
    FLError error;
    if (!document.saveToRtfFile(path, &error)) state.SkipWithError(error.reason.toUtf8().constData());
  }
  ReportPeakMemory(state);
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_SaveDenseSheetAsRtf)->Arg(100000)->Arg(500000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_CopyDenseSheet(benchmark::State& state) {
  Prepare();
  InstallFileFormatServices();
  CADocument document;
  FillLongSheet(document, state.range(0) / kColumns);
  document.setSelectionRange({{0, 0}, {kColumns - 1, state.range(0) / kColumns - 1}});
  ResetPeakMemory();
  for (auto _ : state) {
    QMimeData clipboard;
    benchmark::DoNotOptimize(document.copy(&clipboard));
    if (!clipboard.hasFormat(QStringLiteral("text/html")) || !clipboard.hasFormat(QStringLiteral("text/rtf")))
      state.SkipWithError("no page or no RTF on the clipboard");
  }
  ReportPeakMemory(state);
}
BENCHMARK(BM_CopyDenseSheet)->Arg(100000)->Arg(500000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The copy's parts at 500,000 cells: RTF (0), HTML (1), the cell archive (2) and plain text (3).
void BM_CopyDenseSheetPart(benchmark::State& state) {
  Prepare();
  CADocument document;
  FillLongSheet(document, 500000 / kColumns);
  document.setSelectionRange({{0, 0}, {kColumns - 1, 500000 / kColumns - 1}});
  for (auto _ : state) {
    switch (state.range(0)) {
      case 0: benchmark::DoNotOptimize(document.rtfFromSelection()); break;
      case 1: benchmark::DoNotOptimize(document.htmlFromSelection()); break;
      case 2: benchmark::DoNotOptimize(document.archiveSelection()); break;
      default: benchmark::DoNotOptimize(DelimitedTextOfBlock(document, {{0, 0}, {kColumns - 1, 500000 / kColumns - 1}}, false)); break;
    }
  }
}
BENCHMARK(BM_CopyDenseSheetPart)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1);

// The page opened and saved as a package, as a whole process converting it would.
void BM_HtmlTableToNative(benchmark::State& state) {
  Prepare();
  QTemporaryDir folder;
  const QString path = WrittenTablePage(state, folder);
  ResetPeakMemory();
  int count = 0;
  for (auto _ : state) {
    const QString package = folder.filePath(QStringLiteral("Sheet%1.Numlet").arg(++count));
    {
      CADocument document;
      FLError error;
      if (document.openFile(path, &error) <= 0) state.SkipWithError("open failed");
      if (!document.saveToNativeFile(package, false, &error)) state.SkipWithError("save failed");
    }
    state.PauseTiming();
    QDir(package).removeRecursively();
    state.ResumeTiming();
  }
  state.counters["rows"] = double(state.range(0));
  ReportPeakMemory(state);
}
BENCHMARK(BM_HtmlTableToNative)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The same sheet saved as a page: it should grow linearly too.
void BM_SaveLongSheetAsHtml(benchmark::State& state) {
  SaveLongSheet(state, "sheet.html",
                [](CADocument& document, const QString& path) { return document.saveToHtmlFile(path, nullptr); });
}
BENCHMARK(BM_SaveLongSheetAsHtml)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-page") == 0) {
    const long rows = std::atol(argv[2]);
    QFile out(QString::fromLocal8Bit(argv[3]));
    const QByteArray page = TablePage(rows > 0 ? rows : 0);
    return rows > 0 && out.open(QIODevice::WriteOnly) && out.write(page) == page.size() ? 0 : 1;
  }
  return RunBenchmarks(argc, argv);
}
