// The style engine of the pages the HTML reader reads: a sheet read once, then every element of
// the page matched against it and its style worked out, as the reader does for each element it
// makes. The hostile shapes (thousands of rules of one selector, one selector repeated in a list
// of hundreds of thousands, thousands of rules of one type, thousands of descendant rules naming
// ancestors the page does not have) must cost an element what a plain sheet does, not a match
// per rule written: ns_per_element stays flat from the small size to the large one, and near the
// plain sheet's.
// Figures (Release, match and style of each element with the sheet's reading): a plain sheet
// 840 ns an element at 10,000 and 40,000 paragraphs, an office suite's 550 ns; 2,500 and 10,000
// rules `*{color:red}` 675 ns; `p,p,...` of 50,001 and 200,001 selectors over 500 and 2,000
// paragraphs 2.0 us (1.0 and 4.1 ms in all); 4,000 and 16,000 rules `p{margin-left:Npx}` 430 ns;
// 4,000 and 16,000 rules `xN p` 1.1 and 1.3 us. One 3.4 MB sheet of 140,000 rules is read once
// whether linked and imported once or 100 times each: 0.65 s, 68 MiB charged. Sheets of one kind
// of piece, 10^5 and 10^6 (BM_SheetOfOnePiece; medians of 7 runs interleaved, each in a process of
// its own, on a machine shared with other work): rules of a class 117 and 1,113 ms (9.5 times for
// 10 times the pieces), rules naming an ancestor 118 and 1,410 ms (11.9), selectors of one list
// 59 and 692 ms (11.8); 0.5-0.7 s and 5-7 s when each rule held strings, vectors and hash nodes of
// its own. Refused at a budget of 1.5 GiB (BM_RefusedSheets): one list of 4.2 million selectors
// 0.40 s, before any rule is made; 21 linked sheets of 4 MB 1.44 s, six of them made whole (7.2 s
// before).
#include "glimmet/storage/gmCss.h"

#include <benchmark/benchmark.h>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <deque>
#include <functional>

namespace {

// A page's elements as the reader hands them over: paragraphs in a body in an html element,
// every fourth one with a class.
struct Page {
  QString html = QStringLiteral("html"), body = QStringLiteral("body"), p = QStringLiteral("p"),
          note = QStringLiteral("note");
  GMCssElement root, inBody;
  std::deque<GMCssElement> paragraphs;

  explicit Page(int count) {
    root.name = html;
    inBody.name = body;
    inBody.parent = &root;
    for (int k = 0; k < count; ++k) {
      GMCssElement& e = paragraphs.emplace_back();
      e.name = p;
      e.parent = &inBody;
      if (k % 4 == 0) e.classes.push_back(note);
    }
  }
};

// What the sheets charged in the last pass: each pass reads the sheet and matches every element
// of the page, and styles each when `styled`; the sheet's reading is timed with the matching, as
// the page pays both.
int64_t ReadAndMatch(benchmark::State& state, const QString& sheet, const Page& page, bool styled) {
  int64_t charged = 0;
  for (auto _ : state) {
    charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return true;
    });
    if (!sheets.addSheet(sheet, QUrl())) state.SkipWithError("refused");
    const GMCssStyle parent;
    std::vector<const GMCssDeclaration*> found;
    for (const GMCssElement& e : page.paragraphs) {
      found.clear();
      if (!sheets.match(e, &found)) state.SkipWithError("refused");
      if (!styled) continue;
      GMCssStyle style = parent.inherited();
      ApplyCssDeclarations(found, parent, &style);
      benchmark::DoNotOptimize(style);
    }
  }
  return charged;
}

