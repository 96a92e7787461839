#include "calculator/views/CACellView.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/caShownText.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/shell/FLCompletionFieldEditor.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QTimer>
#include <QToolTip>

#include <cmath>

CACellView::CACellView(CADocument* document, CAScrollView* scrollView, QWidget* parent)
    : QWidget(parent), document_(document), scrollView_(scrollView), geometry_(document) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  // While no cell is typed the grid itself takes the input method's text.
  setAttribute(Qt::WA_InputMethodEnabled);
  // Cells, text, pictures and files may be dropped on the grid.
  setAcceptDrops(true);
  if (document_) zoom_ = document_->zoomValue() > 0 ? document_->zoomValue() : 1.0;
  observeDocument();
}

CACellView::~CACellView() {
  NotificationCenter::defaultCenter().removeObserver(this);
  // A field still up goes with the view and must not call back into it.
  QObject::disconnect(textChangedConnection_);
  if (fieldEditor_) {
    fieldEditor_->setViewDelegate(nullptr);
    fieldEditor_->setCompletionDelegate(nullptr);
  }
}

void CACellView::observeDocument() {
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.removeObserver(this);
  if (!document_) return;
  const auto redrawAll = [this](const Notification&) { redraw(); };
  center.addObserver(this, QLatin1String(kBumpTipsNotification), nullptr, redrawAll);
  center.addObserver(this, QLatin1String(kDecimalChangeNotification), nullptr, redrawAll);
  center.addObserver(this, QLatin1String(kRedrawAllNotification), nullptr, redrawAll);
  center.addObserver(this, QLatin1String(kFontChangedNotification), document_, [this](const Notification&) {
    invalidateGeometry();
    setContentFrame();
  });
  center.addObserver(this, QLatin1String(kDocClosingNotification), document_,
                     [this](const Notification&) { shutDown(); });
  // Typing ends when the document or the application asks.
  const auto stopTypingRemote = [this](const Notification&) {
    if (startingTyping_ || stoppingTyping_) return;
    stopTyping(true);
  };
  center.addObserver(this, QLatin1String(kStopTypingNotification), document_, stopTypingRemote);
  center.addObserver(this, QLatin1String(kNormalizeNotification), nullptr, [this](const Notification&) {
    if (startingTyping_ || stoppingTyping_) return;
    stopTyping(true);
    FLPopoverBaseVC::closePopovers();
  });
  center.addObserver(this, QLatin1String(kResetTypingNotification), document_,
                     [this](const Notification&) { resetTypingSel(); });
  // A click held back while the sort dialog picks its key cells.
  center.addObserver(this, QLatin1String(kInactiveClickNotification), document_, [this](const Notification& note) {
    const QVariantMap click = note.userInfo.value(QLatin1String(kInactiveClickEventKey)).toMap();
    translateClick(mapFrom(window(), click.value(QLatin1String(kInactiveClickPositionKey)).toPointF().toPoint()));
  });
  // A function inserted from the formula popup: typing resumes once the insertion is done.
  center.addObserver(this, QLatin1String(kFormulaInsertNotification), document_, [this](const Notification& note) {
    if (!note.userInfo.value(QLatin1String(kFormulaInsertPopupKey)).toBool()) return;
    popoverTextSelection_ = note.userInfo.value(QLatin1String(kFormulaInsertRangeKey)).value<CATextRange>();
    QTimer::singleShot(0, this, [this] { startTypingAfterFormulaInsertion(); });
  });
}

void CACellView::shutDown() {
  NotificationCenter::defaultCenter().removeObserver(this);
  cancelDragStart();
  document_ = nullptr;
  // Typing in a closing document is dropped without touching it.
  stopTyping(false);
  geometry_.setDocument(nullptr);
  tooltips_.clear();
  update();
}

const CAGridGeometry& CACellView::gridGeometry() const {
  if (scrollView_) geometry_.setOrigin(scrollView_->currentPosition());
  geometry_.setVisibleSize(QSizeF(width() / zoom_, height() / zoom_));
  return geometry_;
}

QRectF CACellView::rectForGridPoint(const GridPoint& point) const {
  return gridGeometry().rectForGridPoint(point);
}
QRectF CACellView::rectForRange(const GridRange& range) const { return gridGeometry().rectForRange(range); }
GridPoint CACellView::gridPointAtPoint(const QPointF& point) const {
  return gridGeometry().gridPointAtPoint(point);
}
QRectF CACellView::visibleRect() const { return gridGeometry().visibleRect(); }
int64_t CACellView::cellCountForDelta(double delta, bool vertical) const {
  return gridGeometry().cellCountForDelta(delta, vertical);
}
GridPoint CACellView::scrollPoint() const {
  return scrollView_ ? scrollView_->currentPosition() : GridPoint{};
}

