// A sheet of A1 and one cell ten billion rows down: the page breaks the window shows, the first
// page that each save draws as the preview, a print that is refused for its number of pages, and
// the exports that must write every row (refused before they make any). Each must take well
// under a second, whatever lies between the two cells.
//
// Then what the files the program writes and the long pages it reads cost to open: a long table
// of the common shapes (comments, entities, attributes, a head row) read by the sheet itself and
// through the rich text, a page refused for what the rich text would take, and the far cell's
// CSV and page. Peaks are per process: run one benchmark a process, e.g.
//   benchFarPages --benchmark_filter='BM_OpenLongHtmlTable/100000/1$'
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/controllers/caSheetPages.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QFile>
#include <QPrinter>
#include <QTemporaryDir>

#include <memory>

namespace {

constexpr int64_t kFarRow = 10'000'000'000;

std::unique_ptr<CADocument> MakeFarSheet() {
  EnsureBenchApplication();
  auto document = std::make_unique<CADocument>();
  document->cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("near"));
  document->cellAtGridPointImperative({0, kFarRow})->setFormula(QStringLiteral("far"));
  document->setShowPageBreaks(true);
  return document;
}

void BM_PageBreaksOfAFarCell(benchmark::State& state) {
  std::unique_ptr<CADocument> document = MakeFarSheet();
  for (auto _ : state) {
    const CASheetPages pages(*document, CAPageMode::Paginate, SheetPageRoom(*document, DocumentPaperSize(*document)));
    benchmark::DoNotOptimize(pages.pageCount());
  }
}
BENCHMARK(BM_PageBreaksOfAFarCell)->Unit(benchmark::kMillisecond);

void BM_PreviewOfAFarCell(benchmark::State& state) {
  std::unique_ptr<CADocument> document = MakeFarSheet();
  for (auto _ : state) {
    QSizeF size;
    benchmark::DoNotOptimize(SheetPdf(*document, true, &size));
  }
}
BENCHMARK(BM_PreviewOfAFarCell)->Unit(benchmark::kMillisecond);

void BM_PrintOfAFarCellIsRefused(benchmark::State& state) {
  std::unique_ptr<CADocument> document = MakeFarSheet();
  QTemporaryDir folder;
  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(folder.filePath(QStringLiteral("far.pdf")));
  for (auto _ : state) {
    bool tooManyPages = false;
    benchmark::DoNotOptimize(PrintSheet(*document, printer, nullptr, &tooManyPages));
    if (!tooManyPages) state.SkipWithError("the far sheet was printed");
  }
}
BENCHMARK(BM_PrintOfAFarCellIsRefused)->Unit(benchmark::kMillisecond);

void BM_ExportOfAFarCellIsRefused(benchmark::State& state) {
  static const char* const kNames[] = {"far.csv", "far.txt", "far.dif", "far.html"};
  InstallFileFormatServices();
  std::unique_ptr<CADocument> document = MakeFarSheet();
  QTemporaryDir folder;
  const QString path = folder.filePath(QString::fromLatin1(kNames[state.range(0)]));
  state.SetLabel(kNames[state.range(0)]);
  for (auto _ : state) {
    FLError error;
    if (document->saveCore(path, false, &error)) state.SkipWithError("the far sheet was written");
  }
}
BENCHMARK(BM_ExportOfAFarCellIsRefused)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

// A table of `rows` rows of four cells in the shapes pages are commonly written in: a comment,
// a head row of headers, attributes, entities, empty and unclosed cells.
QByteArray CommonLongTable(int64_t rows) {
  QByteArray page = "<!DOCTYPE html>\n<html><head><title>Items</title></head><body>\n<!-- exported -->\n"
                    "<table border=\"1\" class=\"list\">\n<thead><tr><th>Item</th><th>Category</th><th>Amount</th>"
                    "<th>Note</th></tr></thead>\n<tbody>\n";
  for (int64_t y = 0; y < rows; ++y) {
    page += y % 2 ? "<tr class=\"odd\">" : "<tr>";
    page += "<td>item " + QByteArray::number(y) + "</td><td>food &amp; drink</td><td>" +
            QByteArray::number((y * 7919) % 10007) + "</td><td>" + (y % 3 ? "caf&eacute;" : "") + "</td></tr>\n";
  }
  return page + "</tbody>\n</table>\n</body></html>\n";
}

// Argument 1: rows; argument 2: 0 read by the sheet itself, 1 the whole page through the rich
// text (as every page of these shapes was read before).
void BM_OpenLongHtmlTable(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("items.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    file.write(CommonLongTable(state.range(0)));
  }
  const bool plain = SetPlainTableReading(state.range(1) == 0);
  ResetPeakMemory();
  for (auto _ : state) {
    CADocument document;
    if (document.openFile(path, nullptr) == 0) state.SkipWithError("open failed");
    if (document.rows().size() != size_t(state.range(0) + 1)) state.SkipWithError("wrong rows");
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  SetPlainTableReading(plain);
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_OpenLongHtmlTable)
    ->Args({20000, 0})->Args({20000, 1})->Args({100000, 0})->Args({100000, 1})->Args({500000, 0})
    ->ArgNames({"rows", "rich_text"})->Unit(benchmark::kMillisecond)->Iterations(1);

// A 40 MB page of paragraphs, which the rich text would take gigabytes for: refused unread.
void BM_CostlyPageIsRefused(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("paragraphs.html"));
  {
    QByteArray page = "<html><body>\n";
    for (int i = 0; i < 1'000'000; ++i) page += "<p>A line of a long text, with words.</p>\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    file.write(page + "</body></html>\n");
  }
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) != 0) state.SkipWithError("the page was read");
  }
}
BENCHMARK(BM_CostlyPageIsRefused)->Unit(benchmark::kMillisecond);

