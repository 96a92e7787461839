// The framework's scroll bar: drawn by the style in the light appearance and as a dark groove
// with a capsule knob in the dark one, brighter while the pointer is over it.
#pragma once

#include <QColor>
#include <QScrollBar>

struct FLScrollerColors {
  QColor grooveEdge;
  QColor grooveFill;
  QColor grooveFillNoKnob;
  QColor knobFill;
  QColor knobFillHighlighted;
  QColor knobOutline;
};

class FLScroller : public QScrollBar {
  Q_OBJECT

 public:
  explicit FLScroller(Qt::Orientation orientation, QWidget* parent = nullptr);

  bool horizontal() const { return orientation() == Qt::Horizontal; }
  void setHorizontal(bool horizontal) { setOrientation(horizontal ? Qt::Horizontal : Qt::Vertical); }
  bool highlighted() const { return highlighted_; }
  // Small scrollers inset their knob by 2 points instead of 3.
  bool isSmall() const { return small_; }
  void setSmall(bool small) { small_ = small; }
  // No scrolling possible: the groove shows without a knob.
  bool hasKnob() const { return maximum() > minimum(); }

  // Made once; also lent to the scroll-view corner drawing of the foundation.
  static const FLScrollerColors& setupDarkGroove();

  // The dark drawing, for the scroller and for tests.
  static void drawDarkSlot(QPainter& painter, const QRectF& slot, bool vertical, bool withKnob);
  static void drawDarkKnob(QPainter& painter, const QRectF& knob, bool vertical, bool small, bool highlighted);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  bool highlighted_ = false;
  bool small_ = false;
};
