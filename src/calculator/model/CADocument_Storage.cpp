// The sheet's storage: finding and creating rows, columns and cells, the occupied extent,
// enumeration, the geometry the views read, overflowing text and the sort comparison.
#include "calculator/model/CADocument.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocumentWindow.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "framlet/foundation/flBase.h"
#include "platform/NotificationCenter.h"

#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr float kEmuPerPointFloat = 12700.0f;
constexpr double kMinimumLeading = 2.0;
constexpr const char* kDigitZero = "0";

// Rows and columns are sorted lists; every lookup is a binary search.
template <typename List, typename Key>
typename List::const_iterator LowerBound(const List& list, int64_t key, Key keyOf) {
  return std::lower_bound(list.begin(), list.end(), key,
                          [&](const typename List::value_type& item, int64_t k) { return keyOf(*item) < k; });
}

int64_t RowKey(const CARow& row) { return row.gridY(); }
int64_t ColumnKey(const CAColumn& column) { return column.gridX(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Lookup and creation

CARow* CADocument::row(int64_t y) const {
  y = NormalizeCoordinate(y);
  // A sheet filled from the top has row y at index y: one look there before the binary search,
  // which touches many rows scattered over the heap. The y's are distinct, so a match is it.
  if (!rows_.empty()) {
    const size_t guess = std::min(size_t(y), rows_.size() - 1);
    if (rows_[guess]->gridY() == y) return rows_[guess].get();
    if (rows_.back()->gridY() < y) return nullptr;
  }
  const auto it = LowerBound(rows_, y, RowKey);
  return it != rows_.end() && (*it)->gridY() == y ? it->get() : nullptr;
}

CARow* CADocument::rowImperative(int64_t y) {
  y = NormalizeCoordinate(y);
  // The same look first, and a row below the last is added at the end: imports fill a sheet
  // row by row from the top.
  if (!rows_.empty()) {
    const size_t guess = std::min(size_t(y), rows_.size() - 1);
    if (rows_[guess]->gridY() == y) return rows_[guess].get();
  }
  if (rows_.empty() || rows_.back()->gridY() < y) return rows_.emplace_back(std::make_unique<CARow>(y)).get();
  const auto it = LowerBound(rows_, y, RowKey);
  if (it != rows_.end() && (*it)->gridY() == y) return it->get();
  return rows_.insert(rows_.begin() + (it - rows_.begin()), std::make_unique<CARow>(y))->get();
}

CAColumn* CADocument::column(int64_t x) const {
  if (x < 0) return nullptr;
  const auto it = LowerBound(columns_, x, ColumnKey);
  return it != columns_.end() && (*it)->gridX() == x ? it->get() : nullptr;
}

CAColumn* CADocument::columnImperative(int64_t x) {
  if (CAColumn* existing = column(x)) return existing;
  const auto it = LowerBound(columns_, x, ColumnKey);
  return columns_.insert(columns_.begin() + (it - columns_.begin()), std::make_unique<CAColumn>(x))->get();
}

CARow* CADocument::addRow(std::unique_ptr<CARow> newRow) {
  dropKeptFolds();
  const int64_t y = newRow->gridY();
  const auto it = LowerBound(rows_, y, RowKey);
  const auto at = rows_.begin() + (it - rows_.begin());
  if (at != rows_.end() && (*at)->gridY() == y) {
    *at = std::move(newRow);
    return at->get();
  }
  return rows_.insert(at, std::move(newRow))->get();
}

CAColumn* CADocument::addColumn(std::unique_ptr<CAColumn> newColumn) {
  const int64_t x = newColumn->gridX();
  const auto it = LowerBound(columns_, x, ColumnKey);
  const auto at = columns_.begin() + (it - columns_.begin());
  if (at != columns_.end() && (*at)->gridX() == x) {
    *at = std::move(newColumn);
    return at->get();
  }
  return columns_.insert(at, std::move(newColumn))->get();
}

CACell* CADocument::cellAtGridPoint(const GridPoint& point) const {
  // A plain number asked for becomes a cell: the caller may keep its address or change it.
  CARow* found = row(point.y);
  return found ? found->cellAt(NormalizeCoordinate(point.x), const_cast<CADocument*>(this)) : nullptr;
}

CACell* CADocument::cellAtGridPointImperative(const GridPoint& point) {
  if (CACell* existing = cellAtGridPoint(point)) return existing;
  const GridPoint plain{NormalizeCoordinate(point.x), NormalizeCoordinate(point.y)};
  // A cell past the last column or row could be neither shown nor saved.
  if (!IsOnGrid(plain)) return nullptr;
  // Made to hold something; should nothing come, it goes again.
  if (!opening_) noteEmptiedCell(plain);
  return storeCell(std::make_unique<CACell>(plain, this), plain);
}

CADocument::RowList& CADocument::mutableRows() {
  dropKeptFolds();
  return rows_;
}

CACell* CADocument::storeCell(std::unique_ptr<CACell> cell, const GridPoint& point) {
  CARow* target = rowImperative(point.y);
  cellAdded_ = true;
  const int64_t x = NormalizeCoordinate(point.x);
  changedCells_.add(GridPoint{x, target->gridY()});
  CARow::CellList& cells = target->mutableCells();
  const size_t at = target->lowerBound(x);
  if (at < cells.size() && cells[at].x() == x) {
    LogAssert("Storing over existing cell", __func__, __FILE__, __LINE__);
    cells[at] = std::move(cell);
    return cells[at].cell();
  }
  return cells.insert(cells.begin() + qsizetype(at), std::move(cell))->cell();
}

void CADocument::compactCellAt(const GridPoint& point) {
  if (CARow* target = row(point.y)) target->compactCellAt(NormalizeCoordinate(point.x));
}

bool CADocument::storeCell(std::unique_ptr<CACell> cell) {
  const GridPoint point = cell->gridPoint();
  const bool rowCreated = row(point.y) == nullptr;
  CARow* target = rowImperative(point.y);
  cellAdded_ = true;
  changedCells_.add(point);
  CARow::CellList& cells = target->mutableCells();
  const size_t at = target->lowerBound(point.x);
  if (at < cells.size() && cells[at].x() == point.x)
    cells[at] = std::move(cell);
  else
    cells.insert(cells.begin() + qsizetype(at), std::move(cell));
  if (!opening_) invalidateLongText(point);
  return rowCreated;
}

void CADocument::setCellAtPoint(const GridPoint& point, const QVariant& value, int32_t valueType) {
  CACell* cell = cellAtGridPointImperative(point);
  if (!cell) return;
  if (valueType == kValueCheckbox) {
    const int32_t oldType = cell->valueType();
    cell->clearValue();
    cell->setValueType(kValueCheckbox);
    cell->setChecked(value.toBool());
    cell->setNeedRecalc(false);
    cell->fixRowForValueTypeChange(oldType);
  } else {
    cell->setFormula(value.toString());
  }
  if (!opening_)
    invalidateLongText(cell->gridPoint());
  else
    compactCellAt(point);
}

// ---------------------------------------------------------------------------------------------
// Extent

GridRange CADocument::fullExtent() const {
  GridRange range = extent();
  range.startPoint = GridPoint{0, 0};
  return range;
}


void CADocument::registerDisplayGridPoint(const GridPoint& point) {
  maxDisplayGridPoint_.x = std::max(maxDisplayGridPoint_.x, point.x);
  maxDisplayGridPoint_.y = std::max(maxDisplayGridPoint_.y, point.y);
}

int64_t CADocument::maximumX(const GridRange& range) const {
  int64_t result = -1;
  for (auto it = LowerBound(rows_, range.startPoint.y, RowKey); it != rows_.end(); ++it) {
    if ((*it)->gridY() > range.endPoint.y) break;
    const CARow::CellList& cells = (*it)->cells();
    for (size_t i = cells.size(); i-- > 0;) {
      if (cells[i].hasValue()) {
        result = std::max(result, cells[i].x());
        break;
      }
    }
  }
  return result;
}

int64_t CADocument::maximumY(const GridRange& range) const {
  for (size_t r = rows_.size(); r-- > 0;) {
    const CARow& current = *rows_[r];
    const CARow::CellList& cells = current.cells();
    for (size_t i = current.lowerBound(range.startPoint.x); i < cells.size(); ++i) {
      const CACellEntry& entry = cells[i];
      if (entry.x() > range.endPoint.x) break;
      if (entry.cell() && entry.cell()->gridPoint().y != current.gridY())
        LogAssert("Bad y coordinate in cell", __func__, __FILE__, __LINE__);
      if (entry.hasValue()) return current.gridY();
    }
  }
  return -1;
}

bool CADocument::fillColumnForRange(const GridRange& range) const {
  const GridPoint& s = range.startPoint;
  const GridPoint& e = range.endPoint;
  if (s.x == e.x) return false;
  if (s.y == e.y) return true;
  const CARow* below = row(e.y + 1);
  if (!below) return false;
  bool belowHasValue = false;
  for (size_t i = below->lowerBound(s.x); i < below->cells().size(); ++i) {
    const CACellEntry& entry = below->cells()[i];
    if (entry.x() > e.x) break;
    if (entry.cell() && entry.cell()->gridPoint().y != below->gridY())
      LogAssert("Bad y coordinate in cell", __func__, __FILE__, __LINE__);
    if (entry.hasValue()) {
      belowHasValue = true;
      break;
    }
  }
  if (!belowHasValue) return false;
  for (auto it = LowerBound(rows_, s.y, RowKey); it != rows_.end() && (*it)->gridY() <= e.y; ++it) {
    const CACellEntry* right = (*it)->entryAt(e.x + 1);
    if (right && right->hasValue()) return false;
  }
  return true;
}

bool CADocument::hasImages() const {
  for (const std::unique_ptr<CARow>& r : rows_)
    for (const CACellEntry& entry : r->cells())
      if (const CACell* cell = entry.cell();
          cell && cell->valueType() == kValuePicture && cell->picture() && cell->picture()->image())
        return true;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Enumeration

void CADocument::enumerateCellsUsingBlock(const CellBlock& block) const {
  for (size_t r = 0; r < rows_.size(); ++r) {
    // The block may keep or change the cells: plain numbers become cells.
    CARow& current = *rows_[r];
    bool stop = false;
    for (size_t i = 0; i < current.cells().size() && !stop; ++i)
      block(current.cellAtIndex(i, const_cast<CADocument*>(this)), i, stop);
  }
}

namespace {

// The entries of the range, row by row: fn(row, index) returns NO to stop.
template <typename Fn>
void ForEachEntryInRange(const CADocument::RowList& rows, const GridRange& range, Fn fn) {
  const bool allRows = range.startPoint.y == kGridWildcard;
  const bool allColumns = range.startPoint.x == kGridWildcard;
  auto it = allRows ? rows.begin() : LowerBound(rows, range.startPoint.y, RowKey);
  for (; it != rows.end(); ++it) {
    CARow& current = **it;
    if (!allRows && current.gridY() > range.endPoint.y) break;
    for (size_t i = allColumns ? 0 : current.lowerBound(range.startPoint.x); i < current.cells().size(); ++i) {
      if (!allColumns && current.cells()[i].x() > range.endPoint.x) break;
      if (!fn(current, i)) return;
    }
  }
}

}  // namespace

void CADocument::readCellsInRange(const GridRange& range, const CellReadingBlock& block) const {
  ForEachEntryInRange(rows_, range, [&](const CARow& row, size_t i) {
    bool stop = false;
    block(*CACellReading(row.cells()[i], row.gridY(), this), stop);
    return !stop;
  });
}

void CADocument::enumerateCellsinRange(const GridRange& range, const CellBlock& block) const {
  ForEachEntryInRange(rows_, range, [&](CARow& row, size_t i) {
    bool stop = false;
    block(row.cellAtIndex(i, const_cast<CADocument*>(this)), i, stop);
    return !stop;
  });
}

// ---------------------------------------------------------------------------------------------
// Geometry

float CADocument::heightOfRow(int64_t y) const {
  float height = 0;
  if (y >= 0)
    if (CARow* r = row(y)) height = float(r->height());
  if (minimumHeight_ != 0) height = std::max(height, float(minimumHeight_) / kEmuPerPointFloat);
  height = std::max(height, float(lineHeight_));
  return height + 2.0f * std::ceil(float(cellPadding_.y) / kEmuPerPointFloat);
}

float CADocument::widthOfColumn(int64_t x) const {
  const CAColumn* c = column(x);
  const int64_t digits = c ? c->digitCount() : 0;
  const float padding = 2.0f * float(cellPadding_.x) / kEmuPerPointFloat;
  const auto digitWidth = [&](int64_t count) { return float(count) * float(digitWidth_) + padding; };
  float width = 0;
  if (digits > 0) {
    width = digitWidth(digits);
  } else if (digits == 0 && defaultDigitCount_ >= 0) {
    width = digitWidth(defaultDigitCount_ == 0 ? kDefaultDigitCount : defaultDigitCount_);
  } else {
    const int64_t emu = digits < 0 ? c->width() : defaultWidth_;
    width = emu == 0 ? digitWidth(kDefaultDigitCount) : float(emu) / kEmuPerPointFloat + padding;
  }
  return std::ceil(width);
}

bool CADocument::shouldStripeRow(int64_t y) const {
  return stripeInterval_ != 0 && KolorIsColor(stripeKolor_) &&
         (uint64_t(y) + 1) % stripeInterval_ == 0;
}

void CADocument::setFont(const QFont& font) {
  font_ = font;
  const QFontMetricsF metrics(font);
  const QString zero = QLatin1String(kDigitZero);
  digitWidth_ = metrics.horizontalAdvance(zero);
  lineHeight_ = std::ceil(metrics.lineSpacing());
  leading_ = std::max(lineHeight_ - metrics.ascent() - metrics.descent() - metrics.leading(),
                      kMinimumLeading);
  NotificationQueue::defaultQueue().enqueue(
      Notification{QLatin1String(kFontChangedNotification), this, {}}, PostingStyle::ASAP,
      NotificationCoalescingOnName | NotificationCoalescingOnSender);
}

void CADocument::setDefaultDigitCount(int64_t count) {
  defaultDigitCount_ = count;
  invalidateAllLongText();
  recalcImageCellsInColumnRange(GridRange{{0, kGridWildcard}, {kGridOpenEnd, kGridWildcard}});
}

void CADocument::setDefaultWidth(int64_t width) {
  defaultWidth_ = width == 0 ? 0 : std::max(width, MinimumColumnWidth());
  setDefaultDigitCount(-1);
}

void CADocument::resetRowHeights() {
  for (const std::unique_ptr<CARow>& r : rows_) {
    if (r->minimumHeight() != 0) {
      r->setMinimumHeight(0);
      r->setNeedCalculate(true);
    }
  }
}

void CADocument::resetColumnWidths() {
  for (const std::unique_ptr<CAColumn>& c : columns_) c->setDigitCount(0);
  recalcImageCellsInColumnRange(GridRange{{0, kGridWildcard}, {kGridOpenEnd, kGridWildcard}});
}

void CADocument::recalcImageCellsInColumnRange(const GridRange& range) {
  GridRange normalized = range;
  const bool wholeRows = TypeOfRange(&normalized, range) == kRangeRows;
  const int64_t startX = NormalizeCoordinate(range.startPoint.x);
  const int64_t endX = NormalizeCoordinate(range.endPoint.x);
  for (const std::unique_ptr<CARow>& r : rows_) {
    const CARow::CellList& cells = r->cells();
    for (size_t i = wholeRows ? 0 : r->lowerBound(startX); i < cells.size(); ++i) {
      if (!wholeRows && range.startPoint.x >= 0 && cells[i].x() > endX) break;
      CACell* cell = cells[i].cell();
      if (!cell || cell->valueType() != kValuePicture) continue;
      cell->recalcPictureHeight();
      r->setNeedCalculate(true);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Overflowing text

void CADocument::invalidateLongText(const GridPoint& point) {
  if (opening_ || constrainText_ || suppressRedraws_ > 0) return;
  CARow* target = row(point.y);
  const CACellEntry* entry = target ? target->entryAt(NormalizeCoordinate(point.x)) : nullptr;
  CACell* cell = entry ? entry->cell() : nullptr;
  if (cell && cell->valueType() == kValueText && cell->extraColumns() > 0) {
    const GridPoint& p = cell->gridPoint();
    redrawRange(GridRange{p, {p.x + int64_t(cell->extraColumns()), p.y}});
    cell->setNeedRecalc(true);
    return;
  }
  if ((entry && entry->hasValue()) || !target) return;
  const int64_t x = NormalizeCoordinate(point.x);
  const CARow::CellList& cells = target->cells();
  const size_t end = target->lowerBound(x);
  for (size_t i = 0; i < end; ++i) {
    if (!cells[i].cell()) continue;  // a plain number does not overflow
    CACell& left = *cells[i].cell();
    if (left.valueType() != kValueText || left.extraColumns() == 0) continue;
    const GridPoint& p = left.gridPoint();
    if (p.x + int64_t(left.extraColumns()) < x) continue;
    redrawRange(GridRange{p, {p.x + int64_t(left.extraColumns()), p.y}});
    left.setNeedRecalc(true);
  }
}

void CADocument::invalidatelLongTextForRow(int64_t y) {
  CARow* target = row(y);
  if (!target) return;
  for (const CACellEntry& entry : target->cells())
    if (CACell* cell = entry.cell(); cell && cell->valueType() == kValueText && !cell->formula().isEmpty())
      cell->setNeedRecalc(true);
}

void CADocument::invalidateAllLongText() {
  for (const std::unique_ptr<CARow>& r : rows_)
    for (const CACellEntry& entry : r->cells())
      if (CACell* cell = entry.cell(); cell && cell->valueType() == kValueText && !cell->formula().isEmpty())
        cell->setNeedRecalc(true);
}

void CADocument::invalidateLongTextForChangedWidths() {
  const float defaultWidth = widthOfColumn(-1);
  std::vector<std::pair<int64_t, float>> widths;
  widths.reserve(columns_.size());
  for (const std::unique_ptr<CAColumn>& c : columns_) widths.emplace_back(c->gridX(), widthOfColumn(c->gridX()));
  if (defaultWidth == overflowDefaultWidth_ && widths == overflowWidths_) return;
  // The columns whose width is another now, ascending; every column when the default changed.
  std::vector<int64_t> changed;
  const bool every = defaultWidth != overflowDefaultWidth_;
  if (!every) {
    size_t i = 0, j = 0;
    while (i < widths.size() || j < overflowWidths_.size()) {
      const int64_t x = i == widths.size() ? overflowWidths_[j].first
                        : j == overflowWidths_.size() ? widths[i].first
                                                      : std::min(widths[i].first, overflowWidths_[j].first);
      const float now = i < widths.size() && widths[i].first == x ? widths[i++].second : defaultWidth;
      const float then = j < overflowWidths_.size() && overflowWidths_[j].first == x ? overflowWidths_[j++].second
                                                                                  : overflowDefaultWidth_;
      if (now != then) changed.push_back(x);
    }
  }
  overflowDefaultWidth_ = defaultWidth;
  overflowWidths_ = std::move(widths);
  if (constrainText_) return;
  if (every) {
    invalidateAllLongText();
    return;
  }
  // A text is laid out again when a changed column lies under it or under its overflow: one
  // that ends short of every changed column keeps its layout.
  for (const std::unique_ptr<CARow>& r : rows_) {
    for (const CACellEntry& entry : r->cells()) {
      CACell* cell = entry.cell();
      if (!cell || cell->valueType() != kValueText || cell->formula().isEmpty()) continue;
      const int64_t x = cell->gridPoint().x;
      const auto first = std::lower_bound(changed.begin(), changed.end(), x);
      if (first != changed.end() && *first <= x + int64_t(cell->extraColumns())) cell->setNeedRecalc(true);
    }
  }
}

void CADocument::invalidateLongTextForFormats(const GridRange& range, int32_t domain) {
  if (domain == kDomainDocument) {
    invalidateAllLongText();
    return;
  }
  GridRange block;
  if (TypeOfRange(&block, range) == kRangeInvalid) return;
  // A row's (column's) format reaches every cell of the rows (columns) the range touches.
  if (domain == kDomainRow) block.startPoint.x = 0, block.endPoint.x = kGridOpenEnd;
  if (domain == kDomainColumn) block.startPoint.y = 0, block.endPoint.y = kGridOpenEnd;
  const GridPoint& s = block.startPoint;
  const GridPoint& e = block.endPoint;
  for (const std::unique_ptr<CARow>& r : rows_) {
    if (r->gridY() < s.y || r->gridY() > e.y) continue;
    const CARow::CellList& cells = r->cells();
    for (size_t i = r->lowerBound(s.x); i < cells.size() && cells[i].x() <= e.x; ++i)
      if (CACell* cell = cells[i].cell(); cell && cell->valueType() == kValueText && !cell->formula().isEmpty())
        cell->setNeedRecalc(true);
  }
}

void CADocument::layOutLongText() {
  invalidateLongTextForChangedWidths();
  for (const std::unique_ptr<CARow>& r : rows_) {
    // A text's overflow makes placeholders in its row: the row's cells are walked again then.
    do {
      setCellAdded(false);
      const CARow::CellList& cells = r->cells();
      for (size_t i = 0; i < cells.size(); ++i) {
        CACell* cell = cells[i].cell();
        if (!cell || !cell->needRecalc()) continue;
        const int32_t type = cell->valueType();
        if (type != kValueText && type != kValuePicture) continue;
        cell->layOut();
        redrawCell(cell->gridPoint());
        if (cellAdded()) break;
      }
    } while (cellAdded());
  }
  // As after a recalculation: placeholders left behind go once every text has its overflow.
  takeBackOverflow();
  dropEmptiedCells();
}

void CADocument::invalidateAfterLayoutChange() {
  bumpSuppressRedraws(true);
  layOutLongText();
  bumpSuppressRedraws(false);
  if (controller_) controller_->redrawSelectionForDomain(kDomainDocument);
  notifyOfSelectionChange();
}

// ---------------------------------------------------------------------------------------------
// The window

void CADocument::removeTooltipForCell(const CACell& cell) {
  if (controller_) controller_->removeTooltipForCell(cell);
}

void CADocument::redrawCell(const GridPoint& point) {
  if (controller_) controller_->redrawCell(point);
}

void CADocument::redrawRange(const GridRange& range) {
  if (controller_) controller_->redrawRange(range);
}

// ---------------------------------------------------------------------------------------------
// Edit commands and sorting

void CADocument::clearCell(CACell* cell, CACellList& cells, int32_t clearType) {
  if (!cell) return;
  switch (clearType) {
    case kClearContents:
      cell->setFormula(QString());
      break;
    case kClearFormats:
      cell->setFormat(std::nullopt);
      break;
    default: {
      cell->clearValue();
      const auto it = std::find_if(cells.begin(), cells.end(),
                                   [cell](const CACellEntry& entry) { return entry.cell() == cell; });
      if (it != cells.end()) cells.erase(it);
      break;
    }
  }
}

int CADocument::compareForSort(const CASortContext& context, int64_t index1, int64_t index2) const {
  const auto cellsFor = [&](const GridPoint& key, int64_t i1, int64_t i2) {
    if (context.byColumns)
      return std::pair(cellAtGridPoint({i1, key.y}), cellAtGridPoint({i2, key.y}));
    return std::pair(cellAtGridPoint({key.x, i1}), cellAtGridPoint({key.x, i2}));
  };
  auto [a, b] = cellsFor(sortKey1_, index1, index2);
  int result = compareCell(a, b, context.reverse);
  const int64_t secondKey = context.byColumns ? sortKey2_.y : sortKey2_.x;
  if (result == 0 && secondKey >= 0) {
    auto [c, d] = cellsFor(sortKey2_, index1, index2);
    result = compareCell(c, d, context.reverse);
  }
  return result;
}

int CADocument::compareCell(const CACell* a, const CACell* b, bool reverse) const {
  const auto typeOf = [&](const CACell* cell) {
    if (!cell) return int32_t(kValueNone);
    const int32_t type = cell->valueType();
    if (type == kValueFormula && !showFormulas_) return cell->formulaResultType();
    return type;
  };
  // Sort priority by value type.
  const auto priority = [](int32_t type) {
    switch (type) {
      case kValueCheckbox: return 1;
      case kValuePicture: return 2;
      case kValueError: return 3;
      case kValueFormula:
      case kValueNumber: return 4;
      case kValueDate: return 5;
      case kValueLink:
      case kValueText: return 6;
      default: return 0;
    }
  };
  const auto compareTexts = [](const QString& x, const QString& y) {
    if (x.isNull() || y.isNull()) return x.isNull() == y.isNull() ? 0 : (x.isNull() ? -1 : 1);
    const int order = x.compare(y, Qt::CaseInsensitive);
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
  };
  const auto realOf = [](const CACell* cell) {
    return cell->number() ? cell->number()->realValue() : 0.0L;
  };
  const int32_t typeA = typeOf(a);
  const int32_t typeB = typeOf(b);
  int result = 0;
  if (typeA != typeB) {
    const int pa = priority(typeA);
    const int pb = priority(typeB);
    result = pa == pb ? 0 : (pa > pb ? 1 : -1);
  } else {
    switch (typeA) {
      case kValueCheckbox:
        result = int(a->isChecked()) - int(b->isChecked());
        break;
      case kValueDate: {
        const int64_t x = a->number() ? a->number()->integerValue() : 0;
        const int64_t y = b->number() ? b->number()->integerValue() : 0;
        result = x == y ? 0 : (x > y ? 1 : -1);
        break;
      }
      case kValueError:
        result = a->evalResult() == b->evalResult() ? 0 : (a->evalResult() > b->evalResult() ? 1 : -1);
        break;
      case kValueFormula:
        result = compareTexts(a->formula(), b->formula());
        break;
      case kValueLink:
        result = compareTexts(a->displayText(false), b->displayText(false));
        break;
      case kValueNumber: {
        const long double x = realOf(a);
        const long double y = realOf(b);
        result = x > y ? 1 : (x < y ? -1 : 0);
        break;
      }
      case kValueText: {
        QString x = a->formula();
        QString y = b->formula();
        if (ModelPreferences().useStopList) {
          if (!x.isNull()) GetNewStringWithoutStopListWords(x);
          if (!y.isNull()) GetNewStringWithoutStopListWords(y);
        }
        result = compareTexts(x, y);
        break;
      }
      default:
        break;
    }
  }
  return reverse ? -result : result;
}

void CADocument::adoptSavedPictureNames() {
  if (filePath().isEmpty()) return;
  const QDir images(QDir(filePath()).filePath(QLatin1String(kImagesFolderName)));
  // Only a package written by this document holds files under the save names; a save in another
  // format leaves every picture as it was.
  PictureTable renamed;
  bool changed = false;
  for (const std::shared_ptr<CAPicture>& picture : pictures()) {
    const QString& name = picture->saveGuid();
    const QString file = name + QLatin1Char('.') + CAPicture::extensionForFormat(picture->imageFormat());
    if (!name.isEmpty() && name != picture->guid() && picture->saved() && QFileInfo::exists(images.filePath(file))) {
      picture->setGuid(name);
      changed = true;
    }
    renamed.insert(picture->guid(), picture);
  }
  if (changed) mutablePictures() = std::move(renamed);
}

std::shared_ptr<CAPicture> CADocument::pictureNamed(const QString& guid) {
  if (std::shared_ptr<CAPicture> picture = pictures_.value(guid)) return picture;
  if (!pendingPictureFiles_.contains(guid)) return nullptr;
  // Taken from the pending files once it is read: a picture that could not be read for memory
  // (std::bad_alloc) stays pending, and is read when it is next wanted.
  const QString path = pendingPictureFiles_.value(guid);
  FLPictureRefusal refusal = FLPictureRefusal::None;
  std::shared_ptr<CAPicture> picture = CAPicture::withFile(path, guid, this, &refusal);
  pendingPictureFiles_.remove(guid);
  if (!picture) ++pictureReading_.unreadable;
  else if (refusal == FLPictureRefusal::PastDecodeLimit) ++pictureReading_.pastDecodeLimit;
  else if (refusal == FLPictureRefusal::PastBudget) ++pictureReading_.pastBudget;
  return picture;
}

CADocument::PictureReading CADocument::takePictureReading() {
  pendingPictureFiles_.clear();
  return std::exchange(pictureReading_, PictureReading{});
}
