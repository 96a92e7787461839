// Runs part of a test as a user of another locale: Qt's default locale, the number texts'
// separators and the order typed dates are read in all follow it, and all go back to the
// English (United States) locale the test programs pin when the scope ends.
#pragma once

#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/flDates.h"

#include <QLocale>

class TestLocale {
 public:
  explicit TestLocale(const QLocale& locale) { use(locale); }
  explicit TestLocale(const char* name) : TestLocale(QLocale(QString::fromLatin1(name))) {}
  ~TestLocale() { use(QLocale(QLocale::English, QLocale::UnitedStates)); }
  TestLocale(const TestLocale&) = delete;
  TestLocale& operator=(const TestLocale&) = delete;

 private:
  static void use(const QLocale& locale) {
    QLocale::setDefault(locale);
    SetNumberTextLocale(locale);
    SetDayFirstDateFormat(23);  // read again from the default locale
  }
};
