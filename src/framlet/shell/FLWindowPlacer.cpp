#include "framlet/shell/FLWindowPlacer.h"

#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace {

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
  // Menus, tool tips and pop-ups place themselves beside what opened them.
  if (!IsOrderedKind(window)) return false;
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
