#include "calculator/views/CAScrollView.h"

#include "calculator/views/CACellView.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"

#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// The scroller's value range: the knob's position and proportion are fractions of it.
constexpr int kKnobScale = 1000000;
// The extent may change by this factor before the knob's proportion is computed afresh.
constexpr double kKnobSlack = 1.1;

}  // namespace

float KnobProportion(CAScrollAxisState& state, int64_t max, int64_t visible) {
  if (max <= 0 || visible >= max) {
    state.knobFraction = 0;
    state.maxForKnob = 0;
    return 0;
  }
  const double extent = double(max);
  double kept = 0;
  if (state.maxForKnob == 0 ||
      std::max(extent, state.maxForKnob) / std::min(extent, state.maxForKnob) > kKnobSlack) {
    state.maxForKnob = extent;
  } else {
    kept = state.knobFraction;
  }
  const float proportion = std::min(std::max(float(visible) / float(max), float(kept)), 1.0f);
  state.knobFraction = proportion;
  return proportion;
}

CAScrollView::CAScrollView(CADocument* document, QWidget* parent) : QWidget(parent), document_(document) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  cellView_ = new CACellView(document, this, this);
  const auto makeScroller = [this](Qt::Orientation orientation, CAScrollAxisState& state) {
    auto* scroller = new QScrollBar(orientation, this);
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setRange(0, 0);
    scroller->setPageStep(kKnobScale);
    scroller->setEnabled(false);
    scroller->installEventFilter(this);
    connect(scroller, &QAbstractSlider::actionTriggered, this,
            [this, scroller](int action) { scrollerAction(scroller, action); });
    state.scroller = scroller;
  };
  makeScroller(Qt::Horizontal, horizontal_);
  makeScroller(Qt::Vertical, vertical_);
  layoutView();
}

CAScrollView::~CAScrollView() = default;

void CAScrollView::layoutView() {
  const int w = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, vertical_.scroller);
  const int width = std::max(this->width() - w, 0);
  const int height = std::max(this->height() - w, 0);
  cellView_->setGeometry(0, 0, width, height);
  vertical_.scroller->setGeometry(width, 0, w, height);
  horizontal_.scroller->setGeometry(0, height, width, w);
  cellView_->setContentFrame();
  update();
}

QRect CAScrollView::cornerRect() const {
  const int w = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, vertical_.scroller);
  return QRect(width() - w, height() - w, w, w);
}

void CAScrollView::redrawCornerRect() { update(cornerRect()); }

void CAScrollView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  layoutView();
}

void CAScrollView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect corner = cornerRect();
  painter.fillRect(corner, palette().window());
  DrawScrollViewCorner(painter, true,
                       horizontal_.scroller->isEnabled() && vertical_.scroller->isEnabled(), corner);
}

void CAScrollView::setScrollPosition(int64_t position, int64_t max, int64_t visible, bool vertical) {
  CAScrollAxisState& state = vertical ? vertical_ : horizontal_;
  if (max < 0) {
    LogAssert("Negative scroll max", __func__, __FILE__, __LINE__);
    max = 0;
  }
  if (position < 0) {
    LogAssert("Negative scroll position", __func__, __FILE__, __LINE__);
    position = 0;
  }
  const int64_t oldPosition = state.currentPosition;
  const int64_t oldMax = state.maxPosition;
  const int64_t oldVisible = state.visiblePortion;
  state.maxPosition = max;
  state.currentPosition = std::min(position, max);
  state.visiblePortion = visible;
  if (max != 0 && max > visible) {
    state.scroller->setEnabled(true);
    positionKnob(state, double(position) / double(max));
  } else {
    state.currentPosition = 0;
    state.knobFraction = 0;
    state.maxForKnob = 0;
    state.scroller->setRange(0, 0);
    state.scroller->setPageStep(kKnobScale);
    state.scroller->setEnabled(false);
  }
  const bool unchanged = state.currentPosition == oldPosition &&
                         (oldMax == max || oldMax > oldVisible + oldPosition);
  if (!unchanged) {
    cellView_->update();
    QTimer::singleShot(0, this, [this] { redrawCornerRect(); });
  }
}

