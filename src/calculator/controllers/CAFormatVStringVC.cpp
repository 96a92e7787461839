#include "calculator/controllers/CAFormatVStringVC.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/CANumberFormat.h"
#include "calculator/model/caModelNotifications.h"
#include "calculator/model/caUndoArchives.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/views/caFormulaEditing.h"
#include "calculator/views/caViewNotifications.h"
#include "framlet/shell/FLUndoManager.h"
#include "platform/NotificationCenter.h"

#include <QPalette>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QVBoxLayout>

#include <limits>

namespace {

// Numbers that are not integers show all their digits, so that editing keeps their value.
const CANumberFormat& PaneNumberFormat() {
  static const CANumberFormat format = [] {
    CANumberFormat made;
    made.setDisplay(kDisplayFloat);
    made.setSize(std::numeric_limits<int64_t>::max());
    return made;
  }();
  return format;
}

bool AllowReturns() {
  const CAPrefController* preferences = CAPrefController::sharedInstance();
  return preferences && preferences->value(CABoolPreference::allowReturns);
}

bool IsLineBreak(QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator; }

// The text without line breaks at either end.
QString TrimLineBreaks(const QString& text) {
  qsizetype start = 0;
  qsizetype end = text.size();
  while (start < end && IsLineBreak(text[start])) ++start;
  while (end > start && IsLineBreak(text[end - 1])) --end;
  return text.mid(start, end - start);
}

// What the pane edits: the entered text, else the number in full, else the date as it is typed.
QString EditedText(const CACell& cell) {
  if (!cell.formula().isEmpty()) return cell.formula();
  if (cell.valueType() == kValueNumber && cell.number()) {
    const CANumber number = *cell.number();
    return number.formatWith(number.form() == kNumberInteger ? nullptr : &PaneNumberFormat());
  }
  // A date keeps no entered text: its day index would read back as a number.
  if (cell.valueType() == kValueDate) return cell.displayText(true);
  return QString();
}

}  // namespace

CAFormatVStringVC::CAFormatVStringVC(QObject* parent) : CAFormatBaseVC(parent) {}

CAFormatVStringVC::~CAFormatVStringVC() {
  if (textView_) textView_->setFormulaDelegate(nullptr);
}

QWidget* CAFormatVStringVC::loadView() {
  auto* view = new QWidget;
  view->setToolTip(QStringLiteral("Value"));
  auto* layout = new QVBoxLayout(view);
  layout->setContentsMargins(8, 6, 8, 6);
  textView_ = new CAFormulaTextView(view);
  textView_->setObjectName(QStringLiteral("textView"));
  textView_->setFixedHeight(textView_->fontMetrics().lineSpacing() * 3 + 8);
  textView_->setFormulaDelegate(this);
  textView_->setDocument(document());
  textView_->setAllowReturns(AllowReturns());
  layout->addWidget(textView_);
  connect(textView_, &QPlainTextEdit::textChanged, this, [this] {
    if (showing_) return;
    textDidBeginEditing();
    textDidChange();
  });
  connect(textView_, &QPlainTextEdit::cursorPositionChanged, this, &CAFormatVStringVC::textViewDidChangeSelection);
  connect(textView_, &QPlainTextEdit::selectionChanged, this, &CAFormatVStringVC::textViewDidChangeSelection);
  connect(textView_, &CAFormulaTextView::focusCellViewRequested, this, [this] { finishEdit(); });
  view->resize(view->sizeHint());
  return view;
}

void CAFormatVStringVC::viewDidLoad() {
  auto& center = NotificationCenter::defaultCenter();
  const void* source = document();
  center.addObserver(this, QLatin1String(kTypeChangeNotification), source,
                     [this](const Notification&) { typeChanged(); });
  center.addObserver(this, QLatin1String(kFormulaInsertNotification), source,
                     [this](const Notification& note) { formulaInserted(note); });
  center.addObserver(this, QLatin1String(kTypeSelNotification), source,
                     [this](const Notification&) { typingSelection(); });
  center.addObserver(this, QLatin1String(kFormulaChangeNotification), source,
                     [this](const Notification&) { selectionChanged(); });
  CAFormatBaseVC::viewDidLoad();
}

// ---- Showing ----------------------------------------------------------------------------------

void CAFormatVStringVC::showText(const QString& text) {
  showing_ = true;
  textView_->setShownText(text);
  showing_ = false;
}

