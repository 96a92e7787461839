#include "framlet/shell/FLScroller.h"

#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flDrawing.h"

#include <QPainter>
#include <QPainterPath>
#include <QStyleOptionSlider>

namespace {
QColor Gray(int level) { return QColor(level, level, level); }
}  // namespace

FLScroller::FLScroller(Qt::Orientation orientation, QWidget* parent) : QScrollBar(orientation, parent) {
  setAttribute(Qt::WA_Hover);
}

const FLScrollerColors& FLScroller::setupDarkGroove() {
  static const FLScrollerColors colors = [] {
    FLScrollerColors made{Gray(56), Gray(31), Gray(47), Gray(70), Gray(140), Gray(24)};
    SetScrollerDarkColorsSource([] {
      const FLScrollerColors& c = setupDarkGroove();
      return FLScrollerDarkColors{c.grooveFill, c.grooveFillNoKnob, c.grooveEdge};
    });
    return made;
  }();
  return colors;
}

void FLScroller::drawDarkSlot(QPainter& painter, const QRectF& slot, bool vertical, bool withKnob) {
  const FLScrollerColors& colors = setupDarkGroove();
  painter.fillRect(slot, withKnob ? colors.grooveFill : colors.grooveFillNoKnob);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QPen(colors.grooveEdge, 1));
  // Pixel centres lie half a point inside the edges.
  if (vertical) {
    painter.drawLine(QPointF(slot.left() + 0.5, slot.top()), QPointF(slot.left() + 0.5, slot.bottom()));
    painter.drawLine(QPointF(slot.right() - 0.5, slot.top()), QPointF(slot.right() - 0.5, slot.bottom()));
  } else {
    painter.drawLine(QPointF(slot.left(), slot.top() + 0.5), QPointF(slot.right(), slot.top() + 0.5));
    painter.drawLine(QPointF(slot.left(), slot.bottom() - 0.5), QPointF(slot.right(), slot.bottom() - 0.5));
  }
  painter.restore();
}

void FLScroller::drawDarkKnob(QPainter& painter, const QRectF& knob, bool vertical, bool small, bool highlighted) {
  const FLScrollerColors& colors = setupDarkGroove();
  const qreal inset = small ? 2 : 3;
  const QRectF capsule = vertical ? knob.adjusted(inset, 0, -inset, 0) : knob.adjusted(0, inset, 0, -inset);
  const qreal radius = (vertical ? capsule.width() : capsule.height()) / 2;
  QPainterPath path;
  path.addRoundedRect(capsule, radius, radius);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(path, highlighted ? colors.knobFillHighlighted : colors.knobFill);
  painter.setPen(QPen(colors.knobOutline, 1));
  painter.drawPath(path);
  painter.restore();
}

void FLScroller::enterEvent(QEnterEvent* event) {
  QScrollBar::enterEvent(event);
  if (!window()->isActiveWindow()) return;
  highlighted_ = true;
  update();
}

void FLScroller::leaveEvent(QEvent* event) {
  QScrollBar::leaveEvent(event);
  highlighted_ = false;
  update();
}

void FLScroller::paintEvent(QPaintEvent* event) {
  if (!g_darkMode) {
    QScrollBar::paintEvent(event);
    return;
  }
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  const bool vertical = orientation() == Qt::Vertical;
  const bool withKnob = isEnabled() && hasKnob();
  drawDarkSlot(painter, rect(), vertical, withKnob);
  if (!withKnob) return;
  const QRect knob = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
  drawDarkKnob(painter, knob, vertical, small_, highlighted_);
}
