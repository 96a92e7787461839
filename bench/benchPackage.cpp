// Saving and opening the native package of a large sheet: 10,000 rows of ten numbers and one
// formula (100,000 numeric cells and 10,000 formulas), and the same sheet protected, whose cell
// texts are enciphered on the way out and deciphered on the way in. Then a chain of formulas
// (A1 = 1, A2 = A1+1, ...) of 100,000 and 1,000,000 cells, with the process's peak memory.
//
// The peak is the process's high-water mark (getrusage), so it means something only when a
// single benchmark runs in the process:
//   benchPackage --benchmark_filter='BM_OpenChain/100000$'
// getrusage's mark cannot be lowered, so it holds the making of the sheet as well; for opening,
// the kernel's own mark (VmHWM) is reset once the sheet is saved ("baseline_MiB") and reported
// after opening as "open_peak_MiB".
// "rest_B_per_cell" is what an opened sheet keeps allocated, per cell.
//
// For whole-process figures (bench/chain-figures.sh) it also runs as a tool:
//   benchPackage --write-chain CELLS PACKAGE   makes the chain and saves it
//   benchPackage --round PACKAGE COPY          opens, recalculates everything and saves a copy
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CARow.h"
#include "calculator/fileformats/caPackageReader.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/FLLogger.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flBase.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchNumbers.h"
#include "BenchPeakMemory.h"

#include <sys/resource.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int64_t kRows = 10000;

std::unique_ptr<CADocument> MakeLargeSheet(bool protect) {
  auto document = std::make_unique<CADocument>();
  if (protect) document->setPassword(QStringLiteral("LA8JWFoXi2g"));
  for (int64_t y = 0; y < kRows; ++y) {
    for (int64_t x = 0; x < kNumbersPerRow; ++x) {
      CACell* cell = document->cellAtGridPointImperative({x, y});
      // Whole numbers, fractions and reals, as typed sheets hold them.
      if (x % 3 == 0)
        cell->setNumberValue(CANumber(y * 10 + x));
      else if (x % 3 == 1)
        cell->setNumberValue(CANumber::withNumerator(y + x, 7));
      else
        cell->setNumberValue(CANumber::withReal((long double)(y) * 0.001L + 0.5L));
    }
    const QString row = QString::number(y + 1);
    document->cellAtGridPointImperative({kNumbersPerRow, y})
        ->setFormula(QStringLiteral("=SUM(A") + row + QStringLiteral(":J") + row + QStringLiteral(")"));
  }
  return document;
}

class PackageFolder {
 public:
  QString fresh() { return folder_.filePath(QStringLiteral("Sheet%1.Numlet").arg(++count_)); }

 private:
  QTemporaryDir folder_;
  int count_ = 0;
};

// Saves the document into a fresh package once per iteration; removing it is not timed.
void SaveRepeatedly(benchmark::State& state, CADocument& document) {
  PackageFolder folder;
  for (auto _ : state) {
    const QString path = folder.fresh();
    FLError error;
    if (!document.saveToNativeFile(path, false, &error)) state.SkipWithError("save failed");
    state.PauseTiming();
    QDir(path).removeRecursively();
    state.ResumeTiming();
  }
}

void BM_SaveLargeSheet(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  std::unique_ptr<CADocument> document = MakeLargeSheet(state.range(0) != 0);
  SaveRepeatedly(state, *document);
  SetLogHandler(previous);
}
BENCHMARK(BM_SaveLargeSheet)->Arg(0)->Arg(1)->ArgName("protected")->Unit(benchmark::kMillisecond);

void BM_OpenLargeSheet(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const bool protect = state.range(0) != 0;
  PackageFolder folder;
  const QString path = folder.fresh();
  {
    std::unique_ptr<CADocument> document = MakeLargeSheet(protect);
    FLError error;
    if (!document->saveToNativeFile(path, false, &error)) state.SkipWithError("save failed");
  }
  for (auto _ : state) {
    CADocument document;
    if (protect) {
      // The password half: the window has checked the password and reads the XML.
      if (!document.loadNativeFileCore(path, nullptr) || !document.loadXmlFile()) state.SkipWithError("open failed");
    } else if (document.openFile(path, nullptr) == 0) {
      state.SkipWithError("open failed");
    }
    benchmark::DoNotOptimize(document.rows().size());
    state.PauseTiming();
    {
      CADocument discard;  // destruction of the opened sheet is not part of opening
      std::swap(discard.mutableRows(), document.mutableRows());
    }
    state.ResumeTiming();
  }
  SetLogHandler(previous);
}
BENCHMARK(BM_OpenLargeSheet)->Arg(0)->Arg(1)->ArgName("protected")->Unit(benchmark::kMillisecond);