void CAScrollView::positionKnob(CAScrollAxisState& state, double fraction) {
  const float proportion = KnobProportion(state, state.maxPosition, state.visiblePortion);
  QScrollBar* scroller = state.scroller;
  if (proportion <= 0) {
    scroller->setRange(0, 0);
    scroller->setPageStep(kKnobScale);
    return;
  }
  const int page = std::clamp(int(std::lround(double(proportion) * kKnobScale)), 1, kKnobScale);
  scroller->setPageStep(page);
  scroller->setRange(0, kKnobScale - page);
  if (!(fraction >= 0)) fraction = 0;
  scroller->setValue(int(std::lround(std::min(fraction, 1.0) * double(kKnobScale - page))));
}

int64_t PositionAtFraction(int64_t maxPosition, double fraction) {
  // Near the end of a far sheet the product rounds up to 2^63, which no int64_t holds.
  if (!(fraction > 0) || maxPosition <= 0) return 0;
  if (fraction >= 1) return maxPosition;
  const double position = double(maxPosition) * fraction;
  if (position >= 9223372036854775807.0) return maxPosition;
  return std::min(maxPosition, int64_t(position));
}

void CAScrollView::resetKnobs() {
  horizontal_.knobFraction = 0;
  vertical_.knobFraction = 0;
}

void CAScrollView::scroll(CAScrollAxisState& state, int64_t position, bool redraw) {
  const int64_t limit = state.maxPosition - 1;
  int64_t target = std::min(position, limit);
  if (target < 0) target = 0;
  if (target == state.currentPosition) return;
  state.currentPosition = target;
  positionKnob(state, limit > 0 ? double(target) / double(limit) : 0.0);
  if (QInputMethod* inputMethod = QGuiApplication::inputMethod())
    inputMethod->update(Qt::ImCursorRectangle);
  if (redraw) {
    cellView_->didScroll();
    emit positionChanged();
  }
}

void CAScrollView::scrollToPoint(const GridPoint& point) {
  scroll(horizontal_, point.x, false);
  scroll(vertical_, point.y, false);
  cellView_->update();
  emit positionChanged();
}

void CAScrollView::scrollToHorizontal(int64_t index, bool relative, bool redraw) {
  scroll(horizontal_, relative ? horizontal_.currentPosition + index : index, redraw);
}

void CAScrollView::scrollToVertical(int64_t index, bool relative, bool redraw) {
  scroll(vertical_, relative ? vertical_.currentPosition + index : index, redraw);
}

void CAScrollView::handleScroll(QScrollBar* scroller, int32_t part) {
  CAScrollAxisState& state = scroller == vertical_.scroller ? vertical_ : horizontal_;
  if (!scroller->isEnabled() || part < kScrollerDecrementPage || part > kScrollerKnobSlot) return;
  // A page keeps one row in sight, and moves at least one.
  const int64_t page = std::max<int64_t>(state.visiblePortion, 2);
  int64_t position = state.currentPosition;
  switch (part) {
    case kScrollerDecrementPage:
      position = state.currentPosition - page + 1;
      break;
    case kScrollerIncrementPage:
      position = state.currentPosition + page - 1;
      break;
    case kScrollerKnob:
    case kScrollerKnobSlot: {
      const double value =
          scroller->maximum() > 0 ? double(scroller->sliderPosition()) / double(scroller->maximum()) : 0;
      position = PositionAtFraction(state.maxPosition, value);
      break;
    }
    case kScrollerDecrementLine:
      position = state.currentPosition - 1;
      break;
    case kScrollerIncrementLine:
      position = state.currentPosition + 1;
      break;
  }
  scroll(state, position);
}

