#include "calculator/views/CAFormulaTextView.h"

#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caCommandGuard.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caModelServices.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/caFormulaEditing.h"
#include "calculator/views/caShownText.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/FLUndoManager.h"
#include "framlet/shell/flResponderChain.h"
#include "platform/KeyMap.h"
#include "platform/NotificationCenter.h"

#include <QAccessible>
#include <QApplication>
#include <QScrollBar>
#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>
#include <QTimer>

namespace {

// Wrapping lays a paragraph out again for every line it makes: beyond this many characters the
// time grows with the square of the length (seconds for a few hundred kilobytes), so a longer
// text is shown on one line that scrolls sideways.
constexpr qsizetype kLongestWrappedText = 10000;

}  // namespace

CAFormulaTextView::CAFormulaTextView(QWidget* parent) : FLCompletionFieldEditor(parent) {
  setObjectName(QStringLiteral("FormulaTextView"));
  setFieldEditor(false);
  // The keys that a field editor hands on stay with the bar itself.
  setViewDelegate(nullptr);
  setCompletionDelegate(this);
  setTabChangesFocus(false);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  // A click on the grid picks a reference only into a formula: over a cell that may hold one,
  // what is typed decides, as in the field a cell is typed in, so that plain text is entered and
  // the click selects.
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (document_ && !formulaDelegate_ && formulaMayBeTyped_ && hasFocus())
      document_->setTypingState(1, nullptr, toPlainText());
  });
  // A scroll bar touched scrolls the whole text.
  horizontalScrollBar()->installEventFilter(this);
  verticalScrollBar()->installEventFilter(this);
}

CAFormulaTextView::~CAFormulaTextView() { NotificationCenter::defaultCenter().removeObserver(this); }

void CAFormulaTextView::setDocument(CADocument* document) {
  document_ = document;
  observeDocument();
  showActiveCellFormula();
}

void CAFormulaTextView::observeDocument() {
  NotificationCenter& center = NotificationCenter::defaultCenter();
  center.removeObserver(this);
  if (!document_) return;
  // A delegate shows the cell and takes picked references itself.
  if (!formulaDelegate_) {
    const auto refresh = [this](const Notification&) { showActiveCellFormula(); };
    center.addObserver(this, QLatin1String(kSelectionChangeNotification), document_, refresh);
    center.addObserver(this, QLatin1String(kFormulaChangeNotification), document_, refresh);
    center.addObserver(this, QLatin1String(kTypeSelNotification), document_,
                       [this](const Notification&) { insertPickedReference(); });
  }
  // The application is asked to quit, or the document to save: what is typed here goes in
  // first, as the grid's typing does.
  center.addObserver(this, QLatin1String(kNormalizeNotification), nullptr,
                     [this](const Notification&) { commitEditing(); });
  center.addObserver(this, QLatin1String(kDocClosingNotification), document_, [this](const Notification&) {
    NotificationCenter::defaultCenter().removeObserver(this);
    document_ = nullptr;
  });
}

void CAFormulaTextView::showActiveCellFormula() {
  if (formulaDelegate_) return;
  if (!document_) {
    editedCell_.reset();
    shownCellText_.clear();
    if (!text().isEmpty()) setShownText(QString());
    return;
  }
  const GridPoint active = document_->activeCellPoint();
  const bool moved = editedCell_ && *editedCell_ != active;
  if (hasUnenteredText()) {
    // Still typing in the active cell: the typing stays.
    if (!moved) return;
    // The selection left the cell being typed in (a command, the find panel): the text goes
    // where it was typed, never into the cell the selection came to.
    commitToEditedCell();
  }
  showCell(active);
  if (!moved || !(holdsTyping() || window()->focusWidget() == this)) return;
  // That cell's editing is over; the grid takes the keys, as after a Return (in a window behind
  // another, once it comes to the front again).
  keepingFocus_ = false;
  document_->setTypingState(0);
  emit focusCellViewRequested();
}

void CAFormulaTextView::showCell(const GridPoint& point) {
  const CACell* cell = document_ ? document_->cellAtGridPoint(point) : nullptr;
  const QString text = cell ? cell->editText() : QString();
  editedCell_ = point;
  shownCellText_ = text;
  if (this->text() != text) setShownText(text);
}

void CAFormulaTextView::documentReplaced(bool textKept) {
  if (textKept) return;
  editedCell_.reset();
  shownCellText_.clear();
  wholeText_.reset();
}

bool CAFormulaTextView::hasUnenteredText() const { return editedCell_ && text() != shownCellText_; }

