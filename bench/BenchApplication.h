// The benchmarks' own main makes no application object, but documents measure their font and
// sheets draw text, which need a GUI application: each benchmark that touches either makes one
// (offscreen) through this, once, before its first document.
#pragma once

#include "framlet/foundation/FLKernel.h"

#include <QApplication>

#include <benchmark/benchmark.h>

inline void EnsureBenchApplication() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  if (!QCoreApplication::instance()) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication* application = new QApplication(argc, argv);
    (void)application;
  }
  FLKernel::sharedInstance();
}

// What an executable with modes of its own runs once none of them was asked for.
inline int RunBenchmarks(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
