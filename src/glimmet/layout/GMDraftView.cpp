#include "glimmet/layout/GMDraftView.h"

#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/flInterfaceSupport.h"
#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/GMDraftScrollView.h"
#include "glimmet/layout/GMDraftViewAccessible.h"
#include "glimmet/layout/GMViewService.h"
#include "glimmet/layout/gmDraft.h"
#include "glimmet/layout/gmLocate.h"
#include "glimmet/layout/gmSelection.h"
#include "glimmet/layout/gmViewNotifications.h"
#include "glimmet/storage/GlimmetDoc.h"
#include "glimmet/storage/gmKnots.h"
#include "platform/KeyMap.h"

#include <QAccessible>
#include <QApplication>
#include <QCursor>
#include <QEasingCurve>
#include <QFont>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleHints>
#include <QTimer>
#include <QVariantAnimation>
#include <QWindow>

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int kFlashMilliseconds = 200;
constexpr double kFlashOutsetX = 20, kFlashOutsetY = 6;
constexpr double kFlashRamp = 0.17;

bool Finite(double value) { return std::isfinite(value); }

// Modifiers among Shift, Control, Option and Command.
Qt::KeyboardModifiers MainModifiers(Qt::KeyboardModifiers modifiers) {
  return modifiers & (Qt::ShiftModifier | kCommandModifier | kOptionModifier | kControlModifier);
}

QCursor CursorFor(GMCursor cursor) {
  switch (cursor) {
    case GMCursor::Arrow: return QCursor(Qt::ArrowCursor);
    case GMCursor::PointingHand: return QCursor(Qt::PointingHandCursor);
    case GMCursor::ResizeLeftRight: return QCursor(Qt::SplitHCursor);
    case GMCursor::IBeam: break;
  }
  return QCursor(Qt::IBeamCursor);
}

}  // namespace

GMDraftView::GMDraftView(QWidget* parent) : FLView(parent), rulePosition_(kNaN, kNaN) {
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  cursorObserver_ = NotificationCenter::defaultCenter().addObserver(kGMCursorChangeNotification, nullptr,
                                                                     [this](const Notification&) { forceCursorChange(); });
  flashObserver_ = NotificationCenter::defaultCenter().addObserver(
      kGMFlashNotification, static_cast<GMPaneView*>(this), [this](const Notification&) { flashSelection(); });
  GMDraftViewAccessible::install();
}

GMDraftView::~GMDraftView() {
  selectionObserver_.reset();
  if (accessibilityRegistered_) {
    QAccessibleEvent destroyed(this, QAccessible::ObjectDestroyed);
    GMDraftViewAccessible::post(&destroyed);
  }
  if (tableHoverTimer_) tableHoverTimer_->stop();
  if (document_ && glimmetDoc_) {
    for (uint32_t i = 0; i < glimmetDoc_->paneCount; ++i)
      if (glimmetDoc_->panes[i].view == this) glimmetDoc_->panes[i].view = nullptr;
  }
}

void GMDraftView::setDocument(GMDocument* document) {
  closingObserver_.reset();
  selectionObserver_.reset();
  document_ = document;
  glimmetDoc_ = document ? document->glimmetDoc() : nullptr;
  if (!document) return;
  closingObserver_ = NotificationCenter::defaultCenter().addObserver(kGMDocClosingNotification, document,
                                                                      [this](const Notification&) { shutDown(); });
  selectionObserver_ = NotificationCenter::defaultCenter().addObserver(
      kGMSelectionChangeNotification, document, [this](const Notification&) { announceSelection(); });
  if (!document->paneForView(this)) document->addView(this);
  if (!accessibilityRegistered_) {
    accessibilityRegistered_ = true;
    QAccessibleEvent created(this, QAccessible::ObjectCreated);
    GMDraftViewAccessible::post(&created);
  }
}

