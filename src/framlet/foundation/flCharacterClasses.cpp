// Character classes from the Unicode general categories, with a table for the first 256 units.
#include "framlet/foundation/flCharacterClasses.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <array>

namespace {

// The 38 currency signs, sorted for a binary search.
constexpr std::array<char16_t, 38> kCurrencySigns = [] {
  std::array<char16_t, 38> signs = {
      0x0024, 0x00A2, 0x20BD, 0x20BA, 0x20B4, 0x00A3, 0x20A8, 0x20AE, 0x20A6, 0x00A5,
      0x20A9, 0x20B1, 0x09F2, 0x20AC, 0x0E3F, 0x20AD, 0x09F3, 0x0AF1, 0x0BF9, 0xFDFC,
      0x20B9, 0x20B2, 0x20AA, 0x20A1, 0x20AB, 0x17DB, 0x20B5, 0x20A2, 0x20B8, 0x20A4,
      0x20B3, 0x20A5, 0x20A0, 0x20A3, 0x20B0, 0x20A7, 0x20AF, 0x20B6};
  std::sort(signs.begin(), signs.end());
  return signs;
}();

QChar::Category CategoryOf(char16_t c) { return QChar::category(char32_t(c)); }

uint32_t ClassifyBySets(char16_t c) {
  if (IsLowerCaseLetter(c)) return kCharClassLower;
  if (IsUpperCaseLetter(c)) return kCharClassUpper;
  if (IsWhiteSpaceOrNewline(c)) return kCharClassSpace;
  if (CategoryOf(c) == QChar::Number_DecimalDigit) return kCharClassDigit;
  if (IsPunctuationChar(c)) return kCharClassPunctuation;
  if (IsSymbolChar(c)) return kCharClassPunctuation;
  if (IsControlChar(c)) return kCharClassControl;
  return kCharClassOther;
}

// Made once, under the guard C++ gives function-local statics, so a first call from any thread
// is safe.
const std::array<uint8_t, 256>& LowClasses() {
  static const std::array<uint8_t, 256> classes = [] {
    std::array<uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) table[size_t(c)] = uint8_t(ClassifyBySets(char16_t(c)));
    return table;
  }();
  return classes;
}

}  // namespace

void EnsureCharSets() { (void)LowClasses(); }

// ASCII, what readers meet most, is answered without asking for the category: Unicode gives
// its white space, controls and currency signs by fixed ranges.
bool IsWhiteSpaceOrNewline(char16_t c) {
  if ((c >= 0x0009 && c <= 0x000D) || c == 0x0085) return true;
  if (c < 0x80) return c == 0x0020;
  switch (CategoryOf(c)) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
      return true;
    default:
      return false;
  }
}

bool IsNewline(char16_t c) {
  return (c >= 0x000A && c <= 0x000D) || c == 0x0085 || c == 0x2028 || c == 0x2029;
}

bool IsControlChar(char16_t c) {
  if (c < 0x80) return c < 0x0020 || c == 0x007F;
  const QChar::Category category = CategoryOf(c);
  return category == QChar::Other_Control || category == QChar::Other_Format;
}

bool IsPunctuationChar(char16_t c) {
  switch (CategoryOf(c)) {
    case QChar::Punctuation_Connector:
    case QChar::Punctuation_Dash:
    case QChar::Punctuation_Open:
    case QChar::Punctuation_Close:
    case QChar::Punctuation_InitialQuote:
    case QChar::Punctuation_FinalQuote:
    case QChar::Punctuation_Other:
      return true;
    default:
      return false;
  }
}

bool IsSymbolChar(char16_t c) {
  switch (CategoryOf(c)) {
    case QChar::Symbol_Math:
    case QChar::Symbol_Currency:
    case QChar::Symbol_Modifier:
    case QChar::Symbol_Other:
      return true;
    default:
      return false;
  }
}

bool IsUpperCaseLetter(char16_t c) {
  const QChar::Category category = CategoryOf(c);
  return category == QChar::Letter_Uppercase || category == QChar::Letter_Titlecase;
}

bool IsLowerCaseLetter(char16_t c) { return CategoryOf(c) == QChar::Letter_Lowercase; }

uint32_t TypeOfChar(char16_t c) {
  if (c < 256) return LowClasses()[c];
  return ClassifyBySets(c);
}

bool CharIsCurrency(char16_t c) {
  if (c < 0x80) return c == u'$';
  return std::binary_search(kCurrencySigns.begin(), kCurrencySigns.end(), c);
}

char16_t UpperCaseChar(char16_t c) {
  if (c < 0x0061 || (c >= 0x007B && c <= 0x00DF)) return c;
  if (c <= 0x007A || (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7)) return char16_t(c - 0x20);
  if (!IsLowerCaseLetter(c)) return c;
  const QString upper = QString(QChar(c)).toUpper();
  return upper.size() == 1 ? upper.at(0).unicode() : c;
}

char16_t LowerCaseChar(char16_t c) {
  if (c < 0x0041 || (c >= 0x005B && c <= 0x00BF)) return c;
  if (c <= 0x005A || (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7)) return char16_t(c + 0x20);
  if (!IsUpperCaseLetter(c)) return c;
  const QString lower = QString(QChar(c)).toLower();
  return lower.size() == 1 ? lower.at(0).unicode() : c;
}