// The CSV of A1 and a cell `rows` rows down, as the program writes it, opened again: the empty
// lines cost the reader nothing but their bytes.
void BM_OpenFarCellCsv(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("far.csv"));
  {
    CADocument document;
    document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
    document.cellAtGridPointImperative({0, state.range(0)})->setFormula(QStringLiteral("2"));
    FLError error;
    if (!document.saveCore(path, false, &error)) state.SkipWithError("the far sheet was not written");
  }
  ResetPeakMemory();
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) == 0) state.SkipWithError("open failed");
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_OpenFarCellCsv)->Arg(50'000'000)->Arg(536'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A page the program writes, of `rows` rows of five numbers and words, opened again: its peak
// beside what the reader and the writer count it to cost (estimate_MiB), which must not be less.
void BM_ReopenSavedPage(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("saved.html"));
  CADocument::setKeepHtmlExtension(true);
  {
    CADocument document;
    for (int64_t y = 0; y < state.range(0); ++y)
      for (int64_t x = 0; x < 5; ++x)
        document.cellAtGridPointImperative({x, y})->setFormula(
            x % 2 ? QStringLiteral("item %1").arg(y * 5 + x) : QString::number((y * 7919 + x) % 100003));
    FLError error;
    if (!document.saveCore(path, false, &error)) state.SkipWithError("the page was not written");
  }
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  const QByteArray page = file.readAll();
  // Priced as the reading that takes it prices it.
  const int64_t plainCost = PlainTableReadingCost(page);
  const int64_t estimate = plainCost >= 0 ? plainCost : RichTextHtmlCost(QByteArrayView(page));
  file.close();
  ResetPeakMemory();
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) == 0) state.SkipWithError("open failed");
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["estimate_MiB"] = double(estimate) / 1048576.0;
}
BENCHMARK(BM_ReopenSavedPage)->Arg(20000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Save As HTML of a sheet of `cells` short cells, five to a row (numbers and words), and the page
// opened again, which the sheet reads itself as a long table of plain cells: the save's peak over
// the sheet (save_peak_MiB) and the open's (open_peak_MiB), with what the writer priced the
// reopening at (estimate_MiB). Time: the save and the open.
void BM_SaveAndReopenSheetAsHtml(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("sheet.html"));
  CADocument::setKeepHtmlExtension(true);
  const int64_t rows = state.range(0) / 5;
  for (auto _ : state) {
    state.PauseTiming();
    {
      auto sheet = std::make_unique<CADocument>();
      for (int64_t y = 0; y < rows; ++y)
        for (int64_t x = 0; x < 5; ++x)
          sheet->cellAtGridPointImperative({x, y})->setFormula(
              x % 2 ? QStringLiteral("item %1").arg(y * 5 + x) : QString::number((y * 7919 + x) % 100003));
      ResetPeakMemory();
      state.ResumeTiming();
      FLError error;
      if (!sheet->saveCore(path, false, &error)) state.SkipWithError(error.reason.toStdString().c_str());
      state.PauseTiming();
      state.counters["save_peak_MiB"] = ResidentPeakMiB();
    }
    ResetPeakMemory();
    const uint64_t plainBefore = PlainTablesRead();
    state.ResumeTiming();
    {
      CADocument document;
      FLError error;
      if (document.openFile(path, &error) == 0) state.SkipWithError("open failed");
      state.PauseTiming();
      state.counters["open_peak_MiB"] = ResidentPeakMiB();
      size_t cells = 0;
      for (const auto& row : document.rows()) cells += row->cells().size();
      if (cells != size_t(rows * 5)) state.SkipWithError("the cells differ");
      state.ResumeTiming();
    }
    state.counters["read_by_the_sheet"] = double(PlainTablesRead() - plainBefore);
  }
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  state.counters["file_MB"] = double(file.size()) / 1e6;
  state.counters["estimate_MiB"] = double(PlainTableReadingCost(file.readAll())) / 1048576.0;
}
BENCHMARK(BM_SaveAndReopenSheetAsHtml)->Arg(1'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Save As HTML of A1 and a cell at row 2,000,001: refused before anything is made, where it
// wrote an 84 MB page the rich text could not read back.
void BM_FarCellPageIsRefused(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  CADocument document;
  document.cellAtGridPointImperative({0, 0})->setFormula(QStringLiteral("1"));
  document.cellAtGridPointImperative({0, 2'000'000})->setFormula(QStringLiteral("2"));
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("far.html"));
  for (auto _ : state) {
    FLError error;
    if (document.saveCore(path, false, &error)) state.SkipWithError("the far page was written");
  }
}
BENCHMARK(BM_FarCellPageIsRefused)->Unit(benchmark::kMillisecond);

}  // namespace
