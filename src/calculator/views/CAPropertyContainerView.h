// The format panel's container: its background, and a light grey line along the top edge of
// the scroll view that holds the property view.
#pragma once

#include "framlet/shell/FLView.h"

#include <QPointer>

class CAPropertyContainerView : public FLView {
  Q_OBJECT

 public:
  explicit CAPropertyContainerView(QWidget* parent = nullptr);

  // The scroll view around the property view, a child of this view.
  QWidget* propertyScrollView() const { return propertyScrollView_; }
  void setPropertyScrollView(QWidget* scrollView);
  // Where the separator is drawn, in this view's coordinates; negative without a scroll view.
  double separatorY() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPointer<QWidget> propertyScrollView_;
};