void CAScrollView::scrollerAction(QScrollBar* scroller, int action) {
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd:
      handleScroll(scroller, kScrollerIncrementLine);
      break;
    case QAbstractSlider::SliderSingleStepSub:
      handleScroll(scroller, kScrollerDecrementLine);
      break;
    case QAbstractSlider::SliderPageStepAdd:
      handleScroll(scroller, kScrollerIncrementPage);
      break;
    case QAbstractSlider::SliderPageStepSub:
      handleScroll(scroller, kScrollerDecrementPage);
      break;
    case QAbstractSlider::SliderMove:
      handleScroll(scroller, kScrollerKnob);
      break;
    case QAbstractSlider::SliderToMinimum:
      scroll(scroller == vertical_.scroller ? vertical_ : horizontal_, 0);
      break;
    case QAbstractSlider::SliderToMaximum: {
      CAScrollAxisState& state = scroller == vertical_.scroller ? vertical_ : horizontal_;
      scroll(state, state.maxPosition);
      break;
    }
    default:
      break;
  }
  // The knob stands where the position puts it, not where the scroller's own step took it.
  scroller->setSliderPosition(scroller->value());
}

void CAScrollView::autoScroll(int32_t code, bool vertical) {
  QScrollBar* scroller = vertical ? vertical_.scroller : horizontal_.scroller;
  switch (code) {
    case 0:
    case 2:
      handleScroll(scroller, kScrollerIncrementLine);
      break;
    case 1:
    case 3:
      handleScroll(scroller, kScrollerDecrementLine);
      break;
    case kAutoScrollPageForward:
      handleScroll(scroller, kScrollerIncrementPage);
      break;
    case kAutoScrollPageBack:
      handleScroll(scroller, kScrollerDecrementPage);
      break;
    case kAutoScrollToEnd:
      for (CAScrollAxisState* state : {&horizontal_, &vertical_})
        if (state->visiblePortion < state->maxPosition) scroll(*state, state->maxPosition);
      break;
    case kAutoScrollToStart:
      scroll(horizontal_, 0);
      scroll(vertical_, 0);
      break;
    default:
      break;
  }
}

void CAScrollView::scrollLineDown() { scroll(vertical_, vertical_.currentPosition + 1); }
void CAScrollView::scrollLineUp() { scroll(vertical_, vertical_.currentPosition - 1); }
void CAScrollView::scrollPageDown() {
  scroll(vertical_, vertical_.currentPosition + vertical_.visiblePortion - 1);
}
void CAScrollView::scrollPageUp() {
  scroll(vertical_, vertical_.currentPosition - vertical_.visiblePortion + 1);
}
void CAScrollView::scrollToBeginningOfDocument() { scroll(vertical_, 0); }
void CAScrollView::scrollToEndOfDocument() {
  scroll(vertical_, vertical_.maxPosition - vertical_.visiblePortion);
}

void CAScrollView::scrollWheel(double dx, double dy) {
  if ((dx != 0 || std::isnan(dx)) && horizontal_.visiblePortion < horizontal_.maxPosition)
    scroll(horizontal_, horizontal_.currentPosition + cellView_->cellCountForDelta(-3 * dx, false));
  if (dy != 0 || std::isnan(dy))
    scroll(vertical_, vertical_.currentPosition + cellView_->cellCountForDelta(-3 * dy, true));
}

void CAScrollView::wheelEvent(QWheelEvent* event) {
  QPointF delta = event->pixelDelta();
  if (delta.isNull()) {
    // A mouse wheel's notch (120) moves the lines the desktop asks for, counted in rows of the
    // sheet's usual height; the walk counts the rows whose heights the delta exceeds.
    const double notchPoints = QApplication::wheelScrollLines() *
                               cellView_->gridGeometry().rowHeight(-1) / 3.0 * 0.9;
    delta = QPointF(event->angleDelta()) / 120.0 * notchPoints;
  }
  scrollWheel(delta.x(), delta.y());
  event->accept();
}

bool CAScrollView::eventFilter(QObject* watched, QEvent* event) {
  // The wheel over a scroller scrolls by rows like the wheel over the cells.
  if (event->type() == QEvent::Wheel &&
      (watched == horizontal_.scroller || watched == vertical_.scroller)) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return true;
  }
  return QWidget::eventFilter(watched, event);
}
