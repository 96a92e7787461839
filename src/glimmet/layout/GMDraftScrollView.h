// The text engine's own scroll view around a draft view. It does not move the draft view: the
// document reports its position, maximum and visible portion in its own units (lines or cps
// vertically, points horizontally), the scroll view shows them on its scrollers and turns
// scroller clicks, wheel turns and scroll commands into scroll requests to the document, which
// then redraws from its new position.
#pragma once

#include "framlet/shell/FLScroller.h"
#include "framlet/shell/FLView.h"
#include "platform/NotificationCenter.h"

#include <QPointer>

class GMDocument;
class GMDraftView;

// Scroller parts, as a click on them scrolls.
enum GMScrollerPart : int {
  kScrollerNoPart = 0,
  kScrollerDecrementPage = 1,
  kScrollerKnob = 2,
  kScrollerIncrementPage = 3,
  kScrollerDecrementLine = 4,
  kScrollerIncrementLine = 5,
  kScrollerKnobSlot = 6,
};

// Directions of autoScroll: 0 and 2 a line forward, 1 and 3 a line back, 4 a page forward, 5 a page back.
inline constexpr int kAutoScrollForward = 0, kAutoScrollBackward = 3, kAutoScrollPageDown = 4,
                     kAutoScrollPageUp = 5;

struct GMScrollState {
  QPointer<FLScroller> scroller;
  double currentPosition = 0;
  double maxPosition = 0;
  double visiblePortion = 0;
  double knobFraction = 0;
  double maxForKnob = 0;
};

class GMDraftScrollView : public FLView {
  Q_OBJECT

 public:
  explicit GMDraftScrollView(QWidget* parent = nullptr);
  ~GMDraftScrollView() override;

  // Makes the scrollers: a vertical one always, a horizontal one when asked.
  void setup(bool horizontal);
  void setDocumentView(GMDraftView* view);
  void setDocument(GMDocument* document);
  GMDocument* document() const { return document_; }
  GMDraftView* documentView() const;
  bool drawLineAbove() const { return drawLineAbove_; }
  void setDrawLineAbove(bool draw);

  double currentPosition(bool vertical) const;
  // The document reports where it is; the scroller follows and, when the position moved, the
  // document is told to scroll there.
  void setScrollPosition(double position, double max, double visible, bool vertical);
  void resetKnobs();
  void scrollToHorizontal(double position, bool relative, bool redraw);
  void scrollToVertical(double position, bool relative, bool redraw);
  void autoScroll(int direction, bool vertical);
  void handleVerticalScroll(int part);
  void handleHorizontalScroll(int part);

  void scrollLineDown();
  void scrollLineUp();
  void scrollPageDown();
  void scrollPageUp();
  void scrollToBeginningOfDocument();
  void scrollToEndOfDocument();

  void layoutView();
  QRectF cornerRect() const;
  void redrawCornerRect();
  void redisplayDocument(bool vertical);
  QWidget* contentView() const;

  FLScroller* verticalScroller() const { return vertical_.scroller; }
  FLScroller* horizontalScroller() const { return horizontal_.scroller; }
  const GMScrollState& scrollState(bool vertical) const { return vertical ? vertical_ : horizontal_; }
  static int scrollerWidth();
  // The scrollers' integer range stands for the fraction 0 to 1.
  static constexpr int kScrollerSteps = 1000000;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void shutDown();
  void positionScroller(GMScrollState& state, double fraction);
  bool scroll(GMScrollState& state, double position, bool vertical);
  void scrollerAction(bool vertical, int action);
  void moveVertical(double position);

  GMDocument* document_ = nullptr;
  QPointer<GMDraftView> documentView_;
  GMScrollState horizontal_;
  GMScrollState vertical_;
  bool drawLineAbove_ = false;
  NotificationObserver closingObserver_;
};
