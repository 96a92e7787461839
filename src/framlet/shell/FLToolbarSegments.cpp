#include "framlet/shell/FLToolbarSegments.h"

#include "framlet/shell/FLToolbarSegmentsDelegate.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flDrawing.h"
#include "platform/Appearance.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

QFont SegmentsFont(bool normal) {
  QFont font = QApplication::font();
  if (!normal) font.setPointSizeF(font.pointSizeF() - 2);
  return font;
}

}  // namespace

FLToolbarSegments::FLToolbarSegments(QWidget* parent) : FLView(parent) { setAttribute(Qt::WA_Hover); }

QSize FLToolbarSegments::sizeHint() const { return QSize(130, 21); }

void FLToolbarSegments::layoutTabs() {
  tabs_ = delegate_ ? delegate_->tabsForSegments(this) : QVariantList();
  metrics_ = LayoutSegments(width(), height(), tabs_.size(), roundEndcaps_, extraCenterTabWidth_, useNormalFont_);
  if (selectedTab_ >= int64_t(tabs_.size()) || selectedTab_ < 0) setSelectedTab(-1);
}

void FLToolbarSegments::reloadTabs() {
  tabs_.clear();
  selectedTab_ = -1;
  update();
}

void FLToolbarSegments::resizeEvent(QResizeEvent*) {
  if (!tabs_.isEmpty()) layoutTabs();
}

void FLToolbarSegments::selectTab(int64_t index) {
  if (tabs_.isEmpty()) layoutTabs();
  if (index >= int64_t(tabs_.size())) {
    LogAssert("Bad tab index", __func__, __FILE__, __LINE__);
    index = -1;
  }
  setSelectedTab(index);
  update();
}

void FLToolbarSegments::setSelectedTab(int64_t index) {
  if (selectStyle_ == kFLSegmentsMultiple) {
    if (index >= 0) LogAssert("Selecting tab in multi-selection control", __func__, __FILE__, __LINE__);
    selectedTabs_.clear();
    selectedTab_ = -1;
    return;
  }
  selectedTab_ = index;
}

void FLToolbarSegments::setSelected(bool selected, int64_t index) {
  if (selected)
    selectedTabs_.insert(index);
  else
    selectedTabs_.remove(index);
  update();
}

bool FLToolbarSegments::isTabSelected(int64_t index) const {
  if (!enabled_ || selectStyle_ == kFLSegmentsMomentary) return false;
  if (selectStyle_ == kFLSegmentsSingle) return index == selectedTab_;
  return selectedTabs_.contains(index);
}

void FLToolbarSegments::setEnabled(bool enabled) {
  enabled_ = enabled;
  update();
}

void FLToolbarSegments::setEnabled(bool enabled, int64_t index) {
  if (index < 0 || index >= 64) return;  // one bit each, the mask's full width
  const uint64_t bit = uint64_t(1) << index;
  tabEnabledMask_ = enabled ? (tabEnabledMask_ | bit) : (tabEnabledMask_ & ~bit);
  update();
}

void FLToolbarSegments::updateContent(const QVariant& content, int64_t index) {
  if (index < 0 || index >= int64_t(tabs_.size())) {
    LogAssert("Bad index", __func__, __FILE__, __LINE__);
    return;
  }
  tabs_[index] = content;
  update();
}

void FLToolbarSegments::mousePressEvent(QMouseEvent* event) {
  if (!enabled_ || event->button() != Qt::LeftButton) return;
  const QPointF where(std::floor(event->position().x()), std::floor(event->position().y()));
  const int64_t tab = tabFromPoint(where);
  if (tab < 0 || !isTabEnabled(tab)) return;
  pressedTab_ = tab;
  isPressed_ = true;
  update();
}

void FLToolbarSegments::mouseMoveEvent(QMouseEvent* event) {
  if (pressedTab_ < 0) return;
  const bool over = rect().contains(event->position().toPoint()) && tabFromPoint(event->position()) == pressedTab_;
  if (over != isPressed_) {
    isPressed_ = over;
    update();
  }
}

void FLToolbarSegments::leaveEvent(QEvent*) {
  if (isPressed_) {
    isPressed_ = false;
    update();
  }
}

void FLToolbarSegments::mouseReleaseEvent(QMouseEvent*) {
  const int64_t tab = pressedTab_;
  const bool shown = isPressed_;
  pressedTab_ = -1;
  isPressed_ = false;
  if (shown && tab >= 0) {
    if (selectStyle_ == kFLSegmentsSingle) {
      if (tab == selectedTab_) {
        if (delegate_) delegate_->sameTabWasSelected(tab, this);
      } else {
        selectTab(tab);
        if (delegate_) delegate_->tabWasSelected(tab, this);
      }
    } else if (selectStyle_ == kFLSegmentsMultiple) {
      setSelected(!selectedTabs_.contains(tab), tab);
      selectedTab_ = -1;
      if (delegate_) delegate_->tabWasSelected(tab, this);
    } else {
      selectedTab_ = -1;
      if (delegate_) delegate_->tabWasSelected(tab, this);
    }
  }
  update();
}

