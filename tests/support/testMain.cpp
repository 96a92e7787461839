// Every test executable starts a headless application first, since images, fonts and the
// clipboard need one, and pins the locale so formatted numbers do not depend on the machine.
#include "platform/Application.h"

#include <QLocale>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  testing::InitGoogleTest(&argc, argv);
  Application app(argc, argv);
  return RUN_ALL_TESTS();
}
