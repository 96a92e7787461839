#include "framlet/shell/flInterfaceSupport.h"

#include "framlet/foundation/Kolor.h"
#include "framlet/foundation/flBase.h"
#include "framlet/shell/flWindowOrder.h"

#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QDialog>
#include <QClipboard>
#include <QColorDialog>
#include <QFontDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr int kStandardScreenWidth = 1250;
// How far a window that would cover another moves on when its decorations are not known.
constexpr int kCascadeStep = 22;
// Set on a window given the standard size until it has been placed by its frame.
constexpr const char* kStandardPlaceProperty = "fl.standardPlace";

QScreen* ScreenOf(const QWidget* window) {
  QScreen* screen = window->screen();
  return screen ? screen : QGuiApplication::primaryScreen();
}

// The decorations' sizes once the window has a platform window (before it is first shown it
// has none, and some desktops tell them only once the window is on the screen).
// A margin reported negative (the window not framed yet) counts as none.
QMargins FrameMarginsOf(const QWidget* window) {
  const QWindow* handle = window->windowHandle();
  if (!handle) return {};
  const QMargins margins = handle->frameMargins();
  return QMargins(std::max(margins.left(), 0), std::max(margins.top(), 0), std::max(margins.right(), 0),
                  std::max(margins.bottom(), 0));
}

}  // namespace

void ClosePanels() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (!widget->isVisible() || widget->isModal()) continue;
    if (qobject_cast<QFontDialog*>(widget) || qobject_cast<QColorDialog*>(widget)) widget->hide();
  }
}

QRect StandardWindowGeometry(const QRect& available, const QMargins& frameMargins) {
  const QRect frame(available.topLeft(), QSize(available.width() * 3 / 4, available.height()));
  return frame.marginsRemoved(frameMargins);
}

QRect FitWindowInScreen(const QRect& inner, const QMargins& frameMargins, const QRect& available,
                        const QSize& minimum) {
  if (available.isEmpty() || inner.isEmpty()) return inner;
  // A window may come with any coordinates (a stored frame, a window system's own): the sums are
  // taken in 64 bits, which the edges of two rectangles of ints cannot overflow, and the result
  // lies within the area or at its top left.
  using Long = int64_t;
  const Long horizontal = Long(frameMargins.left()) + frameMargins.right();
  const Long vertical = Long(frameMargins.top()) + frameMargins.bottom();
  const Long innerWidth = Long(inner.right()) - inner.left() + 1, innerHeight = Long(inner.bottom()) - inner.top() + 1;
  const Long areaWidth = Long(available.right()) - available.left() + 1;
  const Long areaHeight = Long(available.bottom()) - available.top() + 1;
  const Long width = std::max(std::min(innerWidth, areaWidth - horizontal), Long(std::max(minimum.width(), 1)));
  const Long height = std::max(std::min(innerHeight, areaHeight - vertical), Long(std::max(minimum.height(), 1)));
  // The far edge is pulled in first, the near one last, so that a frame too large for the
  // area still shows its title bar and its left edge.
  const Long left = std::max(Long(available.left()), std::min(Long(inner.left()) - frameMargins.left(),
                                                              available.left() + areaWidth - width - horizontal));
  const Long top = std::max(Long(available.top()), std::min(Long(inner.top()) - frameMargins.top(),
                                                            available.top() + areaHeight - height - vertical));
  const auto within = [](Long value) { return int(std::clamp<Long>(value, 0, QWIDGETSIZE_MAX)); };
  return QRect(QPoint(int(left + frameMargins.left()), int(top + frameMargins.top())), QSize(within(width), within(height)));
}

QRectF WindowRectWithinReach(const QRectF& rect) {
  const auto finite = [](double value) { return std::isfinite(value) ? value : 0.0; };
  const auto size = [&](double length) { return std::clamp(finite(length), 0.0, kFarthestWindowEdge); };
  const double width = size(rect.width()), height = size(rect.height());
  return QRectF(std::clamp(finite(rect.x()), -kFarthestWindowEdge, kFarthestWindowEdge - width),
                std::clamp(finite(rect.y()), -kFarthestWindowEdge, kFarthestWindowEdge - height), width, height);
}

