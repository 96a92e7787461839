#include "framlet/shell/FLDisclosureAnimation.h"

FLDisclosureAnimation::FLDisclosureAnimation(FLDisclosureAnimationDelegate* delegate, QObject* parent)
    : QVariantAnimation(parent) {
  setStartValue(0.0);
  setEndValue(1.0);
  delegate_ = delegate;  // setting the values above already reports a progress
}

void FLDisclosureAnimation::setCurrentProgress(double progress) {
  if (delegate_) delegate_->setDisclosurePosition(progress);
}

void FLDisclosureAnimation::updateCurrentValue(const QVariant& value) { setCurrentProgress(value.toDouble()); }
