// Version-2 documents of the Pockwell spreadsheet: a header of document options and a section
// table, then cell records linked by rows, Mac OS Roman strings and column and row formats.
// Formats are two packed words; formulas are text with a few names of their own.
#pragma once

#include "calculator/model/CAFormat.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>

class CADocument;

inline constexpr const char* kPockwellVersionReason =
    "This is not a version 2 Pockwell file. Please save it and then import it.";
inline constexpr const char* kPockwellByteOrderReason =
    "This file was created on a PowerPC Mac. Please save it and then import it.";
inline constexpr const char* kPockwellDamagedReason = "This file has been damaged.";

// Fills the document from the file's bytes. NO on failure, with the reason, which is empty for
// a cell naming a string that does not exist.
bool ImportPockwellData(CADocument& document, QByteArrayView data, QString* failure);

// The format of a format word and the mask word of the properties it sets; none when the mask
// sets nothing. The document's default format sets everything (mask all ones).
std::optional<CAFormat> CreateFormatFromPockwell(uint32_t word, uint32_t mask);

// The colour of an index of Pockwell's palette; index 0 is black for text, white otherwise.
Kolor PockwellKolor(uint32_t index, bool fontColor);

// Pockwell's function names made the sheet's.
QString RewritePockwellFormula(const QString& formula);
