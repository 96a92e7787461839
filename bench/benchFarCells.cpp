// Commands over a sheet with one cell a billion rows down (and one 200,000 columns across):
// sorting the whole sheet and making whole rows bold must cost what the cells cost, not what the
// rows and columns between them would. Targets: under 50 ms and 10 MB each.
//
// `peak_MiB` is the growth of the kernel's high-water mark of resident memory over the command
// (the mark is reset before each run), `held_MiB` what the command left allocated.
#include <benchmark/benchmark.h>

#include "BenchApplication.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/caModelServices.h"

#include <QFile>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <memory>

namespace {

constexpr int64_t kFarRow = 1000000000;
constexpr int64_t kFarColumn = 200000;

void ResetResidentPeak() {
  const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  (void)!::write(fd, "5", 1);
  ::close(fd);
}

double ResidentMiB(const char* key) {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith(key)) return line.mid(int(qstrlen(key))).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return 0;
}

double AllocatedBytes() { return double(mallinfo2().uordblks) + double(mallinfo2().hblkhd); }

// Twenty rows of a name and a number, and one cell far down and one far across.
std::unique_ptr<CADocument> MakeFarSheet() {
  auto document = std::make_unique<CADocument>();
  for (int64_t y = 0; y < 20; ++y) {
    document->cellAtGridPointImperative({0, y})->setFormula(QString::number((y * 7) % 20));
    document->cellAtGridPointImperative({1, y})->setFormula(QStringLiteral("row %1").arg(y));
  }
  document->cellAtGridPointImperative({0, kFarRow})->setFormula(QStringLiteral("3"));
  document->cellAtGridPointImperative({kFarColumn, 1})->setFormula(QStringLiteral("across"));
  document->evaluate();
  return document;
}

// Runs the command on a fresh sheet each iteration, timing the command alone.
template <typename Command>
void MeasureCommand(benchmark::State& state, Command command) {
  EnsureBenchApplication();
  CAModelPreferences preferences;
  preferences.sortWholeDoc = true;
  preferences.sortColumns = false;
  SetModelPreferencesProvider([preferences] { return preferences; });
  double peak = 0;
  double held = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::unique_ptr<CADocument> document = MakeFarSheet();
    malloc_trim(0);
    ResetResidentPeak();
    const double resident = ResidentMiB("VmRSS:");
    const double before = AllocatedBytes();
    state.ResumeTiming();
    command(*document);
    state.PauseTiming();
    peak = std::max(peak, ResidentMiB("VmHWM:") - resident);
    held = std::max(held, (AllocatedBytes() - before) / (1024.0 * 1024.0));
    document.reset();
    state.ResumeTiming();
  }
  state.counters["peak_MiB"] = peak;
  state.counters["held_MiB"] = held;
  SetModelPreferencesProvider(nullptr);
}

void BM_SortSheetWithAFarRow(benchmark::State& state) {
  MeasureCommand(state, [](CADocument& document) {
    document.setSortKey1({0, 0});
    document.setSelectionPoint({0, 0});
    document.sort();
  });
}
BENCHMARK(BM_SortSheetWithAFarRow)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_BoldWholeRowsWithAFarColumn(benchmark::State& state) {
  MeasureCommand(state, [](CADocument& document) {
    document.setSelectionRange(GridRange{{kGridWildcard, 0}, {kGridWildcard, 2}});
    document.setValue(1, kFormatBold, kDomainCell);
    document.setValue(1, kFormatItalic, kDomainRow);
  });
}
BENCHMARK(BM_BoldWholeRowsWithAFarColumn)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