QPlainTextEdit::LineWrapMode CAFormulaTextView::wrapModeFor(qsizetype length) {
  return length > kLongestWrappedText ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth;
}

void CAFormulaTextView::wrapFor(qsizetype length) {
  const LineWrapMode mode = wrapModeFor(length);
  if (lineWrapMode() != mode) setLineWrapMode(mode);
}

void CAFormulaTextView::setShownText(const QString& text) {
  // Decided before the text goes in, and with the bar emptied first: neither the new text nor
  // a long one it replaces is ever wrapped, even once.
  if (lineWrapMode() != wrapModeFor(text.size())) {
    wholeText_.reset();
    replaceWholeText(QString());
    wrapFor(text.size());
  }
  holdShownPart(text);
}

void CAFormulaTextView::holdShownPart(const QString& text) {
  wholeText_.reset();
  // A pane's view edits what it holds; a text short enough to wrap costs little; the keys here
  // (or coming) or an assistive tool mean it is read or edited.
  if (!formulaDelegate_ && wrapModeFor(text.size()) == QPlainTextEdit::NoWrap && !hasFocus() && !keepingFocus_ &&
      !QAccessible::isActive()) {
    const QSize size = viewport()->size();
    bool cut = false;
    const QString part = ShownPartOfText(text, ShownExtentOfSize(size, fontMetrics().lineSpacing()), &cut);
    if (cut) {
      shownPartSize_ = size;
      replaceWholeText(part);
      wholeText_ = text;
      return;
    }
  }
  replaceWholeText(text);
}

void CAFormulaTextView::holdWholeText() {
  if (!wholeText_) return;
  const QString whole = std::move(*wholeText_);
  wholeText_.reset();
  replaceWholeText(whole);
}

void CAFormulaTextView::commitToEditedCell() {
  if (!document_) return;
  if (formulaDelegate_) {
    formulaDelegate_->formulaTextDidEndEditing();
    return;
  }
  if (!hasUnenteredText()) return;
  const GridPoint point = *editedCell_;
  const QString text = this->text();
  const CACell* current = document_->cellAtGridPoint(point);
  if ((current ? current->editText() : QString()) == text) {
    shownCellText_ = text;
    return;
  }
  // The bar's text going into the cell is a command: all of it, or the cell as it was.
  RunGuardedCommand(*document_, [&] {
    if (!document_->setUndo(kFLNewUndoID, kUndoActionCells, kUndoFormula, GridRange{point, point}, kDomainCell))
      return;
    CACell* cell = document_->cellAtGridPointImperative(point);
    cell->setRecordNewFunctions(true);
    cell->setFormula(text);
    cell->setRecordNewFunctions(false);
    // Entered from here on: what the change announces shows the cell again.
    shownCellText_ = text;
    // An empty text leaves no cell once the sheet has been evaluated.
    document_->evaluate();
    document_->redrawCell(point);
    NotificationCenter::defaultCenter().post(QLatin1String(kFormulaChangeNotification), document_);
  });
}

void CAFormulaTextView::commitEditing() {
  // A pane's view hands its text over as it goes; the window's bar edits while it holds the keys
  // (or would hold them, its window being behind another), a formula or not.
  if (formulaDelegate_ || !document_) return;
  if (holdsTyping() || window()->focusWidget() == this) commitToEditedCell();
}

