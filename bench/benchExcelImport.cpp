// Importing a workbook of 100,000 cells into a document: 10,000 rows of six numbers (NUMBER and
// RK records), three shared strings on a grey pattern and one formula (=A+B*C of its row, with
// its value), in a compound file written by the tests' workbook writer. Then the same rows, 10,000 and 65,500 of them (655,000
// cells), opened and saved as a package, with the memory peaks (see BenchPeakMemory.h). Then
// workbooks crafted to cost far more than their size, opened, and running totals over a column
// whose stored values all differ from what it computes here, beside the same totals as stored.
//
// Run with arguments of its own, the executable does one thing as a whole process, for
// bench/import-figures.sh to time beside other programs:
//   benchExcelImport --write-workbook ROWS PATH   writes the benchmarks' workbook
//   benchExcelImport --to-native INPUT PACKAGE    opens any file the sheet reads, saves a package
//   benchExcelImport --write-seeds CORPORA        writes the crafted workbooks into the fuzz corpora
#include "../tests/calculator/fileformats/ExcelTestSupport.h"
#include "../tests/calculator/fileformats/TotalsSheets.h"
#include "calculator/fileformats/caExcelImport.h"
#include "calculator/model/caExcelNumberFormat.h"
#include "calculator/model/CADocument.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "platform/FLError.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QtEndian>

#include <vector>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "glimmet/storage/gmTables.h"

#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

namespace {

QByteArray WorkbookStream(uint16_t rows) {
  // 1,000 shared strings in an SST joined by CONTINUE records, which start between strings.
  Bytes sst;
  sst.u32(30000).u32(1000);
  std::vector<QByteArray> chunks(1, sst.data);
  for (int i = 0; i < 1000; ++i) {
    const QByteArray string = Bytes().latin1(QStringLiteral("Item number %1").arg(i)).data;
    if (chunks.back().size() + string.size() > 8224) chunks.emplace_back();
    chunks.back().append(string);
  }
  QByteArray globals = xls::Record(0xFC, chunks.front());
  for (size_t i = 1; i < chunks.size(); ++i) globals += xls::Record(0x3C, chunks[i]);

  QByteArray sheet = xls::Dimensions(10);
  for (uint32_t row = 0; row < rows; ++row) {
    const uint16_t r = uint16_t(row);
    for (uint16_t column = 0; column < 6; ++column)
      sheet += column % 2 == 0 ? xls::Number(r, column, 0, row * 1.25 + column)
                               : xls::Rk(r, column, 0, ((row * 10 + column) << 2) | 2);
    for (uint16_t column = 6; column < 9; ++column) sheet += xls::LabelSst(r, column, 3, (row * 3 + column) % 1000);
    Bytes tokens;
    tokens.u8(0x24).u16(row).u16(0xC000).u8(0x24).u16(row).u16(0xC001).u8(0x24).u16(row).u16(0xC002).u8(5).u8(3);
    // The value the workbook stores is the formula's own (A is NUMBER, B an integer RK, C NUMBER),
    // so the import keeps the formulas and finds nothing to mark.
    const double a = row * 1.25, b = row * 10 + 1, c = row * 1.25 + 2;
    sheet += xls::Formula(r, 9, 0, tokens.data, a + b * c);
  }
  return MakeWorkbookStream(globals, {sheet});
}

// The compound file of the workbook, with its directory's root naming the workbook stream as
// its child, as other readers walk the directory's tree from there.
QByteArray WorkbookFile(uint16_t rows) {
  QByteArray file = MakeCompoundFile(WorkbookStream(rows));
  const uint32_t directory = qFromLittleEndian<uint32_t>(file.constData() + 48);
  qToLittleEndian<uint32_t>(1, file.data() + 512 * (qsizetype(directory) + 1) + 76);
  return file;
}

void BM_ImportWorkbookOf100000Cells(benchmark::State& state) {
  EnsureBenchApplication();
  const QByteArray file = MakeCompoundFile(WorkbookStream(10000));
  const QString path = QDir::temp().filePath(QStringLiteral("benchExcelImport.xls"));
  {
    QFile out(path);
    out.open(QIODevice::WriteOnly);
    out.write(file);
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto document = std::make_unique<CADocument>();
    state.ResumeTiming();
    FLError error;
    if (!document->loadExcelFile(path, &error)) state.SkipWithError("the workbook was refused");
    benchmark::DoNotOptimize(document.get());
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  state.counters["file_kb"] = double(file.size()) / 1024;
  QFile::remove(path);
}
BENCHMARK(BM_ImportWorkbookOf100000Cells)->Unit(benchmark::kMillisecond)->MinTime(2.0);

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile out(path);
  return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size() && out.flush();
}

// What a program converting the file does: open it as a sheet and save it as a package.
bool ConvertToNative(const QString& input, const QString& package) {
  auto document = std::make_unique<CADocument>();
  FLError error;
  if (document->openFile(input, &error) <= 0) return false;
  return document->saveToNativeFile(package, false, &error);
}

// The workbook of the argument's rows (ten cells each, one a formula) opened and saved as a
// package, as a whole process converting it would; the peak is measured from the opening on.
void BM_WorkbookToNative(benchmark::State& state) {
  EnsureBenchApplication();
  g_glimmetConfig.tableOption = 1;
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("workbook.xls"));
  {
    const QByteArray file = WorkbookFile(uint16_t(state.range(0)));
    if (!WriteFile(path, file)) state.SkipWithError("no workbook");
    state.counters["file_kb"] = double(file.size()) / 1024;
  }
  ResetPeakMemory();
  int count = 0;
  for (auto _ : state) {
    const QString package = folder.filePath(QStringLiteral("Sheet%1.Numlet").arg(++count));
    if (!ConvertToNative(path, package)) state.SkipWithError("the conversion failed");
    state.PauseTiming();
    QDir(package).removeRecursively();
    state.ResumeTiming();
  }
  state.counters["cells"] = double(state.range(0)) * 10;
  ReportPeakMemory(state);
}
BENCHMARK(BM_WorkbookToNative)->Arg(10000)->Arg(65500)->Unit(benchmark::kMillisecond);

