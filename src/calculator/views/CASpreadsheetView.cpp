#include "calculator/views/CASpreadsheetView.h"

#include "calculator/model/CAColumn.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/caSheetLabels.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/KeyMap.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kAutoScrollInterval = 100;  // ms
// Where the auto-scroll looks into the cells when the mouse is off the strips' far side.
constexpr double kAutoScrollInset = 8.0;
// The size tip's fill.
const QColor kSizeTipFill(255, 255, 184);

QColor LabelBackground() {
  const Kolor kolor = ModelPreferences().labelKolor;
  return KolorIsColor(kolor) ? ColorFromKolor(kolor) : GrayColor(1);
}

}  // namespace

CASpreadsheetView::CASpreadsheetView(CADocument* document, QWidget* parent)
    : QWidget(parent), document_(document) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
  setMouseTracking(true);
  scrollView_ = new CAScrollView(document, this);
  connect(scrollView_, &CAScrollView::positionChanged, this, &CASpreadsheetView::redraw);
  observeDocument();
  adjustForNewFont();
}

CASpreadsheetView::~CASpreadsheetView() { NotificationCenter::defaultCenter().removeObserver(this); }

CACellView* CASpreadsheetView::cellView() const { return scrollView_ ? scrollView_->cellView() : nullptr; }

void CASpreadsheetView::observeDocument() {
  NotificationCenter& center = NotificationCenter::defaultCenter();
  if (!document_) return;
  const auto relayout = [this](const Notification&) { adjustForNewFont(); };
  center.addObserver(this, QLatin1String(kFontChangedNotification), document_, relayout);
  center.addObserver(this, QLatin1String(kLabelsNotification), document_, relayout);
  center.addObserver(this, QLatin1String(kSelectionChangeNotification), document_,
                     [this](const Notification&) { update(); });
  center.addObserver(this, QLatin1String(kDocClosingNotification), document_,
                     [this](const Notification&) { shutDown(); });
  center.addObserver(this, QLatin1String(kRedrawAllNotification), nullptr, [this](const Notification&) { redraw(); });
  center.addObserver(this, QLatin1String(kCheckboxHeightNotification), nullptr, [this](const Notification&) {
    if (!document_) return;
    for (const std::unique_ptr<CARow>& row : document_->rows()) row->setNeedCalculate(true);
    if (CACellView* view = cellView()) view->invalidateGeometry();
    redraw();
  });
}

void CASpreadsheetView::shutDown() {
  NotificationCenter::defaultCenter().removeObserver(this);
  finishDrag();
  document_ = nullptr;
  update();
}

double CASpreadsheetView::zoom() const {
  const double value = document_ ? document_->zoomValue() : 1.0;
  return value > 0 ? value : 1.0;
}

QSizeF CASpreadsheetView::labelExtent() const {
  if (!document_) return QSizeF(0, 0);
  // On screen the strips end on whole pixels, where the cells begin.
  const QSizeF extent = LabelExtent(*document_);
  return QSizeF(std::ceil(extent.width()), std::ceil(extent.height()));
}

void CASpreadsheetView::adjustForNewFont() {
  const QSizeF extent = labelExtent();
  const int x = int(extent.width());
  const int y = int(extent.height());
  scrollView_->setGeometry(x, y, std::max(width() - x - 1, 0), std::max(height() - y, 0));
  if (CACellView* view = cellView()) view->invalidateGeometry();
  redraw();
}

void CASpreadsheetView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  adjustForNewFont();
}

void CASpreadsheetView::redraw() {
  update();
  if (dragType_ == kSheetDragNone) updateCursor(mapFromGlobal(QCursor::pos()));
}

QPointF CASpreadsheetView::cellPoint(const QPointF& point) const {
  return (point - QPointF(scrollView_->pos())) / zoom();
}

bool CASpreadsheetView::scrolledTitle(bool rows) const {
  if (!document_) return false;
  const GridPoint origin = scrollView_->currentPosition();
  return rows ? origin.y != 0 && document_->titleRow() : origin.x != 0 && document_->titleColumn();
}

std::vector<CALabelSpan> CASpreadsheetView::spans(bool rows, double extra) const {
  const QSizeF extent = labelExtent();
  return ShownLabelSpans(cellView()->gridGeometry(), rows, rows ? extent.height() : extent.width(), zoom(),
                         (rows ? height() : width()) + extra);
}

// ---- Drawing ------------------------------------------------------------------------------------

