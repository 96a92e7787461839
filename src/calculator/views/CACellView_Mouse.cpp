// The grid and the mouse: clicks and drags select cells, whole rows and whole columns; a click
// toggles a checkbox or follows a link; while a formula is typed, clicking or dragging picks the
// reference that goes into it. Ctrl stands for the whole-row and whole-column clicks, Alt
// makes a picked reference absolute and selects a link cell without following it.
#include "calculator/views/CACellView.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/caFormulaEditing.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/shell/FLCompletionFieldEditor.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/KeyMap.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QDebug>
#include <QMouseEvent>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

// How often a selection dragged outside the grid scrolls it.
constexpr int kAutoScrollInterval = 100;  // ms
// How long a cell clicked for the sort dialog is marked.
constexpr int kSortFlashDuration = 100;  // ms

// The press closed a popover (the formula popup, say): it did only that.
bool ClosedAPopover(const QMouseEvent& event) {
  const std::optional<FLPopoverCloseEvent> closing = FLPopoverBaseVC::lastCloseEvent();
  return closing && closing->type == QEvent::MouseButtonPress && closing->timestamp == event.timestamp() &&
         closing->globalPosition == event.globalPosition();
}

// The span of two coordinates, smaller first.
std::pair<int64_t, int64_t> Span(int64_t a, int64_t b) { return {std::min(a, b), std::max(a, b)}; }

}  // namespace

QString CellTooltipText(const CACell& cell, bool showFormulas) {
  const int32_t type = cell.valueType();
  if (type != kValueError && type != kValueFormula) return cell.displayText(false);
  const QString other = cell.displayText(!showFormulas);
  if (!cell.tooltipForWidth()) return other;
  return QStringLiteral("%1 \u27A4 %2").arg(cell.displayText(showFormulas), other);
}

void CACellView::selectClickedCell(const GridPoint& point) {
  if (IsGridPointInRange(point.x, point.y, document_->selectionRange())) {
    document_->setActiveCellPoint(point);
  } else {
    startSelection(point);
    selecting_ = false;
  }
  ensureSelectionVisible();
}

bool CACellView::picksReferences() const {
  switch (document_->typingState()) {
    case 0:
      return false;
    case 2:
      // The state is set when the field takes the keys, before the first key classified the
      // text: what the field holds decides. A stale state is reset at the release.
      if (fieldEditor_) {
        const QString text = fieldEditor_->toPlainText();
        return text.isEmpty() || text.startsWith(QLatin1Char('='));
      }
      return true;
    default:
      return true;
  }
}

void CACellView::startSelection(const GridPoint& point) {
  if (selectingForRef_) {
    document_->setTypingSelectionRange(GridRange{point, point});
    update();
  } else {
    document_->setSelectionPoint(point);
  }
  selecting_ = true;
}

bool CACellView::isClickInCheckbox(const QPointF& point) const {
  if (!document_) return false;
  const GridPoint gridPoint = gridPointAtPoint(point);
  const CACell* cell = document_->cellAtGridPoint(gridPoint);
  if (!cell || cell->valueType() != kValueCheckbox) return false;
  const GridPoint& padding = document_->cellPadding();
  const double padX = std::ceil(double(padding.x) / 12700.0);
  const double padY = std::ceil(double(padding.y) / 12700.0);
  const QRectF inner = rectForGridPoint(gridPoint).adjusted(padX, padY, -padX, -padY);
  const double side = ModelPreferences().smallCheckbox ? kSmallCheckboxHeight : kCheckboxHeight;
  QRectF box(0, 0, side, side);
  CenterRectangle(box, inner);
  return box.contains(point);
}

