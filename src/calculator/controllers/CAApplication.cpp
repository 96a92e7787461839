#include "calculator/controllers/CAApplication.h"

#include "calculator/controllers/CAWindowController.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace {

QPointer<QWidget> g_specialSelectionWindow;

}  // namespace

CAApplication::CAApplication() { qApp->installEventFilter(this); }

CAApplication::~CAApplication() {
  if (qApp) qApp->removeEventFilter(this);
}

void CAApplication::setSpecialSelectionWindow(QWidget* window) { g_specialSelectionWindow = window; }

QWidget* CAApplication::specialSelectionWindow() { return g_specialSelectionWindow; }

bool CAApplication::eventFilter(QObject* watched, QEvent* event) {
  const bool press = event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
  if (!g_specialSelectionWindow || !press || !watched->isWidgetType()) {
    return QObject::eventFilter(watched, event);
  }
  auto* mouse = static_cast<QMouseEvent*>(event);
  auto* widget = static_cast<QWidget*>(watched);
  if (mouse->button() != Qt::LeftButton || widget->window() != g_specialSelectionWindow) {
    return QObject::eventFilter(watched, event);
  }
  // The document window holding the widget (a tab's window lies inside its container).
  const FLDocumentWC* controller = nullptr;
  for (const QWidget* w = widget; w && !controller; w = w->parentWidget())
    controller = CAWindowController::controllerOfWindow(w);
  const FLDocumentAppDelegate* delegate = FLDocumentAppDelegate::sharedDelegate();
  if (!controller && delegate) controller = delegate->controllerOfWindow(g_specialSelectionWindow);
  const QVariantMap click{{QLatin1String(kInactiveClickPositionKey), widget->mapTo(widget->window(), mouse->position())},
                          {QLatin1String(kInactiveClickModifiersKey), int(mouse->modifiers())}};
  NotificationQueue::defaultQueue().enqueue(
      Notification{QLatin1String(kInactiveClickNotification), controller ? controller->document() : nullptr,
                   {{QLatin1String(kInactiveClickEventKey), click}}},
      PostingStyle::WhenIdle, NotificationNoCoalescing);
  return true;
}