void CAFormatVStringVC::colorText(const CACell* cell) {
  showing_ = true;
  QTextCursor cursor(textView_->QPlainTextEdit::document());
  cursor.select(QTextCursor::Document);
  QTextCharFormat standard;
  standard.setForeground(textView_->palette().color(QPalette::Text));
  cursor.mergeCharFormat(standard);
  const qsizetype length = textView_->toPlainText().size();
  if (cell && cell->valueType() == kValueError && cell->errorOffset() < uint64_t(length)) {
    cursor.setPosition(int(cell->errorOffset()));
    cursor.setPosition(int(length), QTextCursor::KeepAnchor);
    QTextCharFormat error;
    error.setForeground(Qt::red);
    cursor.mergeCharFormat(error);
  }
  showing_ = false;
}

void CAFormatVStringVC::selectionChanged() { showCell(false); }

void CAFormatVStringVC::showCell(bool takeFocus) {
  undoSet_ = false;
  CADocument* source = document();
  if (!source || !textView_) return;
  const CACell* cell = source->activeCell();
  const int32_t type = cell ? cell->valueType() : int32_t(kValueNone);
  if (type == kValueNone || type == kValueCheckbox || type == kValuePicture || type == kValueLink) return;
  const QString text = EditedText(*cell);
  if (textView_->toPlainText() != text) showText(text);
  CATextRange selection = source->activeCellTextSel();
  const uint64_t length = uint64_t(text.size());
  if (selection.location > length || selection.length > length - selection.location) selection = CATextRange{length, 0};
  // A number is replaced rather than edited, unless part of it was chosen.
  if (type == kValueNumber && selection.length == 0) selection = CATextRange{0, length};
  showing_ = true;
  SelectRangeInEditor(textView_, selection);
  showing_ = false;
  colorText(cell);
  if (takeFocus) textView_->setFocus(Qt::OtherFocusReason);
}

// ---- Editing ----------------------------------------------------------------------------------

bool CAFormatVStringVC::recordStep() {
  CADocument* target = document();
  return target && !target->isLocked() && target->setCellUndo(kUndoFormula, kUndoRangeActiveCell);
}

void CAFormatVStringVC::announceTyping() {
  if (CADocument* target = document()) target->setTypingState(1, target->activeCell(), QString());
}

CACell* CAFormatVStringVC::typedCell() {
  CADocument* target = document();
  CACell* cell = target->cellAtGridPointImperative(target->activeCellPoint());
  if (cell && !cellCopy_ && !insertionStep_) cellCopy_ = RestorableCellCopy(*target, *cell);
  return cell;
}

void CAFormatVStringVC::textDidBeginEditing() {
  if (editingStarted_ || !document()) return;
  if (!recordStep()) return;
  undoSet_ = true;
  editingStarted_ = true;
  announceTyping();
  colorText(nullptr);
}

void CAFormatVStringVC::textDidChange() {
  CADocument* target = document();
  if (!target || !editingStarted_) return;
  CACell* cell = typedCell();
  if (!cell) return;
  if (!undoSet_) {
    if (!recordStep()) return;
    undoSet_ = true;
    announceTyping();
  }
  cell->setTypingInProgress(true);
  if (!completionInProgress_ && textView_->hasFocus()) {
    completionInProgress_ = true;
    textView_->complete();
    completionInProgress_ = false;
  }
  QString text = textView_->toPlainText();
  if (!textView_->allowReturns()) {
    const QString trimmed = TrimLineBreaks(text);
    if (trimmed != text) {
      const int caret = textView_->textCursor().position();
      showText(trimmed);
      QTextCursor cursor = textView_->textCursor();
      cursor.setPosition(std::min(caret, int(trimmed.size())));
      textView_->setTextCursor(cursor);
      text = trimmed;
    }
  }
  colorText(nullptr);
  if (text != cell->formula()) {
    cell->setFormulaString(text);
    target->setTypingState(1, cell, text);
    textDidChange_ = true;
    target->redrawCell(cell->gridPoint());
  }
}

void CAFormatVStringVC::textDidEndEditing() {
  CADocument* target = document();
  if (!target || !editingStarted_) return;
  target->setTypingState(0);
  CACell* cell = target->activeCell();
  if (cell) cell->setTypingInProgress(false);
  // Typing that came back to the text it began with changed nothing: the cell is as it was.
  const bool unchanged = !textDidChange_ || (cellCopy_ && cell && textView_->toPlainText() == EditedText(*cellCopy_));
  if (unchanged && textDidChange_) cell->copyFrom(*cellCopy_, false, false);
  cellCopy_.reset();
  insertionStep_ = false;
  if (unchanged) {
    // Begun and left without a change: no step stays behind.
    if (undoSet_ && target->undoManager()) target->undoManager()->popUndo();
    undoSet_ = false;
    if (textDidChange_) {
      textDidChange_ = false;
      target->redrawCell(cell->gridPoint());
    }
    // A cell made for the edit and left as it was, empty, goes again.
    target->dropEmptiedCells();
    return;
  }
  undoSet_ = false;
  textDidChange_ = false;
  if (!cell || cell->typeIsChanging()) return;
  const GridPoint point = cell->gridPoint();
  cell->setRecordNewFunctions(true);
  cell->setFormula(textView_->toPlainText());
  cell->setRecordNewFunctions(false);
  // An empty text leaves no cell once the sheet has been evaluated.
  target->evaluate();
  target->redrawCell(point);
  // The panel may replace this pane now; nothing of it is used afterwards.
  NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), target);
}