void GMDraftView::announceSelection() {
  Pane* pane = document_ ? document_->paneForView(this) : nullptr;
  if (!pane) return;
  DocRange range;
  GetPaneRange(glimmetDoc_, pane, &range);
  const auto offset = [&](int32_t cp) { return int(std::max<int64_t>(0, int64_t(cp) - range.first)); };
  QAccessibleTextCursorEvent cursor(this, offset(pane->selFirst));
  GMDraftViewAccessible::post(&cursor);
  QAccessibleTextSelectionEvent selection(this, offset(pane->selFirst), offset(pane->selLimit));
  GMDraftViewAccessible::post(&selection);
}

void GMDraftView::setViewService(GMViewService* service) {
  viewService_ = service;
  canBlockBlink_ = service && service->answersSetBlockBlink();
  doesStatusMessage_ = service && service->answersSetStatusMessage();
}

void GMDraftView::shutDown() {
  selectionObserver_.reset();
  document_ = nullptr;
  glimmetDoc_ = nullptr;
  viewService_ = nullptr;
  if (tableHoverTimer_) tableHoverTimer_->deleteLater();
  tableHoverTimer_ = nullptr;
  closingObserver_.reset();
}

GMDraftScrollView* GMDraftView::scrollView() const { return qobject_cast<GMDraftScrollView*>(parentWidget()); }

bool GMDraftView::autoScroll(int direction, bool vertical) {
  GMDraftScrollView* scroll = scrollView();
  if (!scroll) return false;
  scroll->autoScroll(direction, vertical);
  return true;
}

void GMDraftView::scrollToHorizontal(double x) {
  if (GMDraftScrollView* scroll = scrollView()) scroll->scrollToHorizontal(x, false, true);
}

// ---- Pane view

QRectF GMDraftView::bounds() const { return QRectF(0, 0, width() / zoomValue_, height() / zoomValue_); }

double GMDraftView::horizontalScroll() const {
  GMDraftScrollView* scroll = scrollView();
  return scroll && scroll->horizontalScroller() ? std::max(0.0, scroll->currentPosition(false)) : 0.0;
}

void GMDraftView::setNeedsDisplay(const QRectF& rect) {
  const QRectF scaled(rect.x() * zoomValue_, rect.y() * zoomValue_, rect.width() * zoomValue_,
                      rect.height() * zoomValue_);
  update(scaled.toAlignedRect().adjusted(-1, -1, 1, 1));
}

void GMDraftView::noteNewScrollPosition(double vertical) {
  setScrollLimits();
  if (GMDraftScrollView* scroll = scrollView()) scroll->scrollToVertical(vertical, false, false);
}

bool GMDraftView::isKeyFirstResponder() const { return hasFocus(); }

bool GMDraftView::applicationActive() const { return QGuiApplication::applicationState() == Qt::ApplicationActive; }

QPointF GMDraftView::draftPoint(QPointF widgetPosition) const {
  return QPointF(std::floor(widgetPosition.x() / zoomValue_), std::floor(widgetPosition.y() / zoomValue_));
}

// ---- State

void GMDraftView::setScrollLimits() {
  GMDraftScrollView* scroll = scrollView();
  Pane* pane = document_ ? document_->paneForView(this) : nullptr;
  if (!scroll || !pane) return;
  DocRange range;
  GetPaneRange(glimmetDoc_, pane, &range);
  const uint32_t first = uint32_t(std::max(pane->firstDraftCp, int32_t(range.first)));
  const double visible = document_->draftCpExtent(this, first);
  if (visible > 0) scroll->setScrollPosition(first - range.first, range.length(), visible, true);
  if (scroll->horizontalScroller()) {
    const double width = document_->maxDraftWidth(this) + 2 * pane->sideMargin;
    scroll->setScrollPosition(std::max(0.0, scroll->currentPosition(false)), width, bounds().width(), false);
  }
}

bool GMDraftView::shouldTrashOnResize() const {
  if (!document_ || !document_->paneForView(this)) return false;
  return document_->draftFitsToWindow(const_cast<GMDraftView*>(this));
}