// Workbooks that cost far more than their size: a shared-string table of ambiguous blocks that
// no reading takes whole (its count 0xFFFFFFFF), running totals whose stored values all differ
// from what the sheet computes, and a number format of 65,000 "m" used by 64 formatted rows.
QByteArray AmbiguousStringsStream(int blocks) {
  return MakeWorkbookStream(xls::AmbiguousSharedStrings(blocks), {xls::Number(0, 0, 0, 1)});
}
QByteArray RunningTotalStream(uint16_t rows, bool asText) {
  return MakeWorkbookStream({}, {xls::RunningTotal(rows, asText)});
}
QByteArray LongMonthFormatStream(uint16_t rows) {
  QByteArray sheet = xls::Dimensions(1);
  for (uint16_t row = 0; row < rows; ++row) sheet += xls::Row(row, 4) + xls::Number(row, 0, 4, 45000 + row);
  return MakeWorkbookStream(xls::Format(164, QString(65000, QLatin1Char('m'))) + xls::Xf(164), {sheet});
}

// Opens the compound file of the stream through the document's loader; the file is written once.
void OpenCraftedWorkbook(benchmark::State& state, const QByteArray& stream, bool readable) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("crafted.xls"));
  const QByteArray file = MakeCompoundFile(stream);
  if (!WriteFile(path, file)) state.SkipWithError("no workbook");
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    FLError error;
    if (document->loadExcelFile(path, &error) != readable) state.SkipWithError("read otherwise than expected");
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  SetLogHandler(previous);
  state.counters["file_kb"] = double(file.size()) / 1024;
}

void BM_OpenAmbiguousSharedStrings(benchmark::State& state) {
  const QByteArray stream = AmbiguousStringsStream(int(state.range(0)));
  OpenCraftedWorkbook(state, stream, false);
  RecordingExcelDelegate delegate;
  XLImportResult result;
  QString failure;
  ImportExcelStream(stream, delegate, &result, &failure);
  state.counters["readings"] = double(result.sharedStringReadings);
}
BENCHMARK(BM_OpenAmbiguousSharedStrings)->Arg(24)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_OpenRunningTotalOfDifferingValues(benchmark::State& state) {
  OpenCraftedWorkbook(state, RunningTotalStream(uint16_t(state.range(0)), false), true);
}
BENCHMARK(BM_OpenRunningTotalOfDifferingValues)->Arg(16000)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_OpenRunningTotalOfTexts(benchmark::State& state) {
  OpenCraftedWorkbook(state, RunningTotalStream(uint16_t(state.range(0)), true), true);
}
BENCHMARK(BM_OpenRunningTotalOfTexts)->Arg(20000)->Unit(benchmark::kMillisecond);

// Running totals over a column of formulas, =Ck*2, =SUM($A$1:Ak), k mod 7 + 1, as a workbook
// stores them, and the same with every stored value of the doubling column different from what
// it computes here: those keep their stored values and every total is judged again after them.
void OpenTotals(benchmark::State& state, const QByteArray& file) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("totals.xls"));
  if (!WriteFile(path, file)) state.SkipWithError("no workbook");
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  for (auto _ : state) {
    auto document = std::make_unique<CADocument>();
    FLError error;
    if (!document->loadExcelFile(path, &error)) state.SkipWithError("the workbook was refused");
    state.PauseTiming();
    document.reset();
    state.ResumeTiming();
  }
  SetLogHandler(previous);
  state.counters["rows"] = double(state.range(0));
}