void CAFormatVStringVC::cancelOperation() {
  CADocument* target = document();
  if (!target || !editingStarted_) return;
  FLUndoManager* undo = target->undoManager();
  const bool restoreByUndo = insertionStep_ && undoSet_;
  // A function inserted from the browser began this edit: its step holds the cell as it was.
  if (restoreByUndo && undo) {
    undo->undo();
    undo->killRedo();
  } else if (undoSet_ && undo) {
    undo->popUndo();
  }
  undoSet_ = false;
  insertionStep_ = false;
  target->setTypingState(0);
  CACell* cell = target->activeCell();
  if (cell) cell->setTypingInProgress(false);
  if (textDidChange_) {
    textDidChange_ = false;
    if (cell && cellCopy_ && !restoreByUndo) cell->copyFrom(*cellCopy_, false, false);
    cellCopy_.reset();
    target->evaluate();
    target->redrawCell(target->activeCellPoint());
    showCell(false);
    NotificationCenter::defaultCenter().post(QLatin1String(kSelectionChangeNotification), target);
  }
  cellCopy_.reset();
}

bool CAFormatVStringVC::formulaTextShouldInsert(const QString& text) {
  if (textView_->allowReturns() || text.isEmpty() || !IsLineBreak(text.front())) return true;
  finishEdit();
  return false;
}

void CAFormatVStringVC::textViewDidChangeSelection() {
  CADocument* target = document();
  if (showing_ || !target || !textView_) return;
  const QTextCursor cursor = textView_->textCursor();
  const CATextRange selection{uint64_t(cursor.selectionStart()),
                              uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  const CATextRange widened = UpdateDocumentTextSelection(*target, textView_->toPlainText(), selection);
  if (widened == selection) return;
  showing_ = true;
  SelectRangeInEditor(textView_, widened);
  showing_ = false;
}

// ---- Other inputs -----------------------------------------------------------------------------

void CAFormatVStringVC::typeChanged() {
  if (!document() || !textView_) return;
  textView_->setFocus(Qt::OtherFocusReason);
  const CACell* cell = document()->activeCell();
  QTextCursor cursor = textView_->textCursor();
  if (cell && cell->isFormula()) {
    cursor.movePosition(QTextCursor::End);
  } else {
    cursor.select(QTextCursor::Document);
  }
  showing_ = true;
  textView_->setTextCursor(cursor);
  showing_ = false;
}

void CAFormatVStringVC::formulaInserted(const Notification& notification) {
  CADocument* target = document();
  if (!target || !textView_) return;
  if (notification.userInfo.value(QLatin1String(kFormulaInsertPopupKey)).toBool()) {
    showCell(false);
    return;
  }
  // The insertion recorded its step already.
  if (!cellCopy_) insertionStep_ = true;
  undoSet_ = true;
  textDidChange_ = true;
  editingStarted_ = true;
  target->setActiveCellTextSel(notification.userInfo.value(QLatin1String(kFormulaInsertRangeKey)).value<CATextRange>());
  showCell(true);
  undoSet_ = true;  // showing the cell cleared it
  if (CACell* cell = typedCell()) cell->setTypingInProgress(true);
}

void CAFormatVStringVC::typingSelection() {
  CADocument* target = document();
  if (!target || !textView_ || !textView_->holdsTyping()) return;
  // A new edit records its step, as a typed change would.
  if (!undoSet_ && !recordStep()) return;
  undoSet_ = true;
  textDidChange_ = true;
  editingStarted_ = true;
  const QString reference = ReferenceTextForRange(target->typingSelectionRange());
  CACell* cell = typedCell();
  if (!cell) return;
  cell->setTypingInProgress(true);
  const QTextCursor cursor = textView_->textCursor();
  CATextRange selection{uint64_t(cursor.selectionStart()), uint64_t(cursor.selectionEnd() - cursor.selectionStart())};
  cell->addRefToFormula(reference, &selection);
  showText(cell->formula());
  showing_ = true;
  SelectRangeInEditor(textView_, selection);
  showing_ = false;
  target->redrawCell(cell->gridPoint());
}