void GMDraftView::didResize() {
  if (shouldTrashOnResize()) document_->trashDisplay(this);
}

void GMDraftView::horizontalScrolling() {
  if (!document_) return;
  if (document_->paneForView(this)) document_->hideInsertionPoint();
  document_->trashDisplay(this);
}

void GMDraftView::setRulePosition(QPointF position) {
  if (Finite(rulePosition_.x()) || Finite(rulePosition_.y())) invalidateDragRule();
  rulePosition_ = position;
  if (Finite(position.x()) || Finite(position.y())) invalidateDragRule();
}

void GMDraftView::invalidateDragRule() {
  const double w = 4 / zoomValue_;
  if (Finite(rulePosition_.x())) update(QRectF(rulePosition_.x() / zoomValue_ - w / 2, 0, w, height()).toAlignedRect());
  if (Finite(rulePosition_.y())) {
    const double scroll = scrollView() ? scrollView()->currentPosition(true) : 0;
    update(QRectF(0, rulePosition_.y() / zoomValue_ + scroll - w / 2, width(), w).toAlignedRect());
  }
}

void GMDraftView::activate() {
  if (hasFocus()) becomeFirstResponder();
  update();
  initialClick_ = false;
}

void GMDraftView::deactivate() {
  fakeResignRequest_ = true;
  resignFirstResponder();
  update();
  fakeResignRequest_ = false;
}

void GMDraftView::viewDidMoveToWindow() {
  QWidget* top = window();
  if (top == observedWindow_) return;
  if (observedWindow_) observedWindow_->removeEventFilter(this);
  observedWindow_ = top;
}

QRectF GMDraftView::selectionAnchorRect() {
  if (!document_ || !glimmetDoc_) return {};
  Pane* pane = document_->paneForView(this);
  if (!pane) pane = CurrentPane(glimmetDoc_);
  LocatorRec locator = LocatorFor(glimmetDoc_, pane, pane->selFirst);
  IsLocationVisible(&locator, nullptr, true);
  QRectF rect;
  if (!GetRectContainingCp(&locator, false, &rect)) return {};
  if (locator.lineIndex >= pane->lines.count()) {
    LogAssert("Bad lineIndex", __func__, __FILE__, __LINE__);
    return {};
  }
  const DraftLine& line = pane->lines.at(locator.lineIndex);
  double width = 0;
  locator.cp = pane->selFirst;
  QRectF selectionRect;
  const double x = XAndWidthForCp(&locator, uint32_t(pane->selLimit), &width, &selectionRect);
  return QRectF(x, line.y, width, line.height);
}

// ---- Drawing

void GMDraftView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRectF dirty = QRectF(event->rect());
  painter.fillRect(dirty, palette().color(QPalette::Base));
  if (!document_ || !glimmetDoc_ || !document_->paneForView(this)) return;
  painter.save();
  painter.scale(zoomValue_, zoomValue_);
  const QRectF draftDirty(dirty.x() / zoomValue_, dirty.y() / zoomValue_, dirty.width() / zoomValue_,
                          dirty.height() / zoomValue_);
  drawSetup(painter, draftDirty);
  document_->drawView(this, painter, draftDirty);
  painter.restore();
  // Drawing may have laid out new lines: the scrollers follow.
  setScrollLimits();
  if (Finite(rulePosition_.x())) {
    const double pixel = 1 / zoomValue_;
    painter.setPen(QPen(Qt::blue, pixel));
    const double x = rulePosition_.x() / zoomValue_ + 0.5 * pixel;
    painter.drawLine(QPointF(x, 0), QPointF(x, height()));
  }
  if (!flashRect_.isEmpty()) drawFlash(painter);
}

// ---- Selection flash

