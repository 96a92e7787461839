// The toolbar's fixed numbers and the sums that need no widget: the display modes, reading and
// writing a toolbar's stored configuration, and the widths and hit test of a segmented control.
#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <cstdint>
#include <vector>

// Display modes: icon and text, icon only, text only.
inline constexpr int kFLToolbarIconAndText = 1;
inline constexpr int kFLToolbarIconOnly = 2;
inline constexpr int kFLToolbarTextOnly = 3;

struct FLToolbarModeMetrics {
  double height;   // the toolbar's height
  double spacing;  // gap between tools
  double top;      // y of the 32-point icon box (of the text in text-only mode)
  const char* title;
};
// The heights, spacing and title of display mode 1-3; any other value reads as mode 1.
const FLToolbarModeMetrics& ToolbarModeMetrics(int mode);

// Keys of the stored configuration, a dictionary in the user defaults per toolbar GUID.
inline constexpr const char* kFLToolbarConfigKeyFormat = "NSToolbar Configuration %1";
inline constexpr const char* kFLToolbarDisplayModeKey = "TB Display Mode";
inline constexpr const char* kFLToolbarIsShownKey = "TB Is Shown";
inline constexpr const char* kFLToolbarItemIdentifiersKey = "TB Item Identifiers";

QString ToolbarConfigKey(const QString& guid);

struct FLToolbarConfig {
  int displayMode = kFLToolbarIconAndText;
  bool isShown = true;
  QStringList itemIdentifiers;  // empty: the delegate's default set
};
// A stored dictionary as the toolbar takes it: a mode outside 1-3 reads as 1, a missing "shown"
// as shown, the identifiers only for a toolbar that can be customised.
FLToolbarConfig ReadToolbarConfig(const QVariantMap& stored, bool canCustomize);
// The stored dictionary with the mode and visibility written over it, other keys kept.
QVariantMap ToolbarConfigWithDisplay(QVariantMap stored, int displayMode, bool isShown);

// ---- Segmented control ---------------------------------------------------------------------------

struct FLSegmentsMetrics {
  double endcapWidth = 0;
  std::vector<double> tabWidths;  // dividers included; they add up to the control's width
  bool useNormalFont = true;
};
// Widths of `count` tabs in a control of the given size. extraCenterWidth widens the middle
// tab of an odd count (and asks for the small font).
FLSegmentsMetrics LayoutSegments(double width, double height, int64_t count, bool roundEndcaps,
                                 double extraCenterWidth, bool useNormalFont);
// The tab under a point: -1 above or below the control; the last tab takes every point right
// of the others.
int64_t SegmentAtPoint(const std::vector<double>& tabWidths, double height, QPointF point);
