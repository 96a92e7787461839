#include "calculator/fileformats/caImportFormats.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"

namespace {

constexpr uint64_t kKnownMasks = kFormatBold | kFormatItalic | kFormatUnderline | kFormatStrike | kFormatAlignment |
                                 kFormatTextColor | kFormatBackground | kFormatBorder | kFormatNumberFormat;

}  // namespace

bool FormatsLookAlike(const CAFormat& a, const CAFormat& b) {
  return a.bold() == b.bold() && a.italic() == b.italic() && a.underline() == b.underline() &&
         a.strike() == b.strike() && a.alignment() == b.alignment() && a.textKolor() == b.textKolor() &&
         a.backgroundKolor() == b.backgroundKolor() && a.numberFormat() == b.numberFormat() &&
         a.border().has_value() == b.border().has_value() && (!a.border() || a.border()->isEqualTo(&*b.border()));
}

CAFormat FormatBeyond(const CAFormat& own, const CAFormat& base) {
  const uint64_t mask = own.mask();
  if (own.isDefaultFormat() || (mask & ~kKnownMasks) != 0) return own;
  CAFormat beyond;
  if ((mask & kFormatBold) && own.bold() != base.bold()) beyond.setBold(own.bold());
  if ((mask & kFormatItalic) && own.italic() != base.italic()) beyond.setItalic(own.italic());
  if ((mask & kFormatUnderline) && own.underline() != base.underline()) beyond.setUnderline(own.underline());
  if ((mask & kFormatStrike) && own.strike() != base.strike()) beyond.setStrike(own.strike());
  if ((mask & kFormatAlignment) && own.alignment() != kAlignmentAuto && own.alignment() != base.alignment())
    beyond.setAlignment(own.alignment());
  if ((mask & kFormatTextColor) && base.composeWith(&own).textKolor() != base.textKolor())
    beyond.setTextKolor(own.textKolor());
  if ((mask & kFormatBackground) && base.composeWith(&own).backgroundKolor() != base.backgroundKolor())
    beyond.setBackgroundKolor(own.backgroundKolor());
  if ((mask & kFormatNumberFormat) && own.numberFormat() != base.numberFormat())
    beyond.setNumberFormat(own.numberFormat() ? &*own.numberFormat() : nullptr);
  if (own.border()) beyond.setBorder(&*own.border());
  if (mask & kFormatBorder) beyond.setMask(beyond.mask() | kFormatBorder);
  // A property set back to nothing (no number format over a column's) has no smaller layer.
  if (!FormatsLookAlike(base.composeWith(&beyond), base.composeWith(&own))) return own;
  return beyond;
}

CAFormat FormatUnderCell(const CADocument& document, int64_t x, int64_t y) {
  return document.defaultFormat().composeWith(document.formatForRow(y)).composeWith(document.formatForColumn(x));
}

void CAImportFormats::giveCell(CACell& cell, const CAFormat& format, const CADocument& document) {
  const GridPoint& point = cell.gridPoint();
  const CAFormat beyond = FormatBeyond(format, FormatUnderCell(document, point.x, point.y));
  cell.shareFormat(beyond.shouldSave() ? formats_.intern(beyond) : CASharedFormat());
}
