// The format panel's stack of collapsible levels: each level a 20-point header with a
// disclosure triangle and a name, drawn here, over the pane its delegate supplies. Clicking a
// header opens or closes the level with a short animation. Inside a scroll area the view is as
// tall as its stack; on its own, its last open level stretches to its bottom.
#pragma once

#include "framlet/shell/FLDisclosureAnimation.h"
#include "framlet/shell/FLPropertyLayout.h"
#include "framlet/shell/FLView.h"

#include <QColor>
#include <QPointer>

#include <vector>

class FLPropertyViewDelegate;
class FLViewController;
class QScrollArea;

// Posted with the window as object: every property view in it reloads, or restacks its panes
// after their heights changed.
inline constexpr const char* kReloadPropertiesNotification = "fl.reloadProperties";
inline constexpr const char* kRepositionPropertiesNotification = "fl.repositionProperties";

// The headers' two gradients, top colour to bottom colour.
struct FLPropertyHeaderGradients {
  QColor normalTop, normalBottom, pressedTop, pressedBottom;
};
// From the system's accent colour (invalid when it offers none) and the appearance.
FLPropertyHeaderGradients PropertyHeaderGradients(const QColor& accent, bool dark);

class FLPropertyView : public FLView, private FLDisclosureAnimationDelegate {
  Q_OBJECT

 public:
  explicit FLPropertyView(QWidget* parent = nullptr);
  ~FLPropertyView() override;

  FLPropertyViewDelegate* delegate() const { return delegate_; }
  void setDelegate(FLPropertyViewDelegate* delegate) { delegate_ = delegate; }

  // Rebuilds every level from the delegate; nothing without a delegate or while a reload runs,
  // and a hidden view reloads once it shows.
  void reloadProperties();
  // Restacks the open panes after their heights changed (not when stretching).
  void repositionSubviews();
  // Animates the level open or closed; the delegate hears of it once the animation ends.
  void toggleLevelOpen(int64_t level);
  bool isAnimating() const { return !animation_.isNull(); }
  bool isLevelOpen(int64_t level) const;
  int64_t levelCount() const { return int64_t(levels_.size()); }
  QString levelName(int64_t level) const;
  FLViewController* levelController(int64_t level) const;
  QWidget* levelSubview(int64_t level) const;
  // The level whose header holds the point, or -1; its header's rectangle in `headerRect`.
  int64_t levelForPoint(const QPointF& point, QRectF* headerRect = nullptr) const;
  bool stretchesLastView() const { return stretchLastView_; }
  // The room the levels have: the view's own size when it stretches, else the scroll area's
  // width less its vertical scroll bar and its visible height.
  QSizeF workingSize() const;
  // Escape in a pane: the line edit holding the focus inside the view drops what was typed.
  void cancelOperation();
  // Draws headers, lines and the empty message (the panes draw themselves).
  void paint(QPainter& painter) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct Level {
    QPointer<FLViewController> controller;
    QPointer<QWidget> subview;
    QString name;
    FLPropertyLevelState state;
  };

  void setDisclosurePosition(double progress) override;
  void finishToggle(int64_t level);
  QScrollArea* enclosingScrollArea() const;
  void moveToWindow();
  void discardLevels();
  void stretchLastView();
  std::vector<FLPropertyLevelState> levelStates() const;
  FLPropertyAnimationState animationState() const { return {pressedLevel_, animationPosition_}; }
  double bottomOfLastSubview() const;
  void fadeFloatingScrollViews(QWidget* subview, bool opening, bool beforeAnimation);
  void hideScrollViewsIn(QWidget* view, bool hidden);
  void redisplayPressedHeader();

  FLPropertyViewDelegate* delegate_ = nullptr;
  std::vector<Level> levels_;
  bool initialized_ = false;
  bool reloadPending_ = false;
  bool drawTopLine_ = true;
  bool reloadingProps_ = false;
  bool stretchLastView_ = false;
  bool isPressed_ = false;
  int64_t pressedLevel_ = -1;
  double topOfPressedHeader_ = 0;
  double animationPosition_ = -1;
  QPointer<FLDisclosureAnimation> animation_;
  QPointer<QWidget> observedWindow_;
};
