// The formula bar of a sheet window: the active cell's entered text, edited in a text view
// built on the completion field editor. While it has the focus the document's typing state is
// 1, and a click on the grid adds a reference instead of taking the focus away. Return gives
// the focus back to the grid (or breaks the line when returns are allowed); Control-Tab
// selects the next argument placeholder. What is typed belongs to the cell whose text the bar
// showed: it goes into that cell only, and the editing ends when the selection leaves it.
#pragma once

#include "calculator/model/CAGridPoint.h"
#include "framlet/shell/FLCompletionFieldEditor.h"

#include <QString>

#include <optional>

class CADocument;

// Who keeps the edited text when the view is not the window's formula bar: a format pane that
// writes every change into the cell itself. The view then leaves showing, committing and
// cancelling to it, and keeps only its keys, its completion and its typing state.
class CAFormulaTextViewDelegate {
 public:
  virtual ~CAFormulaTextViewDelegate() = default;
  // The view gave up the keys, or Return asked it to.
  virtual void formulaTextDidEndEditing() = 0;
  // Escape.
  virtual void formulaTextCancelOperation() = 0;
  // A pasted or dropped text; false refuses it.
  virtual bool formulaTextShouldInsert(const QString& /*text*/) { return true; }
};

class CAFormulaTextView : public FLCompletionFieldEditor, public FLCompletionDelegate {
  Q_OBJECT

 public:
  explicit CAFormulaTextView(QWidget* parent = nullptr);
  ~CAFormulaTextView() override;

  // Not owned; the view lets go of it when it closes.
  CADocument* document() const { return document_; }
  // Not owned; set before the document. With a delegate the view does not follow the active cell.
  void setFormulaDelegate(CAFormulaTextViewDelegate* delegate) { formulaDelegate_ = delegate; }
  // The keys are here, or coming back after a click on the grid picked a reference.
  bool holdsTyping() const { return hasFocus() || keepingFocus_; }
  void setDocument(CADocument* document);
  // Return and keypad Enter break the line instead of ending the editing.
  bool allowReturns() const { return allowReturns_; }
  void setAllowReturns(bool allow) { allowReturns_ = allow; }

  // Shows the active cell's entered text, unless text typed for that cell is not entered yet.
  // Text typed for another cell (the selection moved under the bar) goes into that cell first,
  // and the grid takes the keys back.
  void showActiveCellFormula();
  // Replaces the whole text; one too long to wrap in time is shown on one line that scrolls
  // sideways. Of such a text the window's bar holds only what it can show until it is touched
  // (the keys, the mouse, a scroll bar): showing costs what shows, whatever the text's length.
  void setShownText(const QString& text);
  // The text the bar shows and edits, whole, whether or not it holds more than its visible part.
  QString text() const { return wholeText_ ? *wholeText_ : toPlainText(); }
  // The bar holds only the part of its text that shows.
  bool holdsShownPartOnly() const { return wholeText_.has_value(); }
  // The bar holds its whole text from here on (it is about to be edited, scrolled or read).
  void holdWholeText();
  // Enters what was typed into the cell it was typed for, as one "Formula" step; nothing when
  // the text is still the one the bar showed for it.
  void commitToEditedCell();
  // The bar's editing in progress, if any, goes into its cell (a command is about to read the
  // document); the bar keeps the keys.
  void commitEditing();
  // A reference picked on the grid goes into the edited formula, in place of the selection.
  void insertPickedReference();
  // Control-Tab: the next argument placeholder is selected, or the system beeps.
  void selectNextArgument();

  Q_INVOKABLE void cancelOperation(QObject* sender);

  // FLCompletionDelegate
  QStringList completions(FLCompletionFieldEditor* editor, FLTextRange partialRange,
                          int* indexOfSelectedItem) override;

 signals:
  // The editing ended: the window gives the focus back to the cell grid.
  void focusCellViewRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Emptied by a failure: the bar shows no cell until the selection's change after the
  // command's rollback shows one, and nothing counts as typed meanwhile.
  void documentReplaced(bool textKept) override;

 private:
  void observeDocument();
  void endEditing();
  // Shows the cell's entered text, which the bar's editing starts from.
  void showCell(const GridPoint& point);
  // Text was typed (or a reference picked) that its cell does not hold yet.
  bool hasUnenteredText() const;
  // A text too long to wrap in time is shown on one line.
  static LineWrapMode wrapModeFor(qsizetype length);
  void wrapFor(qsizetype length);
  // Holds the part of the text that shows, or the whole text when that is all of it, nothing
  // needs less, or the bar is being edited or read aloud.
  void holdShownPart(const QString& text);

  CADocument* document_ = nullptr;
  CAFormulaTextViewDelegate* formulaDelegate_ = nullptr;
  bool allowReturns_ = false;
  // The focus came with the click being handled: that click does not move the caret.
  bool focusFromClick_ = false;
  bool keepingFocus_ = false;
  // The editing began over a cell that may hold a formula: the typed text decides the state.
  bool formulaMayBeTyped_ = false;
  // The cell whose text the bar shows, and that text: what differs from it was typed there.
  std::optional<GridPoint> editedCell_;
  QString shownCellText_;
  // While the bar holds only the visible part of a long text: the whole of it.
  std::optional<QString> wholeText_;
  // The size the held part was cut for: a larger bar cuts it again.
  QSize shownPartSize_;
};
