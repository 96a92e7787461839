// Names of the notifications the spreadsheet model posts, each spelled in this one place.
#pragma once

inline constexpr const char* kFontChangedNotification = "numlet.font";
inline constexpr const char* kStopTypingNotification = "numlet.stopTyping";
inline constexpr const char* kDrasticChangeNotification = "gmb.drastic";
inline constexpr const char* kSelectionChangeNotification = "gmb.selectionChange";
inline constexpr const char* kTypeChangeNotification = "numlet.typeChange";
inline constexpr const char* kFormulaInsertNotification = "numlet.formulaInsert";
// Settings that move the page breaks changed (object: the document).
inline constexpr const char* kPagesChangedNotification = "numlet.pages";
// User-info keys of "numlet.formulaInsert".
inline constexpr const char* kFormulaInsertPopupKey = "popup";
inline constexpr const char* kFormulaInsertRangeKey = "range";
