#include "framlet/shell/FLWindowPlacer.h"

#include "framlet/shell/flInterfaceSupport.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

// Menus, tool tips and pop-ups place themselves beside what opened them.
bool IsPlacedWindow(const QWidget* widget) {
  if (!widget->isWindow()) return false;
  switch (widget->windowType()) {
    case Qt::Window:
    case Qt::Dialog:
    case Qt::Sheet:
    case Qt::Drawer:
    case Qt::Tool:
      return true;
    default:
      return false;
  }
}

bool HasDecorations(const QWidget* window) { return !(window->windowFlags() & Qt::FramelessWindowHint); }

}  // namespace

FLWindowPlacer::FLWindowPlacer() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->installEventFilter(this);
}

FLWindowPlacer::~FLWindowPlacer() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool FLWindowPlacer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::Show || !watched->isWidgetType()) return false;
  auto* window = static_cast<QWidget*>(watched);
  if (!IsPlacedWindow(window)) return false;
  PlaceWindowOnScreen(window);
  // Some desktops tell the decorations' sizes only once the window is on the screen: then it is
  // placed again with them.
  const QWindow* handle = window->windowHandle();
  if (HasDecorations(window) && (!handle || handle->frameMargins().isNull())) {
    QTimer::singleShot(0, window, [shown = QPointer<QWidget>(window)] {
      if (shown && shown->isVisible()) PlaceWindowOnScreen(shown);
    });
  }
  return false;
}
