// Importing and exporting a large delimited-text sheet: 100,000 rows of ten numbers (about 7 MB
// of CSV, 1,000,000 cells), and the reader's own share of the import, with the cells handed to
// a receiver that keeps nothing. The import also reports its memory: the heap the finished
// sheet holds and the most the import held on top of that; and the peak of opening 3,000,000
// numbers as CSV and as DIF.
#include "calculator/fileformats/caTextLines.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/CARow.h"
#include "calculator/model/TextImportDelegate.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDates.h"

#include <QApplication>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"

#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr int64_t kRows = 100000;
constexpr int64_t kColumns = 10;

// Whole numbers, negatives and decimals, as exported measurements look.
QByteArray LargeCsv() {
  QByteArray csv;
  csv.reserve(8 << 20);
  for (int64_t y = 0; y < kRows; ++y) {
    for (int64_t x = 0; x < kColumns; ++x) {
      if (x > 0) csv += ',';
      const int64_t n = (y * 7919 + x * 104729) % 100000;
      if (x % 3 == 0)
        csv += QByteArray::number(n);
      else if (x % 3 == 1)
        csv += QByteArray::number(-n / 10);
      else
        csv += QByteArray::number(n / 100) + '.' + QByteArray::number(n % 100 + 100).mid(1);
    }
    csv += '\n';
  }
  return csv;
}

class CsvFile {
 public:
  CsvFile() {
    path_ = folder_.filePath(QStringLiteral("large.csv"));
    QFile file(path_);
    if (file.open(QIODevice::WriteOnly)) size_ = file.write(LargeCsv());
  }
  const QString& path() const { return path_; }
  int64_t size() const { return size_; }

 private:
  QTemporaryDir folder_;
  QString path_;
  int64_t size_ = 0;
};

size_t HeapInUse() { return mallinfo2().uordblks; }

// Destroys an opened sheet outside the timing: closing is not part of opening.
void Discard(benchmark::State& state, CADocument& document) {
  state.PauseTiming();
  {
    CADocument discard;
    std::swap(discard.mutableRows(), document.mutableRows());
  }
  state.ResumeTiming();
}

void BM_ImportLargeCsv(benchmark::State& state) {
  EnsureBenchApplication();
  const CsvFile csv;
  size_t sheetBytes = 0;
  size_t transientBytes = 0;
  for (auto _ : state) {
    CADocument document;
    document.setOpening(true);
    const size_t before = HeapInUse();
    const std::optional<QStringList> lines = LoadTextFileLines(csv.path(), nullptr);
    if (!lines) {
      state.SkipWithError("read failed");
      break;
    }
    const size_t withLines = HeapInUse();
    LoadStringLines(*lines, document, true);
    const size_t withSheet = HeapInUse();
    document.setOpening(false);
    benchmark::DoNotOptimize(document.rows().size());
    state.PauseTiming();
    // The lines are the import's own memory; the rest is the sheet's.
    sheetBytes = withSheet - withLines;
    transientBytes = withLines - before;
    state.ResumeTiming();
    Discard(state, document);
  }
  state.counters["file_MB"] = double(csv.size()) / 1e6;
  state.counters["sheet_MB"] = double(sheetBytes) / 1e6;
  state.counters["lines_MB"] = double(transientBytes) / 1e6;
  state.SetBytesProcessed(state.iterations() * csv.size());
}
BENCHMARK(BM_ImportLargeCsv)->Unit(benchmark::kMillisecond);

// The reader's own share: reading, decoding, splitting and cutting the fields.
class NullReceiver : public TextImportDelegate {
 public:
  void setCellAtPoint(const GridPoint&, const QVariant& value, int32_t) override { count += value.isValid(); }
  int64_t count = 0;
};

void BM_ReadLargeCsvFields(benchmark::State& state) {
  const CsvFile csv;
  for (auto _ : state) {
    NullReceiver receiver;
    const std::optional<QStringList> lines = LoadTextFileLines(csv.path(), nullptr);
    if (lines) LoadStringLines(*lines, receiver, true);
    if (receiver.count != kRows * kColumns) state.SkipWithError("wrong field count");
  }
  state.SetBytesProcessed(state.iterations() * csv.size());
}
BENCHMARK(BM_ReadLargeCsvFields)->Unit(benchmark::kMillisecond);

// The reader's own memory on a file of 10,000,000 one-character fields: the most its
// intermediate structures (the file's bytes, its text, the lines) hold at once, per field, with
// the cells handed to a receiver that keeps nothing. Argument 0 reads the file as the open path
// does, into one text and views of its lines; argument 1 as a list of line strings, which is how
// the open path read it before. The second range argument is the number of fields a line.
// Large blocks (a file's text, an array of lines) are mapped, not taken from the heap's arenas.
size_t AllocatedInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

