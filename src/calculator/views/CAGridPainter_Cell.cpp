// One cell of a drawing pass: its background and borders, the inner rectangle they leave, its
// contents by value type, its tooltip, and the overflowing texts drawn after all cells.
#include "calculator/model/CABorder.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CAFormat.h"
#include "calculator/model/CAPicture.h"
#include "calculator/model/CARow.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "framlet/foundation/FLImage.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/foundation/flStringExtensions.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

enum { kInsetTop = 0, kInsetLeft = 1, kInsetBottom = 2, kInsetRight = 3 };

// Formula cells with red formulas on: red 255, green 82, blue 82, fully opaque.
constexpr Kolor kRedFormulaKolor = 0x645252FF;
// imageScale is a percentage times 12700: this is 100 %.
constexpr double kImageScaleUnit = 1270000.0;
constexpr double kActiveFrameWidth = 4.0;
// Points: no character that matters to what a line shows is narrower.
constexpr double kNarrowestCharacter = 1.0;

// The most characters that can show across a width: more are never laid out.
qsizetype CharactersAcross(double width) {
  return qsizetype(std::clamp(width / kNarrowestCharacter, 0.0, 1.0e9)) + 1;
}

double InsetPoints(int64_t emu) { return double(emu) / double(kEmuPerPoint); }

// A frame of the given width inside rect.
void FrameRectInside(QPainter& painter, const QRectF& rect, double width, const QColor& color) {
  const double w = std::min(width, rect.width() / 2);
  const double h = std::min(width, rect.height() / 2);
  painter.fillRect(QRectF(rect.left(), rect.top(), rect.width(), h), color);
  painter.fillRect(QRectF(rect.left(), rect.bottom() - h, rect.width(), h), color);
  painter.fillRect(QRectF(rect.left(), rect.top() + h, w, rect.height() - 2 * h), color);
  painter.fillRect(QRectF(rect.right() - w, rect.top() + h, w, rect.height() - 2 * h), color);
}

bool PointLess(const GridPoint& a, const GridPoint& b) {
  return a.y != b.y ? a.y < b.y : a.x < b.x;
}

}  // namespace

void CAGridPainter::drawCell(const GridPoint& point, const QRectF& cellRect, const QRectF& visibleRect,
                             bool isActive) {
  // A plain number is drawn from where it is kept; it becomes a cell only for a tooltip.
  CACell* cell = nullptr;
  std::optional<CACellReading> reading;
  if (const CARow* row = document_.row(point.y)) {
    if (const CACellEntry* entry = row->entryAt(NormalizeCoordinate(point.x))) {
      if (entry->isPlain())
        cell = const_cast<CACell*>(reading.emplace(*entry, point.y, &document_).get());
      else
        cell = entry->cell();
    }
  }
  document_.registerDisplayGridPoint(point);
  QColor frameColor;
  CAFormat format;
  const QRectF inner = drawBackground(cell, point, cellRect, isActive, &frameColor, &format);
  if (onScreen() && cell && cell->tooltipTag() != 0) {
    if (options_.removeTooltip) options_.removeTooltip(cell->tooltipTag());
    cell->setTooltipTag(0);
  }
  const bool typingHere = cell && cell == options_.typingCell;
  // While a typing field is up, the text typed may run over the cells right of the active cell.
  const bool underTypingField = options_.typingFieldUp && point.y == activeCellPoint_.y &&
                                point.x > activeCellPoint_.x;
  if (cell && !typingHere && !underTypingField && cell->valueType() != kValueNone)
    drawContents(*cell, inner, cellRect, visibleRect, cell->valueType(), format, isActive);
  if (frameColor.isValid() && !typingHere)
    FrameRectInside(painter_, cellRect, kActiveFrameWidth, frameColor);
}

