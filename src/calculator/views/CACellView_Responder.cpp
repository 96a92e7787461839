// The grid's keys and its standard responder commands: each key becomes a command, and each
// movement or selection command ends the typing, asks caGridMovement for the new selection and
// keeps it in sight.
#include "calculator/views/CACellView.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/caFormulaEditing.h"
#include "framlet/shell/FLCompletionFieldEditor.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "platform/KeyMap.h"

#include <QKeyEvent>
#include <QTextCursor>

namespace {

// A command and its form that extends the selection.
struct CAKeyCommandPair {
  CAGridCommand plain;
  CAGridCommand extending;
};

CAGridCommand Pick(const CAKeyCommandPair& pair, bool shift) { return shift ? pair.extending : pair.plain; }

}  // namespace

bool CACellView::focusNextPrevChild(bool /*next*/) {
  // Tab and Backtab are the grid's own keys.
  return false;
}

void CACellView::keyPressEvent(QKeyEvent* event) {
  FLPopoverBaseVC::closePopovers();
  // While the mouse selects, only Escape acts.
  if (selecting_) {
    event->accept();
    if (KeyCodeForEvent(*event) == kKeyCodeEscape) cancelOperation(this);
    return;
  }
  // A key that the field editor handed on while a cell is typed, or one typed on the grid.
  const bool fromView = hasFocus();
  if (!document_ || (!fromView && !isTyping())) {
    event->ignore();
    return;
  }
  event->accept();
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool shift = modifiers & Qt::ShiftModifier || event->key() == Qt::Key_Backtab;
  const bool command = modifiers & kCommandModifier;
  const bool control = modifiers & kControlModifier;
  const Qt::KeyboardModifiers shiftOption = Qt::ShiftModifier | kOptionModifier;

  switch (KeyCodeForEvent(*event)) {
    case kKeyCodeEscape:
      cancelOperation(this);
      return;
    case kKeyCodeReturn:
      if (shift || !returnToTabColumn()) performCommand(shift ? CAGridCommand::MoveUp : CAGridCommand::MoveDown, this);
      return;
    case kKeyCodeTab:
      if (control)
        selectNextArgument();
      else
        tabStep(shift);
      return;
    case kKeyCodeSpace: {
      if (command) {
        // The window's plain-text command: the selection's formats go.
        stopTyping(true);
        document_->clear(kClearFormats);
        redrawSelectionForDomain(kDomainCell);
        return;
      }
      const CACell* active = document_->activeCell();
      if (active && active->valueType() == kValueCheckbox) {
        toggleActiveCheckbox();
      } else if (!isTyping()) {
        startTyping(document_->activeCellPoint(), true);
      }
      return;
    }
    case kKeyCodeClear:
      // The window's Clear with the grid as sender: the contents go.
      performEditCommand(CAGridEditCommand::DeleteBackward, this);
      return;
    case kKeyCodeEnter:
      if (isTyping())
        stopTyping(true);  // the active cell stays
      else
        startTyping(document_->activeCellPoint(), true);
      return;
    case kKeyCodeHome:
      if (fromView)
        interpretKeyEvent(event);
      else if (!command && !control)
        moveCaretInField(false, shift);
      else if (shift)
        performCommand(CAGridCommand::MoveToBeginningOfDocumentAndModifySelection, this);
      else
        performEditCommand(CAGridEditCommand::ScrollToBeginningOfDocument, this);
      return;
    case kKeyCodeEnd:
      if (fromView)
        interpretKeyEvent(event);
      else if (!command && !control)
        moveCaretInField(true, shift);
      else if (shift)
        performCommand(CAGridCommand::MoveToEndOfDocumentAndModifySelection, this);
      else
        performEditCommand(CAGridEditCommand::ScrollToEndOfDocument, this);
      return;
    case kKeyCodePageUp:
      if (fromView)
        interpretKeyEvent(event);
      else
        performEditCommand(CAGridEditCommand::ScrollPageUp, this);
      return;
    case kKeyCodePageDown:
      if (fromView)
        interpretKeyEvent(event);
      else
        performEditCommand(CAGridEditCommand::ScrollPageDown, this);
      return;
    case kKeyCodeDownArrow:
      if ((modifiers & (shiftOption | kCommandModifier | kControlModifier)) == shiftOption)
        performCommand(CAGridCommand::MoveToEndOfDocumentAndModifySelection, this);
      else
        interpretKeyEvent(event);
      return;
    case kKeyCodeUpArrow:
      if ((modifiers & (shiftOption | kCommandModifier | kControlModifier)) == shiftOption)
        performCommand(CAGridCommand::MoveToBeginningOfDocumentAndModifySelection, this);
      else
        interpretKeyEvent(event);
      return;
    case kKeyCodeDelete:
    case kKeyCodeForwardDelete:
    case kKeyCodeLeftArrow:
    case kKeyCodeRightArrow:
      interpretKeyEvent(event);
      return;
    default:
      break;
  }
  // Any other key: a Command combination that no menu took belongs to the window; control
  // characters and Control combinations type nothing.
  if (command) {
    event->ignore();
    return;
  }
  const QString text = event->text();
  if (control || text.isEmpty() || text.at(0).unicode() < 32) return;
  interpretKeyEvent(event);
}