// Reads every tag of a package's XML, building nothing; false (and the benchmark skipped) when
// there is no XML.
bool ScanTags(benchmark::State& state, std::unique_ptr<FLXmlDecoder> decoder) {
  if (!decoder) {
    state.SkipWithError("no XML");
    return false;
  }
  PrepareSpreadsheetDecoder(*decoder);
  int64_t tags = 0;
  while (decoder->getNextTag()) ++tags;
  benchmark::DoNotOptimize(tags);
  return true;
}

// The share of opening that is the XML reader's alone: every tag of the same "document.xml"
// read and nothing built.
void BM_ScanLargeSheetXml(benchmark::State& state) {
  EnsureBenchApplication();
  PackageFolder folder;
  const QString path = folder.fresh();
  {
    std::unique_ptr<CADocument> document = MakeLargeSheet(false);
    FLError error;
    if (!document->saveToNativeFile(path, false, &error)) state.SkipWithError("save failed");
  }
  for (auto _ : state) {
    if (!ScanTags(state, FLXmlDecoder::withFile(QDir(path).filePath(QLatin1String(kDocumentXmlName)), nullptr))) break;
  }
}
BENCHMARK(BM_ScanLargeSheetXml)->Unit(benchmark::kMillisecond);

// A sheet whose rows, and the cells of each row, come in reverse order: each is appended and the
// lists sorted once, so the cost stays that of the rows in order.
void BM_ReadRowsInReverseOrder(benchmark::State& state) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<spreadsheet ver=\"1\">\n<rows>\n");
  for (int64_t y = rows - 1; y >= 0; --y)
    xml += QStringLiteral("<row y=\"%1\"><cells><cell x=\"1\" y=\"%1\" type=\"#\"><val>i1</val></cell>"
                          "<cell x=\"0\" y=\"%1\" type=\"#\"><val>i2</val></cell></cells></row>\n").arg(y);
  xml += QStringLiteral("</rows>\n</spreadsheet>\n");
  for (auto _ : state) {
    CADocument document;
    std::unique_ptr<FLXmlDecoder> decoder = FLXmlDecoder::withString(xml);
    document.loadFromXml(*decoder);
    benchmark::DoNotOptimize(document.rows().size());
  }
  state.SetComplexityN(rows);
}
BENCHMARK(BM_ReadRowsInReverseOrder)->Arg(25000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN);

// A package of a small sheet whose "document.xml" holds `extra` right after its root tag, as a
// damaged or hostile file may.
QString PackageWithExtra(benchmark::State& state, PackageFolder& folder, const QByteArray& extra) {
  const QString path = folder.fresh();
  CADocument sheet;
  for (int64_t y = 0; y < 10; ++y) sheet.cellAtGridPointImperative({0, y})->setNumberValue(CANumber(y));
  FLError error;
  if (!sheet.saveToNativeFile(path, false, &error)) state.SkipWithError("save failed");
  QFile file(QDir(path).filePath(QLatin1String(kDocumentXmlName)));
  if (!file.open(QIODevice::ReadOnly)) state.SkipWithError("no XML");
  QByteArray xml = file.readAll();
  file.close();
  const qsizetype root = xml.indexOf("<spreadsheet");
  const qsizetype afterRoot = root < 0 ? -1 : xml.indexOf('>', root);
  if (afterRoot < 0) state.SkipWithError("no root");
  xml.insert(afterRoot + 1, extra);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(xml) != xml.size())
    state.SkipWithError("write failed");
  return path;
}

// Opens the package once per iteration; the sheet must come out whole.
void OpenRepeatedly(benchmark::State& state, const QString& path) {
  for (auto _ : state) {
    CADocument document;
    if (document.openFile(path, nullptr) == 0 || !document.cellAtGridPoint({0, 9})) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(document.rows().size());
  }
}