void GMDraftView::flashSelection() {
  if (!document_ || !glimmetDoc_) return;
  Pane* pane = CurrentPane(glimmetDoc_);
  if (!pane || pane->view != this) return;
  QRectF rect;
  const bool empty = pane->selFirst == pane->selLimit;
  LocatorRec locator = LocatorFor(glimmetDoc_, pane, pane->selFirst);
  if (empty || pane->frameIndex != kGMNone) {
    GetRectContainingCp(&locator, false, &rect);
  } else {
    // The union of the selected parts of the lines held.
    for (uint32_t i = 0; i < pane->lines.count(); ++i) {
      const uint32_t first = pane->lines.cpAt(i), limit = pane->lines.cpAt(i + 1);
      if (limit <= uint32_t(pane->selFirst) || first >= uint32_t(pane->selLimit)) continue;
      LocatorRec at = locator;
      at.cp = int32_t(std::max(first, uint32_t(pane->selFirst)));
      double width = 0;
      QRectF lineRect;
      const double x = XAndWidthForCp(&at, std::min(limit, uint32_t(pane->selLimit)), &width, &lineRect);
      if (x < 0) continue;
      const QRectF span(x, lineRect.y(), std::max(width, 1.0), lineRect.height());
      rect = rect.isNull() ? span : rect.united(span);
    }
  }
  if (rect.height() <= 0) return;
  if (rect.width() <= 0) {
    if (!empty || pane->frameIndex != kGMNone) return;
    rect = QRectF(rect.x() - 8, rect.y(), 16, rect.height());
  }
  flashFrame_ = pane->frameIndex != kGMNone;
  flashRect_ = rect;
  flashProgress_ = 0;
  pane->noHighlight = true;
  if (flashAnimation_) flashAnimation_->stop();
  auto* animation = new QVariantAnimation(this);
  animation->setDuration(kFlashMilliseconds);
  animation->setEasingCurve(QEasingCurve::InOutQuad);
  animation->setStartValue(0.0);
  animation->setEndValue(1.0);
  connect(animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) { flashProgress(value.toDouble()); });
  connect(animation, &QVariantAnimation::finished, this, [this] {
    if (glimmetDoc_)
      if (Pane* current = CurrentPane(glimmetDoc_)) current->noHighlight = false;
    update(flashOutset(flashRect_, 1).toAlignedRect());
    flashRect_ = QRectF();
  });
  flashAnimation_ = animation;
  animation->start(QAbstractAnimation::DeleteWhenStopped);
}

QRectF GMDraftView::flashOutset(const QRectF& rect, double envelope) const {
  const double dy = (flashFrame_ ? kFlashOutsetX : kFlashOutsetY) * envelope;
  QRectF outset = rect.adjusted(-kFlashOutsetX * envelope, -dy, kFlashOutsetX * envelope, dy);
  // Whole device pixels.
  const QRectF scaled(outset.x() * zoomValue_, outset.y() * zoomValue_, outset.width() * zoomValue_,
                      outset.height() * zoomValue_);
  return QRectF(scaled.toAlignedRect());
}

void GMDraftView::flashProgress(double progress) {
  flashProgress_ = progress;
  update(flashOutset(flashRect_, 1).toAlignedRect());
}

void GMDraftView::drawFlash(QPainter& painter) {
  const double p = flashProgress_;
  const double envelope = p <= kFlashRamp ? p / kFlashRamp : p >= 1 - kFlashRamp ? (1 - p) / kFlashRamp : 1.0;
  const QRectF box = flashOutset(flashRect_, envelope);
  painter.fillRect(box, palette().color(QPalette::Highlight));
  if (!document_) return;
  // The selection drawn again on top of the box.
  painter.save();
  painter.setClipRect(box);
  painter.scale(zoomValue_, zoomValue_);
  const QRectF inner(flashRect_.x(), flashRect_.y(), flashRect_.width(), flashRect_.height());
  painter.setClipRect(inner, Qt::IntersectClip);
  painter.setCompositionMode(QPainter::CompositionMode_Multiply);
  document_->drawView(this, painter, inner);
  painter.restore();
}