void CACellView::tabStep(bool back) {
  if (!document_) return;
  stopTyping(true);
  const GridRange before = document_->selectionRange();
  performCommand(back ? CAGridCommand::MoveLeft : CAGridCommand::MoveRight, this);
  const GridRange after = document_->selectionRange();
  // Only steps from one cell to the next make a row of entries.
  if (before.startPoint != before.endPoint || after.startPoint != after.endPoint ||
      before.startPoint.y != after.startPoint.y || TypeOfRange(nullptr, after) != kRangeCell) {
    tabEntry_.reset();
    return;
  }
  if (!tabEntry_ || tabEntry_->reached != before.startPoint) tabEntry_ = CATabEntry{before.startPoint.x, {}};
  tabEntry_->reached = after.startPoint;
}

bool CACellView::returnToTabColumn() {
  if (!document_ || !tabEntry_) return false;
  const CATabEntry entry = *tabEntry_;
  tabEntry_.reset();
  stopTyping(true);
  const GridRange selection = document_->selectionRange();
  // The row of entries was left (a click, an arrow key): Return steps down as always.
  if (selection.startPoint != selection.endPoint || selection.startPoint != entry.reached) return false;
  // Down from the column where the entries began, by the rules of a plain step down.
  const GridPoint start{entry.firstColumn, entry.reached.y};
  const CAGridMoveState state{GridRange{start, start}, start, document_->showOnlyOccupied(),
                              document_->maxGridPoint()};
  applyMove(GridMoveResult(state, CAGridCommand::MoveDown, true));
  return true;
}

void CACellView::moveCaretInField(bool toEnd, bool extend) {
  if (!fieldEditor_) return;
  QTextCursor cursor = fieldEditor_->textCursor();
  cursor.movePosition(toEnd ? QTextCursor::End : QTextCursor::Start,
                      extend ? QTextCursor::KeepAnchor : QTextCursor::MoveAnchor);
  fieldEditor_->setTextCursor(cursor);
  fieldEditor_->ensureCursorVisible();
}

void CACellView::interpretKeyEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  const bool shift = modifiers & Qt::ShiftModifier;
  const bool command = modifiers & kCommandModifier;
  const bool option = modifiers & kOptionModifier;
  using C = CAGridCommand;
  switch (event->key()) {
    case Qt::Key_Left:
      performCommand(command ? Pick({C::MoveToBeginningOfLine, C::MoveToBeginningOfLineAndModifySelection}, shift)
                             : Pick({C::MoveLeft, C::MoveLeftAndModifySelection}, shift),
                     this);
      return;
    case Qt::Key_Right:
      performCommand(command ? Pick({C::MoveToEndOfLine, C::MoveToEndOfLineAndModifySelection}, shift)
                             : Pick({C::MoveRight, C::MoveRightAndModifySelection}, shift),
                     this);
      return;
    case Qt::Key_Up:
      if (command)
        performCommand(
            Pick({C::MoveToBeginningOfDocument, C::MoveToBeginningOfDocumentAndModifySelection}, shift), this);
      else if (option)
        performCommand(Pick({C::MoveToBeginningOfLine, C::MoveToBeginningOfLineAndModifySelection}, shift), this);
      else
        performCommand(Pick({C::MoveUp, C::MoveUpAndModifySelection}, shift), this);
      return;
    case Qt::Key_Down:
      if (command)
        performCommand(Pick({C::MoveToEndOfDocument, C::MoveToEndOfDocumentAndModifySelection}, shift), this);
      else if (option)
        performCommand(Pick({C::MoveToEndOfLine, C::MoveToEndOfLineAndModifySelection}, shift), this);
      else
        performCommand(Pick({C::MoveDown, C::MoveDownAndModifySelection}, shift), this);
      return;
    case Qt::Key_Home:
      if (shift)
        performCommand(C::MoveToBeginningOfDocumentAndModifySelection, this);
      else
        performEditCommand(CAGridEditCommand::ScrollToBeginningOfDocument, this);
      return;
    case Qt::Key_End:
      if (shift)
        performCommand(C::MoveToEndOfDocumentAndModifySelection, this);
      else
        performEditCommand(CAGridEditCommand::ScrollToEndOfDocument, this);
      return;
    case Qt::Key_PageUp:
      performEditCommand(shift ? CAGridEditCommand::PageUp : CAGridEditCommand::ScrollPageUp, this);
      return;
    case Qt::Key_PageDown:
      performEditCommand(shift ? CAGridEditCommand::PageDown : CAGridEditCommand::ScrollPageDown, this);
      return;
    case Qt::Key_Backspace:
      performEditCommand(CAGridEditCommand::DeleteBackward, this);
      return;
    case Qt::Key_Delete:
      performEditCommand(CAGridEditCommand::DeleteForward, this);
      return;
    default:
      break;
  }
  const QString text = event->text();
  if (!text.isEmpty() && text.at(0).isPrint() && !command && !(modifiers & kControlModifier)) insertText(text);
}