CASheetDrawInfo CASpreadsheetView::drawInfo(bool printing, const GridPoint& origin, const GridPoint& lastPoint,
                                            const QRectF& bounds) const {
  CASheetDrawInfo info;
  if (!document_) return info;
  const QSizeF extent = printing ? LabelExtent(*document_) : labelExtent();
  info.labelWidth = extent.width();
  info.labelHeight = extent.height();
  info.printing = printing;
  info.origin = origin;
  info.lastPoint = printing ? lastPoint : GridPoint{-1, -1};
  info.scale = printing ? 1.0 : zoom();
  info.bounds = bounds;
  info.font = LabelFont(*document_, info.scale);
  info.ascender = QFontMetricsF(info.font).ascent();
  info.leading = document_->leading() * info.scale;
  info.selection = document_->selectionRange();
  info.selectedBackground = palette().color(QPalette::Active, QPalette::Highlight);
  return info;
}

void CASpreadsheetView::drawLabels(QPainter& painter, const CAGridGeometry& geometry, CASheetDrawInfo* info) const {
  if (!document_) return;
  CASheetDrawInfo local;
  if (!info) {
    local = drawInfo(false, geometry.origin(), GridPoint{-1, -1}, QRectF(rect()));
    local.backgroundColor = GrayColor(1);
    info = &local;
  }
  info->textColor = TextColorForBackground(info->backgroundColor);
  // A printed page gives its own line width (one over its scale).
  if (!info->printing) info->halfLineWidth = 0.5;
  CALabelMove move;
  const bool moving = dragType_ == kSheetDragMove && !info->printing;
  if (moving) {
    GridRange plain;
    TypeOfRange(&plain, document_->selectionRange());
    move.columns = anchorPoint_.y == kGridWildcard;
    move.first = move.columns ? plain.startPoint.x : plain.startPoint.y;
    move.last = move.columns ? plain.endPoint.x : plain.endPoint.y;
    move.dropSlot = dropSlot_;
    move.extent = draggingExtent_;
    move.position = (move.columns ? currentDragPoint_.x() : currentDragPoint_.y()) - dragOffset_;
    move.background = info->backgroundColor;
  }
  CASheetLabelPainter(painter, geometry, *document_, *info).paint(moving ? &move : nullptr, g_darkMode);
}

void CASpreadsheetView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  if (!document_) {
    painter.fillRect(event->rect(), palette().window());
    return;
  }
  const QColor background = LabelBackground();
  painter.fillRect(event->rect(), background);
  CACellView* view = cellView();
  if (!view) return;
  const CAGridGeometry& geometry = view->gridGeometry();
  // A zoom or font change nobody announced still moves the cells to where the strips end.
  const QSizeF extent = labelExtent();
  if (scrollView_->pos() != QPoint(int(extent.width()), int(extent.height())))
    QTimer::singleShot(0, this, [this] { adjustForNewFont(); });
  CASheetDrawInfo info = drawInfo(false, geometry.origin(), GridPoint{-1, -1}, QRectF(rect()));
  info.backgroundColor = background;
  drawLabels(painter, geometry, &info);

  // The corner names the active cell.
  painter.save();
  painter.setClipRect(QRectF(1.0, 1.0, info.labelWidth - 2.0, info.labelHeight - 2.0));
  painter.setFont(info.font);
  painter.setPen(info.textColor);
  const QString name = FormatGridPoint(document_->activeCellPoint());
  const double textWidth = QFontMetricsF(info.font).horizontalAdvance(name);
  const double x = textWidth > info.labelWidth - 6.0 ? 2.0 : (info.labelWidth - textWidth) * 0.5;
  const double y = (info.labelHeight - 1.0 - info.ascender) * 0.5 - info.leading;
  painter.drawText(QPointF(x, y + info.ascender), name);
  painter.restore();

  if (dragType_ == kSheetDragResize) paintSizeTip(painter, info);
}

