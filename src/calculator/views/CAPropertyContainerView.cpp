#include "calculator/views/CAPropertyContainerView.h"

#include "calculator/views/caViewNotifications.h"
#include "framlet/foundation/FLKernel.h"
#include "framlet/foundation/flBase.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPaintEvent>

namespace {

CAColorWellHooks& ColorWellHooks() {
  static CAColorWellHooks hooks;
  return hooks;
}

}  // namespace

void SetColorWellHooks(CAColorWellHooks hooks) { ColorWellHooks() = std::move(hooks); }

CAPropertyContainerView::CAPropertyContainerView(QWidget* parent) : FLView(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  NotificationCenter::defaultCenter().addObserver(this, QLatin1String(kColorWellNotification), nullptr,
                                                  [this](const Notification&) { deactivateColorWells(); });
}

CAPropertyContainerView::~CAPropertyContainerView() { NotificationCenter::defaultCenter().removeObserver(this); }

void CAPropertyContainerView::deactivateColorWells() {
  const CAColorWellHooks& hooks = ColorWellHooks();
  if (!hooks.activeColorWell || !hooks.deactivate) return;
  while (QWidget* well = hooks.activeColorWell(this)) {
    hooks.deactivate(well);
    if (hooks.activeColorWell(this) == well) {
      LogText(QStringLiteral("Deactivate failed"));
      return;
    }
  }
}

void CAPropertyContainerView::changeEvent(QEvent* event) {
  FLView::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || isActiveWindow()) return;
  // Another window became the one the user works in; the colour panel and other windows of
  // this one do not count.
  for (QWidget* active = QApplication::activeWindow(); active; active = active->window()->parentWidget()) {
    if (active->window() == window()) return;
  }
  if (QApplication::activeWindow()) deactivateColorWells();
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
