#include "framlet/shell/flInterfaceSupport.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>

namespace {

constexpr int kStandardScreenWidth = 1250;

}  // namespace

void ClosePanels() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible() || widget->isModal()) continue;
    if (qobject_cast<QFontDialog*>(widget) || qobject_cast<QColorDialog*>(widget)) widget->hide();
  }
}

void SetStandardWindowSize(QWidget* window) {
  if (!window) return;
  QScreen* screen = window->screen();
  if (!screen) screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect visible = screen->availableGeometry();
  if (visible.width() >= kStandardScreenWidth) {
    window->setGeometry(visible.x(), visible.y(), visible.width() * 3 / 4, visible.height());
  } else if (!window->isMaximized()) {
    window->showMaximized();
  }
}

void YankFocusForSliderPair(QWidget* control, QWidget* view) {
  if (!control || !view || !(qobject_cast<QAbstractSlider*>(control) || qobject_cast<QAbstractSpinBox*>(control))) {
    return;
  }
  QWidget* window = control->window();
  QWidget* focus = window ? window->focusWidget() : nullptr;
  if (focus && focus != control && qobject_cast<QLineEdit*>(focus) && view->isAncestorOf(focus) &&
      !control->isAncestorOf(focus)) {
    focus->clearFocus();
    window->setFocus();
  }
}

QString LinkText(const QString& url, const QString& title) {
  return QStringLiteral("<a href=\"%1\" style=\"color: %2; text-decoration: underline\">%3 </a>")
      .arg(url.toHtmlEscaped(), LinkColor().name(), title.toHtmlEscaped());
}

int FunctionKeyForEvent(const QKeyEvent& event) {
  const int key = event.key();
  if (key >= Qt::Key_F1 && key <= Qt::Key_F16) return key - Qt::Key_F1 + 1;
  return 0;
}

void CopyStringToPasteboard(const QString& text) {
  try {
    QGuiApplication::clipboard()->setText(text);
  } catch (const std::exception& exception) {
    LogException(exception, QStringLiteral("Copy string failed"));
  }
}