QRectF CAGridPainter::drawBackground(CACell* cell, const GridPoint& point, const QRectF& cellRect,
                                     bool isActive, QColor* frameColor, CAFormat* format) {
  const bool typingSelected = options_.selectingForRef &&
                              IsGridPointInRange(point.x, point.y, document_.typingSelectionRange());
  const QRectF fill = cellRect.adjusted(0, 0, -lineWidth_, -lineWidth_);
  bool formatBackgrounds = true;  // the row, column and stripe fills of an empty position
  bool cellBackground = true;     // the composed format's fill of a cell
  std::array<int64_t, 4> insets{0, 0, 0, 0};
  bool stop = false;
  if (!onScreen()) {
    // Printed and dragged cells show their formats only.
  } else if (isActive) {
    painter_.fillRect(fill, typingSelected ? TypingSelectionColor() : QColor(Qt::white));
    if (frameColor) {
      if (options_.draggingIn)
        *frameColor = DragOverCellColor();
      else if (options_.showFirstResponder || options_.typingCell)
        *frameColor = ActiveCellColor();
      else
        *frameColor = InactiveCellColor();
    }
    formatBackgrounds = false;
  } else if (typingSelected || point == options_.sortGridPoint) {
    painter_.fillRect(fill, TypingSelectionColor());
    stop = !cell;
    formatBackgrounds = cellBackground = false;
  } else if (IsGridPointInRange(point.x, point.y, selection_) && !dragging()) {
    painter_.fillRect(fill, options_.showFirstResponder ? options_.selectedTextBackground : GrayColor(2));
    formatBackgrounds = cellBackground = false;
  }

  if (!stop) {
    if (!cell) {
      if ((isActive || formatBackgrounds) && document_.shouldStripeRow(point.y))
        painter_.fillRect(fill, ColorFromKolor(document_.stripeKolor()));
      if (formatBackgrounds) {
        if (columnFormat_) columnFormat_->drawBackgroundInRect(painter_, fill);
        if (rowFormat_) rowFormat_->drawBackgroundInRect(painter_, fill);
      }
    } else {
      *format = document_.formatForCell(cell, false);
      if (isActive || cellBackground) format->drawBackgroundInRect(painter_, fill);
    }
    if (!dragging()) drawStripBorders(cellRect, insets);
    const CAFormat* own = cell ? cell->format() : nullptr;
    if (own && own->hasPropertyForMask(kFormatBorder) && own->border()) {
      const CABorder& border = *own->border();
      for (int64_t& inset : insets) inset = std::max(inset, border.width());
      const double half = InsetPoints(border.width()) / 2;
      QPainterPath path;
      path.addRect(fill.adjusted(half, half, -half, -half));
      border.drawWithBezier(painter_, path, 0);
    }
  }
  return cellRect.adjusted(std::max(InsetPoints(insets[kInsetLeft]), cellPadding_.width()),
                           std::max(InsetPoints(insets[kInsetTop]), cellPadding_.height()),
                           -std::max(InsetPoints(insets[kInsetRight]), cellPadding_.width()),
                           -std::max(InsetPoints(insets[kInsetBottom]), cellPadding_.height()));
}

void CAGridPainter::drawStripBorders(const QRectF& cellRect, std::array<int64_t, 4>& insets) {
  const double x = cellRect.x(), y = cellRect.y();
  const double w = cellRect.width() - lineWidth_, h = cellRect.height() - lineWidth_;
  if (rowEdgeClass_ != kEdgeNone && rowFormat_ && rowFormat_->border()) {
    const CABorder& border = *rowFormat_->border();
    const double half = InsetPoints(border.width()) / 2;
    QPainterPath path;
    if (rowEdgeClass_ == kEdgeSingle || rowEdgeClass_ == kEdgeFirst) {
      insets[kInsetTop] = std::max(insets[kInsetTop], border.width());
      path.moveTo(x, y + half);
      path.lineTo(x + w, y + half);
    }
    if (rowEdgeClass_ == kEdgeLast || rowEdgeClass_ == kEdgeSingle) {
      insets[kInsetBottom] = std::max(insets[kInsetBottom], border.width());
      path.moveTo(x, y + h - half);
      path.lineTo(x + w, y + h - half);
    }
    if (!path.isEmpty()) border.drawWithBezier(painter_, path, x);
  }
  if (columnEdgeClass_ != kEdgeNone && columnFormat_ && columnFormat_->border()) {
    const CABorder& border = *columnFormat_->border();
    const double half = InsetPoints(border.width()) / 2;
    QPainterPath path;
    if (columnEdgeClass_ == kEdgeSingle || columnEdgeClass_ == kEdgeFirst) {
      insets[kInsetLeft] = std::max(insets[kInsetLeft], border.width());
      path.moveTo(x + half, y);
      path.lineTo(x + half, y + h);
    }
    if (columnEdgeClass_ == kEdgeLast || columnEdgeClass_ == kEdgeSingle) {
      insets[kInsetRight] = std::max(insets[kInsetRight], border.width());
      path.moveTo(x + w - half, y);
      path.lineTo(x + w - half, y + h);
    }
    if (!path.isEmpty()) border.drawWithBezier(painter_, path, y);
  }
}

