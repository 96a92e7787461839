// Pages whose cost lies in what the rich text makes of them rather than in their size: spans that
// make a table of millions of cells, long lists, a long table whose cells carry "align", a long
// table whose first row holds one long text, pages nested far deeper than any real one, and pages
// far over an open's budget. Each opens
// within the budget and in time linear in what it holds, or is refused with the reason before
// the cost is paid. Peaks are per process: run one benchmark a process, e.g.
//   benchHostilePages --benchmark_filter='BM_OpenLongList/400000$'
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QFile>
#include <QTemporaryDir>

#include <functional>

namespace {

// Writes the page, piece by piece, to a file of the folder, and opens it once a round: the
// round's peak, the file's size and whether it was refused.
void OpenPage(benchmark::State& state, const std::function<void(QFile&)>& write) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("page.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    write(file);
  }
  ResetPeakMemory();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["refused"] = refused;
}

// Rows of one cell spanning 10,000 columns: 55 rows make a 1.9 KB page, 4,000 a 140 KB one.
void BM_OpenSpannedPage(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<table>");
    for (int64_t y = 0; y < state.range(0); ++y) file.write("<tr><td colspan=10000>x</td></tr>\n");
    file.write("</table>");
  });
}
BENCHMARK(BM_OpenSpannedPage)->Arg(55)->Arg(100)->Arg(430)->Arg(4000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A list of so many items "<li>N</li>".
void BM_OpenLongList(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<ul>");
    for (int64_t i = 0; i < state.range(0); ++i) file.write("<li>" + QByteArray::number(i) + "</li>\n");
    file.write("</ul>");
  });
}
BENCHMARK(BM_OpenLongList)->Arg(10'000)->Arg(40'000)->Arg(400'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A table of `rows` rows of five cells, each with "align" (argument 2: 1) or without (0).
void BM_OpenAlignedTable(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<html><body><table border=\"1\">\n");
    const bool aligned = state.range(1) != 0;
    for (int64_t y = 0; y < state.range(0); ++y) {
      QByteArray row = "<tr>";
      for (int x = 0; x < 5; ++x) {
        row += aligned ? (x % 2 ? "<td align=\"right\">" : "<td align=\"left\">") : "<td>";
        row += (x % 2 ? QByteArray::number(y * 5 + x) : "item " + QByteArray::number(y)) + "</td>";
      }
      file.write(row + "</tr>\n");
    }
    file.write("</table></body></html>\n");
  });
}
BENCHMARK(BM_OpenAlignedTable)
    ->Args({100'000, 0})->Args({100'000, 1})->ArgNames({"rows", "align"})->Unit(benchmark::kMillisecond)->Iterations(1);

// A long table whose first row holds one text of so many megabytes.
void BM_OpenLongFirstRow(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<table><tr><td>");
    const QByteArray text(1 << 20, 'x');
    for (int64_t i = 0; i < state.range(0); ++i) file.write(text);
    file.write("</td><td>2</td></tr>\n");
    for (int y = 0; y < 100; ++y) file.write("<tr><td>1</td><td>2</td></tr>\n");
    file.write("</table>");
  });
}
BENCHMARK(BM_OpenLongFirstRow)->Arg(126)->Arg(262)->Unit(benchmark::kMillisecond)->Iterations(1);

// Pages far over the budget: a 900 MB table (argument 0) and a 1 GB paragraph (1).
void BM_OverBudgetPageIsRefused(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    QByteArray piece;
    if (state.range(0) == 0) {
      for (int i = 0; i < 1000; ++i) piece += "<tr><td>1234</td><td>item</td><td>5678</td></tr>\n";
      file.write("<table>");
      while (file.size() < 900'000'000) file.write(piece);
      file.write("</table>");
    } else {
      piece = QByteArray(1 << 20, 'w');
      file.write("<p>");
      while (file.size() < 1'000'000'000) file.write(piece);
    }
  });
}
BENCHMARK(BM_OverBudgetPageIsRefused)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// Pages nested 100,000 deep (0: divs, 1: table cells, 2: bold): refused before the rich text's
// HTML reader sees them, in a time of the order of reading the page once.
void BM_DeeplyNestedPageIsRefused(benchmark::State& state) {
  static const char* const kOpenings[] = {"<div>", "<table><tr><td>", "<b>"};
  OpenPage(state, [&](QFile& file) {
    file.write(QByteArray(kOpenings[state.range(0)]).repeated(100000) + "x");
  });
}
BENCHMARK(BM_DeeplyNestedPageIsRefused)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1);

// A column of `cells` texts of so many million letters saved as a page (argument 1: 0), a CSV
// (1) or a DIF (2) and opened again: the save's peak over the sheet (save_peak_MiB), the open's
// (open_peak_MiB) and, for the page, what its reading is priced at (estimate_MiB).
void BM_SaveAndReopenLongTexts(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  static const char* const kNames[] = {"texts.html", "texts.csv", "texts.dif"};
  QTemporaryDir folder;
  const QString path = folder.filePath(QString::fromLatin1(kNames[state.range(0)]));
  state.SetLabel(kNames[state.range(0)]);
  CADocument::setKeepHtmlExtension(true);
  bool saved = false;
  for (auto _ : state) {
    state.PauseTiming();
    {
      auto sheet = std::make_unique<CADocument>();
      for (int64_t y = 0; y < state.range(1); ++y) {
        QString text(qsizetype(state.range(2)) * 1'000'000, u'a');
        text[0] = QChar(u'A' + char16_t(y % 26));
        sheet->cellAtGridPointImperative({0, y})->setFormula(text);
      }
      ResetPeakMemory();
      state.ResumeTiming();
      FLError error;
      saved = sheet->saveCore(path, false, &error);
      state.PauseTiming();
      state.counters["save_peak_MiB"] = ResidentPeakMiB();
      if (!saved) state.SetLabel(error.reason.toStdString());
    }
    ResetPeakMemory();
    state.ResumeTiming();
    if (saved) {
      CADocument document;
      FLError error;
      if (document.openFile(path, &error) == 0) state.SetLabel(error.reason.toStdString());
      state.PauseTiming();
      state.counters["open_peak_MiB"] = ResidentPeakMiB();
      state.ResumeTiming();
    }
  }
  QFile file(path);
  state.counters["file_MB"] = double(file.size()) / 1e6;
  if (saved && state.range(0) == 0 && file.open(QIODevice::ReadOnly))
    state.counters["estimate_MiB"] = double(PlainTableReadingCost(file.readAll())) / 1048576.0;
}
BENCHMARK(BM_SaveAndReopenLongTexts)
    ->Args({0, 70, 4})->Args({0, 70, 7})->Args({1, 100, 5})->Args({2, 100, 5})
    ->ArgNames({"kind", "cells", "million_letters"})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
