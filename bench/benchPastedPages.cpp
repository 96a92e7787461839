// Long pages opened and pasted, the paste as the window's Paste command makes it: the clipboard's
// page read, its cells brought into a sheet that already holds the page (so that the undo step
// records as many cells as the paste brings, or an empty one), and the undo step, under one meter. range(0) the
// shape (0 a long table of three cells a row, 1 a paragraph of kept lines of three fields, 2 the
// table as UTF-16 with a byte-order mark), range(1) the rows. Each run reports the time, the
// round's peak over what the process held before, and whether the page was refused. Run one
// benchmark a process (peaks are per process), e.g.
//   benchPastedPages --benchmark_filter='BM_PasteLongPage/0/1000000/'
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "BenchUndoWindow.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CADocument.h"
#include "platform/FLError.h"
#include "platform/Pasteboard.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QStringEncoder>
#include <QTemporaryDir>

namespace {

QByteArray LongPage(int64_t shape, int64_t rows) {
  QByteArray page;
  page.reserve(rows * 40);
  if (shape == 1) {
    page += "<style>p{white-space:pre}</style><p>";
    for (int64_t r = 0; r < rows; ++r)
      page += QByteArray::number(r) + "\tname " + QByteArray::number(r % 977) + "\t" + QByteArray::number(r * 7 % 1000) + ".25\n";
    return page + "</p>";
  }
  page += "<table>";
  for (int64_t r = 0; r < rows; ++r)
    page += "<tr><td>" + QByteArray::number(r) + "</td><td>name " + QByteArray::number(r % 977) + "</td><td>" +
            QByteArray::number(r * 7 % 1000) + ".25</td></tr>\n";
  page += "</table>";
  if (shape == 2) return QStringEncoder(QStringConverter::Utf16LE, QStringConverter::Flag::WriteBom)(QString::fromUtf8(page));
  return page;
}

void Report(benchmark::State& state, const QByteArray& page, bool refused, double base) {
  state.counters["page_MB"] = double(page.size()) / 1e6;
  state.counters["base_MiB"] = base;
  state.counters["refused"] = refused;
}

void BM_OpenLongPage(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  const QByteArray page = LongPage(state.range(0), state.range(1));
  QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath(QStringLiteral("page.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) state.SkipWithError("not written");
  }
  ResetPeakMemory();
  const double base = ResidentPeakMiB();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  Report(state, page, refused, base);
}

// range(2): 1 where the sheet holds the page already (the step records what the paste replaces),
// 0 where it is empty.
void BM_PasteLongPage(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  const QByteArray page = LongPage(state.range(0), state.range(1));
  QMimeData data;
  PasteboardSetData(data, QLatin1String(kPasteboardHtmlType), page);
  CADocument document;
  BenchUndoWindow window(document);
  document.setController(&window);
  bool refused = false;
  if (state.range(2) != 0) {
    document.setSelectionPoint(GridPoint{0, 0});
    refused = !document.paste(&data, false);
    window.manager.clearUndo();
  }
  ResetPeakMemory();
  const double base = ResidentPeakMiB();
  for (auto _ : state) {
    document.setSelectionPoint(GridPoint{0, 0});
    refused = !document.paste(&data, false) || refused;
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    window.manager.clearUndo();
    if (state.range(2) == 0) {
      document.setSelectionRange(document.fullExtent());
      document.deleteSelection(kEditRows);
    }
    state.ResumeTiming();
  }
  document.setController(nullptr);
  Report(state, page, refused, base);
}

void Sizes(benchmark::internal::Benchmark* bench) {
  for (int64_t shape : {0, 1, 2})
    for (int64_t rows : {10000, 100000, 1000000}) bench->Args({shape, rows});
}
void PasteSizes(benchmark::internal::Benchmark* bench) {
  for (int64_t shape : {0, 1, 2})
    for (int64_t rows : {10000, 100000, 1000000})
      for (int64_t full : {1, 0}) bench->Args({shape, rows, full});
}
BENCHMARK(BM_OpenLongPage)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteLongPage)->Apply(PasteSizes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
