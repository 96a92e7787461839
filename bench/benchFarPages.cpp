// A sheet of A1 and one cell ten billion rows down: the page breaks the window shows, the first
// page that each save draws as the preview, a print that is refused for its number of pages, and
// the exports that must write every row (refused before they make any). Each must take well
// under a second, whatever lies between the two cells.
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "calculator/controllers/caSheetPages.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "platform/FLError.h"

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

}  // namespace