void CAFormulaTextView::insertPickedReference() {
  // Only the view holding the typing takes the reference.
  if (!document_ || document_->typingState() != 1 || !holdsTyping()) return;
  holdWholeText();
  const QTextCursor cursor = textCursor();
  CATextRange selection{uint64_t(cursor.selectionStart()), uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  const QString text =
      FormulaWithReference(toPlainText(), ReferenceTextForRange(document_->typingSelectionRange()), &selection);
  setShownText(text);
  SelectRangeInEditor(this, selection);
  ensureCursorVisible();
}

void CAFormulaTextView::selectNextArgument() {
  holdWholeText();
  if (!SelectNextArgumentInEditor(this)) WorkspaceBeep();
}

void CAFormulaTextView::endEditing() {
  // A delegate takes the text as the keys leave.
  if (!formulaDelegate_) commitToEditedCell();
  emit focusCellViewRequested();
}

void CAFormulaTextView::cancelOperation(QObject* /*sender*/) {
  if (formulaDelegate_) {
    formulaDelegate_->formulaTextCancelOperation();
    return;
  }
  // The bar shows the cell again and the grid takes the keys.
  if (document_) {
    document_->setTypingState(0);
    showCell(document_->activeCellPoint());
  }
  emit focusCellViewRequested();
}

QStringList CAFormulaTextView::completions(FLCompletionFieldEditor* editor, FLTextRange partialRange,
                                           int* indexOfSelectedItem) {
  return FormulaCompletions(editor, partialRange, indexOfSelectedItem);
}

void CAFormulaTextView::keyPressEvent(QKeyEvent* event) {
  FLPopoverBaseVC::closePopovers();
  if (!hasFocus() || isCompleting()) {
    FLCompletionFieldEditor::keyPressEvent(event);
    return;
  }
  const bool control = event->modifiers() & kControlModifier;
  switch (KeyCodeForEvent(*event)) {
    case kKeyCodeEscape:
      event->accept();
      cancelOperation(this);
      return;
    case kKeyCodeClear:
      event->accept();
      setShownText(QString());
      return;
    case kKeyCodeTab:
      // Tab moves nothing here; Control-Tab goes to the next argument.
      event->accept();
      if (control) selectNextArgument();
      return;
    case kKeyCodeReturn:
    case kKeyCodeEnter:
      event->accept();
      if (allowReturns_) {
        insertAtSelection(QStringLiteral("\n"));
      } else {
        endEditing();
      }
      return;
    default:
      FLCompletionFieldEditor::keyPressEvent(event);
  }
}

void CAFormulaTextView::focusInEvent(QFocusEvent* event) {
  focusFromClick_ = event->reason() == Qt::MouseFocusReason;
  if (document_ && !keepingFocus_) {
    formulaMayBeTyped_ = false;
    holdWholeText();
    showActiveCellFormula();
    document_->setTypingState(1, document_->activeCell(), QString());
    formulaMayBeTyped_ = document_->typingState() == 1;
  }
  keepingFocus_ = false;
  holdWholeText();
  FLCompletionFieldEditor::focusInEvent(event);
}

void CAFormulaTextView::focusOutEvent(QFocusEvent* event) {
  FLCompletionFieldEditor::focusOutEvent(event);
  if (!document_ || event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) return;
  // A click on the grid while a formula is edited picks a reference: the bar keeps the keys.
  if (document_->typingState() == 1 && event->reason() == Qt::MouseFocusReason &&
      qobject_cast<CACellView*>(QApplication::focusWidget())) {
    keepingFocus_ = true;
    // Unless the editing ended meanwhile (the selection left its cell).
    QTimer::singleShot(0, this, [this] {
      if (keepingFocus_) setFocus(Qt::OtherFocusReason);
    });
    return;
  }
  commitToEditedCell();
  document_->setTypingState(0);
}

void CAFormulaTextView::mousePressEvent(QMouseEvent* event) {
  holdWholeText();
  const bool fromClick = focusFromClick_;
  focusFromClick_ = false;
  // The click that brings the focus keeps a selection made before.
  if (fromClick && textCursor().hasSelection()) {
    event->accept();
    return;
  }
  FLCompletionFieldEditor::mousePressEvent(event);
}

void CAFormulaTextView::insertFromMimeData(const QMimeData* source) {
  if (formulaDelegate_ && source && !formulaDelegate_->formulaTextShouldInsert(source->text())) return;
  holdWholeText();
  if (source) wrapFor(QPlainTextEdit::document()->characterCount() + source->text().size());
  FLCompletionFieldEditor::insertFromMimeData(source);
}

void CAFormulaTextView::resizeEvent(QResizeEvent* event) {
  FLCompletionFieldEditor::resizeEvent(event);
  // Grown past the part held for it: the part is cut again for the new size.
  if (wholeText_ && (viewport()->width() > shownPartSize_.width() || viewport()->height() > shownPartSize_.height())) {
    const QString whole = *wholeText_;
    holdShownPart(whole);
  }
}

void CAFormulaTextView::wheelEvent(QWheelEvent* event) {
  holdWholeText();
  FLCompletionFieldEditor::wheelEvent(event);
}

void CAFormulaTextView::contextMenuEvent(QContextMenuEvent* event) {
  holdWholeText();
  FLCompletionFieldEditor::contextMenuEvent(event);
}

void CAFormulaTextView::dragEnterEvent(QDragEnterEvent* event) {
  holdWholeText();
  FLCompletionFieldEditor::dragEnterEvent(event);
}

bool CAFormulaTextView::eventFilter(QObject* watched, QEvent* event) {
  if ((watched == horizontalScrollBar() || watched == verticalScrollBar()) &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel))
    holdWholeText();
  return FLCompletionFieldEditor::eventFilter(watched, event);
}
