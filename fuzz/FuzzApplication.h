// Documents measure their font, which needs a GUI application. The libFuzzer driver has no
// application at all: one is made here, headless. A driver that made a plain core application
// cannot get one, and nothing is read.
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>

inline bool HaveGuiApplication() {
  if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return true;
  if (QCoreApplication::instance()) return false;
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication* application = new QGuiApplication(argc, argv);
  return application != nullptr;
}