void CACellView::mousePressEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  const QPointF point = event->position() / zoom_;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  lastMousePoint_ = event->position().toPoint();
  dragPressPoint_ = lastMousePoint_;
  clickGridPoint_ = gridPointAtPoint(point);
  bool initial = initialClick_;
  initialClick_ = false;
  selecting_ = false;
  optionOnClick_ = modifiers & kOptionModifier;
  // The format panel's colour wells let go of the colour panel.
  NotificationCenter::defaultCenter().post(QLatin1String(kColorWellNotification));

  // While a formula is typed (here or in the formula bar) the click picks a reference; the
  // field keeps the keys.
  if (picksReferences()) {
    if (ClosedAPopover(*event)) return;
    selectingForRef_ = true;
    startSelection(clickGridPoint_);
    if (fieldEditor_ && document_->typingState() == 2) fieldEditor_->setFocus(Qt::OtherFocusReason);
    return;
  }
  selectingForRef_ = false;
  if (isTyping()) {
    stopTyping(true);
    initial = false;
  }

  if (modifiers & kCommandModifier) {
    if (modifiers & Qt::ShiftModifier)
      startSelection(GridPoint{clickGridPoint_.x, kGridWildcard});
    else
      startSelection(GridPoint{kGridWildcard, clickGridPoint_.y});
    return;
  }
  if (modifiers & Qt::ShiftModifier) {
    shiftClick(point);
    return;
  }
  plainClick(point, optionOnClick_, initial);
}

void CACellView::shiftClick(const QPointF& point) {
  const GridPoint click = clickGridPoint_;
  const GridPoint active = document_->activeCellPoint();
  GridRange bounds;
  const int32_t kind = TypeOfRange(&bounds, document_->selectionRange());
  const GridPoint& top = bounds.startPoint;
  const GridPoint& bottom = bounds.endPoint;
  // The far side of the selection from the click, or the active cell's when the click is
  // level with it.
  const int64_t y = click.y < top.y ? bottom.y : click.y > bottom.y ? top.y : active.y;
  const int64_t x = click.x < top.x ? bottom.x : click.x > bottom.x ? top.x : active.x;
  if (kind == kRangeRows) {
    document_->setActiveCellPoint(GridPoint{0, y});
    selecting_ = true;
  } else if (kind == kRangeColumns) {
    document_->setActiveCellPoint(GridPoint{x, 0});
    selecting_ = true;
  } else {
    startSelection(GridPoint{x, y});
  }
  dragSelectionTo(point);
}

void CACellView::plainClick(const QPointF& point, bool option, bool initial) {
  const GridPoint click = clickGridPoint_;
  CACell* cell = document_->cellAtGridPoint(click);
  if (cell && !option && cell->valueType() == kValueLink && !cell->inactiveLink()) {
    selectClickedCell(click);
    cell->followLink();
    return;
  }
  if (cell && cell->valueType() == kValueCheckbox && isClickInCheckbox(point)) {
    selectClickedCell(click);
    toggleActiveCheckbox();
    return;
  }
  // The click that gave the grid the focus only does that.
  if (initial) return;
  if (document_->isCellSelected(click) && ModelPreferences().allowDrags) {
    // Held still for a moment, the press drags the selected cells.
    if (!dragStartTimer_) {
      dragStartTimer_ = new QTimer(this);
      dragStartTimer_->setSingleShot(true);
      dragStartTimer_->setInterval(kDragStartDelay);
      connect(dragStartTimer_, &QTimer::timeout, this, &CACellView::startExternalDrag);
    }
    dragStartTimer_->start();
    return;
  }
  startSelection(click);
}

void CACellView::mouseMoveEvent(QMouseEvent* event) {
  // Moving at once after pressing inside the selection starts a new selection instead of a drag.
  if (document_ && cancelDragStart()) startSelection(clickGridPoint_);
  if (!document_ || !(event->buttons() & Qt::LeftButton) || !selecting_) {
    QWidget::mouseMoveEvent(event);
    return;
  }
  event->accept();
  lastMousePoint_ = event->position().toPoint();
  if (!autoScrollTimer_ && !selectingForRef_) {
    autoScrollTimer_ = new QTimer(this);
    autoScrollTimer_->setInterval(kAutoScrollInterval);
    connect(autoScrollTimer_, &QTimer::timeout, this, &CACellView::autoScrollTimerFired);
    autoScrollTimer_->start();
  }
  dragSelectionTo(event->position() / zoom_);
}

void CACellView::autoScrollTimerFired() {
  if (!selecting_ || !document_) return;
  autoScrollForPoint(lastMousePoint_);
  dragSelectionTo(QPointF(lastMousePoint_) / zoom_);
}

