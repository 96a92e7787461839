// The names of the notifications between the text engine's document object, its views and
// their host.
#pragma once

inline constexpr const char* kGMSelectionChangeNotification = "gmb.selectionChange";
inline constexpr const char* kGMRedrawNotification = "gmb.redraw";
inline constexpr const char* kGMDocClosingNotification = "gmb.docClosing";
inline constexpr const char* kGMFlashNotification = "gmb.flash";
inline constexpr const char* kGMCursorChangeNotification = "gmb.cursorChange";
inline constexpr const char* kGMBoundsToolNotification = "gmb.boundsTool";
inline constexpr const char* kGMMarksToolNotification = "gmb.marksTool";
inline constexpr const char* kGMScrollDoneNotification = "gmb.scrollDone";
inline constexpr const char* kGMHelpFoundNotification = "gmb.helpFound";
// The user-info key of the found range: a list of its first and limit cps.
inline constexpr const char* kGMFoundRangeKey = "range";
