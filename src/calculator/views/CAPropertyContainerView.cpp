#include "calculator/views/CAPropertyContainerView.h"

#include "framlet/foundation/FLKernel.h"

#include <QPainter>
#include <QPaintEvent>

CAPropertyContainerView::CAPropertyContainerView(QWidget* parent) : FLView(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CAPropertyContainerView::setPropertyScrollView(QWidget* scrollView) {
  propertyScrollView_ = scrollView;
  update();
}

double CAPropertyContainerView::separatorY() const {
  if (!propertyScrollView_) return -1;
  // Half a point above the scroll view, so the line covers one whole pixel.
  return propertyScrollView_->geometry().top() - 0.5;
}

void CAPropertyContainerView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), g_formatPanelBackground);
  const double y = separatorY();
  if (y < 0) return;
  painter.setPen(QPen(QColor(Qt::lightGray), 1));
  painter.drawLine(QPointF(0, y), QPointF(width(), y));
}