// ---- Mouse

void GMDraftView::mouseDown(QMouseEvent* event, int clickCount) {
  if (event->button() != Qt::LeftButton) return;
  if (viewService_ && !viewService_->mayRespond()) return;
  if (tableHoverTimer_) tableHoverTimer_->deleteLater();
  tableHoverTimer_ = nullptr;
  if (canBlockBlink_) viewService_->setBlockBlink(true);
  const QPointF point = draftPoint(event->position());
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  int32_t type = kSelectPlain;
  if (clickCount == 2)
    type = kSelectDoubleClick;
  else if ((modifiers & kCommandModifier) || clickCount == 3)
    type = kSelectSentence;
  else if (modifiers & Qt::ShiftModifier)
    type = kSelectExtend;
  else if (initialClick_)
    type = kSelectActivating;
  else if (tableHover_)
    type = kSelectCells;
  if (type == kSelectPlain && document_ && glimmetDoc_ && !document_->isLocked()) {
    LocatorRec locator = LocatorFor(glimmetDoc_, document_->paneForView(this));
    if (locator.pane && (LocatePointInDoc(point.x(), point.y(), &locator, 7), locator.boundaryIndex >= 0))
      type = kSelectColumnResize;
  }
  selectionType_ = type;
  setFocus(Qt::MouseFocusReason);
  if (document_) document_->startSelection(point, this, type, modifiers);
  tableHover_ = false;
  initialClick_ = false;
  if (!glimmetDoc_ || !IsTrackingSelection(glimmetDoc_)) {
    selectionType_ = 0;
    if (canBlockBlink_ && viewService_) viewService_->setBlockBlink(false);
  }
}

void GMDraftView::mousePressEvent(QMouseEvent* event) {
  const ulong time = event->timestamp();
  // A press that Qt also reported as a double click was counted there.
  if (time == lastDoubleClickTime_ && clickCount_ >= 2) return;
  const QPointF position = event->position();
  const bool near = (position - lastPressPoint_).manhattanLength() <= QApplication::startDragDistance();
  const bool quick = time - lastPressTime_ <= ulong(QGuiApplication::styleHints()->mouseDoubleClickInterval());
  clickCount_ = near && quick && clickCount_ > 0 && clickCount_ < 3 ? clickCount_ + 1 : 1;
  lastPressTime_ = time;
  lastPressPoint_ = position;
  mouseDown(event, clickCount_);
}

void GMDraftView::mouseDoubleClickEvent(QMouseEvent* event) {
  const ulong time = event->timestamp();
  if (time == lastPressTime_ && clickCount_ >= 2) return;
  clickCount_ = 2;
  lastPressTime_ = lastDoubleClickTime_ = time;
  lastPressPoint_ = event->position();
  mouseDown(event, clickCount_);
}

void GMDraftView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF point = draftPoint(event->position());
  if (selectionType_ != 0 && (event->buttons() & Qt::LeftButton)) {
    if (document_) document_->continueSelection(point);
    return;
  }
  if (!glimmetDoc_) return;
  if (tableHoverTimer_) tableHoverTimer_->deleteLater();
  tableHoverTimer_ = nullptr;
  tableHover_ = false;
  updateCursor(point);
}

void GMDraftView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  // Each notification releases one lock; never more rounds than there were locks.
  for (uint64_t held = document_ ? document_->changeLockCount() : 0; held > 0 && document_->changeLockCount() != 0;
       --held)
    document_->documentDidChange();
  if (selectionType_ == 0) return;
  if (canBlockBlink_ && viewService_) viewService_->setBlockBlink(false);
  if (doesStatusMessage_ && viewService_) viewService_->setStatusMessage(QString(), 0, 1);
  if (document_) document_->endSelection();
  selectionType_ = 0;
}

