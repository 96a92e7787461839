// Shapes whose cost lies in Qt's rich text rather than in their size, and a cell archive far
// larger than a paste may take. Pages of N runs each in a format of its own, opened from a file:
// font faces (`<font face="FaceK">`, which Qt's table of formats compares with every other face at
// each lookup), colours whose text and background add up alike (which it compares too), and, for
// comparison, colours it tells apart at once. Each opens in time linear in its runs, or is refused
// as too long once the comparisons Qt would make pass the steps the page's size allows.
// BM_PasteFontFaces and BM_PasteCssFaces paste the face pages as the clipboard's HTML.
// BM_PasteCellArchive pastes the clipboard's archive of so many cells (written by a copy) and
// reports the paste's peak against what it held before. One benchmark a process:
//   benchQtFormatShapes --benchmark_filter='BM_OpenFontFaces/100000$'
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "BenchUndoWindow.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caDocumentServices.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"

#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>

#include <functional>

namespace {

void OpenRuns(benchmark::State& state, const std::function<QByteArray(int64_t)>& run) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("page.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    file.write("<html><body>");
    for (int64_t k = 0; k < state.range(0); ++k) file.write(run(k) + "<br>\n");
    file.write("</body></html>");
  }
  ResetPeakMemory();
  bool refused = false;
  int64_t cells = 0;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    state.PauseTiming();
    cells = 0;
    for (const std::unique_ptr<CARow>& row : document.rows()) cells += int64_t(row->cells().size());
    state.ResumeTiming();
  }
  state.counters["round_peak_MiB"] = ResidentPeakMiB();
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["refused"] = refused;
  state.counters["cells"] = double(cells);
}

void BM_OpenFontFaces(benchmark::State& state) {
  OpenRuns(state, [](int64_t k) { return "<font face=\"Face" + QByteArray::number(k) + "\">x</font>"; });
}
BENCHMARK(BM_OpenFontFaces)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenCssFaces(benchmark::State& state) {
  OpenRuns(state, [](int64_t k) { return "<span style=\"font-family: Face" + QByteArray::number(k) + "\">x</span>"; });
}
BENCHMARK(BM_OpenCssFaces)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Text and background colours whose sum is the same on every run.
void BM_OpenColourSums(benchmark::State& state) {
  OpenRuns(state, [](int64_t k) {
    return "<span style=\"color: #" + QByteArray::number(k, 16).rightJustified(6, '0') + "; background-color: #" +
           QByteArray::number(0x100000 - k, 16).rightJustified(6, '0') + "\">x</span>";
  });
}
BENCHMARK(BM_OpenColourSums)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_OpenColours(benchmark::State& state) {
  OpenRuns(state, [](int64_t k) {
    return "<span style=\"color: #" + QByteArray::number(k, 16).rightJustified(6, '0') + "\">x</span>";
  });
}
BENCHMARK(BM_OpenColours)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same pages as the clipboard's HTML beside a plain text, pasted at A1 of an empty sheet.
void PasteRuns(benchmark::State& state, const std::function<QByteArray(int64_t)>& run) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QByteArray page = "<html><body>";
  for (int64_t k = 0; k < state.range(0); ++k) page += run(k) + "<br>\n";
  page += "</body></html>";
  QMimeData clipboard;
  PasteboardSetData(clipboard, QLatin1String(kPasteboardHtmlType), page);
  clipboard.setText(QStringLiteral("x"));
  bool pasted = false;
  int64_t cells = 0;
  for (auto _ : state) {
    state.PauseTiming();
    CADocument sheet;
    BenchUndoWindow window(sheet);
    sheet.setController(&window);
    ResetPeakMemory();
    state.ResumeTiming();
    pasted = sheet.paste(&clipboard, false);
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    cells = 0;
    for (const std::unique_ptr<CARow>& row : sheet.rows()) cells += int64_t(row->cells().size());
    sheet.setController(nullptr);
    state.ResumeTiming();
  }
  state.counters["page_MB"] = double(page.size()) / 1e6;
  state.counters["pasted"] = pasted;
  state.counters["cells"] = double(cells);
}

void BM_PasteFontFaces(benchmark::State& state) {
  PasteRuns(state, [](int64_t k) { return "<font face=\"Face" + QByteArray::number(k) + "\">x</font>"; });
}
BENCHMARK(BM_PasteFontFaces)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PasteCssFaces(benchmark::State& state) {
  PasteRuns(state, [](int64_t k) { return "<span style=\"font-family: Face" + QByteArray::number(k) + "\">x</span>"; });
}
BENCHMARK(BM_PasteCssFaces)->Arg(25'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The clipboard's cell archive of so many rows of 10 text cells, as a copy writes it, pasted at
// A1 of an empty sheet: pasted, or refused with the memory alert once its reading passes the
// paste's budget. round_peak_MiB is the paste's peak; before_MiB what the process held before it
// (the archive's bytes among it).
void BM_PasteCellArchive(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  // Argument 2, where given: the paste's budget in MiB in place of the program's.
  const int64_t previousBudget = PageReadingBudget();
  if (state.range(1) > 0) SetPageReadingBudget(state.range(1) << 20);
  QMimeData clipboard;
  {
    CADocument source;
    for (int64_t y = 0; y < state.range(0); ++y)
      for (int64_t x = 0; x < 10; ++x)
        source.cellAtGridPointImperative({x, y})->setFormula(QStringLiteral("text %1 %2").arg(x).arg(y));
    source.setSelectionRange(GridRange{{0, 0}, {9, state.range(0) - 1}});
    const QString archive = FileFormatServices().archiveSelection(source);
    PasteboardSetData(clipboard, QLatin1String(kPasteboardCellsType), archive.toUtf8());
    state.counters["archive_MB"] = double(archive.toUtf8().size()) / 1e6;
  }
  bool pasted = false;
  for (auto _ : state) {
    state.PauseTiming();
    CADocument sheet;
    BenchUndoWindow window(sheet);
    sheet.setController(&window);
    ResetPeakMemory();
    state.counters["before_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
    pasted = sheet.paste(&clipboard, false);
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    sheet.setController(nullptr);
    state.ResumeTiming();
  }
  state.counters["pasted"] = pasted;
  state.counters["budget_MiB"] = double(PageBudget()) / 1048576.0;
  SetPageReadingBudget(previousBudget);
}
BENCHMARK(BM_PasteCellArchive)
    ->Args({100'000, 0})->Args({400'000, 0})->Args({400'000, 256})->Args({100'000, 32})->Args({1'000'000, 256})->Args({1'000'000, 0})
    ->ArgNames({"rows", "budget"})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
