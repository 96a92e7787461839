// Expected number texts written once in English and read in the locale the test runs in.
#pragma once

#include "calculator/model/CANumberFormat.h"

#include <QString>

// The text in the locale: "." and "," of the expected text become its separators.
inline QString InLocale(const char* english) {
  const CANumberLocale& locale = NumberTextLocale();
  QString text;
  for (const QChar c : QString::fromUtf8(english)) {
    if (c == QLatin1Char('.'))
      text += locale.decimalSeparator;
    else if (c == QLatin1Char(','))
      text += locale.groupSeparator;
    else
      text += c;
  }
  return text;
}
