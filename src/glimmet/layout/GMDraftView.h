// The view that shows one engine document as a continuous draft. It owns no text and no
// layout: drawing, hit testing and selection belong to the document object. The view keeps the
// event state (which mouse selection runs, hover and first-click flags), its zoom, a drag rule
// and the selection flash, and turns mouse and key events into selection and scroll requests.
#pragma once

#include "framlet/shell/FLView.h"
#include "glimmet/storage/gmPane.h"
#include "platform/NotificationCenter.h"

#include <QPointF>
#include <QPointer>
#include <QRectF>


class GMDocument;
class GMDraftScrollView;
class GMViewService;
class QTimer;
class QVariantAnimation;
struct GlimmetDoc;
struct LocatorRec;

class GMDraftView : public FLView, public GMPaneView {
  Q_OBJECT

 public:
  explicit GMDraftView(QWidget* parent = nullptr);
  ~GMDraftView() override;

  GMDocument* document() const { return document_; }
  void setDocument(GMDocument* document);
  GlimmetDoc* glimmetDoc() const { return glimmetDoc_; }
  GMViewService* viewService() const { return viewService_; }
  void setViewService(GMViewService* service);
  double zoomValue() const { return zoomValue_; }
  int32_t zoomType() const { return zoomType_; }
  void setZoomType(int32_t type) { zoomType_ = type; }
  QPointF rulePosition() const { return rulePosition_; }
  void setRulePosition(QPointF position);
  int32_t selectionType() const { return selectionType_; }
  void setSelectionType(int32_t type) { selectionType_ = type; }
  bool initialClick() const { return initialClick_; }
  void setInitialClick(bool value) { initialClick_ = value; }
  bool tableHover() const { return tableHover_; }
  QRectF flashRect() const { return flashRect_; }

  bool selectionInProgress() const { return selectionType_ != 0; }
  bool columnResizeInProgress() const { return selectionType_ == 10; }
  bool shouldTrashOnResize() const;
  void didResize();
  void horizontalScrolling();
  void setScrollLimits(bool) { setScrollLimits(); }
  // The rectangle around the selection's start, for the input method and pop-ups.
  QRectF selectionAnchorRect();
  // The enclosing draft scroll view, or nullptr.
  GMDraftScrollView* scrollView() const;

  // Hooks a host's subclass fills in.
  virtual void drawSetup(QPainter& /*painter*/, const QRectF& /*rect*/) {}
  // Tells the scroll view where the draft is: vertically in cps of the pane's range (the first
  // line shown, the range's length, the cps shown), horizontally in points. A host's view may
  // report otherwise.
  virtual void setScrollLimits();
  virtual void fixZoomValue(double /*zoom*/) {}
  virtual void setZoomValue(double /*zoom*/) {}
  virtual void cancelOperation() {}

  // Key handling, by the original platform's key codes and modifier flags.
  void keyDown(QKeyEvent* event);
  void performGlimmetKeyCode(uint16_t keyCode, Qt::KeyboardModifiers modifiers, QKeyEvent* event);
  void performSystemKeyCode(uint16_t keyCode, Qt::KeyboardModifiers modifiers, QKeyEvent* event);
  // What the desktop's key bindings make of a key: a movement, selection or edit action.
  void interpretKeyEvent(QKeyEvent* event);

  // Action methods.
  void moveDown() { selectionKey(0, 0); }
  void moveUp() { selectionKey(3, 0); }
  void moveLeft() { selectionKey(1, 0); }
  void moveRight() { selectionKey(2, 0); }
  void moveDownAndModifySelection() { selectionKey(0, 64); }
  void moveUpAndModifySelection() { selectionKey(3, 64); }
  void moveLeftAndModifySelection() { selectionKey(1, 64); }
  void moveRightAndModifySelection() { selectionKey(2, 64); }
  void moveWordLeft(bool modify = false) { selectionKey(1, modify ? 66 : 2); }
  void moveWordRight(bool modify = false) { selectionKey(2, modify ? 66 : 2); }
  void moveToBeginningOfLine(bool modify = false) { selectionKey(1, modify ? 96 : 32); }
  void moveToEndOfLine(bool modify = false) { selectionKey(2, modify ? 96 : 32); }
  void moveToBeginningOfParagraph(bool modify = false) { selectionKey(3, modify ? 66 : 2); }
  void moveToEndOfParagraph(bool modify = false) { selectionKey(0, modify ? 66 : 2); }
  void moveToBeginningOfDocument(bool modify = false) { selectionKey(7, modify ? 64 : 0); }
  void moveToEndOfDocument(bool modify = false) { selectionKey(6, modify ? 64 : 0); }
  void scrollPageDown();
  void scrollPageUp();
  void pageDownAndModifySelection() { selectionKey(4, 64); }
  void pageUpAndModifySelection() { selectionKey(5, 64); }
  void selectAll();
  void copy();
  void centerSelectionInVisibleArea();

  // The selection flash the document asks for after a find or a jump.
  void flashSelection();
  void flashProgress(double progress);

  // GMPaneView.
  QRectF bounds() const override;
  QRectF visibleRect() const override { return bounds(); }
  double horizontalScroll() const override;
  void setNeedsDisplay(const QRectF& rect) override;
  void setNeedsDisplay() override { update(); }
  void noteNewScrollPosition(double vertical) override;
  bool isKeyFirstResponder() const override;
  bool applicationActive() const override;
  bool autoScroll(int direction, bool vertical) override;
  void scrollToHorizontal(double x) override;

  // Tells assistive technology where the caret and the selection now are.
  void announceSelection();

  // The point of a widget position in the draft's coordinates, rounded down as clicks are.
  QPointF draftPoint(QPointF widgetPosition) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool event(QEvent* event) override;

  virtual void viewDidMoveToWindow();
  virtual void becomeFirstResponder() {}
  // For a host's view that zooms: the scale between the view and the draft.
  void storeZoomValue(double zoom) { zoomValue_ = zoom > 0 ? zoom : 1.0; }
  virtual void resignFirstResponder() {}

 private:
  void selectionKey(uint32_t key, uint32_t modifiers);
  void mouseDown(QMouseEvent* event, int clickCount);
  void activate();
  void deactivate();
  void shutDown();
  void invalidateDragRule();
  void drawFlash(QPainter& painter);
  QRectF flashOutset(const QRectF& rect, double envelope) const;
  void tableHovering();
  void updateCursor(QPointF point);
  void forceCursorChange();

  GMDocument* document_ = nullptr;
  GlimmetDoc* glimmetDoc_ = nullptr;
  GMViewService* viewService_ = nullptr;
  double zoomValue_ = 1.0;
  int32_t zoomType_ = 0;
  QPointF rulePosition_;
  QRectF flashRect_;
  double flashProgress_ = 0;
  bool flashFrame_ = false;
  bool canBlockBlink_ = false;
  bool doesStatusMessage_ = false;
  bool fakeResignRequest_ = false;
  int32_t selectionType_ = 0;
  bool initialClick_ = false;
  bool tableHover_ = false;
  QPointer<QTimer> tableHoverTimer_;
  QPointer<QVariantAnimation> flashAnimation_;
  QPointer<QWidget> observedWindow_;
  // Click counting: Qt reports double clicks but not triple ones.
  int clickCount_ = 0;
  ulong lastPressTime_ = 0;
  QPointF lastPressPoint_;
  ulong lastDoubleClickTime_ = 0;
  NotificationObserver closingObserver_;
  NotificationObserver selectionObserver_;
  bool accessibilityRegistered_ = false;
  NotificationObserver cursorObserver_;
  NotificationObserver flashObserver_;
};
