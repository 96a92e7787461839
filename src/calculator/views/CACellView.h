// The grid of cells of one spreadsheet window. It never scrolls its bounds: the scroll view
// keeps the first row and column shown, and every rectangle here is relative to that cell, in
// unzoomed points (the view's bounds are its size divided by the zoom). Geometry lives in
// CAGridGeometry and drawing in CAGridPainter; the view keeps them in step with the scroll
// position, the zoom and the document, and turns redraw requests into widget updates.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "calculator/model/caTextServices.h"
#include "calculator/views/CAGridGeometry.h"
#include "calculator/views/CAGridPainter.h"
#include "calculator/views/caGridMovement.h"
#include "framlet/shell/FLCompletionFieldEditor.h"
#include "framlet/shell/FLFieldEditorViewDelegate.h"

#include <QHash>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

class CACell;
class CADocument;
class CAScrollView;
class QDrag;
class QImage;
class QInputMethodEvent;
class QMimeData;
class QKeyEvent;
class QTimer;

// Commands of the grid that are no movement of the selection.
enum class CAGridEditCommand {
  PageUp,                 // and its extending form: scrolls only
  PageDown,
  ScrollPageUp,
  ScrollPageDown,
  ScrollToBeginningOfDocument,
  ScrollToEndOfDocument,
  InsertNewline,          // as moveDown
  InsertTab,              // as moveRight
  InsertBacktab,          // as moveLeft
  DeleteBackward,         // clears the selection's contents
  DeleteForward,
};

// The tooltip of a cell: for a formula the other text than the one shown (its formula, or its
// value when formulas are shown), both as "shown ➤ other" when the shown text is cut by its
// column; for any other cell its value text.
QString CellTooltipText(const CACell& cell, bool showFormulas);

class CACellView : public QWidget, public FLFieldEditorViewDelegate, public FLCompletionDelegate {
  Q_OBJECT

 public:
  // The document is not owned; scrollView is the scroll view that holds this view.
  CACellView(CADocument* document, CAScrollView* scrollView, QWidget* parent = nullptr);
  ~CACellView() override;

  CADocument* document() const { return document_; }
  CAScrollView* scrollView() const { return scrollView_; }
  // The geometry at the current scroll position, size and zoom.
  const CAGridGeometry& gridGeometry() const;

  QRectF rectForGridPoint(const GridPoint& point) const;
  QRectF rectForRange(const GridRange& range) const;
  GridPoint gridPointAtPoint(const QPointF& point) const;
  // The bounds: (0, 0) and the size divided by the zoom.
  QRectF visibleRect() const;

  // Tells the scroll view the sheet's extent and what fits.
  void setContentFrame();
  int64_t cellCountForDelta(double delta, bool vertical) const;
  GridPoint scrollPoint() const;
  void scrollToGridPoint(const GridPoint& point);
  // A point in this widget's (zoomed) coordinates outside the visible area scrolls one step
  // towards it.
  void autoScrollForPoint(const QPoint& point);
  // Brings the selection into sight once the current event is done; repeated requests in one
  // event are served once.
  void ensureSelectionVisible();
  void ensureSelectionVisibleNow();
  void didScroll();

  double zoomValue() const { return zoom_; }
  // 1 is 100 %. The document keeps the value.
  void setZoomValue(double zoom);

  void redrawGridPoint(const GridPoint& point);
  void redrawRange(const GridRange& range);
  // Domain 0 or 1 while cells are selected redraws the selection (and lays out the overflowing
  // text of a single cell again); anything else redraws the whole view.
  void redrawSelectionForDomain(int32_t domain);
  void redraw();
  // Rows or columns changed size: measured again before the next use.
  void invalidateGeometry();
  // The document is closing: the view lets go of it and draws nothing more.
  void shutDown();

  // Shown with the active-cell colour: focused in the active window.
  bool showsFirstResponder() const;
  // The options of the next drawing pass.
  CAGridPaintOptions paintOptions() const;
  // Rows or columns being moved on the sheet view, drawn as a gap and a floating block.
  void setDragInfo(const CADragInfo& info);
  // Page breaks (the first column and row of each following page) drawn when the document
  // shows them.
  void setPageBreaks(std::vector<int64_t> columnBreaks, std::vector<int64_t> rowBreaks);

  // ---- Typing in a cell (CACellView_Typing.cpp) ------------------------------------------
  // The window's field editor is lent to the view for each typing and laid over the cell.

