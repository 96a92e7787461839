// The process's memory high-water marks for benchmarks that report their peaks. Only one
// benchmark per process makes them meaningful (getrusage's mark cannot be lowered):
//   benchExcelImport --benchmark_filter='BM_WorkbookToNative/65500$'
#pragma once

#include <QFile>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

// Lowers the kernel's high-water mark to what the process holds now (Linux 4.0 and later).
inline void ResetPeakMemory() {
  malloc_trim(0);  // what the input's making held goes back to the system first
  const int fd = ::open("/proc/self/clear_refs", O_WRONLY | O_CLOEXEC);
  if (fd < 0) return;
  (void)!::write(fd, "5", 1);
  ::close(fd);
}

// The kernel's high-water mark of resident memory, in MiB; 0 where it cannot be read.
inline double ResidentPeakMiB() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n'))
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  return 0;
}

// "peak_MiB", the process's peak from its start, and "round_peak_MiB", the peak since the
// last ResetPeakMemory().
inline void ReportPeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MiB"] = double(usage.ru_maxrss) / 1024.0;
  state.counters["round_peak_MiB"] = ResidentPeakMiB();
}
