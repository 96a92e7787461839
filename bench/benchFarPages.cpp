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

// The page written as `name` in the folder; its path.
QString WritePage(benchmark::State& state, const QTemporaryDir& folder, const QString& name, const QByteArray& page) {
  const QString path = folder.filePath(name);
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) state.SkipWithError("write failed");
  return path;
}

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
  const QString path = WritePage(state, folder, QStringLiteral("items.html"), CommonLongTable(state.range(0)));
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

// A ledger of `rows` rows of five cells (a date, an account, a text, two amounts) as a plain
// table (kind 0), as LibreOffice Calc writes it (1: its style sheet, column groups, a merged
// bold title row, bold headers, "height", "align", "sdval" and "sdnum" on the cells) and as
// Gnumeric does (2: its style sheet, an empty paragraph, a caption, a title and headers, every
// cell's "valign", "align" and font size), the shapes of tests/data/html/ledger-*.html.
QByteArray PeerLedger(int64_t rows, int kind) {
  static const char* const kPlainHead = "<html><body><table>\n";
  static const char* const kLibreOfficeHead =
      "<!DOCTYPE html>\n\n<html>\n<head>\n\t\n\t<meta http-equiv=\"content-type\" content=\"text/html; "
      "charset=utf-8\"/>\n\t<title></title>\n\t<meta name=\"generator\" content=\"LibreOffice\"/>\n\t\n"
      "\t<style type=\"text/css\">\n\t\tbody,div,table,thead,tbody,tfoot,tr,th,td,p { font-family:\"Liberation "
      "Sans\"; font-size:x-small }\n\t\ta.comment-indicator:hover + comment { background:#ffd; position:absolute; "
      "display:block; border:1px solid black; padding:0.5em;  } \n\t\ta.comment-indicator { background:red; "
      "display:inline-block; border:1px solid black; width:0.5em; height:0.5em;  } \n\t\tcomment { display:none;  } "
      "\n\t</style>\n\t\n</head>\n\n<body>\n<table cellspacing=\"0\" border=\"0\">\n\t<colgroup span=\"5\" "
      "width=\"85\"></colgroup>\n\t<tr>\n\t\t<td colspan=5 height=\"17\" align=\"left\"><b>Ledger</b></td>\n\t\t"
      "</tr>\n\t<tr>\n\t\t<td height=\"17\" align=\"left\"><b>Date</b></td>\n\t\t<td align=\"left\"><b>Account"
      "</b></td>\n\t\t<td align=\"left\"><b>Description</b></td>\n\t\t<td align=\"left\"><b>Amount</b></td>\n\t\t"
      "<td align=\"left\"><b>Balance</b></td>\n\t</tr>\n";
  static const char* const kGnumericHead =
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\"\n\t\t\"http://www.w3.org/TR/xhtml1/DTD/"
      "xhtml1-transitional.dtd\">\n<html xmlns=\"http://www.w3.org/1999/xhtml\" xml:lang=\"en\" lang=\"en\">\n"
      "<head>\n\t<title>Tables</title>\n<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\" />\n"
      "<style type=\"text/css\">\ntt {\n\tfont-family: courier;\n}\ntd {\n\tfont-family: helvetica, sans-serif;\n}\n"
      "caption {\n\tfont-family: helvetica, sans-serif;\n\tfont-size: 14pt;\n\ttext-align: left;\n}\n</style>\n"
      "</head>\n<body>\n<p></p><table cellspacing=\"0\" cellpadding=\"3\">\n<caption>Ledger</caption>\n<tr>\n"
      "<td colspan=\"5\" rowspan=\"1\"  valign=\"bottom\"  align=\"left\"  style=\" font-size:10pt;\"><b>Ledger</b>"
      "</td>\n</tr>\n";
  QByteArray page = kind == 1 ? kLibreOfficeHead : kind == 2 ? kGnumericHead : kPlainHead;
  const auto cell = [kind](bool first, bool number, const QByteArray& text) -> QByteArray {
    if (kind == 1) {
      QByteArray tag = first ? "\t\t<td height=\"17\" align=\"" : "\t\t<td align=\"";
      tag += number ? "right\" sdval=\"" + text + "\" sdnum=\"1033;\">" : QByteArray("left\">");
      return tag + text + "</td>\n";
    }
    if (kind == 2)
      return QByteArray("<td  valign=\"bottom\"  align=\"") + (number ? "right" : "left") +
             "\"  style=\" font-size:10pt;\">" + text + "</td>\n";
    return "<td>" + text + "</td>";
  };
  for (int64_t y = 0; y < rows; ++y) {
    page += kind == 1 ? "\t<tr>\n" : kind == 2 ? "<tr>\n" : "<tr>";
    page += cell(true, false, "2024-" + QByteArray::number(1 + y % 12) + "-" + QByteArray::number(1 + y % 28));
    page += cell(false, true, QByteArray::number(1000 + y % 7));
    page += cell(false, false, y % 3 ? "Fish &amp; chips" : "Rent");
    page += cell(false, true, QByteArray::number(double((y * 7919) % 100003) / 100 - 500, 'f', 2));
    page += cell(false, true, QByteArray::number(double((y * 104729) % 1000003) / 100, 'f', 2));
    page += kind == 1 ? "\t</tr>\n" : "</tr>\n";
  }
  return page + "</table>\n</body>\n</html>\n";
}

