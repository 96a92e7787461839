// Fuzz entry for the parsers of typed and archived numbers and of A1 references: any bytes,
// read as UTF-8, must never crash, hang or read outside the text.
#include <QString>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/CANumber.h"
#include "calculator/model/caDocumentXml.h"
#include "framlet/foundation/flDates.h"

#include <QLocale>
#include <memory>

int FuzzParseNumber(const uint8_t* data, size_t size) {
  const QString text =
      QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

  for (bool groups : {false, true}) {
    qsizetype index = 0;
    const CANumber number = CANumber::withString(text, &index, text.size(), groups);
    if (index < 0 || index > text.size()) __builtin_trap();
    // What was read must survive its own archive and display.
    const auto back = CANumber::withArchive(number.archive());
    if (!back || !(*back == number || !number.isValid())) __builtin_trap();
    (void)number.description();
    (void)CANumber::withValidatedString(text, groups);
    // A real's own digits, typed, are that real again (subnormal ones lie outside the reader's
    // correctly rounded range).
    if (number.form() == kNumberReal && std::fabs(number.realValue()) >= LDBL_MIN) {
      const auto typed = CANumber::withValidatedString(number.formatForArchival(), false);
      if (!typed || !(*typed == number)) __builtin_trap();
    }
  }
  // The syntaxes of locales and pages: blanks and apostrophes between groups, currency symbols of
  // letters, Arabic separators.
  const CANumberSyntax syntaxes[] = {
      {u',', QChar(0x00A0), QStringLiteral("kr")}, {u'.', QChar(0x2019), QStringLiteral("CHF")},
      {u',', u'.', QStringLiteral("R$")},           {QChar(0x066B), QChar(0x066C), QString::fromUtf8("\u062c.\u0645.\u200f")},
      {u'.', QChar(), QString()}};
  for (const CANumberSyntax& syntax : syntaxes) (void)CANumber::withValidatedString(text, syntax);
  (void)CANumber::withArchive(text);
  // The text as a formula's, between the decimal comma and the point: a comma that parts
  // arguments under the one parts them under the other.
  {
    const CAFormulaSeparators comma{u',', u','};
    const CAFormulaSeparators point{u'.', u','};
    const QString formula = QLatin1Char('=') + text;
    (void)TranslateFormulaSeparators(TranslateFormulaSeparators(formula, comma, point), point, comma);
  }
  // Dates as pages in a language write them: the words of a few languages, year first or not.
  static const std::shared_ptr<const DateWords> kWords[] = {
      std::make_shared<const DateWords>(DateWordsOfLocale(QLocale(QStringLiteral("de_DE")))),
      std::make_shared<const DateWords>(DateWordsOfLocale(QLocale(QStringLiteral("pt_BR")))),
      std::make_shared<const DateWords>(DateWordsOfLocale(QLocale(QStringLiteral("en_US"))))};
  for (const auto& words : kWords)
    for (const bool yearFirst : {false, true}) {
      const int32_t day = ParseWrittenDate(text, DateTextOrder{!yearFirst, false, yearFirst, words});
      if (day != 0 && !IsValidDate(day)) __builtin_trap();
    }
  for (int base : {2, 8, 10, 16})
    for (int wordSize : {16, 32, 64}) (void)CANumber::withString(text, base, wordSize);

  // Every span of a short text as an A1 reference; formatting what parsed must read back.
  const qsizetype limit = text.size() < 48 ? text.size() : 48;
  for (qsizetype first = 0; first < limit; ++first) {
    for (qsizetype end = first; end <= limit; ++end) {
      GridPoint point;
      if (!ParseGridPoint(text, first, end, &point)) continue;
      const QString formatted = FormatGridPoint(point);
      GridPoint again;
      if (!ParseGridPoint(formatted, 0, formatted.size(), &again) || !(again == point))
        __builtin_trap();
    }
  }
  (void)GridPointFromStringCalc(text, false);
  return 0;
}