void CACellView::performCommand(CAGridCommand command, QObject* sender) {
  if (!document_) return;
  stopTyping(true);
  const CAGridMoveState state{document_->selectionRange(), document_->activeCellPoint(),
                              document_->showOnlyOccupied(), document_->maxGridPoint()};
  applyMove(GridMoveResult(state, command, sender == this));
}

void CACellView::applyMove(const CAGridMoveResult& result) {
  switch (result.kind) {
    case CAGridMoveResult::kBeep:
      WorkspaceBeep();
      return;
    case CAGridMoveResult::kNothing:
      break;
    case CAGridMoveResult::kSelectPoint:
      if (result.registerForDisplay) document_->registerDisplayGridPoint(result.active);
      document_->setSelectionPoint(result.active);
      break;
    case CAGridMoveResult::kActivate:
      if (result.registerForDisplay) document_->registerDisplayGridPoint(result.active);
      document_->setActiveCellPoint(result.active);
      break;
    case CAGridMoveResult::kSelectRange:
      if (result.registerForDisplay) document_->registerDisplayGridPoint(result.active);
      document_->setSelectionRange(result.selection);
      if (document_->activeCellPoint() != result.active) document_->setActiveCellPoint(result.active);
      break;
  }
  if (result.registerForDisplay) setContentFrame();
  redrawSelectionForDomain(kDomainCell);
  ensureSelectionVisible();
}

void CACellView::performEditCommand(CAGridEditCommand command, QObject* sender) {
  if (!document_) return;
  switch (command) {
    case CAGridEditCommand::PageUp:
    case CAGridEditCommand::ScrollPageUp:
      if (scrollView_) scrollView_->autoScroll(kAutoScrollPageBack, true);
      return;
    case CAGridEditCommand::PageDown:
    case CAGridEditCommand::ScrollPageDown:
      if (scrollView_) scrollView_->autoScroll(kAutoScrollPageForward, true);
      return;
    case CAGridEditCommand::ScrollToBeginningOfDocument:
      if (scrollView_) scrollView_->autoScroll(kAutoScrollToStart, true);
      return;
    case CAGridEditCommand::ScrollToEndOfDocument:
      if (scrollView_) scrollView_->autoScroll(kAutoScrollToEnd, true);
      return;
    case CAGridEditCommand::InsertNewline:
      performCommand(CAGridCommand::MoveDown, sender);
      return;
    case CAGridEditCommand::InsertTab:
      performCommand(CAGridCommand::MoveRight, sender);
      return;
    case CAGridEditCommand::InsertBacktab:
      performCommand(CAGridCommand::MoveLeft, sender);
      return;
    case CAGridEditCommand::DeleteBackward:
    case CAGridEditCommand::DeleteForward:
      shutDownTextInput();
      stopTyping(true);
      document_->clear(kClearContents);
      redrawSelectionForDomain(kDomainCell);
      ensureSelectionVisible();
      return;
  }
}

void CACellView::scrollPageUp(QObject* sender) { performEditCommand(CAGridEditCommand::ScrollPageUp, sender); }
void CACellView::scrollPageDown(QObject* sender) { performEditCommand(CAGridEditCommand::ScrollPageDown, sender); }

void CACellView::selectNextArgument() {
  const bool formula = isTyping() && fieldEditor_ && fieldEditor_->hasFocus() &&
                       fieldEditor_->toPlainText().startsWith(QLatin1Char('='));
  if (!formula || !SelectNextArgumentInEditor(fieldEditor_)) WorkspaceBeep();
}

void CACellView::toggleActiveCheckbox() {
  CACell* cell = document_->activeCell();
  if (!cell || !document_->setCellUndo(kUndoCheckbox, kUndoRangeActiveCell)) return;
  cell->setChecked(!cell->isChecked());
  // Formulas that count the box see its new state.
  document_->setRecalcForDependents(cell->gridPoint());
  document_->evaluate();
  redrawSelectionForDomain(kDomainCell);
}
