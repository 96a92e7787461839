// Turns a disclosure triangle (and whatever its owner opens with it) through the animation's
// progress.
#pragma once

#include <QVariantAnimation>

class FLDisclosureAnimationDelegate {
 public:
  virtual ~FLDisclosureAnimationDelegate() = default;
  // 0 closed ... 1 open.
  virtual void setDisclosurePosition(double progress) = 0;
};

class FLDisclosureAnimation : public QVariantAnimation {
  Q_OBJECT

 public:
  explicit FLDisclosureAnimation(FLDisclosureAnimationDelegate* delegate, QObject* parent = nullptr);
  void setCurrentProgress(double progress);

 protected:
  void updateCurrentValue(const QVariant& value) override;

 private:
  FLDisclosureAnimationDelegate* delegate_ = nullptr;
};
