// Pages of one kind of piece that no charge once priced, opened and pasted as the program does
// (the heap meter and the step bound hold them): range(0) the kind, range(1) how many pieces.
// Each run reports the time, the round's peak and what the process held before, and whether
// the page was refused. Run one benchmark a process (peaks are per process), e.g.
//   benchMeteredPages --benchmark_filter='BM_OpenMeteredPage/3/1000000/iter'
// Figures (Release, one benchmark a process; opened, and pasted where it differs): 10^5 and 10^6
// pieces of "</" 33 / 244 ms, classes 24 / 156 ms, bare attributes 24 / 159 ms, empty tables
// 348 / 913 ms (88 MiB peak), runs in other looks 303 ms / 2.6 s, paragraphs 782 ms / 7.9 s
// (a loaded machine); tables of one cell 3.3 s at 10^5, 10^6 refused in 1.8 s at 577 MiB. The pages
// once filed: "</" x 800,000 241 ms; 40 million classes refused in 0.75 s at 409 MiB, 40 million
// bare attributes in 1.9 s at 901 MiB (pasted 1.0 s at 257 MiB); 4,500,000 empty tables in 1.2 s
// at 284 MiB; 1,400,000 tables of one cell in 1.6 s at 600 MiB; 3,000,000 pairs of runs (48 MB) in
// 0.2 s (the first check); 200 rows of a cell spanning 20,000 columns in 5 ms (the step bound);
// 20 such rows open in 7.3 ms, opened or pasted (2.9 s while each column a span covered was made
// a cell), where the same rows without the spans take 6.6 ms opened and 4.9 ms pasted.
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "BenchPeakMemory.h"
#include "calculator/fileformats/caFileFormatServices.h"
#include "calculator/fileformats/caHtml.h"
#include "calculator/model/CADocument.h"
#include "platform/FLError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray MeteredPage(int64_t kind, int64_t n) {
  switch (kind) {
    case 0:  // "</" with no name after it
      return QByteArray("</").repeated(n);
    case 1:  // one element of n classes
      return "<p class=\"" + QByteArray("a ").repeated(n) + "\">x</p>";
    case 2:  // one tag of n bare attributes
      return "<p " + QByteArray("a ").repeated(n) + ">x</p>";
    case 3:  // empty tables
      return QByteArray("<table></table>").repeated(n) + "x";
    case 4:  // tables of one cell
      return QByteArray("<table><td>x</table>").repeated(n);
    case 5:  // runs in other looks, two a repeat
      return QByteArray("<b>x</b><i>y</i>").repeated(n / 2);
    case 6:  // rows of one empty cell spanning 20,000 columns
      return "<table>" + QByteArray("<tr><td colspan=20000></td></tr>").repeated(n) + "</table>";
    case 8:  // the rows of 6 without their spans, for comparison
      return "<table>" + QByteArray("<tr><td></td></tr>").repeated(n) + "</table>";
    default:  // paragraphs: the page without a hostile part, for comparison
      return QByteArray("<p>x</p>").repeated(n);
  }
}

void Measure(benchmark::State& state, const std::function<bool(const QByteArray&)>& read) {
  EnsureBenchApplication();
  InstallFileFormatServices();
  const QByteArray page = MeteredPage(state.range(0), state.range(1));
  state.counters["file_MB"] = double(page.size()) / 1e6;
  ResetPeakMemory();
  state.counters["base_MiB"] = ResidentPeakMiB();
  bool refused = false;
  for (auto _ : state) {
    refused = !read(page);
    state.PauseTiming();
    state.counters["round_peak_MiB"] = ResidentPeakMiB();
    state.ResumeTiming();
  }
  state.counters["refused"] = refused;
}

void BM_OpenMeteredPage(benchmark::State& state) {
  QTemporaryDir folder;
  const QString path = QDir(folder.path()).filePath(QStringLiteral("page.html"));
  Measure(state, [&](const QByteArray& page) {
    {
      QFile file(path);
      if (!file.open(QIODevice::WriteOnly) || file.write(page) != page.size()) return false;
    }
    CADocument document;
    FLError error;
    return document.openFile(path, &error) != 0;
  });
}

void BM_PasteMeteredPage(benchmark::State& state) {
  Measure(state, [](const QByteArray& page) {
    CADocument document;
    bool refused = false;
    return LoadPastedHtml(document, QString::fromUtf8(page), &refused);
  });
}

// 10^5 and 10^6 pieces of each kind, and the sizes once filed against the reader.
void Sizes(benchmark::internal::Benchmark* bench) {
  for (int64_t kind = 0; kind <= 7; ++kind)
    if (kind != 6)
      for (int64_t n : {100000, 1000000}) bench->Args({kind, n});
  bench->Args({0, 400000})->Args({0, 800000});
  bench->Args({1, 40000000})->Args({2, 40000000});
  bench->Args({3, 4500000})->Args({4, 1400000})->Args({5, 6000000});
  bench->Args({6, 200})->Args({6, 20})->Args({6, 2000})->Args({8, 20});
}
BENCHMARK(BM_OpenMeteredPage)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PasteMeteredPage)->Apply(Sizes)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