void CAGridPainter::drawContents(CACell& cell, const QRectF& inner, const QRectF& cellRect,
                                 const QRectF& visibleRect, int32_t valueType, const CAFormat& format,
                                 bool isActive) {
  switch (valueType) {
    case kValueOverflow:
      if (!dragging()) drawCoveredCell(cell, visibleRect);
      return;
    case kValuePicture:
      drawPicture(cell, inner, format);
      return;
    case kValueCheckbox: {
      const double side = options_.smallCheckbox ? kSmallCheckboxHeight : kCheckboxHeight;
      QRectF box(0, 0, side, side);
      CenterRectangle(box, inner);
      DrawQuartzCheckbox(painter_, cell.isChecked(), !printing_, box);
      return;
    }
    default:
      break;
  }
  if (!isActive && valueType == kValueText && cell.extraColumns() != 0 && !dragging()) {
    longCells_.push_back(cell.gridPoint());
    return;
  }
  const bool editing = showFormulas_;
  std::optional<FLAttributedString> text;
  if (valueType == kValueFormula && document_.redFormulas() && !printing_ && !editing) {
    CAFormat red = format;
    red.setTextKolor(kRedFormulaKolor);
    text = cell.attributedString(editing, red);
  } else {
    text = cell.attributedString(editing, format);
  }
  if (!text) return;
  const double width = drawText(*text, inner.adjusted(0, -leading_ / 2, 0, 0));
  const bool wider = width > inner.width();
  if (valueType == kValueError || valueType == kValueFormula || wider)
    registerTooltip(cell, cellRect, wider);
}

// A cell covered by the text of a cell to its left. The text itself is drawn once, after all
// cells; the leftmost visible covered cell asks for it when its source lies off to the left.
void CAGridPainter::drawCoveredCell(CACell& cell, const QRectF& visibleRect) {
  CARow* row = document_.row(cell.gridPoint().y);
  if (!row) return;
  const CARow::CellList& cells = row->cells();
  bool coveredVisible = false;
  for (size_t i = row->lowerBound(cell.gridPoint().x); i-- > 0;) {
    if (!cells[i].cell()) break;  // a plain number stops any text to its left
    CACell& left = *cells[i].cell();
    if (left.valueType() == kValueOverflow) {
      if (geometry_.rectForGridPoint(left.gridPoint()).intersects(visibleRect)) coveredVisible = true;
      continue;
    }
    if (left.valueType() == kValueText &&
        left.gridPoint().x + int64_t(left.extraColumns()) >= cell.gridPoint().x) {
      if (!coveredVisible && left.gridPoint() != activeCellPoint_ &&
          !geometry_.rectForGridPoint(left.gridPoint()).intersects(visibleRect))
        longCells_.push_back(left.gridPoint());
      return;
    }
    break;
  }
  // Its source is gone: the cell is plain empty again.
  cell.setValueType(kValueNone);
}

void CAGridPainter::drawPicture(const CACell& cell, const QRectF& inner, const CAFormat& format) {
  const std::shared_ptr<CAPicture>& picture = cell.picture();
  if (!picture || !picture->image()) return;
  QSizeF size = picture->image()->size();
  if (cell.imageScale() != 0) size *= double(cell.imageScale()) / kImageScaleUnit;
  QRectF rect(QPointF(0, 0), size);
  CenterRectangle(rect, inner);
  if (format.alignment() == kAlignmentRight)
    rect.moveRight(inner.right());
  else if (format.alignment() == kAlignmentLeft)
    rect.moveLeft(inner.left());
  picture->image()->drawInRectNormally(painter_, rect);
}

double CAGridPainter::drawText(const FLAttributedString& text, const QRectF& rect) {
  // A text of several lines shows as many of them, one under the other, as its rectangle holds
  // whole; a short row shows the first line alone.
  const double spacing = std::max(QFontMetricsF(text.font).lineSpacing(), 1.0);
  const qsizetype shown = qsizetype(std::max(1.0, std::floor(rect.height() / spacing)));
  const std::vector<QStringView> lines = ShownLines(text.string, shown + 1);
  if (lines.size() == 1) return drawLine(text, rect);
  double widest = 0;
  FLAttributedString line = text;
  for (qsizetype i = 0; i < std::min(shown, qsizetype(lines.size())); ++i) {
    line.string = lines[size_t(i)].toString();
    const double top = rect.top() + double(i) * spacing;
    widest = std::max(widest, drawLine(line, QRectF(rect.left(), top, rect.width(), rect.bottom() - top)));
  }
  return widest;
}

