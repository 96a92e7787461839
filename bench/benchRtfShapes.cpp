// Opens of RTF shapes whose work once grew faster than the file: a table of 101 columns of a
// letter each, row upon row, and a style sheet of N styles each used by one paragraph (a document
// holds at most 3,999 styles: past them the paragraphs are in Normal). Each is
// opened as the sheet opens an RTF file (the reading, the engine document, its cells); the time
// must grow as the rows or styles do.
#include "BenchApplication.h"
#include "calculator/fileformats/caGlimmetImport.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmTables.h"

#include <benchmark/benchmark.h>

#include <QString>

namespace {

QString RtfTable(int64_t rows) {
  QString rtf = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}\\trowd");
  for (int x = 1; x <= 101; ++x) rtf += QStringLiteral("\\cellx%1").arg(100 * x);
  QString row = QStringLiteral("\\intbl ");
  for (int x = 0; x < 101; ++x) row += QStringLiteral("x\\cell ");
  row += QStringLiteral("\\row ");
  rtf.reserve(rtf.size() + row.size() * rows + 2);
  for (int64_t y = 0; y < rows; ++y) rtf += row;
  rtf += u'}';
  return rtf;
}

QString RtfStyles(int64_t styles) {
  QString rtf = QStringLiteral("{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}{\\stylesheet{\\s0 Normal;}");
  for (int64_t s = 1; s <= styles; ++s) rtf += QStringLiteral("{\\s%1\\b Style number %1;}").arg(s);
  rtf += u'}';
  for (int64_t s = 1; s <= styles; ++s) rtf += QStringLiteral("\\pard\\s%1 Paragraph %1\\par ").arg(s);
  rtf += u'}';
  return rtf;
}

void Open(benchmark::State& state, const QString& rtf) {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
  for (auto _ : state) {
    CADocument sheet;
    QString refusal;
    // A document past the budget is refused: the time is the refusal's.
    state.counters["refused"] = sheet.loadRtf(rtf, QString(), &refusal) ? 0 : 1;
  }
  state.counters["MB"] = double(rtf.size()) / 1e6;
}

// The same, pasted: read as the paste reads RTF into a sheet of its own.
void Paste(benchmark::State& state, const QString& rtf) {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
  for (auto _ : state) {
    CADocument sheet;
    bool refused = false;
    state.counters["refused"] = LoadPastedRtf(sheet, rtf, &refused) ? 0 : 1;
  }
  state.counters["MB"] = double(rtf.size()) / 1e6;
}

void BM_RtfTableRows(benchmark::State& state) { Open(state, RtfTable(state.range(0))); }
BENCHMARK(BM_RtfTableRows)
    ->Arg(100)->Arg(1000)->Arg(10000)->Arg(40000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
void BM_PasteRtfTableRows(benchmark::State& state) { Paste(state, RtfTable(state.range(0))); }
BENCHMARK(BM_PasteRtfTableRows)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_RtfStyleSheet(benchmark::State& state) { Open(state, RtfStyles(state.range(0))); }
BENCHMARK(BM_RtfStyleSheet)->Arg(300)->Arg(3000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
