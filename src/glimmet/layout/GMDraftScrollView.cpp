#include "glimmet/layout/GMDraftScrollView.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"
#include "framlet/shell/FLNotifyingScrollView.h"
#include "framlet/shell/FLScroller.h"
#include "glimmet/layout/GMDocument.h"
#include "glimmet/layout/GMDraftView.h"
#include "glimmet/layout/gmViewNotifications.h"

#include <QApplication>
#include <QInputMethod>
#include <QPainter>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Wheel turns arrive in eighths of a degree; a notch of 15 degrees counts as 15 points.
constexpr double kWheelPointsPerEighth = 1.0 / 8.0;
constexpr double kWheelFactor = 3.0;
constexpr double kHorizontalLine = 32.0;

int ScrollerPartForAction(int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return kScrollerIncrementLine;
    case QAbstractSlider::SliderSingleStepSub: return kScrollerDecrementLine;
    case QAbstractSlider::SliderPageStepAdd: return kScrollerIncrementPage;
    case QAbstractSlider::SliderPageStepSub: return kScrollerDecrementPage;
    case QAbstractSlider::SliderMove: return kScrollerKnob;
    case QAbstractSlider::SliderToMinimum:
    case QAbstractSlider::SliderToMaximum: return kScrollerKnobSlot;
    default: return kScrollerNoPart;
  }
}

double ScrollerFraction(const FLScroller* scroller) {
  return scroller ? double(scroller->sliderPosition()) / GMDraftScrollView::kScrollerSteps : 0.0;
}

}  // namespace

GMDraftScrollView::GMDraftScrollView(QWidget* parent) : FLView(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::NoFocus);
}

GMDraftScrollView::~GMDraftScrollView() { closingObserver_.reset(); }

int GMDraftScrollView::scrollerWidth() {
  static const int width = QApplication::style() ? QApplication::style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 15;
  return width;
}

void GMDraftScrollView::setup(bool horizontal) {
  auto make = [this](bool isHorizontal) {
    auto* scroller = new FLScroller(isHorizontal ? Qt::Horizontal : Qt::Vertical, this);
    scroller->setRange(0, kScrollerSteps);
    scroller->setSingleStep(1);
    scroller->setEnabled(false);
    connect(scroller, &QAbstractSlider::actionTriggered, this,
            [this, isHorizontal](int action) { scrollerAction(!isHorizontal, action); });
    scroller->show();
    return scroller;
  };
  if (horizontal && !horizontal_.scroller) {
    horizontal_.scroller = make(true);
    horizontal_.scroller->setGeometry(0, 0, 2 * scrollerWidth(), scrollerWidth());
  }
  if (!vertical_.scroller) {
    vertical_.scroller = make(false);
    vertical_.scroller->setGeometry(0, 0, scrollerWidth(), 2 * scrollerWidth());
  }
  layoutView();
}

void GMDraftScrollView::setDocumentView(GMDraftView* view) {
  if (documentView_ && documentView_ != view && documentView_->parentWidget() == this) documentView_->setParent(nullptr);
  if (view && view->parentWidget() != this) {
    view->setParent(this);
    view->show();
  }
  documentView_ = view;
  layoutView();
}

void GMDraftScrollView::setDocument(GMDocument* document) {
  horizontal_.currentPosition = -1;
  vertical_.currentPosition = -1;
  document_ = document;
  closingObserver_.reset();
  if (document) {
    closingObserver_ = NotificationCenter::defaultCenter().addObserver(kGMDocClosingNotification, document,
                                                                        [this](const Notification&) { shutDown(); });
  }
}

void GMDraftScrollView::shutDown() {
  documentView_ = nullptr;
  document_ = nullptr;
  closingObserver_.reset();
}

GMDraftView* GMDraftScrollView::documentView() const { return documentView_.data(); }

void GMDraftScrollView::setDrawLineAbove(bool draw) {
  drawLineAbove_ = draw;
  layoutView();
  update();
}

double GMDraftScrollView::currentPosition(bool vertical) const {
  return vertical ? vertical_.currentPosition : horizontal_.currentPosition;
}

void GMDraftScrollView::setScrollPosition(double position, double max, double visible, bool vertical) {
  if (visible == 0 || !document_) return;
  GMScrollState& state = vertical ? vertical_ : horizontal_;
  const double range = vertical ? max : (max < visible ? 0 : max - visible);
  const double oldCurrent = state.currentPosition;
  const double oldMax = state.maxPosition;
  const bool reachedEnd = oldCurrent + state.visiblePortion >= oldMax;
  state.currentPosition = std::min(position, range);
  state.maxPosition = max;
  state.visiblePortion = visible;
  if (max < 0 || max < state.currentPosition) LogAssert("Bad scroll parameters", __func__, __FILE__, __LINE__);
  if (range == 0 || (vertical && visible >= range)) {
    state.currentPosition = 0;
    state.knobFraction = 0;
    state.maxForKnob = 0;
    if (state.scroller) {
      state.scroller->setPageStep(0);
      state.scroller->setEnabled(false);
    }
  } else if (state.scroller) {
    state.scroller->setEnabled(true);
    positionScroller(state, state.currentPosition / range);
  }
  const bool moved = state.currentPosition != oldCurrent;
  if (!moved && !(max != oldMax && reachedEnd)) return;
  redisplayDocument(vertical);
  document_->scrollDraft(documentView_, int64_t(state.currentPosition), 2, vertical);
  QTimer::singleShot(0, this, [this] { redrawCornerRect(); });
}