void GMDraftView::leaveEvent(QEvent* event) {
  FLView::leaveEvent(event);
  if (tableHoverTimer_) tableHoverTimer_->deleteLater();
  tableHoverTimer_ = nullptr;
  tableHover_ = false;
  setCursor(Qt::ArrowCursor);
}

void GMDraftView::wheelEvent(QWheelEvent* event) {
  if (GMDraftScrollView* scroll = scrollView())
    QApplication::sendEvent(scroll, event);
  else
    event->ignore();
}

void GMDraftView::updateCursor(QPointF point) {
  if (!document_) return;
  LocatorRec locator;
  if (const std::optional<GMCursor> cursor = document_->setCursor(point, this, &locator)) setCursor(CursorFor(*cursor));
}

void GMDraftView::forceCursorChange() {
  if (hasFocus()) updateCursor(draftPoint(mapFromGlobal(QCursor::pos())));
}

void GMDraftView::tableHovering() {
  tableHoverTimer_ = nullptr;
  if (!glimmetDoc_ || glimmetDoc_->paneCount == 0 || !window()) return;
  LocatorRec locator = LocatorFor(glimmetDoc_, CurrentPane(glimmetDoc_));
  const QPointF point = draftPoint(mapFromGlobal(QCursor::pos()));
  LocatePointInDoc(point.x(), point.y(), &locator, 4);
  if (locator.cellColumn >= 0) tableHover_ = true;
}

// ---- Keys

void GMDraftView::keyPressEvent(QKeyEvent* event) { keyDown(event); }

void GMDraftView::keyDown(QKeyEvent* event) {
  FLPopoverBaseVC::closePopovers();
  const uint16_t keyCode = KeyCodeForEvent(*event);
  if (selectionInProgress()) {
    if (keyCode == kKeyCodeEscape) cancelOperation();
    return;
  }
  if (!hasFocus()) {
    event->ignore();
    return;
  }
  if (keyCode == kKeyCodeEscape) {
    cancelOperation();
    return;
  }
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  // The standard shortcuts the view answers itself.
  if (event->matches(QKeySequence::Copy)) {
    copy();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    selectAll();
    return;
  }
  if (keyCode == kKeyCodeSpace && MainModifiers(modifiers) == kCommandModifier) {
    if (viewService_) viewService_->plain(this);
    return;
  }
  if (keyCode == kKeyCodeClear) {
    if (document_) document_->deleteForward(false, false, true);
    return;
  }
  if (const int fkey = FunctionKeyForEvent(*event)) {
    if (document_) document_->handleFkey(fkey, GMDocument::convertModifiers(modifiers));
    return;
  }
  if (keyCode == kKeyCodeTab && MainModifiers(modifiers) == (Qt::ShiftModifier | kOptionModifier)) {
    if (document_) document_->insertOrObeyForcedTab(true);
    return;
  }
  if (viewService_ && viewService_->useStandardKeys())
    performSystemKeyCode(keyCode, modifiers, event);
  else
    performGlimmetKeyCode(keyCode, modifiers, event);
}

