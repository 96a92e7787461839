// Names of the notifications the spreadsheet views observe that the model does not post
// itself, each spelled in this one place.
#pragma once

#include "calculator/model/caModelNotifications.h"

// The decimal separator or digits preference changed (any object).
inline constexpr const char* kDecimalChangeNotification = "numlet.decimalChange";
// Everything is drawn again (any object).
inline constexpr const char* kRedrawAllNotification = "numlet.redrawAll";
// The active cell's typed text changed, or typing ended (object: the document).
inline constexpr const char* kFormulaChangeNotification = "numlet.formulaChange";
// The formula popup closed: the cell being typed takes the focus back (object: the document).
inline constexpr const char* kResetTypingNotification = "numlet.resetTyping";
// A reference was picked on the grid while the formula bar holds a formula; the bar inserts
// the document's typing selection (object: the document).
inline constexpr const char* kTypeSelNotification = "numlet.typeSel";
// While a dialog picks cells in a document window, a click there is held back and announced
// instead (object: the document; user info: kInactiveClickEventKey, a map of "position" (QPointF,
// in the window) and "modifiers" (int)).
inline constexpr const char* kInactiveClickNotification = "numlet.inactiveClick";
inline constexpr const char* kInactiveClickEventKey = "event";
inline constexpr const char* kInactiveClickPositionKey = "position";
inline constexpr const char* kInactiveClickModifiersKey = "modifiers";
// A cell was clicked for the sort dialog (object: the document; user info: kGridPointKey, the
// cell's "x,y" text).
inline constexpr const char* kGridPointNotification = "numlet.gridPoint";
inline constexpr const char* kGridPointKey = "point";
// The label font or extent changed with the zoom or a paste of styles (object: the document).
inline constexpr const char* kLabelsNotification = "numlet.labels";
// The checkbox size preference changed: rows are measured again (any object).
inline constexpr const char* kCheckboxHeightNotification = "numlet.checkboxHeight";
// A press in a sheet's grid: the format panel's colour wells let go of the colour panel (no
// object).
inline constexpr const char* kColorWellNotification = "numlet.colorWell";