void CACellView::setContentFrame() {
  if (!document_ || !scrollView_) return;
  // The view fills its place in the scroll view: its own size is its container's.
  const QSizeF superSize = QSizeF(size()) / zoom_;
  const CAContentFrame frame = gridGeometry().contentFrame(zoom_, superSize, document_->showOnlyOccupied());
  // The view keeps the size of its place in the scroll view: Qt cannot hold a frame the size
  // of a large sheet, and the view draws from the scroll position anyway.
  scrollView_->setScrollPosition(frame.rows.position, frame.rows.max, frame.rows.visible, true);
  scrollView_->setScrollPosition(frame.columns.position, frame.columns.max, frame.columns.visible, false);
}

void CACellView::scrollToGridPoint(const GridPoint& point) {
  // A stored position past the grid's end keeps its last row (column) at the view's end.
  if (scrollView_) scrollView_->scrollToPoint(gridGeometry().clampedScrollPoint(point));
}

void CACellView::autoScrollForPoint(const QPoint& point) {
  if (!scrollView_) return;
  const QSizeF visible = visibleRect().size() * zoom_;
  if (point.y() < 0)
    scrollView_->autoScroll(3, true);
  else if (point.y() > visible.height())
    scrollView_->autoScroll(0, true);
  if (point.x() < 0)
    scrollView_->autoScroll(1, false);
  else if (point.x() > visible.width())
    scrollView_->autoScroll(2, false);
}

void CACellView::ensureSelectionVisible() {
  if (ensureScheduled_) return;
  ensureScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    ensureScheduled_ = false;
    ensureSelectionVisibleNow();
  });
}

void CACellView::ensureSelectionVisibleNow() {
  if (!document_ || !scrollView_) return;
  const std::optional<GridPoint> point = gridGeometry().scrollPointToShowSelection();
  if (!point) return;
  scrollView_->scrollToPoint(*point);
  didScroll();
}

void CACellView::didScroll() {
  layoutTypingField();
  update();
}

void CACellView::setZoomValue(double zoom) {
  if (!(zoom > 0)) return;
  zoom_ = zoom;
  if (document_) {
    document_->setZoomValue(zoom);
    document_->bumpTooltipCounter();
  }
  setContentFrame();
  layoutTypingField();
  update();
}

QRect CACellView::widgetRect(const QRectF& rect) const {
  // Cells far down lie billions of pixels away, beyond what a QRect holds: only the part on
  // the widget is turned into pixels, and a cell off the widget gives an empty rectangle.
  const QRectF zoomed(rect.topLeft() * zoom_, rect.size() * zoom_);
  const QRectF onWidget = zoomed.adjusted(-1, -1, 1, 1).intersected(QRectF(this->rect()));
  if (onWidget.isEmpty()) return {};
  return onWidget.toAlignedRect();
}

void CACellView::redrawGridPoint(const GridPoint& point) {
  geometry_.rowsMayHaveChanged(NormalizeCoordinate(point.y), NormalizeCoordinate(point.y));
  update(widgetRect(rectForGridPoint(point)));
}

void CACellView::redrawRange(const GridRange& range) {
  GridRange plain;
  const int32_t type = TypeOfRange(&plain, range);
  if (type == kRangeColumns || type == kRangeInvalid)
    invalidateGeometry();
  else
    geometry_.rowsMayHaveChanged(plain.startPoint.y, plain.endPoint.y);
  update(widgetRect(rectForRange(range)));
}

void CACellView::redrawSelectionForDomain(int32_t domain) {
  if (!document_ || (domain != 0 && domain != kDomainCell) || document_->selectedDomain() != kDomainCell) {
    // Rows, columns or the whole document: sizes may have changed anywhere.
    invalidateGeometry();
    update();
    return;
  }
  redrawRange(document_->selectionRange());
  const GridRange& selection = document_->selectionRange();
  if (selection.startPoint == selection.endPoint) document_->invalidateLongText(selection.startPoint);
}

void CACellView::redraw() { update(); }

void CACellView::invalidateGeometry() { geometry_.invalidate(); }

void CACellView::removeTooltipForCell(const CACell& cell) {
  if (cell.tooltipTag() != 0) tooltips_.remove(cell.tooltipTag());
}

void CACellView::setDragInfo(const CADragInfo& info) {
  dragInfo_ = info;
  update();
}

void CACellView::setPageBreaks(std::vector<int64_t> columnBreaks, std::vector<int64_t> rowBreaks) {
  columnBreaks_ = std::move(columnBreaks);
  rowBreaks_ = std::move(rowBreaks);
  update();
}

bool CACellView::showsFirstResponder() const {
  return hasFocus() && isActiveWindow();
}