void SetStandardWindowSize(QWidget* window) {
  if (!window) return;
  QScreen* screen = ScreenOf(window);
  if (!screen) return;
  const QRect visible = screen->availableGeometry();
  if (visible.width() >= kStandardScreenWidth) {
    window->setGeometry(StandardWindowGeometry(visible, FrameMarginsOf(window)));
    window->setProperty(kStandardPlaceProperty, true);
  } else if (!window->isMaximized()) {
    window->showMaximized();
  }
}

QRect CascadeWindowRect(const QRect& inner, const QMargins& frameMargins, const QRect& available,
                        const QList<QPoint>& taken, const QSize& minimum) {
  const QRect fitted = FitWindowInScreen(inner, frameMargins, available, minimum);
  const int step = std::max(frameMargins.top(), kCascadeStep);
  const QSize least(std::max(minimum.width(), 1) + frameMargins.left() + frameMargins.right(),
                    std::max(minimum.height(), 1) + frameMargins.top() + frameMargins.bottom());
  QRect placed = fitted;
  // Each step either finds a free place or passes one of the taken ones.
  for (qsizetype tries = 0; taken.contains(placed.topLeft()); ++tries) {
    if (tries > taken.size()) return fitted;
    // The new top left stays; the window gives up what lies beyond the area from there.
    const QPoint corner = placed.topLeft() + QPoint(step, step);
    const QRect rest(QPoint(corner.x() - frameMargins.left(), corner.y() - frameMargins.top()),
                     available.bottomRight());
    if (rest.width() < least.width() || rest.height() < least.height()) return fitted;
    placed = FitWindowInScreen(QRect(corner, placed.size()), frameMargins, rest, minimum);
  }
  return placed;
}

void PlaceWindowOnScreen(QWidget* window, bool cascade) {
  if (!window || !window->isWindow() || (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
    return;
  const QScreen* screen = ScreenOf(window);
  if (!screen) return;
  const QRect inner = window->geometry();
  QList<QPoint> taken;
  if (cascade && window->property(kStandardPlaceProperty).toBool()) {
    window->setProperty(kStandardPlaceProperty, QVariant());
    for (const QWidget* other : QApplication::topLevelWidgets()) {
      if (other != window && other->isVisible() && IsOrderedKind(other) && !IsPanel(other))
        taken.append(other->geometry().topLeft());
    }
  }
  const QRect placed = CascadeWindowRect(inner, FrameMarginsOf(window), screen->availableGeometry(), taken,
                                         window->minimumSize());
  if (placed != inner) window->setGeometry(placed);
}

QRect SheetRectOverWindow(const QRect& hostFrame, int hostInnerTop, const QSize& sheetSize,
                          const QMargins& sheetMargins, const QRect& available) {
  const int frameWidth = sheetSize.width() + sheetMargins.left() + sheetMargins.right();
  const QPoint frameTopLeft(hostFrame.left() + (hostFrame.width() - frameWidth) / 2, hostInnerTop);
  const QRect inner(frameTopLeft + QPoint(sheetMargins.left(), sheetMargins.top()), sheetSize);
  return FitWindowInScreen(inner, sheetMargins, available, sheetSize);
}

bool IsSheetOnShownWindow(const QWidget* window) {
  if (!window || !window->isWindow() || !qobject_cast<const QDialog*>(window)) return false;
  if (window->windowModality() != Qt::WindowModal || !window->parentWidget()) return false;
  const QWidget* host = window->parentWidget()->window();
  return host && host != window && host->isVisible();
}

void PlaceSheetOverWindow(QWidget* sheet) {
  if (!IsSheetOnShownWindow(sheet) || !sheet->isVisible()) return;
  const QWidget* host = sheet->parentWidget()->window();
  QScreen* screen = ScreenOf(host);
  if (!screen) return;
  const QRect placed = SheetRectOverWindow(host->frameGeometry(), host->geometry().top(), sheet->size(),
                                           FrameMarginsOf(sheet), screen->availableGeometry());
  if (placed != sheet->geometry()) sheet->setGeometry(placed);
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