void CASpreadsheetView::paintSizeTip(QPainter& painter, const CASheetDrawInfo& info) {
  const bool row = anchorPoint_.x == kGridWildcard;
  const int64_t index = row ? anchorPoint_.y : anchorPoint_.x;
  const int64_t value = SizeTipValue(*document_, row, index, optionDown_);
  const QString text = SizeTipText(value, ModelPreferences().defaultUnits);
  const QFont font = QFontDatabase::systemFont(QFontDatabase::SmallestReadableFont);
  const QSizeF textSize = QFontMetricsF(font).size(Qt::TextSingleLine, text);
  const QRectF strip = row ? QRectF(0, info.labelHeight, info.labelWidth, height() - info.labelHeight)
                           : QRectF(info.labelWidth, 0, width() - info.labelWidth, info.labelHeight);
  const QRectF box = SizeTipRect(row, currentDragPoint_, textSize, strip).adjusted(0.5, 0.5, -0.5, -0.5);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  // A soft shadow below the box.
  QColor shadow = GrayColor(g_darkMode ? 7 : 3);
  shadow.setAlphaF(0.5);
  painter.fillRect(box.translated(0, 4.0), shadow);
  painter.fillRect(box, kSizeTipFill);
  painter.setPen(GrayColor(g_darkMode ? 5 : 3));
  painter.drawRect(box);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(box, Qt::AlignCenter, text);
  painter.restore();
}

// ---- The mouse ----------------------------------------------------------------------------------

void CASpreadsheetView::updateCursor(const QPointF& point) {
  const bool allowed = document_ && !document_->isLocked() && dragType_ == kSheetDragNone && cellView();
  if (allowed && rect().contains(point.toPoint())) {
    const QSizeF extent = labelExtent();
    const bool onColumns = point.y() < extent.height() && point.x() > extent.width();
    const bool onRows = point.x() < extent.width() && point.y() > extent.height();
    if ((onColumns || onRows) &&
        LabelEdgeAt(spans(onRows), onRows ? point.y() : point.x(), scrolledTitle(onRows))) {
      setCursor(onRows ? Qt::SplitVCursor : Qt::SplitHCursor);
      return;
    }
  }
  if (dragType_ != kSheetDragResize) unsetCursor();
}

void CASpreadsheetView::mousePressEvent(QMouseEvent* event) {
  CACellView* view = cellView();
  if (!document_ || !view || event->button() != Qt::LeftButton) {
    QWidget::mousePressEvent(event);
    return;
  }
  event->accept();
  view->stopTyping(true);
  // Not as a click on the grid: the formula bar keeps the keys only for a click that picks a
  // reference, and a label click picks none.
  view->setFocus(Qt::OtherFocusReason);
  const QPointF point = event->position();
  currentDragPoint_ = point;
  const GridPoint under = view->gridPointAtPoint(cellPoint(point));
  const QPointF frame = scrollView_->pos();
  const bool onRows = point.x() <= frame.x();
  if (onRows && point.y() <= frame.y()) {
    view->performCommand(CAGridCommand::SelectAll, view);
    return;
  }
  const GridPoint clicked = onRows ? GridPoint{kGridWildcard, under.y} : GridPoint{under.x, kGridWildcard};

  const GridRange selection = document_->selectionRange();
  GridRange plain;
  const int32_t type = TypeOfRange(&plain, selection);
  documentReset_ = false;
  dragged_ = false;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  optionDown_ = modifiers & kOptionModifier;
  const bool locked = document_->isLocked();

  if ((modifiers & Qt::ShiftModifier) && type == (onRows ? kRangeRows : kRangeColumns)) {
    // Shift extends from the far side of the selected rows (columns) to the click.
    dragType_ = kSheetDragSelect;
    const GridPoint active = document_->activeCellPoint();
    if (onRows) {
      const int64_t y = under.y > plain.endPoint.y ? plain.startPoint.y
                        : under.y < plain.startPoint.y ? plain.endPoint.y : active.y;
      anchorPoint_ = GridPoint{kGridWildcard, y};
    } else {
      const int64_t x = under.x > plain.endPoint.x ? plain.startPoint.x
                        : under.x < plain.startPoint.x ? plain.endPoint.x : active.x;
      anchorPoint_ = GridPoint{x, kGridWildcard};
    }
    document_->setActiveCellPoint(anchorPoint_);
    mouseMoveEvent(event);
    return;
  }

  if (!locked && startResize(point, onRows, modifiers & kCommandModifier, selection)) {
    // Started, or the step was refused.
  } else if (!locked && type == (onRows ? kRangeRows : kRangeColumns) &&
             (onRows ? under.y >= plain.startPoint.y && under.y <= plain.endPoint.y
                     : under.x >= plain.startPoint.x && under.x <= plain.endPoint.x)) {
    startMove(point, clicked, plain);
  } else {
    dragType_ = kSheetDragSelect;
    anchorPoint_ = clicked;
    document_->setSelectionPoint(clicked);
  }
  if (dragType_ != kSheetDragNone) qApp->installEventFilter(this);
  if (dragType_ == kSheetDragSelect && !autoScrollTimer_) {
    autoScrollTimer_ = new QTimer(this);
    autoScrollTimer_->setInterval(kAutoScrollInterval);
    connect(autoScrollTimer_, &QTimer::timeout, this, &CASpreadsheetView::autoScrollTimerFired);
    autoScrollTimer_->start();
  }
  redraw();
}

