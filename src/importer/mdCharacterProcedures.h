// The plug-in's character and string procedures, exported beside its import function for
// hosts that classify text as the application does. The import function needs none of them.
#pragma once

#include "framlet/foundation/flCharacterClasses.h"

#include <QString>

#include <cstdint>

// TypeOfChar of the unit at the index; class 0 past the end.
uint32_t TypeOfStringChar(const QString& string, uint64_t index);
bool CharIsSpaceOrNumber(char16_t c);
bool CharIsSpaceOrPunct(char16_t c);
bool CharIsLetter(char16_t c);
bool CharIsLetterOrNumber(char16_t c);
bool CharIsLineBreak(char16_t c);
QString LowerCaseString(const QString& string);
QString UpperCaseString(const QString& string);
// Title case is not applied: the string comes back as it is.
QString TitleCaseString(const QString& string);