class PeakReceiver : public TextImportDelegate {
 public:
  void setCellAtPoint(const GridPoint&, const QVariant& value, int32_t) override {
    count += value.isValid();
    if ((count & 0xFFFF) == 0) peak = std::max(peak, AllocatedInUse());
  }
  int64_t count = 0;
  size_t peak = 0;
};

void BM_ReaderPeakPerField(benchmark::State& state) {
  constexpr int64_t kFields = 10000000;
  const int64_t perLine = state.range(1);
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("fields.csv"));
  {
    QByteArray line;
    for (int64_t x = 0; x < perLine; ++x) line += x + 1 < perLine ? "a," : "a\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    for (int64_t y = 0; y < kFields / perLine; ++y) file.write(line);
  }
  size_t peakBytes = 0;
  for (auto _ : state) {
    const size_t before = AllocatedInUse();
    PeakReceiver receiver;
    if (state.range(0) == 0) {
      const std::optional<QString> text = LoadTextFileText(path, nullptr);
      receiver.peak = AllocatedInUse();
      if (text) LoadLineViews(LineViewsOfText(*text), receiver, true);
    } else {
      const std::optional<QStringList> lines = LoadTextFileLines(path, nullptr);
      receiver.peak = AllocatedInUse();
      if (lines) LoadStringLines(*lines, receiver, true);
    }
    if (receiver.count != kFields) state.SkipWithError("wrong field count");
    peakBytes = receiver.peak - before;
  }
  state.counters["peak_B_per_field"] = double(peakBytes) / double(kFields);
}
BENCHMARK(BM_ReaderPeakPerField)
    ->Args({0, 1})->Args({1, 1})->Args({0, 1000})->Args({1, 1000})
    ->ArgNames({"lines_as_strings", "fields_a_line"})->Unit(benchmark::kMillisecond)->Iterations(1);

// Opening the same 3,000,000 numbers (300,000 rows of ten) as CSV (argument 0) and as DIF
// (argument 1) through the open dispatch: the kernel's high-water mark of the open alone
// ("round_peak_MiB"), and per cell. Run each argument in a process of its own:
//   benchTextFiles --benchmark_filter='BM_OpenCsvOrDifPeak/1$'
void BM_OpenCsvOrDifPeak(benchmark::State& state) {
  EnsureBenchApplication();
  constexpr int64_t kManyRows = 300000;
  const bool dif = state.range(0) != 0;
  QTemporaryDir folder;
  const QString path = folder.filePath(dif ? QStringLiteral("cells.dif") : QStringLiteral("cells.csv"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    QByteArray text;
    if (dif) text = "TABLE\n0,1\n\"\"\nVECTORS\n0,10\n\"\"\nTUPLES\n0,300000\n\"\"\nDATA\n0,0\n\"\"\n";
    for (int64_t y = 0; y < kManyRows; ++y) {
      if (dif) text += "-1,0\nBOT\n";
      for (int64_t x = 0; x < kColumns; ++x) {
        const QByteArray number = QByteArray::number((y * 7919 + x * 104729) % 100000);
        if (dif)
          text += "0," + number + "\nV\n";
        else
          text += (x > 0 ? "," : "") + number;
      }
      if (!dif) text += '\n';
      if (text.size() > (1 << 20)) {
        file.write(text);
        text.clear();
      }
    }
    if (dif) text += "-1,0\nEOD\n";
    file.write(text);
  }
  ResetPeakMemory();
  for (auto _ : state) {
    CADocument document;
    if (document.openFile(path, nullptr) == 0) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(document.rows().size());
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
    Discard(state, document);
  }
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["peak_B_per_cell"] = state.counters["round_peak_MiB"] * 1048576.0 / double(kManyRows * kColumns);
}
BENCHMARK(BM_OpenCsvOrDifPeak)->Arg(0)->Arg(1)->ArgName("dif")->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ExportLargeCsv(benchmark::State& state) {
  EnsureBenchApplication();
  const CsvFile csv;
  CADocument document;
  if (document.openFile(csv.path(), nullptr) != 1) state.SkipWithError("open failed");
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("out.csv"));
  const bool commas = state.range(0) != 0;
  for (auto _ : state) {
    if (!document.saveToTextFile(path, commas, nullptr)) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * QFile(path).size());
}
BENCHMARK(BM_ExportLargeCsv)->Arg(1)->Arg(0)->ArgName("commas")->Unit(benchmark::kMillisecond);