QImage FLToolbarSegments::tintedTemplate(const QImage& image, const QColor& color) {
  auto found = tinted_.find(image.cacheKey());
  if (found != tinted_.end()) return *found;
  const QImage tinted = TintedTemplateImage(image, color);
  tinted_.insert(image.cacheKey(), tinted);
  return tinted;
}

void FLToolbarSegments::paintEvent(QPaintEvent*) {
  if (tabs_.isEmpty()) layoutTabs();
  if (tabs_.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QPalette pal = palette();
  const bool dark = Appearance::IsDarkPalette(pal);
  const double h = height();
  const double e = metrics_.endcapWidth;
  const QFont font = SegmentsFont(metrics_.useNormalFont);
  painter.setFont(font);
  const double fontHeight = QFontMetricsF(font).height();
  const double textY = std::floor((h - fontHeight) / 2) - (extraCenterTabWidth_ == 0 ? 1 : 0);
  const bool active = window() && window()->isActiveWindow();
  const QColor selection = active ? (dark ? Appearance::sharedInstance().accentColor() : pal.color(QPalette::Active, QPalette::Highlight))
                                  : pal.color(QPalette::Inactive, QPalette::Highlight).lighter(130);
  const QColor pressedFill = pal.color(QPalette::Mid);

  QPainterPath shape;
  if (roundEndcaps_)
    shape.addRoundedRect(QRectF(0, 0, width(), h), e, e);
  else
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), e, e);
  painter.fillPath(shape, pal.color(QPalette::Button));

  const int64_t n = tabs_.size();
  double x = e;
  double left = 0;
  for (int64_t i = 0; i < n; ++i) {
    const double cell = metrics_.tabWidths[size_t(i)];
    double contentWidth = cell - 1;
    if (i == 0) contentWidth -= e;
    if (i == n - 1) contentWidth -= (e - 1);
    QPainterPath tabShape;
    if (n == 1) {
      tabShape = shape;
    } else if (i == 0) {
      tabShape = shape.intersected([&] { QPainterPath p; p.addRect(0, 0, cell, h); return p; }());
    } else if (i == n - 1) {
      tabShape = shape.intersected([&] { QPainterPath p; p.addRect(left, 0, width() - left, h); return p; }());
    } else {
      tabShape.addRect(QRectF(left - 1, 0, cell + 1, h).adjusted(1, 1, -1, -1));
    }
    const bool enabled = isTabEnabled(i);
    QColor text = pal.color(QPalette::ButtonText);
    if (!enabled) {
      text = pal.color(QPalette::Disabled, QPalette::ButtonText);
    } else if (isPressed_ && pressedTab_ == i) {
      painter.fillPath(tabShape, pressedFill);
    } else if (isTabSelected(i)) {
      painter.fillPath(tabShape, selection);
      text = pal.color(QPalette::HighlightedText);
    }
    const QVariant& content = tabs_[i];
    const QRectF contentRect(x, 3, contentWidth, h - 6);
    if (content.typeId() == QMetaType::QString) {
      painter.setPen(text);
      painter.drawText(QRectF(x, textY, contentWidth, fontHeight + 2), Qt::AlignHCenter | Qt::AlignTop, content.toString());
    } else if (content.typeId() == QMetaType::QImage) {
      QImage image = content.value<QImage>();
      if (dark) image = tintedTemplate(image, text);
      QRectF target(QPointF(0, 0), image.deviceIndependentSize());
      CenterRectangle(target, contentRect);
      painter.setOpacity(enabled ? 1.0 : 0.25);
      painter.drawImage(target, image);
      painter.setOpacity(1.0);
    } else {
      LogAssert("Unknown tab content type", __func__, __FILE__, __LINE__);
    }
    x += contentWidth + 1;
    left += cell;
  }
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QColor(dark ? 0x40 : 0xC0, dark ? 0x40 : 0xC0, dark ? 0x40 : 0xC0));
  painter.setRenderHint(QPainter::Antialiasing);
  painter.drawPath(shape);
  painter.setRenderHint(QPainter::Antialiasing, false);
  if (n > 1) {
    painter.setPen(pal.color(QPalette::Mid));
    double boundary = 0;
    for (int64_t i = 0; i + 1 < n; ++i) {
      boundary += metrics_.tabWidths[size_t(i)];
      painter.drawLine(QPointF(boundary - 0.5, 0), QPointF(boundary - 0.5, h - 1));
    }
  }
}
