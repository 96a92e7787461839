// The program's HTML reader on long pages: LibreOffice's and Gnumeric's ledger pages and the
// sheet's own page at 16,000 and 64,000 rows, opened as an open does (the sheet reads a long
// plain table itself, its first row through the reader) and read whole by the reader; and the
// hostile pages (tables hidden in cells and outside tables, style rules over many elements, one
// sheet linked many times, lines kept by a style, long formulas, background pictures). Each run
// reports the round's peak, what the reading charged (charged_MiB) and whether it was refused.
// Peaks are per process: run one benchmark a process, e.g.
//   benchHtmlReader --benchmark_filter='BM_OpenPeerPage/0/64000/'
// Figures (Release, one benchmark a process): opened as an open does, LibreOffice's, Gnumeric's
// and the sheet's own pages take 143, 175 and 174 ms at 58, 65 and 73 MB for 16,000 rows, 632,
// 747 and 809 ms at 147, 175 and 207 MB for 64,000 (charged 0.22 and 0.90-0.97 GiB). Read whole
// by the reader: 1.7, 1.8 and 2.3 s at 117, 142 and 152 MB; 7.8, 8.1 and 10.3 s at 384, 478 and
// 515 MB. Hostile pages at 16,000 / 64,000: a wide table left open in a cell refused in 5 / 8 ms
// at 29 / 32 MB; cells outside a table 60 / 64 ms; 8,000 / 32,000 rules over as many paragraphs
// 157 / 666 ms at 43 / 87 MB, universal rules 162 / 729 ms, a 140,000-rule sheet linked 100
// times 788 / 1,191 ms at 147 / 183 MB, lines kept by a style (the sheet makes all but the first
// itself) 15 / 34 ms at 31 / 39 MB (through the rich text, before, 176 / 473 ms), formulas of 20,000
// references 498 / 1,967 ms at 76 / 212 MB, a 4000 x 4000 background picture named by every cell
// and paragraph (never decoded) 130 / 598 ms at 45 / 87 MB, a quote in a bare value before the
// table 495 / 2,213 ms at 61 / 158 MB. Read whole by the reader, 64,000 lines kept by a style
// take 298 ms at 49 MiB (469 ms at 84 MB when last measured before; charged 96 MiB); 160 and 640 formulas of 20,000 references (9.6 and 38
// MB) 538 ms and 2.2 s at 109 and 327 MiB (charged 225 and 885 MiB).
// What each thing takes through an open (BM_UnitCost, the difference of two sizes, Release): a
// character of a long paragraph 10.4 bytes (of a long first row, with the sheet's own reading,
// 12); a paragraph 630 with its character; a list item 479; a line kept by a style 350-440
// through the rich text, and where the sheet makes it itself, a line of a number 162 and of a
// word 194 with their two characters (1,500,000 and 6,000,000 lines), each further character of
// a line 11.4 (400,000 lines of 20 and 40 characters); a
// cell of a grid 700 with its paragraph and character, one made by a span alone 235 (before the
// rich text was built in one edit, each paragraph was laid out as it was made: 916, 963, 904 and
// 1,018); a link 593 beyond the
// same paragraph with an anchor that links nowhere (1,508 against 915), and 3.9 each character
// of its place's name (5,362 with a name of 1,011 characters); a picture's place 923
// beyond a paragraph's character (1,839 against 916; one small file beside the page, decoded
// once); a formula of millions of characters in one cell, above what the process held before,
// 95 a character ("=1+1+...") or 74 ("=B1+B1+..."); plain text in a long table the sheet reads
// itself 5.3 a character (4.3 less the page held here); rows of formulas the sheet reads itself
// (above base_MiB): sums of 100,000 distinct neighbouring cells 4.28, 4.22, 4.18, 4.15, 4.11 and
// 4.07 bytes a byte of page at 64, 80, 100, 120, 160 and 240 rows (the page's text and the
// cells' texts, held together while it is read, are the peak: each sum is registered as one
// block), of one cell named 100,000 times 4.0 and of 100,000 numbers 3.1; sums of every other
// cell of 100,000 rows, which make no runs, 116, 106 and 86 bytes a cell named beyond the
// formulas' text and tokens where each cell is named by 17, 80 and 120 formulas. Charged so:
// 100 rows of sums of neighbouring cells (69 MB) open at 367 MiB, charged 520 MiB; 120 and 240
// rows (83 and 166 MB, BM_OpenSumsOfDistinctCells) open in 3.3 and 5.7 s at 431 and 825 MiB,
// charged 599 and 1,072 MiB (before, registered cell by cell, 100 rows took 1,177 MiB and 120
// and 240 were refused, charged 1.78 and 3.35 GB). 6,000,000 lines kept by a style (12 MB), the
// sheet making all but the first itself, open in 2.1 s at 957 MiB (base 38), charged 1,293 MiB;
// lines of a word 2.7 s at 1,140 MiB; 1,500,000 lines 0.57 s at 263 MiB. Through the rich text
// alone, 6,000,000 were refused in 0.5 s at 368 MiB and 1,500,000 opened in 10.9 s at 761 MiB
// (base 238), charged 1,200 MiB. One formula of 8 million characters opens at 763 MiB, charged
// 824 MiB. Style rules (10^5 and 10^6 of one kind, the page's text included): a rule of a class
// 324 bytes, a rule naming an ancestor 351, a selector of one rule's long list 308, a rule of a
// linked sheet 364 with the file's bytes; 10^6 rules open in 0.8-1.5 s (medians of 7 runs; 9.6,
// 10.9 and 10.8 times the time of 10^5) at 327-374 MiB, charged 1,037-1,283 MiB (5.9-8.2 s at
// 738-838 MiB when each rule held strings and hash nodes of its own). Hostile
// matching (BM_OpenHostilePage 9-13, 4,000 and 16,000 paragraphs): under one element of 100,000
// classes and a rule naming one, 212 and 276 ms against 36 and 131 ms without them (25 s for
// 3,000 before); under 200 nested divs and 250 rules "div ... div p", 75 and 181 ms, with ">" 63
// and 254 ms, against 33 and 90 ms without the rules (10.9 and 8.2 s for 10,000 before). 21
// distinct 4 MB sheets linked from a small page (14) are refused after 1.6 s at 350 MiB (median
// of 7 runs, 1.3-1.9 s; 9.8 s at 873 MiB with rules of strings and hash nodes of their own).
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "glimmet/storage/gmAttributedImport.h"
#include "glimmet/storage/gmHtmlReader.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include <functional>

