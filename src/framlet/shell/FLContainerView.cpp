#include "framlet/shell/FLContainerView.h"

#include "framlet/foundation/FLKernel.h"

#include <QPaintEvent>
#include <QPainter>

FLContainerView::FLContainerView(QWidget* parent) : FLView(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void FLContainerView::setBackgroundColor(const QColor& color) {
  backgroundColor_ = color;
  update();
}

QColor FLContainerView::fillColor() const {
  if (backgroundColor_.isValid() && backgroundColor_.alpha() != 0) return backgroundColor_;
  if (g_formatPanelBackground.isValid()) return g_formatPanelBackground;
  return palette().color(QPalette::Window);
}

void FLContainerView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), fillColor());
}
