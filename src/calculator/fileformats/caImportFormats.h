// The formats importers give the cells they make. A cell keeps only what changes the look its
// document's default, its row and its column already give it (a workbook restates the defaults
// in nearly every cell), and cells given equal formats share one object (a sheet repeats a
// handful of formats over all its cells).
#pragma once

#include "calculator/model/CAFormat.h"

#include <cstdint>

class CACell;
class CADocument;

// Whether two layers compose to the same look: what a cell shows, property by property.
bool FormatsLookAlike(const CAFormat& a, const CAFormat& b);

// The layer of `own` that changes what `base` (a composed format) shows: each property it sets
// to another value than the base's, and its border. Composed over the base it looks as `own`
// does; `own` itself where no smaller layer would.
CAFormat FormatBeyond(const CAFormat& own, const CAFormat& base);

// The look a cell at the point gets without a format of its own.
CAFormat FormatUnderCell(const CADocument& document, int64_t x, int64_t y);

class CAImportFormats {
 public:
  // One object for every format given here with the same properties.
  CASharedFormat intern(const CAFormat& format) { return formats_.intern(format); }
  // The cell's format as `format` beyond what lies under it (see FormatUnderCell), shared with
  // the cells given an equal one; none when that is nothing.
  void giveCell(CACell& cell, const CAFormat& format, const CADocument& document);
  // How many distinct formats were interned.
  size_t size() const { return formats_.size(); }

 private:
  CAFormatTable formats_;
};