void GMDraftView::performGlimmetKeyCode(uint16_t keyCode, Qt::KeyboardModifiers modifiers, QKeyEvent* event) {
  const bool shift = modifiers & Qt::ShiftModifier;
  const bool option = modifiers & kOptionModifier;
  const bool command = modifiers & kCommandModifier;
  switch (keyCode) {
    case kKeyCodeReturn:
    case kKeyCodeEnter:
      if (document_) document_->insert(QString(QChar(option ? 0x2028 : 10)), true, false);
      return;
    case kKeyCodeTab: interpretKeyEvent(event); return;
    case kKeyCodeDelete:
      if (!document_) return;
      if (option)
        document_->deleteForwardByParagraph(false, false);
      else
        document_->deleteForward(modifiers & kControlModifier, command, false);
      return;
    case kKeyCodeForwardDelete:
      if (!document_) return;
      if (option)
        document_->deleteForwardByParagraph(true, false);
      else
        document_->deleteForward(true, command, false);
      return;
    case kKeyCodeHome: selectionKey(7, 0); return;
    case kKeyCodeEnd: selectionKey(6, 0); return;
    case kKeyCodePageUp:
      if (!shift && zoomType_ == 2 && document_)
        document_->scrollByPage(true, this);
      else
        selectionKey(5, 0);
      return;
    case kKeyCodePageDown:
      if (!shift && zoomType_ == 2 && document_)
        document_->scrollByPage(false, this);
      else
        selectionKey(4, 0);
      return;
    case kKeyCodeLeftArrow:
    case kKeyCodeRightArrow:
      if (MainModifiers(modifiers) == Qt::NoModifier)
        interpretKeyEvent(event);
      else
        selectionKey(keyCode == kKeyCodeLeftArrow ? 1 : 2, 0);
      return;
    case kKeyCodeDownArrow: selectionKey(0, 0); return;
    case kKeyCodeUpArrow: selectionKey(3, 0); return;
    default: break;
  }
  if (command) {
    event->ignore();
    return;
  }
  if (event->text().isEmpty() || event->text().at(0).unicode() < 32) return;
  interpretKeyEvent(event);
}

void GMDraftView::performSystemKeyCode(uint16_t keyCode, Qt::KeyboardModifiers modifiers, QKeyEvent* event) {
  if ((keyCode == kKeyCodeDownArrow || keyCode == kKeyCodeUpArrow) &&
      MainModifiers(modifiers) == (Qt::ShiftModifier | kOptionModifier)) {
    if (keyCode == kKeyCodeDownArrow)
      moveToEndOfParagraph(true);
    else
      moveToBeginningOfParagraph(true);
    return;
  }
  if (keyCode != kKeyCodeNone) {
    interpretKeyEvent(event);
    return;
  }
  if (modifiers & kCommandModifier) {
    event->ignore();
    interpretKeyEvent(event);
    return;
  }
  if (event->text().isEmpty() || event->text().at(0).unicode() < 32) return;
  interpretKeyEvent(event);
}

void GMDraftView::interpretKeyEvent(QKeyEvent* event) {
  using Key = QKeySequence::StandardKey;
  struct Binding {
    Key key;
    void (*action)(GMDraftView*);
  };
  static const Binding kBindings[] = {
      {QKeySequence::MoveToNextChar, [](GMDraftView* v) { v->moveRight(); }},
      {QKeySequence::MoveToPreviousChar, [](GMDraftView* v) { v->moveLeft(); }},
      {QKeySequence::SelectNextChar, [](GMDraftView* v) { v->moveRightAndModifySelection(); }},
      {QKeySequence::SelectPreviousChar, [](GMDraftView* v) { v->moveLeftAndModifySelection(); }},
      {QKeySequence::MoveToNextWord, [](GMDraftView* v) { v->moveWordRight(); }},
      {QKeySequence::MoveToPreviousWord, [](GMDraftView* v) { v->moveWordLeft(); }},
      {QKeySequence::SelectNextWord, [](GMDraftView* v) { v->moveWordRight(true); }},
      {QKeySequence::SelectPreviousWord, [](GMDraftView* v) { v->moveWordLeft(true); }},
      {QKeySequence::MoveToNextLine, [](GMDraftView* v) { v->moveDown(); }},
      {QKeySequence::MoveToPreviousLine, [](GMDraftView* v) { v->moveUp(); }},
      {QKeySequence::SelectNextLine, [](GMDraftView* v) { v->moveDownAndModifySelection(); }},
      {QKeySequence::SelectPreviousLine, [](GMDraftView* v) { v->moveUpAndModifySelection(); }},
      {QKeySequence::MoveToStartOfLine, [](GMDraftView* v) { v->moveToBeginningOfLine(); }},
      {QKeySequence::MoveToEndOfLine, [](GMDraftView* v) { v->moveToEndOfLine(); }},
      {QKeySequence::SelectStartOfLine, [](GMDraftView* v) { v->moveToBeginningOfLine(true); }},
      {QKeySequence::SelectEndOfLine, [](GMDraftView* v) { v->moveToEndOfLine(true); }},
      {QKeySequence::MoveToStartOfDocument, [](GMDraftView* v) { v->moveToBeginningOfDocument(); }},
      {QKeySequence::MoveToEndOfDocument, [](GMDraftView* v) { v->moveToEndOfDocument(); }},
      {QKeySequence::SelectStartOfDocument, [](GMDraftView* v) { v->moveToBeginningOfDocument(true); }},
      {QKeySequence::SelectEndOfDocument, [](GMDraftView* v) { v->moveToEndOfDocument(true); }},
      {QKeySequence::MoveToNextPage, [](GMDraftView* v) { v->scrollPageDown(); }},
      {QKeySequence::MoveToPreviousPage, [](GMDraftView* v) { v->scrollPageUp(); }},
      {QKeySequence::SelectNextPage, [](GMDraftView* v) { v->pageDownAndModifySelection(); }},
      {QKeySequence::SelectPreviousPage, [](GMDraftView* v) { v->pageUpAndModifySelection(); }},
      {QKeySequence::SelectAll, [](GMDraftView* v) { v->selectAll(); }},
      {QKeySequence::Copy, [](GMDraftView* v) { v->copy(); }},
  };
  for (const Binding& binding : kBindings) {
    if (event->matches(binding.key)) {
      binding.action(this);
      return;
    }
  }
  switch (event->key()) {
    case Qt::Key_Tab: if (document_) document_->insertOrObeyTab(false); return;
    case Qt::Key_Backtab: if (document_) document_->insertOrObeyTab(true); return;
    default: break;
  }
  if (!event->text().isEmpty() && document_) document_->insert(event->text(), true, false);
}

