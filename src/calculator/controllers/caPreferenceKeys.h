// The spreadsheet's preference keys in the user defaults, each spelled in this one place, and the
// notifications the preferences post.
#pragma once

// The notifications the preferences post that the views and documents observe are theirs;
// the rest follow the keys.
#include "calculator/views/caViewNotifications.h"

// Calculators.
inline constexpr const char* kCalcBackColorKey = "numlet.calcBackColor";
inline constexpr const char* kCalcButtonColorKey = "numlet.calcButtonColor";
inline constexpr const char* kLabelColorKey = "numlet.labelColor";
inline constexpr const char* kCalcWordSizeKey = "numlet.calcWordSize";
inline constexpr const char* kCalcDigitsKey = "numlet.calcDigits";
inline constexpr const char* kSpreadsheetDigitsKey = "numlet.spreadsheetDigits";
inline constexpr const char* kOpenFormatKey = "numlet.openFormat";
inline constexpr const char* kFindKey = "numlet.find";
inline constexpr const char* kReplaceKey = "numlet.replace";
inline constexpr const char* kFindOptionsKey = "numlet.findOptions";
inline constexpr const char* kFindScopeKey = "numlet.findScope";
inline constexpr const char* kDefaultUnitsKey = "numlet.defaultUnits";
inline constexpr const char* kZoomKey = "numlet.zoom";
inline constexpr const char* kXMarginKey = "numlet.xMargin";
inline constexpr const char* kYMarginKey = "numlet.yMargin";
inline constexpr const char* kDefaultDigitsKey = "numlet.defaultDigits";
inline constexpr const char* kDefaultWidthKey = "numlet.defaultWidth";
inline constexpr const char* kMaximizeKey = "numlet.maximize";
inline constexpr const char* kTabOverrideKey = "numlet.tabOverride";
inline constexpr const char* kFontKey = "numlet.font";
inline constexpr const char* kPrefPositionKey = "numlet.prefPosition";
inline constexpr const char* kUntitledPositionKey = "numlet.untitledPosition";
inline constexpr const char* kFavoriteColorsKey = "numlet.favoriteColors";

// Kept by the application controller.
inline constexpr const char* kOpenFilesKey = "numlet.openFiles";
inline constexpr const char* kCalculatorMaskKey = "numlet.calculatorMask";
inline constexpr const char* kRecentFunctionsKey = "numlet.recentFunctions";
// Kept by the function browser: the open groups, and grouping by initial letter.
inline constexpr const char* kFunctionOpenMapKey = "numlet.functionOpenMap";
inline constexpr const char* kAlphaFunctionsKey = "numlet.alphaFunctions";
inline constexpr const char* kProgrammerBaseKey = "numlet-pcBase";
inline constexpr const char* kProgrammerWordSizeKey = "numlet-pcWordSize";
inline constexpr const char* kProgrammerDigitsKey = "numlet-pcDigits";
// In the shared domain: the suppressed warning of the Excel import.
inline constexpr const char* kExcelImportWarningKey = "ov.excel.import";

inline constexpr const char* kQuittingNotification = "numlet.quitting";
inline constexpr const char* kUnitChangeNotification = "gmb.unitChange";
inline constexpr const char* kSearchChangedNotification = "numlet.searchChanged";