namespace {

QByteArray ReadData(const QString& name) {
  // The fixtures beside this source (run from the build folder, where its name is relative).
  QFile file(QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/../tests/data/html/") + name);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A peer's ledger page with its rows of data repeated to `rows` rows: its head (title, headers
// and the first data row) as written, then the other data rows again and again.
QByteArray PeerPage(const QString& name, int64_t rows) {
  const QByteArray page = ReadData(name);
  const qsizetype rent = page.indexOf("Rent");
  qsizetype first = page.lastIndexOf("<tr", rent);
  first = page.indexOf("</tr>", first) + 5;  // past the first data row
  const qsizetype end = page.lastIndexOf("</tr>") + 5;
  const QByteArray body = page.sliced(first, end - first);
  const int64_t perBody = std::max<int64_t>(body.count("<tr"), 1);
  QByteArray out = page.first(first);
  out.reserve(qsizetype(rows / perBody + 1) * body.size() + page.size());
  for (int64_t r = 0; r < rows; r += perBody) out += body;
  return out + page.sliced(end);
}

// The sheet's own page of `rows` rows of five cells: numbers, words, a date.
QByteArray OwnPage(int64_t rows) {
  EnsureBenchApplication();
  CADocument sheet;
  for (int64_t y = 0; y < rows; ++y) {
    sheet.cellAtGridPointImperative({0, y})->setFormula(QString::number(y));
    sheet.cellAtGridPointImperative({1, y})->setFormula(QStringLiteral("item %1").arg(y));
    sheet.cellAtGridPointImperative({2, y})->setFormula(QString::number(y * 1.5));
    sheet.cellAtGridPointImperative({3, y})->setFormula(QStringLiteral("2024-01-%1").arg(y % 28 + 1));
    sheet.cellAtGridPointImperative({4, y})->setFormula(QStringLiteral("Rent"));
  }
  QByteArray page;
  ExportRangeAsHtml(sheet, GridRange{{0, 0}, sheet.maxGridPoint()}, QString(), &page, nullptr, int64_t(1) << 40,
                    nullptr);
  return page;
}

QByteArray PageOfKind(int64_t kind, int64_t rows) {
  switch (kind) {
    case 0: return PeerPage(QStringLiteral("ledger-libreoffice.html"), rows);
    case 1: return PeerPage(QStringLiteral("ledger-gnumeric.html"), rows);
    default: return OwnPage(rows);
  }
}

// Opens the page (written to a file of a folder, with the files `beside` it) once a round.
void OpenPage(benchmark::State& state, const QByteArray& page, bool plainTables,
              const std::function<void(const QDir&)>& beside = {}) {
  EnsureBenchApplication();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("page.html"));
  {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) state.SkipWithError("write failed");
  }
  if (beside) beside(QDir(folder.path()));
  state.counters["file_MB"] = double(page.size()) / 1e6;
  state.counters["charged_MiB"] = double(HtmlPageReadingCost(QString::fromUtf8(page))) / 1048576.0;
  if (plainTables) {
    const int64_t plain = PlainTableReadingCost(page);
    if (plain >= 0) state.counters["plain_charged_MiB"] = double(plain) / 1048576.0;
  }
  const bool kept = SetPlainTableReading(plainTables);
  ResetPeakMemory();
  // What the process holds before the open (the page's bytes here among it): the open takes the
  // round's peak less this.
  state.counters["base_MiB"] = ResidentPeakMiB();
  bool refused = false;
  for (auto _ : state) {
    CADocument document;
    FLError error;
    refused = document.openFile(path, &error) == 0;
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.counters["rows"] = double(document.rows().size());
    state.ResumeTiming();
  }
  SetPlainTableReading(kept);
  state.counters["refused"] = refused;
}

// An open as the program makes it: range(0) the writer (LibreOffice, Gnumeric, the sheet),
// range(1) the rows.
void BM_OpenPeerPage(benchmark::State& state) {
  OpenPage(state, PageOfKind(state.range(0), state.range(1)), true);
}
BENCHMARK(BM_OpenPeerPage)
    ->ArgsProduct({{0, 1, 2}, {16000, 64000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The same page read whole by the HTML reader, no row by the sheet's own reader.
void BM_ReadPeerPageWhole(benchmark::State& state) {
  OpenPage(state, PageOfKind(state.range(0), state.range(1)), false);
}
BENCHMARK(BM_ReadPeerPageWhole)
    ->ArgsProduct({{0, 1, 2}, {16000, 64000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// The hostile pages, range(0) the page, range(1) its size.
QByteArray HostilePage(int64_t kind, int64_t n) {
  switch (kind) {
    case 0:  // a wide table left open in a cell, its rows after it
      return "<table><tr><td colspan=20480>w</td></tr><tr><td><table></td></tr>" +
             QByteArray("<tr><td>x</td></tr>").repeated(n) + "</table>";
    case 1:  // cells outside any table
      return QByteArray("<td colspan=20000>x</td>").repeated(n);
    case 2: {  // rules times elements
      QByteArray rules;
      for (int64_t i = 0; i < n / 2; ++i) rules += "p{margin-left:" + QByteArray::number(i) + "px}";
      return "<style>" + rules + "</style>" + QByteArray("<p>x</p>").repeated(n);
    }
    case 3:  // universal rules
      return "<style>" + QByteArray("*{color:red}").repeated(n) + "</style>" + QByteArray("<p>x</p>").repeated(n);
    case 4: {  // one sheet linked 100 times (the sheet beside the page)
      QByteArray links;
      for (int k = 0; k < 100; ++k) links += "<link rel=\"stylesheet\" href=\"big.css?" + QByteArray::number(k) + "\">";
      return links + QByteArray("<p>x</p>").repeated(n);
    }
    case 5:  // lines kept by a style sheet
      return "<style>p{white-space:pre}</style><p>" + QByteArray("1\n").repeated(n) + "</p>";
    case 6:  // formulas of references
      return "<table>" + ("<tr><td>=" + QByteArray("B1+").repeated(20000) + "B2</td><td>k</td></tr>").repeated(n / 100) +
             "</table>";
    case 7:  // a background picture named by every cell and paragraph
      return "<style>p{background-image:url(mid.png)}</style><table><tr>" +
             QByteArray("<td background=\"mid.png\">x</td>").repeated(n / 100) + "</tr></table>" +
             QByteArray("<p>y</p>").repeated(n);
    case 9: {  // one element of 100,000 classes over n / 4 paragraphs, a rule naming one of them
      QByteArray classes;
      for (int k = 0; k < 100000; ++k) classes += "c" + QByteArray::number(k) + " ";
      return "<style>.q p{color:red}</style><div class=\"" + classes + "q\">" + QByteArray("<p>x</p>").repeated(n / 4) +
             "</div>";
    }
    case 10:    // 250 rules "div ... div p" over n / 4 paragraphs 200 elements deep
    case 11: {  // the same rules with ">"
      QByteArray rules;
      const QByteArray joint = kind == 10 ? " " : ">";
      for (int k = 1; k <= 250; ++k) rules += "div" + (joint + "div").repeated(k - 1) + joint + "p{color:red}";
      return "<style>" + rules + "</style>" + QByteArray("<div>").repeated(200) + QByteArray("<p>x</p>").repeated(n / 4);
    }
    case 12:  // the paragraphs of 9 without the classes and the rule
      return "<div class=q>" + QByteArray("<p>x</p>").repeated(n / 4) + "</div>";
    case 13:  // the paragraphs of 10 and 11 without the rules
      return QByteArray("<div>").repeated(200) + QByteArray("<p>x</p>").repeated(n / 4);
    case 14: {  // 21 distinct sheets of 140,000 rules each (4 MB, beside the page) linked from a small page
      QByteArray links;
      for (int k = 0; k < 21; ++k) links += "<link rel=stylesheet href=\"sheet" + QByteArray::number(k) + ".css\">";
      return links + "<p class=c1>x</p>";
    }
    default:  // a quote in a bare value before a long table
      return "<p title=O'Brien>Name</p><table>" + QByteArray("<tr><td>1</td><td>2</td></tr>").repeated(n) +
             "</table><p>end</p>";
  }
}

void BM_OpenHostilePage(benchmark::State& state) {
  OpenPage(state, HostilePage(state.range(0), state.range(1)), true, [&](const QDir& folder) {
    if (state.range(0) == 4) {
      QFile sheet(folder.filePath(QStringLiteral("big.css")));
      if (sheet.open(QIODevice::WriteOnly))
        for (int i = 0; i < 140000; ++i) sheet.write("p.c" + QByteArray::number(i) + "{margin-left:3px}\n");
    }
    if (state.range(0) == 14)
      for (int k = 0; k < 21; ++k) {
        QFile sheet(folder.filePath(QStringLiteral("sheet%1.css").arg(k)));
        if (sheet.open(QIODevice::WriteOnly))
          for (int i = 0; i < 140000; ++i) sheet.write("p.s" + QByteArray::number(k) + "c" + QByteArray::number(i) + "{margin-left:3px}\n");
      }
    if (state.range(0) == 7) {
      QImage picture(4000, 4000, QImage::Format_RGB32);
      picture.fill(Qt::red);
      picture.save(folder.filePath(QStringLiteral("mid.png")));
    }
  });
}
// The same read whole by the HTML reader (a long table too), to measure what it holds.
void BM_ReadHostilePageWhole(benchmark::State& state) {
  OpenPage(state, HostilePage(state.range(0), state.range(1)), false);
}
BENCHMARK(BM_ReadHostilePageWhole)
    ->ArgsProduct({{5, 6}, {16000, 64000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Pages that hold many of one thing the reading charges for, to measure what each really takes
// through an open (the reader, the rich text it builds, the import and the sheet made from it):
// range(0) the thing, range(1) how many. Run two sizes, one a process, and divide the difference
// of the peaks by the difference of the counts.
QByteArray UnitPage(int64_t kind, int64_t n) {
  const auto rows = [](int count) { return QByteArray("<tr><td>1</td><td>2</td></tr>\n").repeated(count); };
  switch (kind) {
    case 0:  // characters of one long cell, the first row of a long table
      return "<table><tr><td>" + QByteArray(n, 'x') + "</td><td>2</td></tr>\n" + rows(70) + "</table>";
    case 1:  // paragraphs
      return QByteArray("<p>x").repeated(n);
    case 2:  // cells of a grid holding one character each, 100 a row
      return "<table>" + ("<tr>" + QByteArray("<td>x").repeated(100)).repeated(n / 100) + "</table>";
    case 3:  // cells of a grid made by spans alone
      return "<table><tr><td colspan=100>x</td></tr>" + QByteArray("<tr><td>y").repeated(n / 100) + "</table>";
    case 4:  // characters of formulas of one cell each, read by the reader
      return "<p>=" + QByteArray("B1+").repeated(n / 3) + "B2</p>";
    case 5:  // list items
      return "<ul>" + QByteArray("<li>x").repeated(n) + "</ul>";
    case 6:  // lines kept by a style sheet
      return "<style>p{white-space:pre}</style><p>" + QByteArray("1\n").repeated(n) + "</p>";
    case 21:  // characters of lines kept by a style sheet: 400,000 lines of words
      return "<style>p{white-space:pre}</style><p>" + (QByteArray(n / 400000, 'x') + "\n").repeated(400000) + "</p>";
    case 22:  // lines kept by a style sheet, each a word
      return "<style>p{white-space:pre}</style><p>" + QByteArray("x\n").repeated(n) + "</p>";
    case 7: {  // rows of formulas of references, a long table the sheet reads itself
      QByteArray formula = "=";
      for (int k = 1; k <= 100000; ++k) formula += "B" + QByteArray::number(k) + (k < 100000 ? "+" : "");
      return "<table>" + ("<tr><td>" + formula + "</td><td>k</td></tr>\n").repeated(n) + "</table>";
    }
    case 9:  // characters of one long paragraph
      return "<p>" + QByteArray(n, 'x') + "</p>";
    case 10:  // cells of a grid holding one character each, 100 a row, after a paragraph
      return "<p>a</p><table>" + ("<tr>" + QByteArray("<td>x").repeated(100)).repeated(n / 100) + "</table>";
    case 11:  // characters of short references in formulas of a long table the sheet reads itself
      return "<table>" + ("<tr><td>=" + QByteArray("B1+").repeated(100000) + "B2</td><td>k</td></tr>\n").repeated(n / 300000) +
             "</table>";
    case 12:  // characters of numbers in formulas of a long table the sheet reads itself
      return "<table>" + ("<tr><td>=" + QByteArray("1+").repeated(100000) + "2</td><td>k</td></tr>\n").repeated(n / 200000) +
             "</table>";
    case 13:  // characters of numbers in a formula read by the reader
      return "<p>=" + QByteArray("1+").repeated(n / 2) + "2</p>";
    case 18: {  // rows of formulas of references to every other cell, which make no runs
      QByteArray formula = "=";
      for (int k = 1; k < 100000; k += 2) formula += "B" + QByteArray::number(k) + (k + 2 < 100000 ? "+" : "");
      return "<table>" + ("<tr><td>" + formula + "</td><td>k</td></tr>\n").repeated(n) + "</table>";
    }
    case 19: {  // the same, each 17 rows naming cells of a column of their own
      QByteArray page = "<table>";
      for (int64_t r = 0; r < n; ++r) {
        const QByteArray column(1, char('B' + r / 17 % 24));
        QByteArray formula = "=";
        for (int k = 1; k < 100000; k += 2) formula += column + QByteArray::number(k) + (k + 2 < 100000 ? "+" : "");
        page += "<tr><td>" + formula + "</td><td>k</td></tr>\n";
      }
      return page + "</table>";
    }
    case 15:  // paragraphs of one link each, to a place of its own
      return QByteArray("<p><a href=\"http://e.y/p\">x</a>").repeated(n);
    case 20:  // paragraphs of one link each, its place's name 1,011 characters long
      return ("<p><a href=\"http://e.y/" + QByteArray(1000, 'p') + "\">x</a>").repeated(n);
    case 16:  // the same paragraphs, their anchors no links
      return QByteArray("<p><a>x</a>").repeated(n);
    case 17:  // paragraphs of one picture each, all of one file (beside the page)
      return QByteArray("<p><img src=\"dot.png\">").repeated(n);
    case 23: {  // style rules of a class each
      QByteArray rules;
      for (int64_t k = 0; k < n; ++k) rules += "p.c" + QByteArray::number(k) + "{margin-left:3px}\n";
      return "<style>" + rules + "</style><p class=c1>x</p>";
    }
    case 24: {  // style rules naming an ancestor each
      QByteArray rules;
      for (int64_t k = 0; k < n; ++k) rules += ".c" + QByteArray::number(k) + " p{color:red}\n";
      return "<style>" + rules + "</style><div class=c1><p>x</p></div>";
    }
    case 25: {  // selectors of one rule's list
      QByteArray list;
      for (int64_t k = 0; k < n; ++k) list += "p.c" + QByteArray::number(k) + ",";
      return "<style>" + list + "p{color:red}</style><p>x</p>";
    }
    case 26:  // style rules of a class each, in a sheet beside the page (sheet.css)
      return "<link rel=stylesheet href=sheet.css><p class=c1>x</p>";
    default:  // characters of plain text in a long table the sheet reads itself
      return "<table>" + ("<tr><td>" + QByteArray(1000, 'x') + "</td><td>k</td></tr>\n").repeated(n / 1000) +
             "</table>";
  }
}

void BM_UnitCost(benchmark::State& state) {
  OpenPage(state, UnitPage(state.range(0), state.range(1)), true, [&](const QDir& folder) {
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::red);
    dot.save(folder.filePath(QStringLiteral("dot.png")));
    if (state.range(0) == 26) {
      QFile sheet(folder.filePath(QStringLiteral("sheet.css")));
      if (sheet.open(QIODevice::WriteOnly))
        for (int64_t k = 0; k < state.range(1); ++k) sheet.write("p.c" + QByteArray::number(k) + "{margin-left:3px}\n");
    }
  });
}
BENCHMARK(BM_UnitCost)
    ->Args({0, 8000000})->Args({0, 16000000})
    ->Args({1, 200000})->Args({1, 400000})
    ->Args({2, 200000})->Args({2, 400000})
    ->Args({3, 200000})->Args({3, 400000})
    ->Args({4, 8000000})->Args({4, 16000000})
    ->Args({5, 200000})->Args({5, 400000})
    ->Args({6, 200000})->Args({6, 400000})
    ->Args({7, 64})->Args({7, 80})->Args({7, 100})->Args({7, 120})->Args({7, 160})->Args({7, 240})
    ->Args({6, 1500000})->Args({6, 6000000})
    ->Args({21, 8000000})->Args({21, 16000000})
    ->Args({22, 1500000})->Args({22, 6000000})
    ->Args({8, 40000000})->Args({8, 80000000})
    ->Args({9, 8000000})->Args({9, 16000000})
    ->Args({10, 200000})->Args({10, 400000})
    ->Args({11, 24000000})->Args({11, 36000000})
    ->Args({12, 16000000})->Args({12, 24000000})
    ->Args({13, 8000000})->Args({13, 16000000})
    ->Args({13, 400000})->Args({13, 800000})->Args({13, 2000000})->Args({13, 4000000})
    ->Args({15, 200000})->Args({15, 400000})
    ->Args({16, 200000})->Args({16, 400000})
    ->Args({20, 50000})->Args({20, 100000})
    ->Args({17, 200000})->Args({17, 400000})
    ->Args({18, 80})->Args({18, 120})
    ->Args({19, 68})->Args({19, 136})
    ->Args({23, 100000})->Args({23, 1000000})
    ->Args({24, 100000})->Args({24, 1000000})
    ->Args({25, 100000})->Args({25, 1000000})
    ->Args({26, 20000})->Args({26, 150000})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Rows of one formula each that sums 100,000 distinct cells (=B1+B2+...+B100000), beside a word,
// opened as an open does: range(0) the rows (120 make 83 MB of page, 240 166 MB). Reports the
// time, the round's peak, the charge and whether the open was refused.
void BM_OpenSumsOfDistinctCells(benchmark::State& state) { OpenPage(state, UnitPage(7, state.range(0)), true); }
BENCHMARK(BM_OpenSumsOfDistinctCells)->Arg(120)->Arg(240)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK(BM_OpenHostilePage)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}, {16000, 64000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

