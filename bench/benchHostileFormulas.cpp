// Formulas written to cost more than their size: one cell nested past the parser's bound
// ("=(0-(0-(...1...)))"), long formulas that do not nest, a CSV whose formulas name rows chosen to
// crowd a fixed hash of the reference table's index, and a workbook of formulas of 8,000 unary
// minuses each. Each is opened as the application opens it (the reading, then the
// recalculation); 4x the input should take at most about 4-5x the time.
//
//   benchHostileFormulas --write-seeds CORPORA   writes the hostile shapes into the fuzz corpora
#include "../tests/calculator/fileformats/ExcelTestSupport.h"
#include "BenchApplication.h"
#include "BenchOpenSheet.h"
#include "BenchUndoWindow.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caReferenceAdjustment.h"
#include "framlet/foundation/flBase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// "=(0-(0-(...1...)))" of about `bytes` bytes.
QByteArray NestedFormula(int64_t bytes) {
  const int64_t levels = std::max<int64_t>(1, (bytes - 2) / 4);
  QByteArray text = "=";
  text += QByteArray("(0-").repeated(qsizetype(levels));
  text += '1';
  text += QByteArray(qsizetype(levels), ')');
  return text;
}

// "=1+1+...+1" of about `bytes` bytes.
QByteArray FlatFormula(int64_t bytes) { return "=1" + QByteArray("+1").repeated(qsizetype(std::max<int64_t>(0, bytes / 2 - 1))); }

// The first slot of the run of a column-A group of rows under the fixed hash the index had, to
// 16 bits: rows whose runs share their top bits landed within a small part of the index and made
// one probe run of all of them.
uint64_t FixedHomeOfRun(uint64_t run) {
  const uint64_t mixed = run * 0xC2B2AE3D27D4EB4Full;
  return (mixed ^ (mixed >> 29)) * 0x9E3779B97F4A7C15ull >> 48;
}

// `lines` lines "=A<row>", the rows one a group, their groups crowding the fixed hash.
QByteArray CollidingRowsCsv(int64_t lines) {
  QByteArray csv;
  int64_t written = 0;
  for (uint64_t run = 0; written < lines; ++run) {
    if ((FixedHomeOfRun(run) >> 8) != 0) continue;
    csv += "=A" + QByteArray::number(qulonglong(run * 32 + 1)) + '\n';
    ++written;
  }
  return csv;
}

// A workbook of `formulas` formulas, each =A1 under `minuses` unary minuses.
QByteArray DeepMinusStream(int formulas, int minuses) {
  const QByteArray tokens = Bytes().u8(0x44).u16(0).u16(0xC000).data + QByteArray(minuses, '\x13');
  QByteArray sheet = xls::Number(0, 0, 0, 5);
  for (int i = 0; i < formulas; ++i) sheet += xls::Formula(uint16_t(i + 1), 0, 0, tokens, minuses % 2 ? -5 : 5);
  return MakeWorkbookStream({}, {sheet});
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush();
}

// Opens the file as the application does, once per iteration.
void OpenBytes(benchmark::State& state, const char* name, const QByteArray& bytes) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QLatin1String(name));
  if (!WriteFile(path, bytes)) state.SkipWithError("no file");
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    if (!OpenAsTheApplication(*document, path)) state.SkipWithError("not opened");
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  SetLogHandler(previous);
  state.counters["file_kb"] = double(bytes.size()) / 1024;
}

