// Formats by domain: the document default, row, column and cell layers, how a cell's format
// is composed from them, and the format changes of the selection.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caCommandLimit.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/flBase.h"

#include <algorithm>

namespace {

// setValue's style values: 0 clears the setting (the layer inherits), 1 is on, others off.
constexpr int64_t kStyleInherit = 0;
constexpr int64_t kStyleOn = 1;

}  // namespace

void CADocument::setDefaultFormat(const CAFormat& format) {
  defaultFormat_ = format;
  defaultFormat_.setMask(kFormatDefaultMask);
  // The default sets everything, so its colours must be colours.
  defaultFormat_.setTextKolor(defaultFormat_.textKolor());
  defaultFormat_.setBackgroundKolor(defaultFormat_.backgroundKolor());
}

void CADocument::resetDefaultFormat() {
  CAFormat format;
  format.setBackgroundKolor(kWhiteKolor);
  format.setAlignment(kAlignmentAuto);
  format.setNumberFormat(nullptr);
  format.setMask(kFormatDefaultMask);
  defaultFormat_ = format;
}

CAFormat* CADocument::formatForRow(int64_t y) const {
  CARow* r = row(y);
  return r ? r->format() : nullptr;
}

CAFormat* CADocument::formatForColumn(int64_t x) const {
  CAColumn* c = column(x);
  return c ? c->format() : nullptr;
}

CAFormat* CADocument::formatForDomain(int32_t domain, const GridPoint& point) {
  switch (domain) {
    case kDomainDocument:
      return &defaultFormat_;
    case kDomainRow:
      return formatForRow(point.y);
    case kDomainColumn:
      return formatForColumn(point.x);
    default: {
      CACell* cell = cellAtGridPoint(point);
      return cell ? cell->format() : nullptr;
    }
  }
}

namespace {

// A change over more points than a command may visit: nothing is changed, with a beep.
std::vector<CAFormat*> RefusedFormats() {
  WorkspaceBeep();
  return {};
}

}  // namespace

CAFormat* CADocument::formatForDomain(int32_t domain) {
  return formatForDomain(domain, activeCellPoint_);
}

CAFormat* CADocument::formatForDomainImperative(int32_t domain, const GridPoint& point) {
  if (CAFormat* existing = formatForDomain(domain, point)) return existing;
  switch (domain) {
    case kDomainRow: {
      CARow* r = rowImperative(point.y);
      r->setFormat(CAFormat());
      return r->format();
    }
    case kDomainColumn: {
      CAColumn* c = columnImperative(NormalizeCoordinate(point.x));
      c->setFormat(CAFormat());
      return c->format();
    }
    case kDomainCell: {
      CACell* cell = cellAtGridPointImperative(point);
      if (!cell) return nullptr;
      cell->setFormat(CAFormat());
      return cell->format();
    }
    default:
      LogAssert("Document must have a default format", __func__, __FILE__, __LINE__);
      scratchFormat_ = CAFormat();
      return &scratchFormat_;
  }
}

CAFormat* CADocument::formatForDomainImperative(int32_t domain) {
  return formatForDomainImperative(domain, activeCellPoint_);
}

namespace {

// What a format change over a range visits: the range with an end left open by the
// normalisation brought in to the last used line, and whether every line (or point) of it is
// visited, missing layers made, or only the rows, columns or cells that exist.
struct FormatVisit {
  GridRange range;
  bool everyPoint = false;
  bool everyLine = false;
  // A visit of every line or point beyond the command limit, which is refused.
  bool refused = false;
};

FormatVisit PlanFormatVisit(const GridRange& range, int32_t domain, bool imperative, const GridPoint& last) {
  FormatVisit visit;
  GridRange& normalized = visit.range;
  normalized = range;
  TypeOfRange(&normalized, range);
  const bool openX = normalized.endPoint.x == kGridOpenEnd;
  const bool openY = normalized.endPoint.y == kGridOpenEnd;
  if (openX)
    normalized.endPoint.x = last.x;
  else if (openY)
    normalized.endPoint.y = last.y;
  const bool openEnded = domain == kDomainRow ? openY : domain == kDomainColumn ? openX : openX || openY;
  const GridPoint& s = normalized.startPoint;
  const GridPoint& e = normalized.endPoint;
  // Looking formats up needs only the rows, columns and cells that exist; so does a change of
  // cell formats over open-ended lines, which would otherwise make a cell at every point up to
  // the last one used. A change over a closed block makes what is missing, within the command
  // limit; so does a change of row or column formats over open ends while the lines up to the
  // last one used are few (past that, only the lines that exist take the change).
  visit.everyPoint = imperative && !openEnded;
  constexpr int64_t kMostOpenLines = int64_t(1) << 16;
  const auto fewLines = [](int64_t first, int64_t last) { return last < first || last - first < kMostOpenLines; };
  visit.everyLine = imperative && (visit.everyPoint || (domain == kDomainRow && fewLines(s.y, e.y)) ||
                                   (domain == kDomainColumn && fewLines(s.x, e.x)));
  if (domain == kDomainRow)
    visit.refused = visit.everyLine && !WithinCommandLimit(s.y, e.y);
  else if (domain == kDomainColumn)
    visit.refused = visit.everyLine && !WithinCommandLimit(s.x, e.x);
  else if (domain != kDomainDocument)
    visit.refused = visit.everyPoint && !WithinCommandLimit(normalized);
  return visit;
}

// The block applyFormat gives copies to (open ends to the last used line), and whether it lies
// within the command limit for the domain.
bool ApplyFormatBlock(const GridRange& selection, int32_t domain, const GridPoint& last, GridRange* block) {
  GridRange normalized = selection;
  if (TypeOfRange(&normalized, selection) == kRangeInvalid) return false;
  if (normalized.endPoint.x == kGridOpenEnd) normalized.endPoint.x = last.x;
  if (normalized.endPoint.y == kGridOpenEnd) normalized.endPoint.y = last.y;
  *block = normalized;
  const GridPoint& s = normalized.startPoint;
  const GridPoint& e = normalized.endPoint;
  return domain == kDomainColumn ? WithinCommandLimit(s.x, e.x)
         : domain == kDomainRow  ? WithinCommandLimit(s.y, e.y)
                                 : WithinCommandLimit(normalized);
}

}  // namespace

