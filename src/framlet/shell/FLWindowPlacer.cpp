#include "framlet/shell/FLWindowPlacer.h"

#include "framlet/shell/flInterfaceSupport.h"
#include "framlet/shell/flWindowOrder.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>
#include <QMargins>
#include <QWindow>

namespace {

bool HasDecorations(const QWidget* window) { return !(window->windowFlags() & Qt::FramelessWindowHint); }

// Before the window manager has framed the window the window system may still report margins
// worked out from where the window was asked to go, some of them negative: those are no frame.
bool FrameIsKnown(const QWidget* window) {
  const QWindow* handle = window->windowHandle();
  if (!handle) return false;
  const QMargins margins = handle->frameMargins();
  return !margins.isNull() && margins.left() >= 0 && margins.top() >= 0 && margins.right() >= 0 &&
         margins.bottom() >= 0;
}

// What a window manager's framing of a window sets off: the client is reparented and exposed,
// may be moved, and is usually activated.
bool MayFollowFraming(QEvent::Type type) {
  switch (type) {
    case QEvent::Expose:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowActivate:
    case QEvent::ActivationChange:
    case QEvent::UpdateRequest:
    case QEvent::PlatformSurface:
      return true;
    default:
      return false;
  }
}

}  // namespace

FLWindowPlacer::FLWindowPlacer() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->installEventFilter(this);
}

FLWindowPlacer::~FLWindowPlacer() {
  if (QCoreApplication* application = QCoreApplication::instance()) application->removeEventFilter(this);
}

bool FLWindowPlacer::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (!awaitingFrame_.isEmpty() && MayFollowFraming(type)) frameMayHaveArrived(watched);
  if ((type == QEvent::Move || type == QEvent::Resize) && watched->isWidgetType()) {
    // A window the window manager places after it showed (or the user moves) takes its sheets
    // along: they were put over where it was.
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow() || !window->isVisible()) return false;
    // A window that grows once it is up (its contents laid out again, a list filled) can reach
    // past the screen's edge where it was placed: it is moved in again.
    if (type == QEvent::Resize && IsOrderedKind(window) && !awaitingFrame_.contains(window) &&
        !IsSheetOnShownWindow(window) && (!HasDecorations(window) || FrameIsKnown(window)))
      PlaceWindowOnScreen(window, false);
    PlaceSheetsOf(window);
    return false;
  }
  if ((type != QEvent::Show && type != QEvent::Hide) || !watched->isWidgetType()) return false;
  auto* window = static_cast<QWidget*>(watched);
  // Menus, tool tips and pop-ups place themselves beside what opened them.
  if (!window->isWindow() || !IsOrderedKind(window)) return false;
  awaitingFrame_.removeAll(window);
  if (type == QEvent::Hide) return false;
  if (HasDecorations(window) && !FrameIsKnown(window)) {
    // Placed by what is known now, so that a window manager that frames nothing finds it on the
    // screen, and again once the frame is there.
    Place(window, false);
    awaitingFrame_.append(window);
  } else {
    Place(window, true);
  }
  return false;
}

void FLWindowPlacer::Place(QWidget* window, bool cascade) {
  if (IsSheetOnShownWindow(window))
    PlaceSheetOverWindow(window);
  else
    PlaceWindowOnScreen(window, cascade);
}

void FLWindowPlacer::PlaceSheetsOf(QWidget* window) {
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top != window && top->isVisible() && top->parentWidget() && top->parentWidget()->window() == window &&
        IsSheetOnShownWindow(top))
      PlaceSheetOverWindow(top);
  }
}

void FLWindowPlacer::frameMayHaveArrived(QObject* watched) {
  awaitingFrame_.removeAll(nullptr);
  for (const QPointer<QWidget>& awaiting : QList<QPointer<QWidget>>(awaitingFrame_)) {
    QWidget* window = awaiting.data();
    if (!window || (watched != window && watched != window->windowHandle())) continue;
    if (!window->isVisible()) {
      awaitingFrame_.removeAll(window);
      continue;
    }
    if (!FrameIsKnown(window)) continue;
    awaitingFrame_.removeAll(window);
    // Not from inside the window system's event that told of the frame.
    QMetaObject::invokeMethod(
        window, [window] { Place(window, true); }, Qt::QueuedConnection);
  }
}