void StylePage(benchmark::State& state, int elements, const QString& sheet) {
  const int64_t charged = ReadAndMatch(state, sheet, Page(elements), true);
  state.counters["ns_per_element"] =
      benchmark::Counter(double(elements), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["charged_MiB"] = double(charged) / 1048576.0;
}

QString Repeated(int count, const std::function<QString(int)>& piece) {
  QString text;
  for (int k = 0; k < count; ++k) text += piece(k);
  return text;
}

// A sheet as pages have them: a few dozen rules of types, classes and descendants.
QString PlainSheet() {
  return QStringLiteral(
      "body{font-family:Arial,sans-serif;font-size:10pt;color:#333}"
      "h1{font-size:18pt;font-weight:bold} h2{font-size:14pt} p{margin:0 0 6pt 0}"
      "p.note{color:gray;font-style:italic} td,th{padding:2px 4px;vertical-align:top}"
      "table.grid td{border:1px solid #ccc} .right{text-align:right} .num{text-align:right}"
      "ul li{list-style-type:square} a{color:#06c;text-decoration:none} div.box p{margin-left:12pt}"
      "@media print{p{color:black}}");
}

// Elements: the page's paragraphs; the sheet grows with them.
void BM_PlainSheet(benchmark::State& state) { StylePage(state, int(state.range(0)), PlainSheet()); }
BENCHMARK(BM_PlainSheet)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// The sheet an office suite writes at the head of its pages: every cell matches its first rule.
void BM_OfficeSheet(benchmark::State& state) {
  StylePage(state, int(state.range(0)),
            QStringLiteral("body,div,table,thead,tbody,tfoot,tr,th,td,p { font-family:\"Liberation Sans\"; "
                           "font-size:x-small } a.comment-indicator:hover + comment { background:#ffd; } "
                           "a.comment-indicator { background:red; display:inline-block; border:1px solid black; "
                           "width:0.5em; height:0.5em; } comment { display:none; }"));
}
BENCHMARK(BM_OfficeSheet)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// Rules `*{color:red}`, as many as the paragraphs.
void BM_UniversalRules(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, Repeated(n, [](int) { return QStringLiteral("*{color:red}"); }));
}
BENCHMARK(BM_UniversalRules)->Arg(2500)->Arg(10000)->Unit(benchmark::kMillisecond);

// One rule `p,p,...,p{color:red}` of a hundred selectors for each paragraph.
void BM_RepeatedSelector(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, QStringLiteral("p") + Repeated(100 * n, [](int) {
                        return QStringLiteral(",p");
                      }) + QStringLiteral("{color:red}"));
}
BENCHMARK(BM_RepeatedSelector)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);

// Rules `p{margin-left:Npx}`, two for every five paragraphs.
void BM_TypeRules(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, Repeated(n * 2 / 5, [](int k) { return QStringLiteral("p{margin-left:%1px}").arg(k); }));
}
BENCHMARK(BM_TypeRules)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// Rules `xN p{color:red}`, two for every five paragraphs, each naming an ancestor no paragraph has.
void BM_DescendantRules(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, Repeated(n * 2 / 5, [](int k) { return QStringLiteral("x%1 p{color:red}").arg(k); }));
}
BENCHMARK(BM_DescendantRules)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

// A page linking `n` times (each with its own query string) to one sheet of 140,000 rules
// (4 MB), and importing it as often again, over 10,000 paragraphs: the file is read once.
void BM_LinkedSheet(benchmark::State& state) {
  const int links = int(state.range(0));
  QTemporaryDir folder;
  {
    QFile file(folder.filePath(QStringLiteral("big.css")));
    if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
    for (int k = 0; k < 140000; ++k) file.write(QStringLiteral("p.c%1{margin-left:1px}\n").arg(k).toUtf8());
  }
  const QUrl base = QUrl::fromLocalFile(folder.filePath(QStringLiteral("page.html")));
  const QString imports = Repeated(links, [](int k) { return QStringLiteral("@import \"big.css?%1\";").arg(k); });
  const Page page(10000);
  int64_t charged = 0;
  int files = 0;
  for (auto _ : state) {
    charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return true;
    });
    for (int k = 0; k < links; ++k)
      if (!sheets.addLinkedSheet(QUrl(QStringLiteral("big.css?%1").arg(k)), base)) state.SkipWithError("refused");
    if (!sheets.addSheet(imports, base)) state.SkipWithError("refused");
    std::vector<const GMCssDeclaration*> found;
    for (const GMCssElement& e : page.paragraphs) {
      found.clear();
      if (!sheets.match(e, &found)) state.SkipWithError("refused");
    }
    files = sheets.filesRead();
  }
  state.counters["files_read"] = files;
  state.counters["charged_MiB"] = double(charged) / 1048576.0;
}
BENCHMARK(BM_LinkedSheet)->Arg(1)->Arg(100)->Unit(benchmark::kMillisecond);