bool CADocument::formatsFitCommandLimit(const GridRange& range, int32_t domain) const {
  return !PlanFormatVisit(range, domain, true, extent().endPoint).refused;
}

bool CADocument::canApplyFormat() const {
  GridRange block;
  return ApplyFormatBlock(selectionRange_, selectedDomain(), extent().endPoint, &block);
}

std::vector<CAFormat*> CADocument::formatsInRange(const GridRange& range, int32_t domain,
                                                  bool imperative) {
  std::vector<CAFormat*> formats;
  if (domain == kDomainDocument) {
    formats.push_back(&defaultFormat_);
    return formats;
  }
  const FormatVisit visit = PlanFormatVisit(range, domain, imperative, extent().endPoint);
  if (visit.refused) return RefusedFormats();
  const GridRange& normalized = visit.range;
  const GridPoint& s = normalized.startPoint;
  const GridPoint& e = normalized.endPoint;
  const bool everyPoint = visit.everyPoint;
  const bool everyLine = visit.everyLine;
  if (domain == kDomainRow) {
    if (everyLine) {
      for (int64_t y = s.y; y <= e.y; ++y) formats.push_back(formatForDomainImperative(domain, {kGridWildcard, y}));
    } else {
      for (const std::unique_ptr<CARow>& r : rows_) {
        if (r->gridY() < s.y) continue;
        if (r->gridY() > e.y) break;
        if (imperative && !r->format()) r->setFormat(CAFormat());
        if (CAFormat* format = r->format()) formats.push_back(format);
      }
    }
  } else if (domain == kDomainColumn) {
    if (everyLine) {
      for (int64_t x = s.x; x <= e.x; ++x) formats.push_back(formatForDomainImperative(domain, {x, kGridWildcard}));
    } else {
      for (const std::unique_ptr<CAColumn>& c : columns_) {
        if (c->gridX() < s.x) continue;
        if (c->gridX() > e.x) break;
        if (imperative && !c->format()) c->setFormat(CAFormat());
        if (CAFormat* format = c->format()) formats.push_back(format);
      }
    }
  } else if (everyPoint) {
    for (int64_t y = s.y; y <= e.y; ++y) {
      for (int64_t x = s.x; x <= e.x; ++x)
        if (CAFormat* format = formatForDomainImperative(domain, {x, y})) formats.push_back(format);
    }
  } else {
    enumerateCellsinRange(normalized, [&](CACell& cell, size_t, bool&) {
      if (imperative && !cell.format()) cell.setFormat(CAFormat());
      if (CAFormat* format = cell.format()) formats.push_back(format);
    });
  }
  return formats;
}

CAFormat CADocument::formatForCell(const CACell* cell, bool ignoreStripe) const {
  const GridPoint point = cell ? cell->gridPoint() : GridPoint{0, 0};
  CAFormat format = defaultFormat_;
  if (!ignoreStripe && shouldStripeRow(point.y)) format.setBackgroundKolor(stripeKolor_);
  format = format.composeWith(formatForRow(point.y));
  format = format.composeWith(formatForColumn(point.x));
  if (cell) format = format.composeWith(cell->format());
  if (cell && cell->valueType() == kValueLink && !cell->inactiveLink()) {
    format.setUnderline(true);
    format.setTextKolor(kActiveLinkKolor);
  }
  return format;
}

CAFormat CADocument::formatForActiveCell() const {
  // An empty active cell shows the layers of its own row and column.
  if (const CACell* cell = activeCell()) return formatForCell(cell, true);
  return composedFormat(activeCellPoint_);
}