void CACellView::dragSelectionTo(const QPointF& point) {
  if (!document_) return;
  const GridPoint to = gridPointAtPoint(point);
  const GridPoint anchor = selectingForRef_ ? clickGridPoint_ : document_->activeCellPoint();
  GridRange range = selectingForRef_ ? document_->typingSelectionRange() : document_->selectionRange();
  switch (TypeOfRange(nullptr, range)) {
    case kRangeColumns: {
      const auto [left, right] = Span(to.x, anchor.x);
      range.startPoint.x = left;
      range.endPoint.x = right;
      break;
    }
    case kRangeRows: {
      const auto [top, bottom] = Span(to.y, anchor.y);
      range.startPoint.y = top;
      range.endPoint.y = bottom;
      break;
    }
    default: {
      const auto [left, right] = Span(to.x, anchor.x);
      const auto [top, bottom] = Span(to.y, anchor.y);
      range = GridRange{GridPoint{left, top}, GridPoint{right, bottom}};
      break;
    }
  }
  if (selectingForRef_) {
    if (document_->typingSelectionRange() == range) return;
    document_->setTypingSelectionRange(range);
    update();
  } else if (document_->selectionRange() != range) {
    document_->setSelectionRange(range);
    document_->setActiveCellPoint(anchor);
  }
}

void CACellView::mouseReleaseEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  event->accept();
  // Released before the drag started: the click selects the cell.
  if (cancelDragStart()) startSelection(clickGridPoint_);
  if (autoScrollTimer_) {
    autoScrollTimer_->stop();
    autoScrollTimer_->deleteLater();
    autoScrollTimer_ = nullptr;
  }
  if (!selecting_) return;
  selecting_ = false;
  if (selectingForRef_) {
    selectingForRef_ = false;
    update();
    if (optionOnClick_) {
      const GridRange picked = document_->typingSelectionRange();
      document_->setTypingSelectionRange(GridRange{GridPoint{~picked.startPoint.x, ~picked.startPoint.y},
                                                   GridPoint{~picked.endPoint.x, ~picked.endPoint.y}});
    }
  }
  switch (document_->typingState()) {
    case 0:
      NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), document_);
      break;
    case 1:
      NotificationCenter::defaultCenter().post(QLatin1String(kTypeSelNotification), document_);
      break;
    default:
      insertPickedReference();
      break;
  }
}

void CACellView::insertPickedReference() {
  CACell* cell = typingCell();
  if (!cell || !fieldEditor_ || QApplication::focusWidget() != fieldEditor_) {
    qWarning("Typing state wasn't reset");
    stoppingTyping_ = false;
    // With no cell typed there is nothing to commit: only the state was left behind.
    if (!typingPoint_) {
      document_->setTypingState(0);
      return;
    }
    stopTypingCore(true);
    return;
  }
  const QTextCursor cursor = fieldEditor_->textCursor();
  CATextRange selection{uint64_t(cursor.selectionStart()), uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  cell->addRefToFormula(ReferenceTextForRange(document_->typingSelectionRange()), &selection);
  const QString formula = cell->formula();
  if (fieldEditor_->toPlainText() != formula) fieldEditor_->replaceWholeText(formula);
  SelectRangeInEditor(fieldEditor_, selection);
  fieldEditor_->ensureCursorVisible();
  redrawGridPoint(cell->gridPoint());
  NotificationCenter::defaultCenter().post(QLatin1String(kFormulaChangeNotification), document_);
}

void CACellView::translateClick(const QPoint& point) {
  if (!document_ || !rect().contains(point)) return;
  resetSortPoint();
  sortGridPoint_ = gridPointAtPoint(QPointF(point) / zoom_);
  QVariantMap info;
  info.insert(QLatin1String(kGridPointKey), StringFromGridPoint(sortGridPoint_));
  NotificationCenter::defaultCenter().post(QLatin1String(kGridPointNotification), document_, info);
  redrawGridPoint(sortGridPoint_);
  // A brief flash.
  QTimer::singleShot(kSortFlashDuration, this, &CACellView::resetSortPoint);
}

void CACellView::resetSortPoint() {
  if (sortGridPoint_.x < 0) return;
  redrawGridPoint(sortGridPoint_);
  sortGridPoint_ = GridPoint{-1, -1};
}

void CACellView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!document_ || event->button() != Qt::LeftButton || document_->typingState() != 0) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  event->accept();
  // The press before it began a selection; the release after it ends nothing.
  selecting_ = false;
  selectingForRef_ = false;
  startTyping(gridPointAtPoint(event->position() / zoom_), true);
}