// A sheet of one kind of piece, 10^5 and 10^6 of them (range(1)), read and matched by a page's
// few elements: range(0) 0, rules of a class each "p.cN{margin-left:3px}"; 1, rules naming an
// ancestor ".cN p{color:red}"; 2, selectors of one rule's list "p.cN,". The time grows with the
// pieces alone (at most 12 times for 10 times the pieces); ns_per_piece stays near flat.
void BM_SheetOfOnePiece(benchmark::State& state) {
  const int n = int(state.range(1));
  QString sheet;
  sheet.reserve(qsizetype(n) * 24);
  for (int k = 0; k < n; ++k) {
    switch (state.range(0)) {
      case 0: sheet += QStringLiteral("p.c%1{margin-left:3px}").arg(k); break;
      case 1: sheet += QStringLiteral(".c%1 p{color:red}").arg(k); break;
      default: sheet += QStringLiteral("p.c%1,").arg(k); break;
    }
  }
  if (state.range(0) == 2) sheet += QStringLiteral("p{color:red}");
  const int64_t charged = ReadAndMatch(state, sheet, Page(100), false);
  state.counters["ns_per_piece"] =
      benchmark::Counter(double(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["charged_MiB"] = double(charged) / 1048576.0;
}
BENCHMARK(BM_SheetOfOnePiece)
    ->ArgsProduct({{0, 1, 2}, {100000, 1000000}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Pages past the reader's budget (1.5 GiB), timed to their refusal: range(0) 0, one rule listing
// 4.2 million selectors "p.cN,"; 1, 21 distinct sheets of 4 MB of rules "p.cN{margin-left:3px}"
// linked from one page.
void BM_RefusedSheets(benchmark::State& state) {
  constexpr int64_t kBudget = int64_t(3) << 29;
  QTemporaryDir folder;
  const QUrl base = QUrl::fromLocalFile(folder.filePath(QStringLiteral("page.html")));
  QString list;
  if (state.range(0) == 0) {
    list.reserve(qsizetype(4200000) * 11);
    for (int k = 0; k < 4200000; ++k) list += QStringLiteral("p.c%1,").arg(k);
    list += QStringLiteral("p{color:red}");
  } else {
    int n = 0;
    for (int f = 0; f < 21; ++f) {
      QFile file(folder.filePath(QStringLiteral("s%1.css").arg(f)));
      if (!file.open(QIODevice::WriteOnly)) state.SkipWithError("write failed");
      QByteArray bytes;
      while (bytes.size() < 4 * 1024 * 1024 - 64) bytes += QStringLiteral("p.c%1{margin-left:3px}\n").arg(n++).toUtf8();
      file.write(bytes);
    }
  }
  int64_t charged = 0;
  bool refused = false;
  for (auto _ : state) {
    charged = 0;
    GMStyleSheets sheets([&](int64_t bytes) {
      charged += bytes;
      return charged <= kBudget;
    });
    if (state.range(0) == 0) {
      refused = !sheets.addSheet(list, base);
    } else {
      refused = false;
      for (int f = 0; f < 21 && !refused; ++f)
        refused = !sheets.addLinkedSheet(QUrl(QStringLiteral("s%1.css").arg(f)), base);
    }
  }
  if (!refused) state.SkipWithError("not refused");
  state.counters["charged_MiB"] = double(charged) / 1048576.0;
}
BENCHMARK(BM_RefusedSheets)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