// Many distinct names, which the XML reader must each find again at once: attribute names on one
// element, and sibling tags (unknown to the sheet, so each is also an assertion, logged nowhere
// here). Four times the names should take about four times as long.
void BM_OpenManyDistinctNames(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  const int64_t names = state.range(0);
  const bool siblings = state.range(1) != 0;
  QByteArray extra = siblings ? QByteArray() : QByteArray("<zoom");
  for (int64_t i = 0; i < names; ++i)
    extra += siblings ? "<n" + QByteArray::number(i) + "/>" : " a" + QByteArray::number(i) + "=\"1\"";
  if (!siblings) extra += ">100</zoom>";
  PackageFolder folder;
  OpenRepeatedly(state, PackageWithExtra(state, folder, extra));
  SetLogHandler(previous);
}
BENCHMARK(BM_OpenManyDistinctNames)
    ->ArgsProduct({{20000, 80000}, {0, 1}})
    ->ArgNames({"names", "siblings"})
    ->Unit(benchmark::kMillisecond);

// Ever new unknown tags after the root, closed at once, as a hostile file may hold: the reader
// keeps a few dozen names at a time, so "open_peak_MiB" above "baseline_MiB" grows with the
// file's bytes alone (the mapping's pieces), not with its distinct names. Logged nowhere.
void BM_OpenDistinctUnknownTags(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  QByteArray extra;
  for (int64_t i = 0; i < state.range(0); ++i) extra += "<n" + QByteArray::number(i) + "/>";
  PackageFolder folder;
  const QString path = PackageWithExtra(state, folder, extra);
  extra = QByteArray();
  ResetPeakMemory();
  state.counters["baseline_MiB"] = ResidentPeakMiB();
  OpenRepeatedly(state, path);
  state.counters["open_peak_MiB"] = ResidentPeakMiB();
  SetLogHandler(previous);
}
BENCHMARK(BM_OpenDistinctUnknownTags)->Arg(1000000)->Arg(4000000)->ArgName("tags")->Iterations(1)->Unit(benchmark::kMillisecond);

// Unknown tags after the root, each an assertion, logged into the application's log file as the
// application logs: 20,000 of them should add well under two and a half seconds.
void BM_OpenUnknownTags(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir logFolder;
  FLLogger logger(logFolder.path());
  const FLLogHandler previous = SetLogHandler([&logger](const QString& entry) { logger.logString(entry); });
  QByteArray extra;
  for (int64_t i = 0; i < state.range(0); ++i) extra += "<u/>";
  PackageFolder folder;
  OpenRepeatedly(state, PackageWithExtra(state, folder, extra));
  SetLogHandler(previous);
  logger.shutDown();
}
BENCHMARK(BM_OpenUnknownTags)->Arg(0)->Arg(20000)->ArgName("tags")->Unit(benchmark::kMillisecond);

// A1 = 1, A2 = A1+1, ... down to row n, calculated.
std::unique_ptr<CADocument> MakeChain(int64_t length) {
  auto document = std::make_unique<CADocument>();
  document->cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  for (int64_t y = 1; y < length; ++y)
    document->cellAtGridPointImperative({0, y})->setFormula(QStringLiteral("=A") + QString::number(y) +
                                                             QStringLiteral("+1"));
  document->evaluate();
  return document;
}

// Numbers alone, for what a number cell costs at rest.
std::unique_ptr<CADocument> MakeNumbers(int64_t count) {
  auto document = std::make_unique<CADocument>();
  FillNumbers(*document, count, false);
  return document;
}

// The bytes the allocator has handed out and not had back.
double AllocatedBytes() { return double(mallinfo2().uordblks) + double(mallinfo2().hblkhd); }

void ReportPeakPerCell(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double kibibytes = double(usage.ru_maxrss);
  state.counters["peak_MiB"] = kibibytes / 1024.0;
  state.counters["peak_B_per_cell"] = kibibytes * 1024.0 / double(state.range(0));
}

void BM_SaveChain(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  std::unique_ptr<CADocument> document = MakeChain(state.range(0));
  SaveRepeatedly(state, *document);
  ReportPeakPerCell(state);
  SetLogHandler(previous);
}
BENCHMARK(BM_SaveChain)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// A chain of the benchmark's length saved in a fresh package; the peak memory is measured from
// here on.
QString SavedChain(PackageFolder& folder, benchmark::State& state, bool numbers = false) {
  const QString path = folder.fresh();
  {
    std::unique_ptr<CADocument> document = numbers ? MakeNumbers(state.range(0)) : MakeChain(state.range(0));
    FLError error;
    if (!document->saveToNativeFile(path, false, &error)) state.SkipWithError("save failed");
  }
  ResetPeakMemory();
  state.counters["baseline_MiB"] = ResidentPeakMiB();
  return path;
}

