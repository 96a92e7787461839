// Slides a side panel in beside a view (the donor), which gives up the room, or out again, which
// gives it back. Holding Shift as it starts makes it ten times slower.
#pragma once

#include <QEasingCurve>
#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>

class FLSidePanelAnimation : public QVariantAnimation {
  Q_OBJECT

 public:
  // Duration in milliseconds, eased in and out.
  explicit FLSidePanelAnimation(int duration, QObject* parent = nullptr);
  FLSidePanelAnimation(int duration, const QEasingCurve& curve, QObject* parent = nullptr);
  ~FLSidePanelAnimation() override;

  QWidget* panel() const { return panel_; }
  void setPanel(QWidget* panel) { panel_ = panel; }
  QWidget* donor() const { return donor_; }
  void setDonor(QWidget* donor) { donor_ = donor; }
  // The panel sits at the donor's right edge rather than its left.
  bool right() const { return right_; }
  void setRight(bool right) { right_ = right; }
  bool attaching() const { return attaching_; }
  double startPosition() const { return startPosition_; }
  double endPosition() const { return endPosition_; }

  // A panel that is shown slides out; a hidden or parentless one slides in beside the donor.
  void startAnimation();
  // Places both views for a progress from 0 to 1.
  void setCurrentProgress(double progress);

 protected:
  void updateCurrentValue(const QVariant& value) override;

 private:
  QPointer<QWidget> panel_;
  QPointer<QWidget> donor_;
  double startPosition_ = 0;
  double endPosition_ = 0;
  bool right_ = false;
  bool attaching_ = false;
  bool started_ = false;
};
