#include "framlet/shell/flWindowOrder.h"

#include <QApplication>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

QList<QPointer<QWidget>>& Order() {
  static QList<QPointer<QWidget>> order;
  return order;
}

bool IsOrderedKind(const QWidget* widget) {
  if (!widget || !widget->isWindow()) return false;
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

void MoveToFront(QWidget* window) {
  QList<QPointer<QWidget>>& order = Order();
  order.removeIf([window](const QPointer<QWidget>& entry) { return entry.isNull() || entry == window; });
  order.prepend(window);
}

// Follows the focus window from the first use on.
void WatchFocus() {
  static bool watching = false;
  if (watching || !qApp) return;
  watching = true;
  QObject::connect(qApp, &QGuiApplication::focusWindowChanged, qApp, [](QWindow* focus) {
    if (!focus) return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
      if (widget->windowHandle() == focus && IsOrderedKind(widget)) {
        MoveToFront(widget);
        return;
      }
    }
  });
}

}  // namespace

QList<QWidget*> OrderedWindows() {
  WatchFocus();
  QList<QWidget*> windows;
  for (const QPointer<QWidget>& entry : Order()) {
    if (entry && entry->isVisible() && IsOrderedKind(entry)) windows.append(entry);
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && IsOrderedKind(widget) && !windows.contains(widget)) windows.append(widget);
  }
  return windows;
}

QWidget* MainWindow() {
  for (QWidget* window : OrderedWindows()) {
    if (!IsPanel(window) && !window->isModal()) return window;
  }
  return nullptr;
}

bool IsPanel(const QWidget* window) { return window && window->windowType() == Qt::Tool; }

void MakeKeyAndOrderFront(QWidget* window) {
  if (!window) return;
  WatchFocus();
  window->show();
  window->raise();
  window->activateWindow();
  MoveToFront(window);
}

bool HasModalWindow() { return QApplication::activeModalWidget() != nullptr; }
