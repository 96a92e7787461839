// The framework's segmented control: a row of text or image tabs drawn as one rounded (or
// capsule) bar with dividers; momentary buttons, one selected tab, or any set of selected tabs.
#pragma once

#include "framlet/shell/FLView.h"
#include "framlet/shell/flToolbarGeometry.h"

#include <QSet>
#include <QVariantList>

#include <cstdint>

class FLToolbarSegmentsDelegate;

enum FLSegmentsSelectStyle : uint64_t { kFLSegmentsMomentary = 0, kFLSegmentsSingle = 1, kFLSegmentsMultiple = 2 };

class FLToolbarSegments : public FLView {
  Q_OBJECT

 public:
  explicit FLToolbarSegments(QWidget* parent = nullptr);

  FLToolbarSegmentsDelegate* delegate() const { return delegate_; }
  void setDelegate(FLToolbarSegmentsDelegate* delegate) { delegate_ = delegate; }
  uint64_t barTag() const { return barTag_; }
  void setBarTag(uint64_t tag) { barTag_ = tag; }
  uint64_t selectStyle() const { return selectStyle_; }
  void setSelectStyle(uint64_t style) { selectStyle_ = style; }
  bool roundEndcaps() const { return roundEndcaps_; }
  void setRoundEndcaps(bool on) { roundEndcaps_ = on; useNormalFont_ = !on; }
  double extraCenterTabWidth() const { return extraCenterTabWidth_; }
  void setExtraCenterTabWidth(double width) { extraCenterTabWidth_ = width; }

  // Asks the delegate for the tabs and computes their widths.
  void layoutTabs();
  // The next drawing lays the tabs out again.
  void reloadTabs();
  const QVariantList& tabs() const { return tabs_; }
  const FLSegmentsMetrics& metrics() const { return metrics_; }

  int64_t selectedTabIndex() const { return isPressed_ ? pressedTab_ : selectedTab_; }
  void selectTab(int64_t index);
  void setSelectedTab(int64_t index);
  void setSelected(bool selected, int64_t index);
  bool isTabSelected(int64_t index) const;
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  void setEnabled(bool enabled, int64_t index);
  bool isTabEnabled(int64_t index) const {
    return enabled_ && (index < 0 || index >= 64 || ((tabEnabledMask_ >> index) & 1) != 0);
  }
  void updateContent(const QVariant& content, int64_t index);
  int64_t tabFromPoint(QPointF point) const { return SegmentAtPoint(metrics_.tabWidths, height(), point); }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QImage tintedTemplate(const QImage& image, const QColor& color);

  FLToolbarSegmentsDelegate* delegate_ = nullptr;
  uint64_t barTag_ = 0;
  uint64_t selectStyle_ = kFLSegmentsMomentary;
  bool roundEndcaps_ = false;
  bool useNormalFont_ = true;
  double extraCenterTabWidth_ = 0;
  QVariantList tabs_;
  FLSegmentsMetrics metrics_;
  uint64_t tabEnabledMask_ = ~uint64_t(0);
  bool enabled_ = true;
  bool isPressed_ = false;
  int64_t pressedTab_ = -1;
  int64_t selectedTab_ = -1;
  QSet<int64_t> selectedTabs_;
  QHash<qint64, QImage> tinted_;
};
