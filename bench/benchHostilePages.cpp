// Pages whose cost lies in what the rich text makes of them rather than in their size: spans that
// make a table of millions of cells (however the number is written), long lists (one with a long
// opening tag), a long table whose cells carry "align", a long table whose first row holds one
// long text, long formulas, CJK texts, a <pre> of many lines, one picture named many times, pages
// nested far deeper than any real one, and pages far over an open's budget. Each opens within the
// budget and in time linear in what it holds, or is refused with the reason before the cost is
// paid; estimate_MiB is what the open prices it at. Peaks are per process: run one benchmark a process, e.g.
//   benchHostilePages --benchmark_filter='BM_OpenLongList/400000/'
// Figures (Release): 400 and 4,000 rows of "+10000", "&#49;0000" or a tab before 10000 are
// refused at once (28 MB); behind a stray quote they open at 28 and 32 MB. 40 and 200 places
// naming one 4000 x 4000 picture open with every picture at 91 and 92 MB; saved as HTML, the
// 200 places write one picture file and open again with every picture at 94 MB. Tables of 100 and 300
// formulas of 200,000 characters open at 160 and 368 MB (priced 182 and 525 MB), of 1,900 are
// refused before reading. A <pre> of 100,000 and 400,000 lines opens at 57 and 145 MB (priced
// 156 and 623 MB), of 4 million is refused at once. A list of 8,000 and 32,000 items under a
// 1 MiB opening tag opens at 42 and 67 MB in 0.6 s. CJK texts of 1 and 4 million characters
// take 4.8 bytes a character.
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
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
  {
    // What the open prices the page at, for pages small enough to be held here as well.
    QFile file(path);
    if (file.size() < 400'000'000 && file.open(QIODevice::ReadOnly)) {
      const QByteArray page = file.readAll();
      const int64_t plain = PlainTableReadingCost(page);
      state.counters["estimate_MiB"] = double(plain >= 0 ? plain : RichTextHtmlCost(QByteArrayView(page))) / 1048576.0;
    }
  }
  ResetPeakMemory();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    int64_t pictures = 0;
    for (const std::unique_ptr<CARow>& row : document.rows())
      for (const CACellEntry& entry : row->cells()) pictures += CACellReading(entry, row->gridY(), &document)->picture() != nullptr;
    if (pictures > 0) state.counters["picture_cells"] = double(pictures);
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

// Spans written as the reader reads them but not as digits straight after "=": 4,000 rows of one
// cell spanning "+10000" (argument 1: 0), "&#49;0000" (1), a tab and 10000 (2), or 10000 behind a
// stray quote in an earlier bare value (3), which hides the table from the reading here.
void BM_OpenSpanWritings(benchmark::State& state) {
  static const char* const kSpans[] = {"\"+10000\"", "\"&#49;0000\"", "\"\t10000\"", "10000"};
  OpenPage(state, [&](QFile& file) {
    if (state.range(1) == 3) file.write("<p title=a\"b>");
    file.write("<table>");
    for (int64_t y = 0; y < state.range(0); ++y)
      file.write(QByteArray("<tr><td colspan=") + kSpans[state.range(1)] + ">x</td></tr>\n");
    file.write("</table>");
    if (state.range(1) == 3) file.write("<p title=c\">after</p>");
  });
}
BENCHMARK(BM_OpenSpanWritings)
    ->Args({400, 0})->Args({4000, 0})->Args({4000, 1})->Args({4000, 2})->Args({400, 3})->Args({4000, 3})
    ->ArgNames({"rows", "writing"})->Unit(benchmark::kMillisecond)->Iterations(1);

// So many places naming one 4000 x 4000 picture (64 MB decoded), a 258 KB PNG beside the page.
void BM_OpenPicturesPage(benchmark::State& state) {
  EnsureBenchApplication();
  QTemporaryDir pictures;
  OpenPage(state, [&](QFile& file) {
    QImage bitmap(4000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height(); ++y)
      for (int x = 0; x < bitmap.width(); ++x) bitmap.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
    bitmap.save(QFileInfo(file.fileName()).dir().filePath(QStringLiteral("mid.png")));
    file.write("<html><body>");
    for (int64_t i = 0; i < state.range(0); ++i) file.write("<p><img src=\"mid.png\"></p>\n");
    file.write("</body></html>");
  });
}
BENCHMARK(BM_OpenPicturesPage)->Arg(40)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