  bool isTyping() const { return typingPoint_.has_value(); }
  // The cell being typed, created when missing; null when not typing.
  CACell* typingCell() const;
  // The borrowed field editor while typing; null otherwise.
  FLCompletionFieldEditor* fieldEditor() const { return fieldEditor_; }
  bool startingTyping() const { return startingTyping_; }
  // With setUndo, first opens the "Formula" step; a refused step starts nothing.
  void startTyping(const GridPoint& point, bool setUndo);
  // Commits (accept) or cancels the typing in progress.
  void stopTyping(bool accept);
  // A key typed while the grid has the focus replaces the active cell's content.
  void insertText(const QString& text);
  // The typing field's frame, in unzoomed view points.
  QRectF typingRect() const;
  // The input method's uncommitted text while no field is up, and where it shows.
  const QString& markedText() const { return markedText_; }
  QRectF markedTextRect() const { return markedTextRect_; }
  // Drops the marked text.
  void shutDownTextInput();
  // Gives the focus back to the field and selects the document's active cell text selection.
  void resetTypingSel();

  // Actions that keys reach through the responder chain.
  Q_INVOKABLE void cancelOperation(QObject* sender);
  Q_INVOKABLE void clearField(QObject* sender);
  Q_INVOKABLE void scrollPageUp(QObject* sender);
  Q_INVOKABLE void scrollPageDown(QObject* sender);

  // A secondary click in a field holding a formula asks for the formula popup, anchored at the
  // character before the caret (editorPoint: the click in the editor's coordinates).
  QRect formulaPopupAnchor(const QPoint& editorPoint) const;
  // After a function was inserted from the popup: typing resumes with the inserted range.
  void startTypingAfterFormulaInsertion();

  // FLFieldEditorViewDelegate
  QMenu* menuForEvent(QContextMenuEvent* event) override;
  bool answersMenuForEvent() const override { return true; }
  void fieldEditorResigned(FLCompletionFieldEditor* editor) override;
  void textViewDidChangeSelection(FLCompletionFieldEditor* editor) override;
  // FLCompletionDelegate
  QStringList completions(FLCompletionFieldEditor* editor, FLTextRange partialRange,
                          int* indexOfSelectedItem) override;

  // ---- The mouse (CACellView_Mouse.cpp) ---------------------------------------------------
  // Ctrl-click selects the clicked row, Ctrl-Shift-click its column, Shift-click stretches the
  // selection from its far corner. While a formula is typed, a click or a drag picks the
  // reference that goes into it (Alt at the press makes it absolute).

  // A mouse selection (or reference pick) is in progress.
  bool isSelecting() const { return selecting_; }
  bool isPickingReference() const { return selectingForRef_; }
  // While the sort dialog picks its key, a click in the window (a point in this widget's
  // coordinates) flashes the cell under it and announces it; it selects nothing.
  void translateClick(const QPoint& point);
  // The flashed cell is drawn plainly again.
  void resetSortPoint();
  GridPoint sortGridPoint() const { return sortGridPoint_; }
  // Whether the point (unzoomed view points) lies in the box of the checkbox cell under it.
  bool isClickInCheckbox(const QPointF& point) const;
  // The view took the focus with the click being handled (it did not have it before); such a
  // click selects nothing.
  bool initialClick() const { return initialClick_; }
  // A new selection made elsewhere (the labels, a menu) clears the mark: the next click selects.
  void setInitialClick(bool initial) { initialClick_ = initial; }

  // ---- Dragging cells (CACellView_Drag.cpp) -----------------------------------------------
  // Holding the mouse still for a moment inside the selection drags the cells out; a drop of
  // cells from this document moves them (Alt: copies), anything else is pasted.

  // How long a press inside the selection waits before the cells are dragged.
  static constexpr int kDragStartDelay = 750;  // ms
  // A press inside the selection is waiting for the drag to start.
  bool dragStartPending() const;
  // Drags the selection out of the view; nothing when no press is kept.
  void startExternalDrag();
  // Runs a drag session and answers its result; the default runs the platform's. Tests put a
  // runner that drops where they choose. An empty function restores the default.
  using CADragRunner = std::function<Qt::DropAction(QDrag& drag)>;
  static void setDragRunner(CADragRunner runner);
  // A drag is over the view (its target is drawn).
  bool draggingIn() const { return draggingIn_; }

  // ---- Keys and commands (CACellView_Responder.cpp) ----------------------------------------

  // Moves, extends or cycles the selection; typing is committed first. The sender decides
  // whether a Tab-like step inside a block goes on to the next row (only the view itself).
  void performCommand(CAGridCommand command, QObject* sender);
  void performEditCommand(CAGridEditCommand command, QObject* sender);
  // Control-Tab while a formula is typed: selects the next argument placeholder, or beeps.
  void selectNextArgument();

  // The cell's tooltip goes; its tag is cleared when the cell is drawn next.
  void removeTooltipForCell(const CACell& cell);
  // Registered tooltip rectangles, by tag.
  const QHash<int64_t, QRectF>& tooltipRects() const { return tooltips_; }

 signals:
  // The formula popup should show beside the anchor, in this view's coordinates.
  void formulaPopupRequested(const QRect& anchor);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool focusNextPrevChild(bool next) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

