// The benchmarks' own main makes no application object, but documents measure their font and
// sheets draw text, which need a GUI application: each benchmark that touches either makes one
// (offscreen) through this, once, before its first document.
#pragma once

#include "framlet/foundation/FLKernel.h"

#include <QApplication>

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