// The same page opened, saved as HTML (a folder of the page and its pictures) and the saved page
// opened again: the pictures it keeps (reopened_pictures), the files the save wrote
// (picture_files) and the peak of the save and the reopening. Time: the save and the reopening.
void BM_SaveAndReopenPicturesPage(benchmark::State& state) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  QTemporaryDir folder;
  {
    QImage bitmap(4000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < bitmap.height(); ++y)
      for (int x = 0; x < bitmap.width(); ++x) bitmap.setPixel(x, y, qRgb(x % 256, y % 256, (x ^ y) % 256));
    bitmap.save(folder.filePath(QStringLiteral("mid.png")));
    QFile file(folder.filePath(QStringLiteral("page.html")));
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    file.write("<html><body>");
    for (int64_t i = 0; i < state.range(0); ++i) file.write("<p><img src=\"mid.png\"></p>\n");
    file.write("</body></html>");
  }
  const auto pictures = [](const CADocument& document) {
    int64_t count = 0;
    for (const std::unique_ptr<CARow>& row : document.rows())
      for (const CACellEntry& entry : row->cells()) count += CACellReading(entry, row->gridY(), &document)->picture() != nullptr;
    return count;
  };
  const QString saved = folder.filePath(QStringLiteral("saved.html"));
  for (auto _ : state) {
    state.PauseTiming();
    {
      CADocument document;
      FLError error;
      if (document.openFile(folder.filePath(QStringLiteral("page.html")), &error) == 0) state.SkipWithError("open failed");
      ResetPeakMemory();
      state.ResumeTiming();
      if (!document.saveToHtmlFile(saved, &error)) state.SkipWithError(error.reason.toStdString().c_str());
      state.PauseTiming();
      state.counters["save_peak_MiB"] = ResidentPeakMiB();
    }
    ResetPeakMemory();
    state.ResumeTiming();
    CADocument again;
    FLError error;
    if (again.openFile(QDir(saved).filePath(QStringLiteral("index.html")), &error) == 0) state.SkipWithError("reopen failed");
    state.PauseTiming();
    state.counters["reopen_peak_MiB"] = ResidentPeakMiB();
    state.counters["reopened_pictures"] = double(pictures(again));
    state.ResumeTiming();
  }
  state.counters["picture_files"] =
      double(QDir(QDir(saved).filePath(QStringLiteral("images"))).entryList(QDir::Files).size());
}
BENCHMARK(BM_SaveAndReopenPicturesPage)->Arg(200)->Unit(benchmark::kMillisecond)->Iterations(1);

// A long table of so many rows, each a formula "=1+1+..." of 200,000 characters and a number.
void BM_OpenLongFormulas(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    const QByteArray row = "<tr><td>=1" + QByteArray("+1").repeated(99'999) + "</td><td>5</td></tr>\n";
    file.write("<table>");
    for (int64_t y = 0; y < state.range(0); ++y) file.write(row);
    file.write("</table>");
  });
}
BENCHMARK(BM_OpenLongFormulas)->Arg(100)->Arg(300)->Arg(1900)->Unit(benchmark::kMillisecond)->Iterations(1);

// A <pre> of so many lines "1".
void BM_OpenPreLines(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<pre>");
    const QByteArray lines = QByteArray("1\n").repeated(1000);
    for (int64_t i = 0; i < state.range(0) / 1000; ++i) file.write(lines);
    file.write("</pre>");
  });
}
BENCHMARK(BM_OpenPreLines)->Arg(100'000)->Arg(400'000)->Arg(4'000'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A list of so many items whose opening tag holds a 1 MiB title.
void BM_OpenListWithALongTag(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    file.write("<ul title=\"" + QByteArray(1 << 20, 't') + "\">");
    for (int64_t i = 0; i < state.range(0); ++i) file.write("<li>" + QByteArray::number(i) + "</li>\n");
    file.write("</ul>");
  });
}
BENCHMARK(BM_OpenListWithALongTag)->Arg(8'000)->Arg(32'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// A long table of 100 rows, each a text of so many million CJK characters (three UTF-8 bytes
// each) and a number: the sheet reads it itself.
void BM_OpenCjkTexts(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    const QByteArray text = QString(qsizetype(state.range(0)) * 10'000, QChar(0x65E5)).toUtf8();
    file.write("<table>");
    for (int y = 0; y < 100; ++y) file.write("<tr><td>" + text + "</td><td>5</td></tr>\n");
    file.write("</table>");
  });
}
BENCHMARK(BM_OpenCjkTexts)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);

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

// A paragraph of so many MiB of byte 0xA0 (a no-break space in Latin-1 and windows-1252), the
// character set declared as windows-1252 (argument 2: 1) or not at all (0), which makes the
// page Latin-1 as it is no UTF-8: counted by its character set, the large ones are refused with
// the reason before a byte is held (the page of 600 MiB was once read as an empty sheet), the
// small ones read within the budget.
void BM_OpenOneByteCharacterSetPage(benchmark::State& state) {
  OpenPage(state, [&](QFile& file) {
    if (state.range(1) != 0) file.write("<html><head><meta charset=\"windows-1252\"></head><body>");
    file.write("<p>");
    const QByteArray piece(1 << 20, char(0xA0));
    for (int64_t i = 0; i < state.range(0); ++i) file.write(piece);
    file.write("</p>");
  });
}
BENCHMARK(BM_OpenOneByteCharacterSetPage)
    ->Args({20, 1})->Args({600, 1})->Args({20, 0})->Args({400, 0})->ArgNames({"MiB", "declared"})
    ->Unit(benchmark::kMillisecond)->Iterations(1);

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
// (1) or a DIF (2) and opened again: the save's peak over the sheet (save_peak_MiB) and its time
// (save_s), the open's peak (open_peak_MiB) and, for the page, what its reading is priced at
// (estimate_MiB). Figures (Release): 70 texts of 2 and 4 million letters (pages of 134 and 267
// MiB) save at a peak of 463 and 898 MiB with the sheet, 3.5 and 3.4 bytes a byte of page, in
// 2.7-2.9 and 5.7-6.3 s, and open at 589 and 1,150 MiB. The page goes into the text it is priced
// from as it is made, and is written from that text: 4.5 and 4.4 bytes a byte while the page was
// made whole and then decoded whole to be priced (2.5-3.8 and 6.0-6.7 s), 5.5 while the cells'
// pieces were held beside both. 7 million letters are refused, their reading past its budget, at
// a peak of 1,456 MiB (1,924 when the page was decoded whole).
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
      const auto start = std::chrono::steady_clock::now();
      saved = sheet->saveCore(path, false, &error);
      state.counters["save_s"] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
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
    ->Args({0, 70, 2})->Args({0, 70, 4})->Args({0, 70, 7})->Args({1, 100, 5})->Args({2, 100, 5})
    ->ArgNames({"kind", "cells", "million_letters"})->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