void BM_OpenRunningTotalsAsStored(benchmark::State& state) {
  OpenTotals(state, TotalsWorkbook(state.range(0), false));
}
BENCHMARK(BM_OpenRunningTotalsAsStored)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenRunningTotalsOverDifferingValues(benchmark::State& state) {
  OpenTotals(state, AlteredTotalsWorkbook(state.range(0)));
}
BENCHMARK(BM_OpenRunningTotalsOverDifferingValues)->Arg(10000)->Arg(20000)->Arg(65536)->Unit(benchmark::kMillisecond);

void BM_OpenLongMonthFormat(benchmark::State& state) {
  OpenCraftedWorkbook(state, LongMonthFormatStream(uint16_t(state.range(0))), true);
}
BENCHMARK(BM_OpenLongMonthFormat)->Arg(64)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_NormalizeLongMonthRun(benchmark::State& state) {
  const QString code(state.range(0), QLatin1Char('m'));
  for (auto _ : state) benchmark::DoNotOptimize(NormalizeExcelNumberFormat(code));
}
BENCHMARK(BM_NormalizeLongMonthRun)->Arg(160000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--write-workbook") == 0) {
    const int rows = std::atoi(argv[2]);
    if (rows <= 0 || rows > 65535) return 2;
    return WriteFile(QString::fromLocal8Bit(argv[3]), WorkbookFile(uint16_t(rows))) ? 0 : 1;
  }
  if (argc == 3 && std::strcmp(argv[1], "--write-seeds") == 0) {
    // The crafted workbooks as the fuzz corpora hold them: the workbook reader's take the
    // stream, the open path's the file after the byte that picks ".xls".
    const QDir corpora(QString::fromLocal8Bit(argv[2]));
    const std::pair<const char*, QByteArray> seeds[] = {
        {"ambiguous-shared-strings-40", AmbiguousStringsStream(40)},
        {"running-total-of-texts-200", RunningTotalStream(200, true)},
        {"long-month-format-64", LongMonthFormatStream(64)},
        {"shared-formulas-with-absolute-coordinates", MakeWorkbookStream({}, {xls::SharedFormulasSheet()})},
        {"add-in-functions-after-the-own-book",
         MakeWorkbookStream(xls::AddInBook(false, {QStringLiteral("QUOTIENT"), QStringLiteral("GCD")}),
                            {xls::Number(0, 0, 0, 23) + xls::Number(0, 1, 0, 5) +
                             xls::Formula(1, 0, 0, xls::AddInCall(1, Bytes().u8(0x44).u16(0).u16(0xC000).u8(0x44).u16(0).u16(0xC001).data, 2), 4) +
                             xls::Formula(1, 1, 0, xls::AddInCall(2, Bytes().u8(0x44).u16(0).u16(0xC000).u8(0x44).u16(0).u16(0xC001).data, 2), 1)})},
        {"error-results",
         MakeWorkbookStream({}, {xls::Formula(0, 0, 0, Bytes().u8(0x44).u16(1).u16(0xC001).u8(0x44).u16(1).u16(0xC000).u8(0x06).data, 0x07, 2) +
                                 xls::Formula(0, 1, 0, Bytes().u8(0x25).u16(1).u16(4).u16(0xC000).u16(0xC000).u8(0x42).u8(1).u16(5).data, 0x07, 2)})},
    };
    bool written = true;
    for (const auto& [name, stream] : seeds) {
      written = written && WriteFile(corpora.filePath(QStringLiteral("fuzzExcelImport/%1").arg(QLatin1String(name))), stream) &&
                WriteFile(corpora.filePath(QStringLiteral("fuzzOpenFile/xls-%1").arg(QLatin1String(name))),
                          QByteArray(1, '\x02') + MakeCompoundFile(stream));
    }
    return written ? 0 : 1;
  }
  if (argc == 4 && std::strcmp(argv[1], "--to-native") == 0) {
    EnsureBenchApplication();
    g_glimmetConfig.tableOption = 1;  // as the application sets it at launch
    const FLLogHandler previous = SetLogHandler([](const QString&) {});
    const bool done = ConvertToNative(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    SetLogHandler(previous);
    if (!done) std::fprintf(stderr, "%s could not be converted\n", argv[2]);
    return done ? 0 : 1;
  }
  return RunBenchmarks(argc, argv);
}