// The share of the export that is the cells' own display texts, in saving mode.
void BM_DisplayTextsOfLargeSheet(benchmark::State& state) {
  EnsureBenchApplication();
  const CsvFile csv;
  CADocument document;
  if (document.openFile(csv.path(), nullptr) != 1) state.SkipWithError("open failed");
  for (auto _ : state) {
    int64_t units = 0;
    for (const std::unique_ptr<CARow>& row : document.rows())
      for (const CACellEntry& entry : row->cells())
        units += CACellReading(entry, row->gridY(), &document)->savingText().size();
    benchmark::DoNotOptimize(units);
  }
}
BENCHMARK(BM_DisplayTextsOfLargeSheet)->Unit(benchmark::kMillisecond);

void BM_ExportLargeDif(benchmark::State& state) {
  EnsureBenchApplication();
  const CsvFile csv;
  CADocument document;
  if (document.openFile(csv.path(), nullptr) != 1) state.SkipWithError("open failed");
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("out.dif"));
  for (auto _ : state) {
    if (!document.saveToDifFile(path, nullptr)) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_ExportLargeDif)->Unit(benchmark::kMillisecond);

// A column of 100,000 reals (every digit of each) saved as tab-separated text and opened again,
// under the United States' separators (arg 0) and under Germany's decimal comma (arg 1): the
// digits are read to the nearest real, and the lines that are one number each are looked at
// before the column is known to be one.
void BM_ColumnOfRealsThroughText(benchmark::State& state) {
  EnsureBenchApplication();
  const bool german = state.range(0) != 0;
  SetNumberTextLocale(german ? QLocale(QLocale::German, QLocale::Germany) : QLocale(QLocale::English, QLocale::UnitedStates));
  CADocument document;
  for (int64_t y = 0; y < kRows; ++y)
    document.cellAtGridPointImperative({0, y})->setNumberValue(
        CANumber::withRealResult(std::sqrt(static_cast<long double>(y + 2)) * 1e15L));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("column.txt"));
  int64_t cells = 0;
  for (auto _ : state) {
    if (!document.saveToTextFile(path, false, nullptr)) state.SkipWithError("save failed");
    CADocument opened;
    if (opened.openFile(path, nullptr) != 8) state.SkipWithError("open failed");
    state.PauseTiming();
    cells = 0;
    for (const std::unique_ptr<CARow>& row : opened.rows()) cells += int64_t(row->cells().size());
    state.ResumeTiming();
    Discard(state, opened);
  }
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  // One cell a row: the column stayed one column.
  state.counters["cells"] = double(cells);
}
BENCHMARK(BM_ColumnOfRealsThroughText)->Arg(0)->Arg(1)->ArgName("german")->Unit(benchmark::kMillisecond);

// A column of dates written with dots (01.03.2024) opened as CSV under Germany's settings, where
// each is read as the date it names: 1,000, 10,000 and 100,000 rows, so that the cost a cell can
// be seen to stay the same; and the same dates written with slashes (01/03/2024), as a date was
// read before (slashes:1). `dates` counts the cells that became dates.
void BM_ColumnOfDottedDates(benchmark::State& state) {
  EnsureBenchApplication();
  const int64_t rows = state.range(0);
  const char separator = state.range(1) != 0 ? '/' : '.';
  const QLocale german(QLocale::German, QLocale::Germany);
  QLocale::setDefault(german);
  SetNumberTextLocale(german);
  SetDayFirstDateFormat(23);
  const bool requireYear = g_requireDayIndexYear;
  g_requireDayIndexYear = true;
  QByteArray csv;
  for (int64_t y = 0; y < rows; ++y) {
    csv += QByteArray::number(y % 28 + 101).mid(1) + separator + QByteArray::number(y / 28 % 12 + 101).mid(1) +
           separator + QByteArray::number(1950 + y % 97) + '\n';
  }
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("dates.csv"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size()) state.SkipWithError("write failed");
  file.close();
  int64_t dates = 0;
  for (auto _ : state) {
    CADocument opened;
    if (opened.openFile(path, nullptr) != 1) state.SkipWithError("open failed");
    state.PauseTiming();
    dates = 0;
    for (int64_t y = 0; y < rows; ++y) {
      const CACell* cell = opened.cellAtGridPoint(GridPoint{0, y});
      dates += cell && cell->valueType() == kValueDate;
    }
    state.ResumeTiming();
    Discard(state, opened);
  }
  g_requireDayIndexYear = requireYear;
  const QLocale american(QLocale::English, QLocale::UnitedStates);
  QLocale::setDefault(american);
  SetNumberTextLocale(american);
  SetDayFirstDateFormat(23);
  state.counters["dates"] = double(dates);
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_ColumnOfDottedDates)
    ->ArgsProduct({{1000, 10000, 100000}, {0, 1}})
    ->ArgNames({"rows", "slashes"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