// Argument 1: rows; argument 2: the page's kind (PeerLedger). Each opens within twice the plain
// table's time and memory.
void BM_OpenPeerLedgerPage(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path =
      WritePage(state, folder, QStringLiteral("ledger.html"), PeerLedger(state.range(0), int(state.range(1))));
  ResetPeakMemory();
  const uint64_t plain = PlainTablesRead();
  for (auto _ : state) {
    CADocument document;
    FLError error;
    if (document.openFile(path, &error) == 0) state.SkipWithError(error.reason.toStdString().c_str());
    else if (document.rows().size() < size_t(state.range(0))) state.SkipWithError("rows missing");
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["read_by_sheet"] = double(PlainTablesRead() - plain);
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_OpenPeerLedgerPage)
    ->ArgsProduct({{16000, 64000}, {0, 1, 2}})->ArgNames({"rows", "kind"})->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// A 40 MB page of paragraphs, which the rich text would take gigabytes for: refused unread.
void BM_CostlyPageIsRefused(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = WritePage(state, folder, QStringLiteral("paragraphs.html"), [] {
    QByteArray page = "<html><body>\n";
    for (int i = 0; i < 1'000'000; ++i) page += "<p>A line of a long text, with words.</p>\n";
    return page + "</body></html>\n";
  }());
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
// Argument 2: 1 when B2 holds a text of two lines, which the sheet's reader takes as well (the
// save was once refused for it); 2, 3 and 4 when its lines have a blank before the break, an
// empty first line or a blank after the break (refused once as well); the page must open whole,
// B2 as it was. Figures (Release): 40,000 rows of each open again in 0.53 to 0.55 s at 129 to
// 133 MB, priced 213 MB.
void BM_ReopenSavedPage(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("saved.html"));
  CADocument::setKeepHtmlExtension(true);
  const char* const kLines[] = {"", "Rent\nJanuary", "Rent \nJanuary", "\nJanuary", "Rent\n January"};
  const QString lines = QString::fromLatin1(kLines[state.range(1)]);
  {
    CADocument document;
    for (int64_t y = 0; y < state.range(0); ++y)
      for (int64_t x = 0; x < 5; ++x)
        document.cellAtGridPointImperative({x, y})->setFormula(
            x % 2 ? QStringLiteral("item %1").arg(y * 5 + x) : QString::number((y * 7919 + x) % 100003));
    if (state.range(1) != 0) document.cellAtGridPointImperative({1, 1})->setFormula(lines);
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
    else if (document.rows().size() != size_t(state.range(0))) state.SkipWithError("rows missing");
    else if (state.range(1) != 0 && (!document.cellAtGridPoint({1, 1}) ||
                                     document.cellAtGridPoint({1, 1})->displayText(false) != lines))
      state.SkipWithError("B2 changed");
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
  state.counters["estimate_MiB"] = double(estimate) / 1048576.0;
}
BENCHMARK(BM_ReopenSavedPage)
    ->Args({20000, 0})->Args({40000, 1})->Args({100000, 1})->Args({40000, 2})->Args({40000, 3})->Args({40000, 4})
    ->ArgNames({"rows", "lines"})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

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
