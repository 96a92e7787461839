// The format panel's container: its background, and a light grey line along the top edge of
// the scroll view that holds the property view. It also makes the colour wells it holds let go
// of the colour panel when its window stops being the active one or the grid is clicked.
#pragma once

#include "framlet/shell/FLView.h"

#include <QPointer>

#include <functional>

// What the container needs of the colour wells, which belong to the controllers: the active
// well inside a view (null when none) and how to make a well let go. Set once by the program.
struct CAColorWellHooks {
  std::function<QWidget*(const QWidget* view)> activeColorWell;
  std::function<void(QWidget* well)> deactivate;
};
void SetColorWellHooks(CAColorWellHooks hooks);

class CAPropertyContainerView : public FLView {
  Q_OBJECT

 public:
  explicit CAPropertyContainerView(QWidget* parent = nullptr);
  ~CAPropertyContainerView() override;

  // The scroll view around the property view, a child of this view.
  QWidget* propertyScrollView() const { return propertyScrollView_; }
  void setPropertyScrollView(QWidget* scrollView);
  // Where the separator is drawn, in this view's coordinates; negative without a scroll view.
  double separatorY() const;
  // Every active colour well inside the view lets go.
  void deactivateColorWells();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  QPointer<QWidget> propertyScrollView_;
};
