#include "framlet/shell/FLSidePanelAnimation.h"

#include <QGuiApplication>

#include <cmath>

namespace {
constexpr int kShiftSlowdown = 10;
}

FLSidePanelAnimation::FLSidePanelAnimation(int duration, QObject* parent)
    : FLSidePanelAnimation(duration, QEasingCurve(QEasingCurve::InOutQuad), parent) {}

FLSidePanelAnimation::FLSidePanelAnimation(int duration, const QEasingCurve& curve, QObject* parent)
    : QVariantAnimation(parent) {
  if (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) duration *= kShiftSlowdown;
  setDuration(duration);
  setEasingCurve(curve);
  setStartValue(0.0);
  setEndValue(1.0);
}

FLSidePanelAnimation::~FLSidePanelAnimation() {
  // A panel that slid out leaves its place for good.
  if (started_ && !attaching_ && panel_) panel_->hide();
}

void FLSidePanelAnimation::startAnimation() {
  if (!panel_ || !donor_) return;
  const bool inWindow = panel_->parentWidget() && !panel_->isHidden();
  if (inWindow) {
    startPosition_ = panel_->x();
    endPosition_ = right_ ? startPosition_ + panel_->width() : startPosition_ - panel_->width();
    attaching_ = false;
  } else {
    const QRect donor = donor_->geometry();
    startPosition_ = right_ ? donor.x() + donor.width() : donor.x() - panel_->width();
    endPosition_ = right_ ? startPosition_ - panel_->width() : startPosition_ + panel_->width();
    panel_->setParent(donor_->parentWidget());
    panel_->setGeometry(int(startPosition_), donor.y(), panel_->width(), donor.height());
    panel_->raise();
    panel_->show();
    attaching_ = true;
  }
  started_ = true;
  start();
}

void FLSidePanelAnimation::setCurrentProgress(double progress) {
  if (!panel_ || !donor_) return;
  const int x = int(std::lround(startPosition_ + progress * (endPosition_ - startPosition_)));
  panel_->move(x, panel_->y());
  QRect donor = donor_->geometry();
  if (right_) {
    donor.setWidth(x - donor.x());
  } else {
    donor.setLeft(x + panel_->width());  // the right edge stays put
  }
  donor_->setGeometry(donor);
  panel_->repaint();
  donor_->repaint();
}

void FLSidePanelAnimation::updateCurrentValue(const QVariant& value) {
  if (started_) setCurrentProgress(value.toDouble());
}