void GMDraftView::selectionKey(uint32_t key, uint32_t modifiers) {
  if (document_) document_->performSelectionKey(key, modifiers, this);
}

void GMDraftView::scrollPageDown() {
  if (zoomType_ == 2 && document_)
    document_->scrollByPage(false, this);
  else
    selectionKey(4, 0);
}

void GMDraftView::scrollPageUp() {
  if (zoomType_ == 2 && document_)
    document_->scrollByPage(true, this);
  else
    selectionKey(5, 0);
}

void GMDraftView::selectAll() {
  if (viewService_) viewService_->selectAll(this);
}

void GMDraftView::copy() {
  if (document_ && !document_->copySelection()) QApplication::beep();
}

void GMDraftView::centerSelectionInVisibleArea() {
  if (document_) document_->showSelection();
}

// ---- Focus, size, window

void GMDraftView::focusInEvent(QFocusEvent* event) {
  FLView::focusInEvent(event);
  becomeFirstResponder();
  if (document_) document_->focusView(this);
  update();
}

void GMDraftView::focusOutEvent(QFocusEvent* event) {
  FLView::focusOutEvent(event);
  resignFirstResponder();
  if (document_) document_->unfocusView(this);
  update();
}

void GMDraftView::resizeEvent(QResizeEvent* event) {
  FLView::resizeEvent(event);
  setScrollLimits();
  if (!document_) return;
  Pane* pane = document_->paneForView(this);
  if (pane && shouldTrashOnResize()) {
    document_->trashDisplay(this);
    update();
  }
}

void GMDraftView::changeEvent(QEvent* event) {
  FLView::changeEvent(event);
  if (event->type() == QEvent::ActivationChange) {
    if (isActiveWindow())
      activate();
    else
      deactivate();
  }
}

void GMDraftView::showEvent(QShowEvent* event) {
  FLView::showEvent(event);
  viewDidMoveToWindow();
}

bool GMDraftView::event(QEvent* event) {
  if (event->type() == QEvent::ParentChange) viewDidMoveToWindow();
  return FLView::event(event);
}