void CASpreadsheetView::startMove(const QPointF& point, const GridPoint& clicked, const GridRange& selection) {
  const bool onRows = clicked.x == kGridWildcard;
  dragType_ = kSheetDragMove;
  anchorPoint_ = clicked;
  // The offset from the block's leading edge to the mouse; the block's size.
  const double zoom = this->zoom();
  const QSizeF extent = labelExtent();
  const QRectF first = cellView()->rectForGridPoint(selection.startPoint);
  const CAGridGeometry& geometry = cellView()->gridGeometry();
  if (onRows) {
    dragOffset_ = point.y() - extent.height() - first.y() * zoom;
    draggingExtent_ = (geometry.rowTop(selection.endPoint.y + 1) - geometry.rowTop(selection.startPoint.y)) * zoom;
  } else {
    dragOffset_ = point.x() - extent.width() - first.x() * zoom;
    draggingExtent_ =
        (geometry.columnLeft(selection.endPoint.x + 1) - geometry.columnLeft(selection.startPoint.x)) * zoom;
  }
  dragRowOrColumn();
}

bool CASpreadsheetView::startResize(const QPointF& point, bool onRows, bool freeSize, const GridRange& selection) {
  const std::vector<CALabelSpan> shown = spans(onRows);
  const CALabelSpan* span = LabelEdgeAt(shown, onRows ? point.y() : point.x(), scrolledTitle(onRows));
  if (!span) return false;
  anchorPoint_ = onRows ? GridPoint{kGridWildcard, span->index} : GridPoint{span->index, kGridWildcard};
  document_->setSelectionPoint(anchorPoint_);
  const uint32_t action = onRows ? (optionDown_ ? kUndoActionLayoutRows : kUndoActionRows)
                                 : (optionDown_ ? kUndoActionLayoutColumns : kUndoActionColumns);
  const int32_t domain = optionDown_ ? kDomainDocument : onRows ? kDomainRow : kDomainColumn;
  // The step is asked for once the size changes: a click on the edge changes nothing.
  pendingResizeUndo_ = PendingResizeUndo{action, onRows ? kUndoRowHeight : kUndoColumnWidth, selection, domain};
  dragType_ = kSheetDragResize;
  dragOffset_ = (onRows ? point.y() : point.x()) - span->end;
  resizeAnchor_ = span->start;
  forcedInterval_ = ResizeInterval(!onRows, freeSize, ModelPreferences().defaultUnits);
  setCursor(onRows ? Qt::SplitVCursor : Qt::SplitHCursor);
  return true;
}

void CASpreadsheetView::mouseMoveEvent(QMouseEvent* event) {
  if (dragType_ == kSheetDragNone || !document_) {
    if (!(event->buttons() & Qt::LeftButton)) updateCursor(event->position());
    QWidget::mouseMoveEvent(event);
    return;
  }
  event->accept();
  currentDragPoint_ = event->position();
  dragged_ = true;
  switch (dragType_) {
    case kSheetDragSelect:
      extendSelection(cellView()->gridPointAtPoint(cellPoint(currentDragPoint_)));
      break;
    case kSheetDragResize:
      resizeRowOrColumn();
      break;
    case kSheetDragMove:
      dragRowOrColumn();
      break;
  }
  redraw();
}

void CASpreadsheetView::extendSelection(const GridPoint& point) {
  const GridPoint active = document_->activeCellPoint();
  GridRange range;
  GridPoint newActive;
  if (anchorPoint_.x == kGridWildcard) {
    const int64_t top = std::min(point.y, anchorPoint_.y);
    const int64_t bottom = std::max(point.y, anchorPoint_.y);
    range = GridRange{{kGridWildcard, top}, {kGridWildcard, bottom}};
    newActive = GridPoint{0, active.y >= top && active.y <= bottom ? active.y : top};
  } else {
    const int64_t left = std::min(point.x, anchorPoint_.x);
    const int64_t right = std::max(point.x, anchorPoint_.x);
    range = GridRange{{left, kGridWildcard}, {right, kGridWildcard}};
    newActive = GridPoint{active.x >= left && active.x <= right ? active.x : left, 0};
  }
  if (range == document_->selectionRange() && newActive == active) return;
  document_->setSelectionRange(range);
  document_->setActiveCellPoint(newActive);
}

