// A tool the framework's toolbar can show: a constant record in the owning window controller's
// table. The toolbar keeps pointers into the table, so a table lives as long as the program.
#pragma once

#include <cstdint>

// The identifiers of the standard tools every table may hold.
inline constexpr const char* kFLToolbarSpaceItem = "NSToolbarSpaceItem";
inline constexpr const char* kFLToolbarFlexibleSpaceItem = "NSToolbarFlexibleSpaceItem";
inline constexpr const char* kFLToolbarPrintItem = "NSToolbarPrintItem";

// View classes a descriptor may name in imageName (with a non-zero size).
inline constexpr const char* kFLToolbarSegmentsClass = "FLToolbarSegments";
inline constexpr const char* kFLSearchFieldClass = "NSSearchField";
inline constexpr const char* kFLPopUpButtonClass = "NSPopUpButton";

struct FLToolbarItem {
  const char* guid = nullptr;
  // Icon tools: the image's name. View tools: the view's class name.
  const char* imageName = nullptr;
  const char* label = nullptr;
  const char* paletteLabel = nullptr;
  const char* actionName = nullptr;
  const char* toolTip = nullptr;
  int64_t tag = 0;
  // Zero width: an icon tool; otherwise a view tool of this size.
  double width = 0;
  double height = 0;
  // Segments: their selection style.
  uint64_t selectStyle = 0;
  // Segments: round end caps; pop-up: pulls down; search field: sends each keystroke.
  bool viewOption = false;
  // Search field: sends the whole search string.
  bool sendsWholeSearch = false;
};