void BM_OpenNestedFormulaCsv(benchmark::State& state) {
  OpenBytes(state, "nested.csv", NestedFormula(state.range(0)));
}
BENCHMARK(BM_OpenNestedFormulaCsv)->Arg(64 << 10)->Arg(256 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_OpenFlatFormulaCsv(benchmark::State& state) {
  OpenBytes(state, "flat.csv", FlatFormula(state.range(0)));
}
BENCHMARK(BM_OpenFlatFormulaCsv)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

// Parsing alone, nested to the bound and then long: "=((...(1+1+...+1)...))".
void BM_ParseNestedToTheBoundThenLong(benchmark::State& state) {
  const QString text = QStringLiteral("=") + QString(int(kMaxFormulaNesting), u'(') +
                       QString::fromLatin1(FlatFormula(state.range(0)).mid(1)) + QString(int(kMaxFormulaNesting), u')');
  CAExpression expression;
  uint64_t offset = 0;
  for (auto _ : state) {
    expression.clear();
    if (ParseFormula(text, expression, &offset) != 0) state.SkipWithError("not parsed");
    benchmark::DoNotOptimize(expression.data());
  }
  state.counters["kb"] = double(text.size()) / 1024;
}
BENCHMARK(BM_ParseNestedToTheBoundThenLong)->Arg(256 << 10)->Arg(1 << 20)->Arg(4 << 20)->Unit(benchmark::kMillisecond);

void BM_OpenCollidingRowsCsv(benchmark::State& state) {
  OpenBytes(state, "rows.csv", CollidingRowsCsv(state.range(0)));
}
BENCHMARK(BM_OpenCollidingRowsCsv)->Arg(32000)->Arg(128000)->Unit(benchmark::kMillisecond);

void BM_OpenDeepMinusWorkbook(benchmark::State& state) {
  OpenBytes(state, "minuses.xls", MakeCompoundFile(DeepMinusStream(int(state.range(0)), 8000)));
}
BENCHMARK(BM_OpenDeepMinusWorkbook)->Arg(250)->Arg(1000)->Unit(benchmark::kMillisecond);

// Rows inserted above a formula that names `n` cells one by one: each reference is rewritten, one
// row keeping most of them as long as they were, 9,999 rows making each longer.
void BM_AdjustFormulaNamingManyCells(benchmark::State& state) {
  const int64_t rows = state.range(1);
  QString text = QStringLiteral("=A1");
  for (int64_t k = 2; k <= state.range(0); ++k) text += QStringLiteral("+A%1").arg(k);
  CAExpression parsed;
  uint64_t offset = 0;
  if (ParseFormula(text, parsed, &offset) != 0) state.SkipWithError("not parsed");
  for (auto _ : state) {
    QString formula = text;
    CAExpression expression = parsed;
    const CAEditAdjustment done =
        AdjustExpressionForEdit(formula, expression, 0, rows, GridRange{{kGridWildcard, 0}, {kGridWildcard, rows - 1}});
    if (!done.changed) state.SkipWithError("nothing rewritten");
    benchmark::DoNotOptimize(formula.data());
  }
  state.counters["kb"] = double(text.size()) / 1024;
}
BENCHMARK(BM_AdjustFormulaNamingManyCells)
    ->Args({25000, 1})->Args({100000, 1})->Args({25000, 9999})->Args({100000, 9999})->Unit(benchmark::kMillisecond);

// The same in a sheet, as the commands do it: B1 holds "=A1+A2+...+A<n>" and a row is inserted
// above (then deleted, untimed), or column A is moved past column B and back (the moves alternate,
// each timed). The command's undo step, the rewrite, the cell's stored formula and its place in
// the reference table are all in the time.
void EditAroundFormulaNamingManyCells(benchmark::State& state, bool move) {
  EnsureBenchApplication();
  QString text = QStringLiteral("=A1");
  for (int64_t k = 2; k <= state.range(0); ++k) text += QStringLiteral("+A%1").arg(k);
  CADocument document;
  BenchUndoWindow window(document);
  document.setController(&window);
  document.cellAtGridPointImperative({1, 0})->setFormula(text);
  bool back = false;
  for (auto _ : state) {
    if (move) {
      document.setSelectionRange(GridRange{{back ? 1 : 0, kGridWildcard}, {back ? 1 : 0, kGridWildcard}});
      document.moveSelectedColumnsTo(back ? 0.0 : 2.0);
      back = !back;
    } else {
      document.setSelectionRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 0}});
      document.insert(kEditRows);
      state.PauseTiming();
      document.setSelectionRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 0}});
      document.deleteSelection(kEditRows);
      state.ResumeTiming();
    }
  }
  const CACell* formula = document.cellAtGridPoint({back ? 0 : 1, 0});
  if (!formula || !formula->isFormula()) state.SkipWithError("the formula went");
  document.setController(nullptr);
  state.counters["kb"] = double(text.size()) / 1024;
}

void BM_InsertRowAboveFormulaNamingManyCells(benchmark::State& state) { EditAroundFormulaNamingManyCells(state, false); }
BENCHMARK(BM_InsertRowAboveFormulaNamingManyCells)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MoveColumnOfFormulaNamingManyCells(benchmark::State& state) { EditAroundFormulaNamingManyCells(state, true); }
BENCHMARK(BM_MoveColumnOfFormulaNamingManyCells)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
    const QDir corpora(QString::fromLocal8Bit(argv[2]));
    const QByteArray nested = NestedFormula(4 * (kMaxFormulaNesting + 8));
    const QByteArray minuses = DeepMinusStream(2, int(kMaxFormulaNesting) + 8);
    const std::pair<const char*, QByteArray> seeds[] = {
        // The open path's first byte picks the reader: 0 CSV, 2 workbook, 5 HTML.
        {"fuzzOpenFile/csv-formula-nested-past-the-bound", QByteArray(1, '\x00') + nested + '\n'},
        {"fuzzOpenFile/csv-rows-chosen-against-a-fixed-hash", QByteArray(1, '\x00') + CollidingRowsCsv(2000)},
        {"fuzzOpenFile/html-formula-nested-past-the-bound",
         QByteArray(1, '\x05') + "<table><tr><td>" + nested + "</td><td>=1+(2)</td></tr></table>"},
        {"fuzzOpenFile/xls-unary-minuses-past-the-bound", QByteArray(1, '\x02') + MakeCompoundFile(minuses)},
        {"fuzzExcelImport/unary-minuses-past-the-bound", minuses},
        {"fuzzDelimitedText/formula-nested-past-the-bound", QByteArray(1, '\x01') + nested + ",=1\n"},
        // An insertion of a column at A: the three bytes of the edit, then the formula.
        {"fuzzFormulaAdjust/nested-to-the-bound",
         QByteArray("\x00\x00\x01", 3) + "=" + QByteArray(kMaxFormulaNesting, '(') + "A1+B2" +
             QByteArray(kMaxFormulaNesting, ')')},
        {"fuzzFormulaAdjust/nested-past-the-bound", QByteArray("\x00\x00\x01", 3) + nested},
    };
    bool written = true;
    for (const auto& [name, bytes] : seeds) written = WriteFile(corpora.filePath(QLatin1String(name)), bytes) && written;
    return written ? 0 : 1;
  }
  return RunBenchmarks(argc, argv);
}