void GMDraftScrollView::positionScroller(GMScrollState& state, double fraction) {
  FLScroller* scroller = state.scroller;
  if (!scroller) return;
  if (state.maxPosition == 0 || state.maxPosition <= state.visiblePortion) {
    state.knobFraction = 0;
    state.maxForKnob = 0;
    scroller->setPageStep(0);
    return;
  }
  const QSignalBlocker blocker(scroller);
  scroller->setValue(int(std::lround(std::clamp(fraction, 0.0, 1.0) * kScrollerSteps)));
  double kept = state.knobFraction;
  const double larger = std::max(state.maxPosition, state.maxForKnob);
  const double smaller = std::min(state.maxPosition, state.maxForKnob);
  if (state.maxForKnob == 0 || smaller <= 0 || larger / smaller > 1.1) {
    state.maxForKnob = state.maxPosition;
    kept = 0;
  }
  state.knobFraction = std::min(1.0f, std::max(float(state.visiblePortion / state.maxPosition), float(kept)));
  // The style draws the knob as pageStep / (range + pageStep) of the groove.
  const double proportion = std::min(state.knobFraction, 0.99);
  scroller->setPageStep(int(std::lround(proportion / (1 - proportion) * kScrollerSteps)));
  scroller->update();
}

void GMDraftScrollView::resetKnobs() {
  horizontal_.knobFraction = 0;
  vertical_.knobFraction = 0;
}

bool GMDraftScrollView::scroll(GMScrollState& state, double position, bool vertical) {
  double range = vertical ? state.maxPosition
                          : state.maxPosition - (state.visiblePortion == 0 ? 1.0 : state.visiblePortion);
  range = std::max(range, 0.0);
  const double clamped = std::isnan(position) ? range : std::clamp(position, 0.0, range);
  if (clamped == state.currentPosition) return false;
  state.currentPosition = clamped;
  positionScroller(state, range > 0 ? clamped / range : 0);
  if (QInputMethod* input = QGuiApplication::inputMethod()) input->update(Qt::ImCursorRectangle);
  return true;
}

void GMDraftScrollView::scrollToHorizontal(double position, bool relative, bool redraw) {
  if (!horizontal_.scroller) return;
  if (relative) position += horizontal_.currentPosition;
  if (scroll(horizontal_, position, false) && redraw) redisplayDocument(false);
}

void GMDraftScrollView::scrollToVertical(double position, bool relative, bool redraw) {
  if (relative) position += vertical_.currentPosition;
  if (scroll(vertical_, position, true) && redraw) redisplayDocument(true);
}

void GMDraftScrollView::autoScroll(int direction, bool vertical) {
  static const int kParts[] = {kScrollerIncrementLine, kScrollerDecrementLine, kScrollerIncrementLine,
                               kScrollerDecrementLine, kScrollerIncrementPage, kScrollerDecrementPage};
  if (direction < 0 || direction > 5) return;
  if (vertical)
    handleVerticalScroll(kParts[direction]);
  else
    handleHorizontalScroll(kParts[direction]);
}

void GMDraftScrollView::scrollerAction(bool vertical, int action) {
  FLScroller* scroller = vertical ? vertical_.scroller : horizontal_.scroller;
  if (!scroller) return;
  const int part = ScrollerPartForAction(action);
  // Steps are the document's to take; the scroller follows when it reports its new position.
  if (part != kScrollerKnob && part != kScrollerKnobSlot) scroller->setSliderPosition(scroller->value());
  if (vertical)
    handleVerticalScroll(part);
  else
    handleHorizontalScroll(part);
}

void GMDraftScrollView::handleVerticalScroll(int part) {
  FLScroller* scroller = vertical_.scroller;
  if (!document_ || !scroller || !scroller->isEnabled()) return;
  int64_t position = 0;
  int32_t unit = 0;
  switch (part) {
    case kScrollerDecrementPage: position = -1, unit = 1; break;
    case kScrollerIncrementPage: position = 1, unit = 1; break;
    case kScrollerDecrementLine: position = -1, unit = 0; break;
    case kScrollerIncrementLine: position = 1, unit = 0; break;
    case kScrollerKnob:
    case kScrollerKnobSlot: position = int64_t(ScrollerFraction(scroller) * vertical_.maxPosition), unit = 2; break;
    default: return;
  }
  document_->scrollDraft(documentView_, position, unit, true);
  Notification done{QString::fromLatin1(kGMScrollDoneNotification), documentView_.data(), {}};
  NotificationQueue::defaultQueue().enqueue(done, PostingStyle::WhenIdle, NotificationCoalescingOnName);
}

