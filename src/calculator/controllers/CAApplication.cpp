#include "calculator/controllers/CAApplication.h"

#include "calculator/controllers/CAWindowController.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caCommandGuard.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocumentAppDelegate.h"
#include "framlet/shell/FLDocumentWC.h"
#include "platform/Application.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace {

QPointer<QWidget> g_specialSelectionWindow;

// The document window holding the widget: through dialogs and sheets to the window they belong
// to, and from a tab's window to its container.
CAWindowController* ControllerOfWidget(const QWidget* widget) {
  for (const QWidget* w = widget; w; w = w->parentWidget())
    if (CAWindowController* controller = CAWindowController::controllerOfWindow(w)) return controller;
  return nullptr;
}

// The document whose window holds the object (a widget, or an object of one: an action, a
// shortcut).
CADocument* DocumentOfReceiver(QObject* receiver) {
  QObject* at = receiver;
  while (at && !at->isWidgetType()) at = at->parent();
  CAWindowController* controller = ControllerOfWidget(static_cast<QWidget*>(at));
  return controller ? controller->document() : nullptr;
}

bool GuardWindowEvent(Application& application, QObject* receiver, QEvent* event) {
  CADocument* document = IsCommandEvent(*event) ? DocumentOfReceiver(receiver) : nullptr;
  if (!document) return application.deliver(receiver, event);
  // An event sent while a command runs (the shortcut check Qt makes of a key) is part of it.
  bool handled = true;
  RunGuardedEvent(*document, [&] { handled = application.deliver(receiver, event); }, [] {});
  return handled;
}

void TellEventFailure(QObject* receiver, const std::exception& exception) {
  LogException(exception, QLatin1String(kCommandMemoryMessage));
  if (!dynamic_cast<const std::bad_alloc*>(&exception)) return;
  try {
    if (CADocument* document = DocumentOfReceiver(receiver)) {
      GiveCommandMemoryAlert(*document);
      return;
    }
    FLAlert::sharedInstance().giveAlertMessage(QLatin1String(kCommandMemoryMessage), QString());
  } catch (const std::exception& again) {
    LogException(again, QLatin1String(kCommandMemoryMessage));
  }
}

}  // namespace

void InstallWindowEventGuard() {
  Application::setEventGuard(&GuardWindowEvent);
  Application::setFailureHandler(&TellEventFailure);
}

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
  const FLDocumentWC* controller = ControllerOfWidget(widget);
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