double CAGridPainter::drawLine(const FLAttributedString& text, const QRectF& rect) {
  // A line is laid out as far as it can show, not whole: a text of many thousand characters
  // costs what its rectangle, and of that what the view shows, can hold. Longer than its
  // rectangle holds, it is truncated there in any case.
  const qsizetype across = CharactersAcross(rect.width());
  qsizetype shown = across;
  const bool leftToRight = !(text.alignment & (Qt::AlignRight | Qt::AlignHCenter));
  if (onScreen() && leftToRight && text.lineBreakMode == FLLineBreakMode::TruncateTail)
    shown = std::min(shown, CharactersAcross(std::min(rect.right(), geometry_.visibleRect().right()) - rect.left()));
  if (text.string.size() > shown && text.lineBreakMode != FLLineBreakMode::Clip) {
    FLAttributedString part = text;
    if (text.lineBreakMode == FLLineBreakMode::TruncateHead)
      part.string = text.string.right(shown);
    else if (text.lineBreakMode == FLLineBreakMode::TruncateMiddle)
      part.string = text.string.left((shown + 1) / 2) + text.string.right(shown / 2);
    else
      part.string = text.string.left(shown);
    const double width = drawLine(part, rect);
    // Past what its rectangle holds the line is wider than it; cut only where the view ends, it
    // is measured whole for the tooltip, which is no longer than its rectangle holds.
    if (text.string.size() > across || width > rect.width()) return std::max(width, rect.width() + 1);
    return QFontMetricsF(text.font).horizontalAdvance(text.string);
  }
  QTextLayout layout(text.string, text.font);
  layout.setCacheEnabled(false);
  layout.beginLayout();
  QTextLine line = layout.createLine();
  if (!line.isValid()) {
    layout.endLayout();
    return 0;
  }
  line.setLineWidth(1.0e6);
  layout.endLayout();
  const double width = line.naturalTextWidth();
  if (width > rect.width() && text.lineBreakMode != FLLineBreakMode::Clip) {
    // Truncated text ends (or, right-aligned, starts) with an ellipsis.
    const QFontMetricsF metrics(text.font);
    const Qt::TextElideMode mode =
        text.lineBreakMode == FLLineBreakMode::TruncateHead ? Qt::ElideLeft
        : text.lineBreakMode == FLLineBreakMode::TruncateMiddle ? Qt::ElideMiddle
                                                                : Qt::ElideRight;
    FLAttributedString shortened = text;
    shortened.string = metrics.elidedText(text.string, mode, rect.width());
    shortened.lineBreakMode = FLLineBreakMode::Clip;
    if (shortened.string != text.string) drawLine(shortened, rect);
    return width;
  }
  double x = rect.left();
  if (text.alignment & Qt::AlignRight)
    x = rect.right() - width;
  else if (text.alignment & Qt::AlignHCenter)
    x = rect.left() + (rect.width() - width) / 2;
  painter_.setPen(text.color);
  layout.draw(&painter_, QPointF(x, rect.top()));
  return width;
}

void CAGridPainter::registerTooltip(CACell& cell, const QRectF& rect, bool forWidth) {
  if (!onScreen() || !options_.valueTooltips || !options_.addTooltip) return;
  const int64_t tag = options_.addTooltip(rect);
  if (tag == 0) return;
  // The cell drawn may have been made for the drawing (a plain number): the tag goes to the
  // document's own cell, made for it.
  CACell* target = document_.cellAtGridPoint(cell.gridPoint());
  if (!target) return;
  target->setTooltipTag(tag);
  target->setTooltipCounter(document_.tooltipCounter());
  target->setTooltipForWidth(forWidth);
}

void CAGridPainter::drawLongCells() {
  std::sort(longCells_.begin(), longCells_.end(), PointLess);
  const GridPoint* handled = nullptr;
  for (size_t i = longCells_.size(); i-- > 0;) {
    const GridPoint& point = longCells_[i];
    if (handled && *handled == point) continue;
    handled = &point;
    CACell* cell = document_.cellAtGridPoint(point);
    if (!cell) continue;
    const GridRange range{point, {point.x + int64_t(cell->extraColumns()), point.y}};
    const QRectF rect = geometry_.rectForRange(range);
    painter_.fillRect(rect.adjusted(0, 0, -lineWidth_, -lineWidth_), Qt::white);
    columnEdgeClass_ = kEdgeNone;
    rowFormat_ = document_.formatForRow(point.y);
    rowEdgeClass_ = edgeClass(point.y > 0 ? document_.formatForRow(point.y - 1) : nullptr, rowFormat_,
                              document_.formatForRow(point.y + 1));
    CAFormat format;
    const QRectF inner = drawBackground(cell, point, rect, false, nullptr, &format);
    if (showFormulas_) format.setAlignment(kAlignmentLeft);
    const std::optional<FLAttributedString> text = cell->attributedString(true, format);
    if (!text) continue;
    const double width = drawText(*text, inner.adjusted(0, -leading_ / 2, 0, 0));
    if (!dragging() && width > rect.width()) registerTooltip(*cell, rect, true);
  }
}