// Opening alone, and opening with the recalculation every opened sheet gets.
void OpenChain(benchmark::State& state, bool recalculate, bool numbers = false) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  PackageFolder folder;
  const QString path = SavedChain(folder, state, numbers);
  double before = AllocatedBytes();
  for (auto _ : state) {
    CADocument document;
    if (document.openFile(path, nullptr) == 0) state.SkipWithError("open failed");
    if (recalculate) {
      document.recalcEverything();
      document.evaluate();
    }
    benchmark::DoNotOptimize(document.rows().size());
    state.PauseTiming();
    if (before > 0) {
      state.counters["rest_B_per_cell"] = (AllocatedBytes() - before) / double(state.range(0));
      before = 0;
    }
    {
      CADocument discard;  // destruction of the opened sheet is not part of opening
      std::swap(discard.mutableRows(), document.mutableRows());
    }
    state.ResumeTiming();
  }
  ReportPeakPerCell(state);
  state.counters["open_peak_MiB"] = ResidentPeakMiB();
  SetLogHandler(previous);
}

void BM_OpenChain(benchmark::State& state) { OpenChain(state, false); }
BENCHMARK(BM_OpenChain)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The same for a sheet of numbers only: its rest_B_per_cell is a number cell's cost.
void BM_OpenNumbers(benchmark::State& state) { OpenChain(state, false, true); }
BENCHMARK(BM_OpenNumbers)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_OpenAndRecalculateChain(benchmark::State& state) { OpenChain(state, true); }
BENCHMARK(BM_OpenAndRecalculateChain)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// What a process does with the sheet from start to end: open, recalculate everything, save, and
// let the sheet go. bench/README.md tells how to run it alone for the whole-process figures.
void BM_OpenRecalculateSaveChain(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  PackageFolder folder;
  const QString path = SavedChain(folder, state);
  for (auto _ : state) {
    {
      CADocument document;
      if (document.openFile(path, nullptr) == 0) state.SkipWithError("open failed");
      document.recalcEverything();
      document.evaluate();
      const QString copy = folder.fresh();
      FLError error;
      if (!document.saveToNativeFile(copy, false, &error)) state.SkipWithError("save failed");
      state.PauseTiming();
      QDir(copy).removeRecursively();
      state.ResumeTiming();
    }
  }
  ReportPeakPerCell(state);
  state.counters["round_peak_MiB"] = ResidentPeakMiB();
  SetLogHandler(previous);
}
BENCHMARK(BM_OpenRecalculateSaveChain)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// The XML reader alone over the chain's "document.xml": every tag read, nothing built. The file is
// read through a mapping given back piece by piece, so "scan_peak_MiB" stays near the baseline
// whatever the file's size.
void BM_ScanChainXml(benchmark::State& state) {
  EnsureBenchApplication();
  const FLLogHandler previous = SetLogHandler([](const QString&) {});
  PackageFolder folder;
  const QString xmlPath = QDir(SavedChain(folder, state)).filePath(QLatin1String(kDocumentXmlName));
  for (auto _ : state) {
    if (!ScanTags(state, FLXmlDecoder::withRegularFile(xmlPath, kMaxDocumentXmlSize))) break;
  }
  state.counters["scan_peak_MiB"] = ResidentPeakMiB();
  SetLogHandler(previous);
}
BENCHMARK(BM_ScanChainXml)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && (std::strcmp(argv[1], "--write-chain") == 0 || std::strcmp(argv[1], "--round") == 0)) {
    EnsureBenchApplication();
    const FLLogHandler previous = SetLogHandler([](const QString&) {});
    FLError error;
    bool done = false;
    if (std::strcmp(argv[1], "--write-chain") == 0) {
      const long long cells = std::atoll(argv[2]);
      if (cells <= 0) return 2;
      done = MakeChain(cells)->saveToNativeFile(QString::fromLocal8Bit(argv[3]), false, &error);
    } else {
      // What a process converting the sheet does: open, recalculate everything, save, and end,
      // leaving the saved sheet's cells to the end of the process as the application does for
      // a clean document when it quits.
      CADocument document;
      done = document.openFile(QString::fromLocal8Bit(argv[2]), &error) > 0;
      if (done) {
        document.recalcEverything();
        document.evaluate();
        done = document.saveToNativeFile(QString::fromLocal8Bit(argv[3]), false, &error);
      }
      if (done) document.keepCellsUntilExit();
    }
    SetLogHandler(previous);
    if (!done) std::fprintf(stderr, "%s failed: %s\n", argv[1], qPrintable(error.reason));
    return done ? 0 : 1;
  }
  return RunBenchmarks(argc, argv);
}
