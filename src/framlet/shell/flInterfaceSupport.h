// Small interface procedures shared by the application's windows: closing the shared choosers,
// stored frames brought within reach, the standard size of a new window and its place, function
// keys, and the clipboard's plain text and image types.
#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class QKeyEvent;
class QWidget;

// A stored window frame as a window system can take it: the size at most kFarthestWindowEdge and
// the whole rectangle within that distance of the origin, so that nothing placing the window
// passes the range of its integer coordinates.
inline constexpr double kFarthestWindowEdge = 16777216.0;
QRectF WindowRectWithinReach(const QRectF& rect);
// Hides the open font and colour choosers that float beside the documents.
void ClosePanels();
// On a screen at least 1250 points wide: the screen's top left, three quarters of its width and
// its full height, decorations included; on a smaller one the window is maximised. A window given
// the standard size moves on from another window's place when it shows (see PlaceWindowOnScreen).
void SetStandardWindowSize(QWidget* window);
// The inner rectangle of the standard size in that available area, for a window whose
// decorations take `frameMargins`: its frame, not its inner rectangle, fills the area.
QRect StandardWindowGeometry(const QRect& available, const QMargins& frameMargins);
// Where a window whose inner rectangle is `inner` goes so that its frame (`inner` grown by the
// margins) lies within the available area: moved in, and made smaller only where it cannot
// fit, never below `minimum`. A window that cannot fit keeps its top left (the title bar) on
// the screen.
QRect FitWindowInScreen(const QRect& inner, const QMargins& frameMargins, const QRect& available,
                        const QSize& minimum = QSize());
// Where a window goes that `FitWindowInScreen` would put where another window already has its
// inner top left (one of `taken`): down and to the right by the title bar's height (at least 22
// points), made smaller where it would then reach beyond the area, until its place is free. It
// stays where it fits when no free place is left.
QRect CascadeWindowRect(const QRect& inner, const QMargins& frameMargins, const QRect& available,
                        const QList<QPoint>& taken, const QSize& minimum = QSize());
// Moves a shown window's frame onto its screen's available area (nothing for a maximised or
// full-screen one, whose place the desktop decides). With `cascade`, a window that was given the
// standard size and has not been placed by its frame since, and whose place is another shown
// window's, moves on from it; a place the user chose or a document stored is kept.
void PlaceWindowOnScreen(QWidget* window, bool cascade = false);
// Where a sheet's inner rectangle goes: its frame centred across its window's frame, its top
// just under the window's title bar (`hostInnerTop`), then moved within the available area.
QRect SheetRectOverWindow(const QRect& hostFrame, int hostInnerTop, const QSize& sheetSize,
                          const QMargins& sheetMargins, const QRect& available);
// A window-modal dialog on a shown window: a sheet, which lies over its window.
bool IsSheetOnShownWindow(const QWidget* window);
// Moves a shown sheet over its window (see SheetRectOverWindow).
void PlaceSheetOverWindow(QWidget* sheet);
// A slider or spin box paired with a text field takes over: when the field inside `view` has
// the focus, the window takes it, so the field's edit ends before the control's value lands.
void YankFocusForSliderPair(QWidget* control, QWidget* view);
// A link's rich text: the title and one blank, underlined, in the link colour, to the URL.
QString LinkText(const QString& url, const QString& title);
// F1 to F16 give 1 to 16; any other key 0.
int FunctionKeyForEvent(const QKeyEvent& event);
// Puts the text on the clipboard as plain text.
void CopyStringToPasteboard(const QString& text);
