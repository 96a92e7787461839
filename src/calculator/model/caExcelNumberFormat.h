// Reduces an Excel number-format code to what the spreadsheet needs to recognise it: its
// sections in lower case, without literal text, padding, brackets or time components.
#pragma once

#include <QString>
#include <QStringList>

// The positive, negative and zero sections of the code (one to three texts; an empty list for
// an empty code), each left with digit placeholders, separators, percent and exponent marks,
// currency symbols and date letters. A code with at least two ";" but only two sections read
// gets an empty third one; a code ending in a single ";" gets no empty second one.
QStringList NormalizeExcelNumberFormat(const QString& code);