void CASpreadsheetView::resizeRowOrColumn() {
  const bool row = anchorPoint_.x == kGridWildcard;
  const double position = (row ? currentDragPoint_.y() : currentDragPoint_.x()) - dragOffset_;
  const GridPoint padding = document_->cellPadding();
  const double paddingPoints = row ? 2.0 * std::ceil(double(padding.y) / double(kEmuPerPoint)) : 2.0 * double(padding.x) / double(kEmuPerPoint);
  const int64_t size = ResizedSize(position, resizeAnchor_, zoom(), forcedInterval_, !row, paddingPoints);
  if (pendingResizeUndo_) {
    if (!optionDown_) {
      const CARow* line = row ? document_->row(anchorPoint_.y) : nullptr;
      const CAColumn* column = row ? nullptr : document_->column(anchorPoint_.x);
      const bool same = row ? (line ? line->minimumHeight() : 0) == size
                            : column ? column->digitCount() < 0 && column->width() == size : false;
      if (same) return;
    }
    const PendingResizeUndo step = *pendingResizeUndo_;
    pendingResizeUndo_.reset();
    if (!document_->setUndo(kFLNewUndoID, step.action, step.descriptor, step.selection, step.domain)) {
      finishDrag();
      return;
    }
  }
  if (row) {
    rowsResized_ = true;
    if (optionDown_) {
      if (!documentReset_) document_->resetRowHeights();
      if (!(documentReset_ && size == document_->minimumHeight())) document_->setMinimumHeight(size);
    } else {
      CARow* line = document_->rowImperative(anchorPoint_.y);
      if (line && line->minimumHeight() != size) {
        line->setMinimumHeight(size);
        line->setNeedCalculate(true);
      }
    }
  } else {
    if (optionDown_) {
      if (!documentReset_) {
        document_->resetColumnWidths();
        document_->setDefaultDigitCount(-1);
      }
      if (!(documentReset_ && size == document_->defaultWidth())) document_->setDefaultWidth(size);
    } else {
      CAColumn* column = document_->columnImperative(anchorPoint_.x);
      if (column && !(column->digitCount() < 0 && column->width() == size)) {
        column->setDigitCount(-1);
        column->setWidth(size);
      }
    }
    const GridRange images = optionDown_ ? GridRange{{-1, 0}, {-1, 0}} : document_->selectionRange();
    document_->recalcImageCellsInColumnRange(images);
    // Overflowing texts follow the edge as it moves: those a changed width reaches are laid out
    // again, and nothing is recalculated.
    document_->layOutLongText();
  }
  documentReset_ = true;
  document_->pageBreaksChanged();
  if (CACellView* view = cellView()) {
    view->redrawSelectionForDomain(optionDown_ ? kDomainDocument : row ? kDomainRow : kDomainColumn);
    view->setContentFrame();
  }
  document_->notifyOfSelectionChange();
}

void CASpreadsheetView::dragRowOrColumn() {
  const bool row = anchorPoint_.x == kGridWildcard;
  GridRange plain;
  TypeOfRange(&plain, document_->selectionRange());
  const QSizeF extent = labelExtent();
  const double position = (row ? currentDragPoint_.y() : currentDragPoint_.x()) - dragOffset_;
  dropSlot_ = DropSlotAt(spans(row, draggingExtent_), row ? extent.height() : extent.width(),
                         row ? plain.startPoint.y : plain.startPoint.x, row ? plain.endPoint.y : plain.endPoint.x,
                         position);
  pushDragInfo();
}

bool CASpreadsheetView::getDragInfo(CADragInfo* info) const {
  *info = CADragInfo();
  if (dragType_ != kSheetDragMove) return false;
  const bool columns = anchorPoint_.y == kGridWildcard;
  info->cellDragType = columns ? kCellDragColumns : kCellDragRows;
  info->dropSlot = dropSlot_;
  info->draggingExtent = draggingExtent_ / zoom();
  const QPointF frame = scrollView_->pos();
  info->dragEdge = columns ? (currentDragPoint_.x() - dragOffset_ - frame.x()) / zoom()
                           : (currentDragPoint_.y() - dragOffset_ - frame.y()) / zoom();
  return true;
}

