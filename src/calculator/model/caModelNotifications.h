// Names of the notifications the spreadsheet model posts, each spelled in this one place.
#pragma once

inline constexpr const char* kFontChangedNotification = "numlet.font";
// The zoom or pasted column widths changed: the sheet view lays out its labels again.
inline constexpr const char* kLabelsNotification = "numlet.labels";
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
// The document's observations and announcements over its life.
inline constexpr const char* kEvalNotification = "numlet.eval";
// Preferences changed what value tooltips show (any object).
inline constexpr const char* kBumpTipsNotification = "numlet.bumpTips";
// The autosave preference changed (any object).
inline constexpr const char* kAutosaveNotification = "numlet.autosave";
// The document is closing (object: the document): views let go of it.
inline constexpr const char* kDocClosingNotification = "gmb.docClosing";
// Typing in progress is committed before a save or a print (no object).
inline constexpr const char* kNormalizeNotification = "numlet.normalize";
// Posted by the application shell for the desktop's events.
inline constexpr const char* kApplicationWillTerminateNotification = "NSApplicationWillTerminateNotification";
inline constexpr const char* kApplicationDidResignActiveNotification = "NSApplicationDidResignActiveNotification";
inline constexpr const char* kWorkspaceWillSleepNotification = "NSWorkspaceWillSleepNotification";