void GMDraftScrollView::handleHorizontalScroll(int part) {
  FLScroller* scroller = horizontal_.scroller;
  if (!document_ || !scroller || !scroller->isEnabled()) return;
  const double page = documentView_ ? std::floor(documentView_->width() / kHorizontalLine) * kHorizontalLine : 0;
  double position = horizontal_.currentPosition;
  switch (part) {
    case kScrollerDecrementLine: position -= kHorizontalLine; break;
    case kScrollerIncrementLine: position += kHorizontalLine; break;
    case kScrollerDecrementPage: position -= page; break;
    case kScrollerIncrementPage: position += page; break;
    case kScrollerKnob:
    case kScrollerKnobSlot: {
      const double span = horizontal_.visiblePortion == 0 ? horizontal_.maxPosition - 1
                                                          : horizontal_.maxPosition - horizontal_.visiblePortion;
      position = ScrollerFraction(scroller) * std::max(span, 0.0);
      break;
    }
    default: return;
  }
  position = std::round(position);
  if (!scroll(horizontal_, position, false)) return;
  document_->scrollDraft(documentView_, int64_t(position), 2, false);
  redisplayDocument(false);
}

void GMDraftScrollView::moveVertical(double position) {
  if (scroll(vertical_, position, true)) redisplayDocument(true);
}

void GMDraftScrollView::scrollLineDown() { moveVertical(vertical_.currentPosition + 1); }
void GMDraftScrollView::scrollLineUp() { moveVertical(vertical_.currentPosition - 1); }
void GMDraftScrollView::scrollPageDown() {
  moveVertical(vertical_.currentPosition + vertical_.visiblePortion - 1);
}
void GMDraftScrollView::scrollPageUp() { moveVertical(vertical_.currentPosition - vertical_.visiblePortion + 1); }
void GMDraftScrollView::scrollToBeginningOfDocument() { moveVertical(0); }
void GMDraftScrollView::scrollToEndOfDocument() { moveVertical(vertical_.maxPosition - vertical_.visiblePortion); }

void GMDraftScrollView::wheelEvent(QWheelEvent* event) {
  const QPointF delta = event->pixelDelta().isNull() ? QPointF(event->angleDelta()) * kWheelPointsPerEighth
                                                     : QPointF(event->pixelDelta());
  if (delta.x() != 0) autoScroll(delta.x() < 0 ? 2 : 1, false);
  if (delta.y() != 0 && document_) {
    const double distance = delta.y() * kWheelFactor;
    const int32_t lines = document_->lineCountForDelta(distance, documentView_);
    for (int32_t i = 0; i < lines; ++i) autoScroll(distance > 0 ? kAutoScrollBackward : kAutoScrollForward, true);
  }
  event->accept();
}

void GMDraftScrollView::layoutView() {
  const QRect bounds = rect();
  const int sw = scrollerWidth();
  const int top = drawLineAbove_ ? 1 : 0;
  const int height = bounds.height() - top - (horizontal_.scroller ? sw : 0);
  if (vertical_.scroller) {
    vertical_.scroller->setGeometry(bounds.width() - sw, top, sw, std::max(height, 0));
    vertical_.scroller->update();
  }
  if (horizontal_.scroller) {
    horizontal_.scroller->setGeometry(0, bounds.height() - sw, std::max(bounds.width() - sw, 0), sw);
    horizontal_.scroller->update();
  }
  if (documentView_) documentView_->setGeometry(bounds.x(), top, std::max(bounds.width() - sw, 0), std::max(height, 0));
  redisplayDocument(true);
  if (horizontal_.scroller) redisplayDocument(false);
}

QRectF GMDraftScrollView::cornerRect() const {
  if (!vertical_.scroller || !horizontal_.scroller) return {};
  const double sw = scrollerWidth();
  return {width() - sw, height() - sw, sw, sw};
}

void GMDraftScrollView::redrawCornerRect() { update(cornerRect().toAlignedRect()); }

void GMDraftScrollView::redisplayDocument(bool vertical) {
  if (!documentView_) return;
  documentView_->update();
  NotificationCenter::defaultCenter().post(vertical ? kVerticalScrollNotification : kHorizontalScrollNotification,
                                           documentView_.data());
}

QWidget* GMDraftScrollView::contentView() const { return window(); }

void GMDraftScrollView::resizeEvent(QResizeEvent* event) {
  FLView::resizeEvent(event);
  layoutView();
}

void GMDraftScrollView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::white);
  const QRectF corner = cornerRect();
  if (!corner.isEmpty()) {
    const bool enabled = (vertical_.scroller && vertical_.scroller->isEnabled()) ||
                         (horizontal_.scroller && horizontal_.scroller->isEnabled());
    DrawScrollViewCorner(painter, true, enabled, corner);
  }
  if (drawLineAbove_) {
    painter.setPen(QPen(GrayColor(g_darkMode ? 5 : 3), 1.0));
    painter.drawLine(QPointF(0, 0.5), QPointF(width(), 0.5));
  }
}
