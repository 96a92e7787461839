#include "framlet/shell/FLNotifyingScrollView.h"

#include "platform/NotificationCenter.h"

#include <QScrollBar>

FLNotifyingScrollView::FLNotifyingScrollView(QWidget* parent) : QScrollArea(parent) { awakeFromNib(); }

void FLNotifyingScrollView::awakeFromNib() {
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    disconnect(bar, &QAbstractSlider::actionTriggered, this, nullptr);
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int action) { scroll(bar, action); });
  }
}

void FLNotifyingScrollView::scroll(QScrollBar* bar, int action) {
  if (action == QAbstractSlider::SliderNoAction) return;
  // The bar has moved its slider but not yet its value: apply it, so the area has scrolled
  // before anyone hears of it.
  bar->setValue(bar->sliderPosition());
  const bool vertical = bar == verticalScrollBar();
  NotificationCenter::defaultCenter().post(
      QString::fromLatin1(vertical ? kVerticalScrollNotification : kHorizontalScrollNotification), widget());
}