CAGridPaintOptions CACellView::paintOptions() const {
  CAGridPaintOptions options;
  options.showFirstResponder = showsFirstResponder();
  options.dragInfo = dragInfo_;
  options.selectedTextBackground = palette().color(QPalette::Active, QPalette::Highlight);
  const CAModelPreferences preferences = ModelPreferences();
  options.smallCheckbox = preferences.smallCheckbox;
  options.valueTooltips = preferences.valueTooltips;
  // The cell being typed is covered by its field, and the reference being picked shows in the
  // typing-selection colour.
  options.typingCell = typingPoint_ && document_ ? document_->cellAtGridPoint(*typingPoint_) : nullptr;
  options.typingFieldUp = typingPoint_.has_value() && fieldEditor_ && fieldEditor_->isVisible();
  options.selectingForRef = selectingForRef_;
  options.sortGridPoint = sortGridPoint_;
  options.columnBreaks = columnBreaks_;
  options.rowBreaks = rowBreaks_;
  auto* self = const_cast<CACellView*>(this);
  options.addTooltip = [self](const QRectF& rect) {
    const int64_t tag = self->nextTooltipTag_++;
    self->tooltips_.insert(tag, rect);
    return tag;
  };
  options.removeTooltip = [self](int64_t tag) { self->tooltips_.remove(tag); };
  return options;
}

void CACellView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!document_) {
    painter.fillRect(event->rect(), Qt::white);
    return;
  }
  painter.scale(zoom_, zoom_);
  const QRectF dirty(QPointF(event->rect().topLeft()) / zoom_, QSizeF(event->rect().size()) / zoom_);
  // Every pass on screen draws the whole visible area and registers its tooltips again; the
  // cells scrolled away keep none.
  tooltips_.clear();
  CAGridPaintOptions options = paintOptions();
  options.draggingIn = draggingIn_;
  const GridPoint shownBefore = document_->maxDisplayGridPoint();
  CAGridPainter(painter, gridGeometry(), *document_, options).paint(dirty);
  paintMarkedText(painter);
  // The cells drawn widen the extent (unless only occupied cells show), so a sheet grows as it
  // is scrolled past its last cell.
  if (document_->maxDisplayGridPoint() != shownBefore)
    QTimer::singleShot(0, this, [this] { setContentFrame(); });
}

void CACellView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  setContentFrame();
  layoutTypingField();
}

void CACellView::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  // While a formula is typed elsewhere the grid does not take the keys for long. Announced
  // before the click is marked: a new selection clears the mark.
  if (document_ && document_->typingState() == 0)
    NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), document_);
  // Clicked into the focus: that click selects nothing. The window coming back to the front
  // gives the focus back to a grid that had it, and its click selects.
  initialClick_ = !firstResponder_ && event->reason() == Qt::MouseFocusReason;
  firstResponder_ = true;
  update();
}

void CACellView::focusOutEvent(QFocusEvent* event) {
  // Marked text lives only while the grid has the keys.
  if (!startingTyping_) shutDownTextInput();
  // Whatever control of the window takes the keys from the grid (the field a cell is typed in,
  // the toolbar's search field, a button or a field of the format panel), the grid stays the
  // window's first responder: a click back on it selects. A window losing the activation keeps
  // its focus too, nor does the grid give up the keys when it is hidden for a moment (the format
  // panel sliding in). Only when the keys go to no control (the window itself takes them to end
  // an edit) does the click that brings them back do nothing else.
  QWidget* next = QApplication::focusWidget();
  if ((!next || next == window()) && isVisible() && event->reason() != Qt::ActiveWindowFocusReason &&
      event->reason() != Qt::PopupFocusReason)
    firstResponder_ = false;
  QWidget::focusOutEvent(event);
  update();
}

void CACellView::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) update();
}

bool CACellView::event(QEvent* event) {
  // Every key, click and drop of the grid is a command on the document: it completes, or the
  // document and its steps stay as they were and the window says so.
  if (document_ && IsCommandEvent(*event)) {
    bool handled = true;
    const QPointer<CACellView> self(this);
    RunGuardedEvent(
        *document_, [&] { handled = QWidget::event(event); },
        [&] {
          if (self) abandonTyping();
        });
    return handled;
  }
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  // The value of a cell whose text does not fit, or a formula's value.
  auto* help = static_cast<QHelpEvent*>(event);
  // Turned off in the preferences: no tooltip, even for rectangles from before the change.
  if (!ModelPreferences().valueTooltips) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  const QPointF point = QPointF(help->pos()) / zoom_;
  for (auto it = tooltips_.cbegin(); it != tooltips_.cend(); ++it) {
    if (!it.value().contains(point) || !document_) continue;
    const CACell* cell = document_->cellAtGridPoint(gridPointAtPoint(point));
    if (cell && cell->valueType() == kValueOverflow) {
      // The text comes from the cell whose overflow covers this one.
      GridPoint source = gridPointAtPoint(point);
      while (cell && cell->valueType() == kValueOverflow && source.x > 0) {
        --source.x;
        cell = document_->cellAtGridPoint(source);
      }
    }
    if (cell) {
      // No more than a screen holds: a long text is not laid out whole for a tip.
      const QString text = ShownPartOfText(CellTooltipText(*cell, document_->showFormulas()),
                                           ShownExtentOfScreens(QFontMetricsF(QToolTip::font()).lineSpacing()));
      QToolTip::showText(help->globalPos(), text, this, widgetRect(it.value()));
      return true;
    }
  }
  QToolTip::hideText();
  event->ignore();
  return true;
}
