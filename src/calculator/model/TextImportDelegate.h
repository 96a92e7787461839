// What the text-like readers (delimited text, DIF, pasted text) hand their cells to: one call a
// cell, with the field as the user would have typed it, or a check cell's state. The document
// is the one real receiver; tests record the calls.
#pragma once

#include "calculator/model/CAGridPoint.h"

#include <QVariant>

#include <cstdint>

// Value types of setCellAtPoint.
enum : int32_t {
  kImportCheckbox = 1,    // the value is a boolean: a check cell, checked or not
  kImportTypedText = 6,   // the value is a text entered as if typed into the cell
};

class TextImportDelegate {
 public:
  virtual ~TextImportDelegate() = default;
  virtual void setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) = 0;
};
