#include "framlet/shell/FLDisclosureAnimation.h"

FLDisclosureAnimation::FLDisclosureAnimation(FLDisclosureAnimationDelegate* delegate, QObject* parent)
    : QVariantAnimation(parent), delegate_(delegate) {
  setStartValue(0.0);
  setEndValue(1.0);
}

void FLDisclosureAnimation::setCurrentProgress(double progress) {
  if (delegate_) delegate_->setDisclosurePosition(progress);
}

void FLDisclosureAnimation::updateCurrentValue(const QVariant& value) { setCurrentProgress(value.toDouble()); }
