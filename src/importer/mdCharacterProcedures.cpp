// The plug-in's character and string procedures, over its own copy of the character classes.
#include "importer/mdCharacterProcedures.h"

uint32_t TypeOfStringChar(const QString& string, uint64_t index) {
  return index < uint64_t(string.size()) ? TypeOfChar(string[qsizetype(index)].unicode()) : kCharClassOther;
}

bool CharIsSpaceOrNumber(char16_t c) {
  const uint32_t type = TypeOfChar(c);
  return type == kCharClassDigit || type == kCharClassSpace;
}

bool CharIsSpaceOrPunct(char16_t c) {
  const uint32_t type = TypeOfChar(c);
  return type == kCharClassSpace || type == kCharClassPunctuation;
}

bool CharIsLetter(char16_t c) {
  const uint32_t type = TypeOfChar(c);
  return type == kCharClassUpper || type == kCharClassLower;
}

bool CharIsLetterOrNumber(char16_t c) { return CharIsLetter(c) || TypeOfChar(c) == kCharClassDigit; }

bool CharIsLineBreak(char16_t c) { return IsNewline(c); }

QString LowerCaseString(const QString& string) { return string.toLower(); }

QString UpperCaseString(const QString& string) { return string.toUpper(); }

QString TitleCaseString(const QString& string) { return string; }
