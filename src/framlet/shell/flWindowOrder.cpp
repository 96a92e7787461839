#include "framlet/shell/flWindowOrder.h"

#include "framlet/shell/FLWindowTabContainer.h"

#include <QApplication>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <QWindow>

namespace {

QList<QPointer<QWidget>>& Order() {
  static QList<QPointer<QWidget>> order;
  return order;
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

QList<QWidget*> OrderedWindows() {
  WatchFocus();
  QList<QWidget*> tops;
  for (const QPointer<QWidget>& entry : Order()) {
    if (entry && entry->isVisible() && IsOrderedKind(entry)) tops.append(entry);
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (widget->isVisible() && IsOrderedKind(widget) && !tops.contains(widget)) tops.append(widget);
  }
  // A tab container stands for its windows: the selected one in front of the others.
  QList<QWidget*> windows;
  for (QWidget* top : tops) {
    const auto* container = qobject_cast<const FLWindowTabContainer*>(top);
    if (!container) {
      windows.append(top);
      continue;
    }
    QWidget* selected = container->selectedWindow();
    if (selected) windows.append(selected);
    for (QWidget* tab : container->windows()) {
      if (tab != selected) windows.append(tab);
    }
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
  // A window with a sheet up takes no keys of its own: the sheet comes front with it and keeps
  // them, however (and however often) the window is brought forward.
  QDialog* sheet = nullptr;
  for (QDialog* dialog : window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
    if (dialog->isVisible() && dialog->windowModality() == Qt::WindowModal) sheet = dialog;
  }
  // A tab comes front as its container's selected tab.
  if (FLWindowTabContainer* container = FLWindowTabContainer::containerOf(window)) {
    container->selectWindow(window);
    window = container;
  }
  window->show();
  window->raise();
  window->activateWindow();
  MoveToFront(window);
  if (sheet) {
    sheet->raise();
    sheet->activateWindow();
  }
}

bool HasModalWindow() { return QApplication::activeModalWidget() != nullptr; }