void CASpreadsheetView::pushDragInfo() {
  CADragInfo info;
  getDragInfo(&info);
  if (CACellView* view = cellView()) view->setDragInfo(info);
}

void CASpreadsheetView::mouseReleaseEvent(QMouseEvent* event) {
  if (dragType_ == kSheetDragNone || !document_) {
    QWidget::mouseReleaseEvent(event);
    return;
  }
  event->accept();
  currentDragPoint_ = event->position();
  if (dragType_ == kSheetDragMove) {
    if (dragged_)
      endMove();
    else
      extendSelection(anchorPoint_.x == kGridWildcard ? GridPoint{0, anchorPoint_.y} : GridPoint{anchorPoint_.x, 0});
  }
  if (dragType_ == kSheetDragResize && rowsResized_) {
    // A text of several lines spreads as far as the lines its row now shows.
    if (optionDown_)
      document_->invalidateAllLongText();
    else
      document_->invalidatelLongTextForRow(anchorPoint_.y);
    document_->layOutLongText();
  }
  finishDrag();
}

void CASpreadsheetView::endMove() {
  const bool row = anchorPoint_.x == kGridWildcard;
  GridRange plain;
  TypeOfRange(&plain, document_->selectionRange());
  const GridPoint origin = scrollView_->currentPosition();
  const int64_t index = DropIndexForSlot(dropSlot_, row ? origin.y : origin.x,
                                         row ? document_->titleRow() : document_->titleColumn());
  if (index != (row ? plain.startPoint.y : plain.startPoint.x)) {
    if (row)
      document_->moveSelectedRowsTo(double(index));
    else
      document_->moveSelectedColumnsTo(double(index));
  }
  if (CACellView* view = cellView()) {
    view->invalidateGeometry();
    if (document_->showOnlyOccupied()) view->setContentFrame();
  }
}

void CASpreadsheetView::finishDrag() {
  if (autoScrollTimer_) {
    autoScrollTimer_->stop();
    autoScrollTimer_->deleteLater();
    autoScrollTimer_ = nullptr;
  }
  qApp->removeEventFilter(this);
  pendingResizeUndo_.reset();
  rowsResized_ = false;
  const bool wasMoving = dragType_ == kSheetDragMove;
  dragType_ = kSheetDragNone;
  dropSlot_ = UINT64_MAX;
  draggingExtent_ = 0;
  if (wasMoving) pushDragInfo();
  unsetCursor();
  redraw();
}

void CASpreadsheetView::cancelOperation() {
  if (dragType_ != kSheetDragNone) finishDrag();
}

bool CASpreadsheetView::event(QEvent* event) {
  const bool dragging = event->type() == QEvent::MouseMove && dragType_ != kSheetDragNone;
  if (!document_ || !(dragging || IsCommandEvent(*event))) return QWidget::event(event);
  bool handled = true;
  // A resize or move that failed is rolled back whole: the drag ends with it.
  RunGuardedEvent(*document_, [&] { handled = QWidget::event(event); }, [&] { finishDrag(); });
  return handled;
}

bool CASpreadsheetView::eventFilter(QObject* watched, QEvent* event) {
  // The grid keeps the keys; Escape during a mouse action on the labels ends it.
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      dragType_ != kSheetDragNone) {
    cancelOperation();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CASpreadsheetView::autoScrollTimerFired() {
  CACellView* view = cellView();
  if (dragType_ != kSheetDragSelect || !document_ || !view) return;
  const QPointF mouse = currentDragPoint_;
  const QPointF frame = scrollView_->pos();
  const bool columns = anchorPoint_.y == kGridWildcard;
  const bool inside = rect().contains(mouse.toPoint()) &&
                      (columns ? mouse.x() >= frame.x() : mouse.y() >= frame.y());
  if (inside) return;
  // Into the cell view, level with its first row (column) on the other axis.
  QPointF point = mouse - frame;
  if (columns)
    point.setY(kAutoScrollInset * zoom());
  else
    point.setX(kAutoScrollInset * zoom());
  view->autoScrollForPoint(point.toPoint());
  extendSelection(view->gridPointAtPoint(point / zoom()));
  redraw();
}
