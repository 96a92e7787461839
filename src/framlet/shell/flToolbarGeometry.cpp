#include "framlet/shell/flToolbarGeometry.h"

#include "framlet/foundation/flBase.h"

#include <QVariant>

#include <algorithm>
#include <cmath>

namespace {

constexpr FLToolbarModeMetrics kModeMetrics[] = {
    {56, 8, 4, "Icon and Text"},
    {41, 8, 4, "Icon Only"},
    {21, 16, 3, "Text Only"},
};

}  // namespace

const FLToolbarModeMetrics& ToolbarModeMetrics(int mode) {
  if (mode < kFLToolbarIconAndText || mode > kFLToolbarTextOnly) mode = kFLToolbarIconAndText;
  return kModeMetrics[mode - 1];
}

QString ToolbarConfigKey(const QString& guid) { return QString::fromLatin1(kFLToolbarConfigKeyFormat).arg(guid); }

FLToolbarConfig ReadToolbarConfig(const QVariantMap& stored, bool canCustomize) {
  FLToolbarConfig config;
  const int64_t mode = stored.value(QLatin1String(kFLToolbarDisplayModeKey)).toLongLong();
  config.displayMode = (mode >= kFLToolbarIconAndText && mode <= kFLToolbarTextOnly) ? int(mode) : kFLToolbarIconAndText;
  const QVariant shown = stored.value(QLatin1String(kFLToolbarIsShownKey));
  config.isShown = shown.isValid() ? shown.toBool() : true;
  if (canCustomize) config.itemIdentifiers = stored.value(QLatin1String(kFLToolbarItemIdentifiersKey)).toStringList();
  return config;
}

QVariantMap ToolbarConfigWithDisplay(QVariantMap stored, int displayMode, bool isShown) {
  stored.insert(QLatin1String(kFLToolbarDisplayModeKey), displayMode);
  stored.insert(QLatin1String(kFLToolbarIsShownKey), isShown);
  return stored;
}

FLSegmentsMetrics LayoutSegments(double width, double height, int64_t count, bool roundEndcaps,
                                 double extraCenterWidth, bool useNormalFont) {
  FLSegmentsMetrics metrics;
  metrics.useNormalFont = useNormalFont;
  metrics.endcapWidth = roundEndcaps ? height / 2 - 0.5 : std::max(std::floor((height + 1) / 4), 2.0);
  if (count <= 1) {
    metrics.tabWidths.push_back(width);
    return metrics;
  }
  const double e = std::ceil(metrics.endcapWidth);
  double avail = width - 2 * e - 17.0 * double(count - 1);
  const double c = extraCenterWidth;
  const int64_t middle = count / 2;
  if (c != 0) {
    if (count % 2 == 0) LogAssert("Even number of tabs and center tab width specified", __func__, __FILE__, __LINE__);
    avail -= c;
    metrics.useNormalFont = false;
  }
  const double base = std::floor(avail / double(count));
  int64_t rem = int64_t(avail - double(count) * base);
  if (rem >= 2 * count) LogAssert("Bad metric logic", __func__, __FILE__, __LINE__);
  const int64_t extra2 = std::max<int64_t>(rem - count, 0);
  double first = e + base + 9;
  if (rem > count) {
    first += 2;
    rem -= 2;
  } else if (rem > 0) {
    first += 1;
    rem -= 1;
  }
  metrics.tabWidths.push_back(first);
  for (int64_t i = 1; i < count - 1; ++i) {
    double w = base + 17 + (c != 0 && i == middle ? c : 0);
    if (rem > 0) {
      const int64_t add = (i < extra2 && rem >= 2) ? 2 : 1;
      w += double(add);
      rem -= add;
    }
    metrics.tabWidths.push_back(w);
  }
  metrics.tabWidths.push_back(e + base + 8 + double(rem));
  return metrics;
}

int64_t SegmentAtPoint(const std::vector<double>& tabWidths, double height, QPointF point) {
  if (point.y() < 0 || point.y() > height) return -1;
  if (tabWidths.size() < 2) return 0;
  double left = 0;
  for (size_t i = 0; i + 1 < tabWidths.size(); ++i) {
    if (point.x() >= left && point.x() < left + tabWidths[i]) return int64_t(i);
    left += tabWidths[i];
  }
  return int64_t(tabWidths.size()) - 1;
}