CAFormat CADocument::composedFormat(const GridPoint& point) const {
  CAFormat format = defaultFormat_.copy();
  if (point.y >= 0) format = format.composeWith(formatForRow(point.y));
  if (point.x >= 0) format = format.composeWith(formatForColumn(point.x));
  if (point.x >= 0 && point.y >= 0)
    if (const CACell* cell = cellAtGridPoint(point)) format = format.composeWith(cell->format());
  return format;
}

void CADocument::setValue(int64_t value, uint64_t mask, int32_t domain) {
  const bool supported = mask == kFormatTextColor || mask == kFormatBackground ||
                         mask == kFormatAlignment || mask == kFormatBold || mask == kFormatItalic ||
                         mask == kFormatUnderline || mask == kFormatStrike;
  if (!supported) {
    LogAssert("Unsupported formt mask", __func__, __FILE__, __LINE__);
    return;
  }
  for (CAFormat* format : formatsInRange(selectionRange_, domain, true)) {
    switch (mask) {
      case kFormatTextColor:
      case kFormatBackground: {
        const auto kolor = Kolor(uint32_t(value));
        if (!KolorIsColor(kolor))
          format->clearMask(mask);
        else if (mask == kFormatTextColor)
          format->setTextKolor(kolor);
        else
          format->setBackgroundKolor(kolor);
        break;
      }
      case kFormatAlignment:
        if (value == kAlignmentAuto)
          format->clearMask(mask);
        else
          format->setAlignment(int32_t(value));
        break;
      default: {
        if (value == kStyleInherit) {
          format->clearMask(mask);
          break;
        }
        const bool on = value == kStyleOn;
        if (mask == kFormatBold) format->setBold(on);
        if (mask == kFormatItalic) format->setItalic(on);
        if (mask == kFormatUnderline) format->setUnderline(on);
        if (mask == kFormatStrike) format->setStrike(on);
        break;
      }
    }
  }
  // Bold and italic change how wide a text is, and so how far it overflows.
  if (mask == kFormatBold || mask == kFormatItalic) {
    invalidateLongTextForFormats(selectionRange_, domain);
    layOutLongText();
  }
  if (controller_) controller_->redrawSelectionForDomain(domain);
  notifyOfSelectionChange();
}

void CADocument::toggleValueForMask(uint64_t mask, int32_t domain) {
  const CAFormat* format = formatForDomain(domain);
  const bool on = format && format->styleOptionForMask(mask) == 1;
  setValue(on ? kStyleInherit : kStyleOn, mask, domain);
}

void CADocument::applyFormat(const CAFormat& format, int64_t digitCount, int64_t width) {
  const int32_t domain = selectedDomain();
  GridRange normalized;
  // Every selected line or point gets a copy: a selection beyond the command limit is refused.
  if (!ApplyFormatBlock(selectionRange_, domain, extent().endPoint, &normalized)) {
    if (TypeOfRange(nullptr, selectionRange_) != kRangeInvalid) WorkspaceBeep();
    return;
  }
  const GridPoint& s = normalized.startPoint;
  const GridPoint& e = normalized.endPoint;
  if (domain == kDomainColumn) {
    for (int64_t x = s.x; x <= e.x; ++x) {
      CAColumn* c = columnImperative(x);
      c->setFormat(format.copy());
      if (digitCount != kKeepColumnWidths) {
        c->setDigitCount(digitCount);
        c->setWidth(width);
      }
    }
  } else if (domain == kDomainRow) {
    for (int64_t y = s.y; y <= e.y; ++y) rowImperative(y)->setFormat(format.copy());
  } else {
    for (int64_t y = s.y; y <= e.y; ++y)
      for (int64_t x = s.x; x <= e.x; ++x)
        if (CACell* cell = cellAtGridPointImperative({x, y})) cell->setFormat(format.copy());
  }
  // The texts' widths follow their formats, the overflow the columns' widths; no value does.
  invalidateLongTextForFormats(normalized, domain);
  layOutLongText();
  if (controller_) controller_->redrawSelectionForDomain(domain);
  notifyOfSelectionChange();
}

void CADocument::clearFormatFromSelection() {
  GridRange normalized = selectionRange_;
  const int32_t type = TypeOfRange(&normalized, selectionRange_);
  const int32_t domain = selectedDomain();
  if (type == kRangeInvalid) return;
  const GridPoint& s = normalized.startPoint;
  const GridPoint& e = normalized.endPoint;
  if (domain == kDomainColumn) {
    for (const std::unique_ptr<CAColumn>& c : columns_)
      if (c->gridX() >= s.x && c->gridX() <= e.x) c->setFormat(std::nullopt);
  } else if (domain == kDomainRow) {
    for (const std::unique_ptr<CARow>& r : rows_)
      if (r->gridY() >= s.y && r->gridY() <= e.y) r->setFormat(std::nullopt);
  } else {
    enumerateCellsinRange(normalized, [](CACell& cell, size_t, bool&) { cell.setFormat(std::nullopt); });
  }
  invalidateLongTextForFormats(normalized, domain);
  layOutLongText();
  if (controller_) controller_->redrawSelectionForDomain(domain);
  notifyOfSelectionChange();
}