 private:
  void stopTypingCore(bool accept);
  // After a command of the view that failed and was rolled back: typing whose step went with it
  // ends without touching the document, which is as it was.
  void abandonTyping();
  // Answers typing that the document refused to record.
  void refusedTyping();
  // Lays the field over its cell again after a scroll, a resize or a zoom.
  void layoutTypingField();
  void controlTextDidChange();
  void storeTypedText();
  void setMarkedText(const QString& text);
  void paintMarkedText(QPainter& painter);
  // Keys the grid gives the platform's standard meaning when it has the focus.
  void interpretKeyEvent(QKeyEvent* event);
  // Tab and Shift-Tab: a step right or left, remembered while it goes from one cell to the
  // next in a row of entries.
  void tabStep(bool back);
  // Return after a row of Tab entries goes to the next row under the column where the entries
  // began; NO (nothing done) when no such row of entries leads to the active cell.
  bool returnToTabColumn();
  // Home and End in a cell's text, as this desktop's text fields have them: the caret goes to
  // the text's start or end, selecting on the way with extend.
  void moveCaretInField(bool toEnd, bool extend);
  void toggleActiveCheckbox();
  // The clicked cell becomes the active one inside the selection, else the selection.
  void selectClickedCell(const GridPoint& point);
  // A press picks a reference: a formula is typed here or in the formula bar.
  bool picksReferences() const;
  // The point becomes the picked reference or the single selected cell; selecting starts.
  void startSelection(const GridPoint& point);
  // Stretches the selection (or the picked reference) from its anchor to the point.
  void dragSelectionTo(const QPointF& point);
  // A plain click: follows a link, toggles a checkbox, or (unless it gave the grid the focus)
  // waits to drag the selection or starts a selection.
  void plainClick(const QPointF& point, bool option, bool initial);
  void shiftClick(const QPointF& point);
  // The picked reference goes into the typed formula.
  void insertPickedReference();
  void autoScrollTimerFired();
  // Stops a pending drag start; YES when one was pending.
  bool cancelDragStart();
  // Whether a drag with this data may drop here.
  bool acceptsDrop(const QMimeData* data) const;
  // Pastes the dropped data at the selection: moves cells dragged out of this document unless
  // copy is asked for. NO when nothing was pasted.
  bool performDrop(const QMimeData* data, bool copy);
  // The picture of the selected cells a drag shows, half transparent; null when none can be
  // made. *frame: the cells' rectangle in view points.
  QImage dragImage(QRectF* frame) const;
  void applyMove(const CAGridMoveResult& result);
  void observeDocument();
  QRect widgetRect(const QRectF& rect) const;

  CADocument* document_;
  CAScrollView* scrollView_;
  mutable CAGridGeometry geometry_;
  double zoom_ = 1.0;
  CADragInfo dragInfo_;
  std::vector<int64_t> columnBreaks_;
  std::vector<int64_t> rowBreaks_;
  bool ensureScheduled_ = false;
  QHash<int64_t, QRectF> tooltips_;
  int64_t nextTooltipTag_ = 1;

  // The mouse.
  GridPoint clickGridPoint_;
  bool selecting_ = false;
  bool selectingForRef_ = false;
  bool optionOnClick_ = false;
  QTimer* autoScrollTimer_ = nullptr;
  QPoint lastMousePoint_;
  GridPoint sortGridPoint_{-1, -1};
  bool initialClick_ = false;
  // The grid is its window's first responder: it has the keys, or lent them to another control
  // of the window (a window losing the activation keeps it).
  bool firstResponder_ = false;
  QTimer* dragStartTimer_ = nullptr;
  QPoint dragPressPoint_;
  bool draggingIn_ = false;
  bool draggingOut_ = false;

  // Typing.
  std::optional<GridPoint> typingPoint_;
  std::unique_ptr<CACell> typingCellCopy_;
  // A row of entries made with Tab: the column where it began and the cell it reached.
  struct CATabEntry {
    int64_t firstColumn = 0;
    GridPoint reached;
  };
  std::optional<CATabEntry> tabEntry_;
  // The text the field opened with when it opened on the cell as it stood.
  std::optional<QString> untouchedEditText_;
  // Opening the field recorded the typing's undo step (rather than a command before it).
  bool typingStepRecorded_ = false;
  // The typing recorded a step of its own (from the field's opening or the first typed key),
  // which a failed commit reverts.
  bool typingOwnsStep_ = false;
  QPointer<FLCompletionFieldEditor> fieldEditor_;
  QMetaObject::Connection textChangedConnection_;
  bool startingTyping_ = false;
  bool stoppingTyping_ = false;
  bool completionInProgress_ = false;
  QString markedText_;
  QRectF markedTextRect_;
  // The field's selection when the formula popup opened, then the inserted function's range.
  CATextRange popoverTextSelection_;
};
