// One entry appended to the application's log when the file has reached its limit, or grown far
// past it (a sparse file of the given size): the cost of the entry that brings the file back
// under the limit, which runs on whatever thread logs, the window's included.
#include "framlet/foundation/FLLogger.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>

namespace {

// The log grown to `size` bytes: a hole that costs no disk, then up to 8 MiB of numbered lines.
void GrowLog(const QString& path, int64_t size) {
  static const QByteArray lines = [] {
    QByteArray made;
    for (int i = 0; made.size() < 8 << 20; ++i)
      made += QByteArray::number(i).rightJustified(8, '0') + QByteArray(91, '.') + '\n';
    return made;
  }();
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return;
  const int64_t data = std::min<int64_t>(size, lines.size());
  file.resize(size - data);
  file.seek(size - data);
  file.write(lines.constData() + (lines.size() - data), data);
}

void BM_LogEntryAtSize(benchmark::State& state) {
  QTemporaryDir folder;
  FLLogger logger(folder.path());
  const QString path = logger.logFilePath();
  const int64_t size = state.range(0);
  for (auto _ : state) {
    state.PauseTiming();
    logger.shutDown();
    GrowLog(path, size);
    state.ResumeTiming();
    logger.logString(QStringLiteral("an entry past the limit"));
  }
  state.counters["size_after_KiB"] = double(QFile(path).size()) / 1024.0;
}
BENCHMARK(BM_LogEntryAtSize)
    ->Arg(int64_t(FLLogger::kLogSizeLimit))
    ->Arg(int64_t(1) << 30)
    ->Arg(int64_t(2) << 30)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// An entry in a log below its limit, for comparison.
void BM_LogEntry(benchmark::State& state) {
  QTemporaryDir folder;
  FLLogger logger(folder.path());
  for (auto _ : state) logger.logString(QStringLiteral("an ordinary entry"));
}
BENCHMARK(BM_LogEntry)->Unit(benchmark::kMicrosecond);

}  // namespace
