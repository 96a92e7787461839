// The style engine of the pages the HTML reader reads: a sheet read once, then every element of
// the page matched against it and its style worked out, as the reader does for each element it
// makes. The hostile shapes (thousands of rules of one selector, one selector repeated in a list
// of hundreds of thousands, thousands of rules of one type) must cost an element what a plain
// sheet does, not a match per rule written: ns_per_element stays flat from the small size to the
// large one, and near the plain sheet's.
#include "glimmet/storage/gmCss.h"

#include <benchmark/benchmark.h>

#include <QString>

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

// Reads the sheet, then matches and styles every element; the sheet's reading is timed with the
// matching, as the page pays both.
void StylePage(benchmark::State& state, int elements, const QString& sheet) {
  const Page page(elements);
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
      GMCssStyle style = parent.inherited();
      ApplyCssDeclarations(found, parent, &style);
      benchmark::DoNotOptimize(style);
    }
  }
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

// Rules `*{color:red}`, as many as the paragraphs.
void BM_UniversalRules(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, Repeated(n, [](int) { return QStringLiteral("*{color:red}"); }));
}
BENCHMARK(BM_UniversalRules)->Arg(2500)->Arg(10000)->Unit(benchmark::kMillisecond);

// One rule `p,p,...,p{color:red}` of a hundred selectors for each paragraph.
void BM_RepeatedSelector(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n,
            QStringLiteral("p") + Repeated(100 * n, [](int) { return QStringLiteral(",p"); }) +
                QStringLiteral("{color:red}"));
}
BENCHMARK(BM_RepeatedSelector)->Arg(500)->Arg(2000)->Unit(benchmark::kMillisecond);

// Rules `p{margin-left:Npx}`, two for every five paragraphs.
void BM_TypeRules(benchmark::State& state) {
  const int n = int(state.range(0));
  StylePage(state, n, Repeated(n * 2 / 5, [](int k) { return QStringLiteral("p{margin-left:%1px}").arg(k); }));
}
BENCHMARK(BM_TypeRules)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace
