// Typing in a cell: the window's field editor laid over the cell writes every change into the
// cell at once and announces it; ending the typing commits the text (parsed into the cell's
// formula, then the sheet recalculates) or cancels it (the cell as it was before the first
// key, and the "Formula" step dropped). While no field is up the view itself takes the input
// method's text.
#include "calculator/views/CACellView.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CARow.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/views/CAScrollView.h"
#include "calculator/views/caFormulaEditing.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/shell/FLCompletionFieldEditor.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/FLUndoManager.h"
#include "framlet/shell/flResponderChain.h"
#include "platform/NotificationCenter.h"

#include <QContextMenuEvent>
#include <QFontMetricsF>
#include <QTimer>
#include <QApplication>
#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextCursor>

#include <cmath>

namespace {

// The background of text an input method has not committed yet.
const QColor kMarkedTextBackground = QColor::fromRgbF(1.0f, 211.0f / 255.0f, 90.0f / 255.0f, 1.0f);

}  // namespace

CACell* CACellView::typingCell() const {
  if (!typingPoint_ || !document_) return nullptr;
  return document_->cellAtGridPointImperative(*typingPoint_);
}

QRectF CACellView::typingRect() const {
  if (!typingPoint_) return {};
  QRectF rect = rectForGridPoint(*typingPoint_);
  // The field runs to the right edge of the visible grid, however narrow the cell.
  const float toEdge = float(visibleRect().right() - rect.left());
  rect.setWidth(std::max(float(rect.width()), toEdge));
  rect.setHeight(rect.height() - 1);
  return rect;
}

void CACellView::refusedTyping() {
  // A locked document (read-only, or a recovered copy) takes no typing; the key is not simply
  // swallowed, or the window would seem not to listen.
  if (document_ && document_->isLocked()) WorkspaceBeep();
}

void CACellView::startTyping(const GridPoint& point, bool setUndo) {
  if (!document_) return;
  stopTyping(true);
  if (setUndo && !document_->setCellUndo(kUndoFormula, kUndoRangeActiveCell)) {
    refusedTyping();
    return;
  }
  typingStepRecorded_ = setUndo;
  typingOwnsStep_ = setUndo;
  // A cell inside the selection only becomes the active one, so a block stays for data entry.
  if (IsGridPointInRange(point.x, point.y, document_->selectionRange())) {
    if (document_->activeCellPoint() != point) document_->setActiveCellPoint(point);
  } else {
    document_->setSelectionPoint(point);
  }
  ensureSelectionVisibleNow();

  CACell* cell = document_->cellAtGridPointImperative(point);
  typingPoint_ = point;
  // Opened on the cell as it stands (not on a key typed into it): confirming the text as shown
  // leaves the cell as it was.
  untouchedEditText_.reset();
  if (!typingCellCopy_) {
    typingCellCopy_ = RestorableCellCopy(*document_, *cell);
    untouchedEditText_ = cell->editText();
  }
  cell->setTypingInProgress(true);
  document_->setTypingState(2, cell, QString());

  FLCompletionFieldEditor* editor = FLCompletionFieldEditor::completionFieldEditorForWindow(window());
  fieldEditor_ = editor;
  editor->setCompletionDelegate(this);
  editor->setViewDelegate(this);
  editor->setAllowLinkDetection(false);

  // Set while the field is set up; put back however that ends (a failure part-way included).
  const QScopedValueRollback<bool> starting(startingTyping_, true);
  // The editor is the field: it lies over the cell as a child of this view, so the keys that it
  // passes up reach the view.
  editor->setParent(this);
  editor->setFrameShape(QFrame::NoFrame);
  editor->setLineWrapMode(QPlainTextEdit::NoWrap);
  editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  editor->document()->setDocumentMargin(1);
  QPalette palette = editor->palette();
  palette.setColor(QPalette::Base, Qt::white);
  palette.setColor(QPalette::Text, Qt::black);
  editor->setPalette(palette);
  const QString text = cell->editText();
  editor->replaceWholeText(text);
  layoutTypingField();
  editor->show();
  editor->raise();
  editor->setFocus(Qt::OtherFocusReason);
  editor->selectAll();
  textChangedConnection_ = connect(editor, &QPlainTextEdit::textChanged, this, &CACellView::controlTextDidChange);

  startingTyping_ = false;
  redrawGridPoint(point);
  ensureSelectionVisibleNow();
}

void CACellView::layoutTypingField() {
  if (!fieldEditor_ || !typingPoint_) return;
  const QRectF rect = typingRect();
  fieldEditor_->setGeometry(QRectF(rect.topLeft() * zoom_, rect.size() * zoom_).toRect());
  QFont font = document_ ? document_->font() : QFont();
  if (font.pointSizeF() > 0) font.setPointSizeF(font.pointSizeF() * zoom_);
  fieldEditor_->setFont(font);
}

void CACellView::stopTyping(bool accept) {
  if (stoppingTyping_) return;
  shutDownTextInput();
  if (!typingPoint_) return;
  stopTypingCore(accept);
}

void CACellView::abandonTyping() {
  if (!typingPoint_) return;
  FLUndoManager* manager = document_ ? document_->undoManager() : nullptr;
  // Typing whose step still stands goes on: the failure was another part of the command's.
  if (typingOwnsStep_ && manager && manager->dataForCurrentUndoAction(nullptr, nullptr)) return;
  typingPoint_.reset();
  typingCellCopy_.reset();
  untouchedEditText_.reset();
  typingStepRecorded_ = false;
  typingOwnsStep_ = false;
  stoppingTyping_ = false;
  startingTyping_ = false;
  QObject::disconnect(textChangedConnection_);
  if (fieldEditor_) {
    if (fieldEditor_->hasFocus()) setFocus(Qt::OtherFocusReason);
    fieldEditor_->setViewDelegate(nullptr);
    fieldEditor_->setCompletionDelegate(nullptr);
    fieldEditor_->hide();
  }
  fieldEditor_ = nullptr;
  if (document_) document_->setTypingState(0);
  update();
}

void CACellView::stopTypingCore(bool accept) {
  if (stoppingTyping_ || !typingPoint_) return;
  // Put back however the stop ends: a stop cut short by a failure must not refuse the next one.
  const QScopedValueRollback<bool> stopping(stoppingTyping_, true);
  const GridPoint point = *typingPoint_;
  // The typed text going in is the last part of the typing's command: should it run out of
  // memory, the typing's step is reverted with it and the cell is as it was before the typing.
  const bool committed = !document_ || RunGuardedCommand(*document_, [&] {
    CACell* cell = typingCell();
    cell->setTypingInProgress(false);
    const QString text = fieldEditor_ ? fieldEditor_->toPlainText() : cell->formula();
    if (accept && typingCellCopy_ && untouchedEditText_ == text) {
      // Nothing was changed: the cell keeps its value exactly, whatever its text reads as, and
      // the step opening the field recorded has nothing to undo.
      cell->copyFrom(*typingCellCopy_, false, false);
      if (typingStepRecorded_)
        if (FLUndoManager* manager = document_->undoManager()) manager->popUndo();
    } else if (accept) {
      cell->setRecordNewFunctions(true);
      cell->setFormula(text);
      cell->setRecordNewFunctions(false);
    } else {
      if (typingCellCopy_) cell->copyFrom(*typingCellCopy_, false, false);
      if (FLUndoManager* manager = document_->undoManager()) manager->popUndo();
    }
  }, typingOwnsStep_);
  typingPoint_.reset();
  typingCellCopy_.reset();
  untouchedEditText_.reset();
  typingStepRecorded_ = false;
  typingOwnsStep_ = false;

  // The grid takes the keys back before the field goes, unless they went elsewhere already.
  QObject::disconnect(textChangedConnection_);
  if (fieldEditor_) {
    const bool hadFocus = fieldEditor_->hasFocus();
    if (hadFocus) setFocus(Qt::OtherFocusReason);
    fieldEditor_->setViewDelegate(nullptr);
    fieldEditor_->setCompletionDelegate(nullptr);
    fieldEditor_->hide();
  }
  // The field stays, hidden, for the next typing: a widget made while a command runs is made
  // where memory may run out, and Qt's widgets cannot be unmade half-way.
  fieldEditor_ = nullptr;

  if (document_) {
    document_->setTypingState(0);
    RunGuardedCommand(*document_, [&] {
      const CARow* row = document_->row(point.y);
      if (row && row->needCalculate())
        redraw();
      else
        redrawGridPoint(point);
      if (committed) document_->evaluate();
    });
  }
  ensureSelectionVisible();
  if (document_) NotificationCenter::defaultCenter().post(QLatin1String(kFormulaChangeNotification), document_);
  stoppingTyping_ = false;
}

void CACellView::insertText(const QString& text) {
  FLPopoverBaseVC::closePopovers();
  if (!document_ || !hasFocus()) return;
  if (!document_->setCellUndo(kUndoFormula, kUndoRangeActiveCell)) {
    refusedTyping();
    return;
  }
  const GridPoint point = document_->activeCellPoint();
  CACell* cell = document_->cellAtGridPointImperative(point);
  typingCellCopy_ = RestorableCellCopy(*document_, *cell);
  cell->setTypingInProgress(true);
  // The typed key replaces the cell's content.
  cell->setFormula(text);
  startTyping(point, false);
  typingOwnsStep_ = true;
  if (!fieldEditor_) return;
  document_->setActiveCellTextSel(CATextRange{uint64_t(fieldEditor_->toPlainText().size()), 0});
  resetTypingSel();
  shutDownTextInput();
}

void CACellView::controlTextDidChange() {
  // Called by the field as it changes, with no guard of ours around it: the text stored in the
  // cell is a command of its own.
  if (!document_) return;
  if (!RunGuardedCommand(*document_, [this] { storeTypedText(); }, typingOwnsStep_)) abandonTyping();
}

void CACellView::storeTypedText() {
  CACell* cell = typingCell();
  if (!cell || !fieldEditor_) return;
  if (!completionInProgress_ && fieldEditor_->hasFocus()) {
    const QScopedValueRollback<bool> completing(completionInProgress_, true);
    fieldEditor_->complete();
  }
  const QString text = fieldEditor_->toPlainText();
  cell->setFormulaString(text);
  cell->setTypingInProgress(true);
  document_->setTypingState(2, cell, text);
  NotificationCenter::defaultCenter().post(QLatin1String(kFormulaChangeNotification), document_);
}

void CACellView::resetTypingSel() {
  if (!document_ || !fieldEditor_) return;
  const CATextRange selection = document_->activeCellTextSel();
  if (!fieldEditor_->hasFocus()) fieldEditor_->setFocus(Qt::OtherFocusReason);
  document_->setTypingState(2);
  const CACell* cell = typingCell();
  if (fieldEditor_->toPlainText().isEmpty() && cell && !cell->formula().isEmpty())
    fieldEditor_->replaceWholeText(cell->formula());
  SelectRangeInEditor(fieldEditor_, selection);
}

void CACellView::cancelOperation(QObject* /*sender*/) {
  stopTyping(false);
  // The sheet view ends a drag of its labels, when it answers.
  TryToPerform(parentWidget(), kCancelOperationAction, this);
}

void CACellView::clearField(QObject* /*sender*/) {
  if (!fieldEditor_) return;
  // The change writes the empty text into the cell.
  fieldEditor_->replaceWholeText(QString());
}

void CACellView::fieldEditorResigned(FLCompletionFieldEditor* /*editor*/) {
  if (stoppingTyping_ || startingTyping_) return;
  // A press on the grid while a formula is typed picks a reference: the typing goes on and
  // the press, which follows at once, gives the field the keys back. The grid taking the keys
  // any other way ends the typing a moment later.
  if (document_ && picksReferences() && QApplication::focusWidget() == this) {
    QTimer::singleShot(0, this, [this] {
      if (!selectingForRef_ && isTyping() && QApplication::focusWidget() == this) stopTyping(true);
    });
    return;
  }
  stopTyping(true);
}

void CACellView::textViewDidChangeSelection(FLCompletionFieldEditor* editor) {
  if (!document_ || !editor || !typingPoint_) return;
  const QTextCursor cursor = editor->textCursor();
  const CATextRange selection{uint64_t(cursor.selectionStart()),
                              uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  const CATextRange widened = UpdateDocumentTextSelection(*document_, editor->toPlainText(), selection);
  if (widened != selection) SelectRangeInEditor(editor, widened);
}

QStringList CACellView::completions(FLCompletionFieldEditor* editor, FLTextRange partialRange,
                                    int* indexOfSelectedItem) {
  return FormulaCompletions(editor, partialRange, indexOfSelectedItem);
}

// ---- Input methods --------------------------------------------------------------------------

void CACellView::shutDownTextInput() {
  if (markedText_.isEmpty()) return;
  if (QInputMethod* method = QGuiApplication::inputMethod(); method && hasFocus()) method->reset();
  markedText_.clear();
  if (document_) redrawGridPoint(document_->activeCellPoint());
}

void CACellView::setMarkedText(const QString& text) {
  markedText_ = text;
  if (!document_) return;
  if (!markedText_.isEmpty()) {
    const GridPoint& padding = document_->cellPadding();
    const double padX = std::ceil(double(padding.x) / 12700.0);
    const double padY = std::ceil(double(padding.y) / 12700.0);
    const double leading = document_->leading();
    QRectF rect = rectForGridPoint(document_->activeCellPoint()).adjusted(padX, padY, -padX, -padY);
    rect.translate(0, -leading / 2);
    rect.setHeight(rect.height() + leading / 2);
    rect.setWidth(QFontMetricsF(document_->font()).horizontalAdvance(markedText_) + 1);
    markedTextRect_ = rect;
  }
  redrawGridPoint(document_->activeCellPoint());
  update(QRectF(markedTextRect_.topLeft() * zoom_, markedTextRect_.size() * zoom_).toAlignedRect());
}

void CACellView::paintMarkedText(QPainter& painter) {
  if (markedText_.isEmpty() || !document_) return;
  painter.fillRect(markedTextRect_, kMarkedTextBackground);
  painter.setFont(document_->font());
  painter.setPen(Qt::black);
  painter.drawText(markedTextRect_, Qt::AlignLeft | Qt::AlignVCenter, markedText_);
}

void CACellView::inputMethodEvent(QInputMethodEvent* event) {
  event->accept();
  if (!event->commitString().isEmpty()) {
    markedText_.clear();
    insertText(event->commitString());
    return;
  }
  setMarkedText(event->preeditString());
}

QVariant CACellView::inputMethodQuery(Qt::InputMethodQuery query) const {
  switch (query) {
    case Qt::ImEnabled:
      return document_ != nullptr && !isTyping();
    case Qt::ImCursorRectangle: {
      const QRectF rect = markedText_.isEmpty() && document_ ? rectForGridPoint(document_->activeCellPoint())
                                                             : markedTextRect_;
      return QRectF(rect.topLeft() * zoom_, rect.size() * zoom_);
    }
    case Qt::ImCursorPosition:
    case Qt::ImAnchorPosition:
      return 0;
    case Qt::ImSurroundingText:
    case Qt::ImCurrentSelection:
    case Qt::ImTextBeforeCursor:
    case Qt::ImTextAfterCursor:
      return QString();
    case Qt::ImHints:
      return int(Qt::ImhNone);
    case Qt::ImFont:
      return document_ ? QVariant(document_->font()) : QVariant();
    default:
      return QWidget::inputMethodQuery(query);
  }
}

// ---- Formula popup --------------------------------------------------------------------------

QMenu* CACellView::menuForEvent(QContextMenuEvent* event) {
  // The grid offers no menu of its own; inside a formula the click asks for the popup.
  if (!fieldEditor_ || !event || !fieldEditor_->hasFocus()) return nullptr;
  if (!fieldEditor_->toPlainText().startsWith(QLatin1Char('='))) return nullptr;
  const QTextCursor cursor = fieldEditor_->textCursor();
  popoverTextSelection_ = CATextRange{uint64_t(cursor.selectionStart()),
                                      uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  const QPoint point = event->pos();
  QTimer::singleShot(0, this, [this, point] {
    if (!fieldEditor_ || !document_) return;
    emit formulaPopupRequested(formulaPopupAnchor(point));
    document_->setActiveCellTextSel(popoverTextSelection_);
  });
  return nullptr;
}

QRect CACellView::formulaPopupAnchor(const QPoint& editorPoint) const {
  if (!fieldEditor_ || !document_) return {};
  const QRectF cellRect = rectForGridPoint(document_->activeCellPoint());
  const int top = int(std::floor(cellRect.top() * zoom_));
  const int height = int(std::ceil(cellRect.height() * zoom_));
  const QString text = fieldEditor_->toPlainText();
  QTextCursor cursor = fieldEditor_->textCursor();
  int start = cursor.selectionStart();
  int end = cursor.selectionEnd();
  if (start == end && !text.isEmpty()) {
    // The character before the caret (the last one when the caret is at the start).
    start = start > 0 ? start - 1 : int(text.size()) - 1;
    end = start + 1;
  }
  const QPoint origin = fieldEditor_->geometry().topLeft();
  if (start == end) return QRect(origin.x() + editorPoint.x() - 1, top, 2, height);
  cursor.setPosition(start);
  const QRect first = fieldEditor_->cursorRect(cursor);
  cursor.setPosition(end);
  const QRect last = fieldEditor_->cursorRect(cursor);
  const int left = origin.x() + first.left();
  return QRect(left, top, std::max(1, last.left() - first.left()), height);
}

void CACellView::startTypingAfterFormulaInsertion() {
  if (!document_) return;
  // The field still up over the cell shows the inserted text; committing it first would put
  // back the text from before the insertion.
  const CACell* cell = typingCell();
  if (fieldEditor_ && cell && typingPoint_ == document_->activeCellPoint()) {
    fieldEditor_->replaceWholeText(cell->formula());
  } else {
    startTyping(document_->activeCellPoint(), false);
  }
  document_->setActiveCellTextSel(popoverTextSelection_);
  resetTypingSel();
}
