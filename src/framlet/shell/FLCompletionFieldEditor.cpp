#include "framlet/shell/FLCompletionFieldEditor.h"

#include "framlet/foundation/flBase.h"
#include "framlet/shell/FLPopoverBaseVC.h"
#include "framlet/shell/flResponderChain.h"
#include "platform/KeyMap.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QListWidget>
#include <QMenu>
#include <QScopeGuard>

#include <vector>

namespace {

struct RegistryEntry {
  QPointer<QWidget> window;
  QPointer<FLCompletionFieldEditor> editor;
};

// Windows are held weakly: a window that goes away takes its entry with it, so a new window
// at the same address never gets a stale editor.
std::vector<RegistryEntry>& Registry() {
  static std::vector<RegistryEntry> registry;
  return registry;
}

void PurgeRegistry() {
  std::vector<RegistryEntry>& registry = Registry();
  std::erase_if(registry, [](const RegistryEntry& entry) { return !entry.window || !entry.editor; });
}

// Printable text typed without Ctrl or Meta (Alt gives characters on some layouts).
bool IsTyping(const QKeyEvent& event) {
  if (event.modifiers() & (kCommandModifier | kControlModifier)) return false;
  const QString text = event.text();
  if (text.isEmpty()) return false;
  for (QChar c : text) {
    if (!c.isPrint()) return false;
  }
  return true;
}

bool IsModifierKey(int key) {
  switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
      return true;
    default:
      return false;
  }
}

}  // namespace

// ---- Registry -------------------------------------------------------------------------------

FLCompletionFieldEditor* FLCompletionFieldEditor::completionFieldEditorForWindow(QWidget* window) {
  if (!window) return nullptr;
  PurgeRegistry();
  for (const RegistryEntry& entry : Registry()) {
    if (entry.window == window) return entry.editor;
  }
  auto* editor = new FLCompletionFieldEditor(window);
  editor->hide();
  editor->setFieldEditor(true);
  Registry().push_back({window, editor});
  // The editor, a child of the window, is gone by the time the window says so: listen with the
  // application as context.
  QObject::connect(window, &QObject::destroyed, qApp, [] { PurgeRegistry(); });
  editor->setAllowLinkDetection(true);
  return editor;
}

void FLCompletionFieldEditor::releaseCompletionFieldEditorForWindow(QWidget* window) {
  std::vector<RegistryEntry>& registry = Registry();
  for (auto it = registry.begin(); it != registry.end(); ++it) {
    if (it->window != window || !window) continue;
    if (it->editor) it->editor->deleteLater();
    registry.erase(it);
    break;
  }
  PurgeRegistry();
}

int FLCompletionFieldEditor::registeredEditorCount() {
  PurgeRegistry();
  return int(Registry().size());
}

// ---- Editor ---------------------------------------------------------------------------------

FLCompletionFieldEditor::FLCompletionFieldEditor(QWidget* parent) : FLPlainTextView(parent) {
  connect(this, &QPlainTextEdit::cursorPositionChanged, this, &FLCompletionFieldEditor::selectionDidChange);
  connect(this, &QPlainTextEdit::selectionChanged, this, &FLCompletionFieldEditor::selectionDidChange);
}

FLCompletionFieldEditor::~FLCompletionFieldEditor() = default;

FLFieldEditorViewDelegate* FLCompletionFieldEditor::viewDelegateActions() const {
  if (!viewDelegate_ || viewDelegate_ == this) return nullptr;
  return dynamic_cast<FLFieldEditorViewDelegate*>(viewDelegate_.data());
}

void FLCompletionFieldEditor::stopCompletion() { allowCompletion_ = false; }

void FLCompletionFieldEditor::insertText(const QString& text) {
  allowCompletion_ = true;
  insertAtSelection(text);
}

FLTextRange FLCompletionFieldEditor::rangeForUserCompletion() const {
  return {0, toPlainText().size()};
}

bool FLCompletionFieldEditor::isCompleting() const { return completionPopup_ && completionPopup_->isVisible(); }

void FLCompletionFieldEditor::complete() {
  if (!allowCompletion_ || isCompleting()) return;
  auto* delegate = dynamic_cast<FLCompletionDelegate*>(completionDelegate_.data());
  if (!delegate) return;
  const FLTextRange range = rangeForUserCompletion();
  int index = 0;
  const QStringList list = delegate->completions(this, range, &index);
  if (list.isEmpty()) return;
  completions_ = list;
  completionRange_ = range;
  completionIndex_ = (index < 0 || index >= list.size()) ? 0 : index;
  if (!completionPopup_) {
    // A tool window never takes the focus, so the keys stay with the editor.
    completionPopup_ = new QListWidget(this);
    completionPopup_->setWindowFlags(Qt::ToolTip | Qt::FramelessWindowHint);
    completionPopup_->setAttribute(Qt::WA_ShowWithoutActivating);
    completionPopup_->setFocusPolicy(Qt::NoFocus);
    connect(completionPopup_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
      const QString word = item->text();
      const FLTextRange range = completionRange_;
      endCompletion();
      insertCompletion(word, range, kTextMovementOther, true);
    });
  }
  completionPopup_->clear();
  completionPopup_->addItems(completions_);
  completionPopup_->setCurrentRow(completionIndex_);
  completionPopup_->move(viewport()->mapToGlobal(cursorRect().bottomLeft()));
  completionPopup_->show();
}

void FLCompletionFieldEditor::endCompletion() {
  if (completionPopup_) completionPopup_->hide();
  completions_.clear();
}

void FLCompletionFieldEditor::replaceRange(FLTextRange range, const QString& text) {
  QTextCursor cursor = textCursor();
  const int size = int(toPlainText().size());
  const int start = std::clamp(int(range.location), 0, size);
  cursor.setPosition(start);
  cursor.setPosition(std::clamp(int(range.location + range.length), start, size), QTextCursor::KeepAnchor);
  cursor.insertText(text);
  setTextCursor(cursor);
}

void FLCompletionFieldEditor::insertCompletion(const QString& word, FLTextRange partialRange, int movement,
                                               bool isFinal) {
  if (movement == kTextMovementRight) return;
  if (movement == kTextMovementReturn || movement == kTextMovementTab || movement == kTextMovementBacktab) {
    isFinal = true;
  }
  replaceRange(partialRange, word);
  if (!isFinal) {
    QTextCursor cursor = textCursor();
    const int end = cursor.position();
    cursor.setPosition(int(std::min<qsizetype>(partialRange.location + partialRange.length, end)));
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    setTextCursor(cursor);
  }
}

bool FLCompletionFieldEditor::handleCompletionKey(QKeyEvent* event) {
  if (!isCompleting()) return false;
  const QString word = completions_.value(completionIndex_);
  const FLTextRange range = completionRange_;
  int movement = -1;
  switch (event->key()) {
    case Qt::Key_Up:
      completionIndex_ = std::max(0, completionIndex_ - 1);
      completionPopup_->setCurrentRow(completionIndex_);
      return true;
    case Qt::Key_Down:
      completionIndex_ = std::min(int(completions_.size()) - 1, completionIndex_ + 1);
      completionPopup_->setCurrentRow(completionIndex_);
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: movement = kTextMovementReturn; break;
    case Qt::Key_Tab: movement = kTextMovementTab; break;
    case Qt::Key_Backtab: movement = kTextMovementBacktab; break;
    case Qt::Key_Right: movement = kTextMovementRight; break;
    case Qt::Key_Left: movement = kTextMovementLeft; break;
    case Qt::Key_Escape:
      // Cancelled: the text stays as typed.
      endCompletion();
      return true;
    default:
      // Anything else ends the list and is handled as usual.
      endCompletion();
      return false;
  }
  endCompletion();
  if (movement == kTextMovementLeft) return false;
  insertCompletion(word, range, movement, false);
  return true;
}

void FLCompletionFieldEditor::typeAhead() {
  auto* delegate = dynamic_cast<FLCompletionDelegate*>(completionDelegate_.data());
  if (!delegate) {
    LogAssert("Calling typeAhead with an inappropriate delegate", __func__, __FILE__, __LINE__);
    return;
  }
  const QString text = toPlainText();
  const QTextCursor cursor = textCursor();
  if (!allowCompletion_ || text.isEmpty() || cursor.hasSelection() || cursor.position() != text.size()) return;
  int index = 0;
  const QStringList list = delegate->completions(this, {text.size() - 1, 1}, &index);
  if (list.isEmpty()) return;
  if (index < 0 || index >= list.size()) index = 0;
  const QString completion = list[index];
  if (completion.size() < 2) return;
  QTextCursor end = textCursor();
  end.movePosition(QTextCursor::End);
  end.insertText(completion.mid(1));
  end.setPosition(int(text.size()));
  end.setPosition(int(text.size() + completion.size() - 1), QTextCursor::KeepAnchor);
  setTextCursor(end);
}

// ---- Keys -----------------------------------------------------------------------------------

void FLCompletionFieldEditor::keyPressEvent(QKeyEvent* event) {
  if (IsModifierKey(event->key())) {
    // Modifiers alone are no key press of their own: they neither type nor stop completing.
    event->ignore();
    return;
  }
  QKeyEvent* outerEvent = currentKeyEvent_;
  const bool outerForwarded = currentKeyForwarded_;
  currentKeyEvent_ = event;
  currentKeyForwarded_ = false;
  const auto restore = qScopeGuard([&] {
    currentKeyEvent_ = outerEvent;
    currentKeyForwarded_ = outerForwarded;
  });

  QPointer<QWidget> next = nextResponder();
  FLPopoverBaseVC::closePopovers();
  if (window()->focusWidget() != this) {
    if (next) QCoreApplication::sendEvent(next, event);
    return;
  }
  event->accept();
  if (handleCompletionKey(event)) return;
  switch (KeyCodeForEvent(*event)) {
    case kKeyCodeReturn:
    case kKeyCodeTab:
    case kKeyCodeEnter:
    case kKeyCodeHome:
    case kKeyCodePageUp:
    case kKeyCodeEnd:
    case kKeyCodePageDown:
      forwardKey(event);
      break;
    case kKeyCodeEscape:
      TryToPerform(this, kCancelOperationAction, this);
      break;
    case kKeyCodeClear:
      TryToPerform(next, kClearFieldAction, this);
      break;
    default:
      interpretKeyEvent(event);
  }
}

void FLCompletionFieldEditor::forwardKey(QKeyEvent* event) {
  ++handleKeyCount_;
  const auto done = qScopeGuard([this] { --handleKeyCount_; });
  if (viewDelegate_) {
    currentKeyForwarded_ = true;
    QCoreApplication::sendEvent(viewDelegate_, event);
  } else {
    interpretKeyEvent(event);
  }
}

// The editor's own meaning of a key, as the key bindings of a text field give it.
void FLCompletionFieldEditor::interpretKeyEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
  if (IsTyping(*event)) {
    allowCompletion_ = true;
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  if (modifiers == Qt::NoModifier || modifiers == Qt::ShiftModifier) {
    switch (event->key()) {
      case Qt::Key_Return:
      case Qt::Key_Enter:
        stopCompletion();
        if (fieldEditor_) {
          emit textDidEndEditing(kTextMovementReturn);
        } else {
          QPlainTextEdit::keyPressEvent(event);
        }
        return;
      case Qt::Key_Tab:
        if (modifiers == Qt::NoModifier) {
          insertTab(this);
          return;
        }
        break;
      case Qt::Key_Backtab:
        insertBacktab(this);
        return;
      case Qt::Key_Home:
        if (modifiers == Qt::NoModifier) {
          scrollToBeginningOfDocument();
          return;
        }
        break;
      case Qt::Key_End:
        if (modifiers == Qt::NoModifier) {
          scrollToEndOfDocument();
          return;
        }
        break;
      case Qt::Key_PageUp:
        if (modifiers == Qt::NoModifier) {
          scrollPageUp(this);
          return;
        }
        break;
      case Qt::Key_PageDown:
        if (modifiers == Qt::NoModifier) {
          scrollPageDown(this);
          return;
        }
        break;
      default: break;
    }
  }
  // Movement, deletion, selection, clipboard and undo keys: none of them is typing.
  stopCompletion();
  QPlainTextEdit::keyPressEvent(event);
}

void FLCompletionFieldEditor::insertTab(QObject* sender) {
  stopCompletion();
  if (FLFieldEditorViewDelegate* delegate = viewDelegateActions(); delegate && delegate->insertTab(sender)) return;
  if (fieldEditor_) {
    emit textDidEndEditing(kTextMovementTab);
  } else {
    insertAtSelection(QStringLiteral("\t"));
  }
}

void FLCompletionFieldEditor::insertBacktab(QObject* sender) {
  stopCompletion();
  if (FLFieldEditorViewDelegate* delegate = viewDelegateActions(); delegate && delegate->insertBacktab(sender)) return;
  if (fieldEditor_) emit textDidEndEditing(kTextMovementBacktab);
}

void FLCompletionFieldEditor::insertTabIgnoringFieldEditor(QObject* sender) {
  stopCompletion();
  if (FLFieldEditorViewDelegate* delegate = viewDelegateActions();
      delegate && delegate->insertTabIgnoringFieldEditor(sender)) {
    return;
  }
  insertAtSelection(QStringLiteral("\t"));
}

void FLCompletionFieldEditor::scrollToBeginningOfDocument() {
  stopCompletion();
  QTextCursor cursor = textCursor();
  cursor.setPosition(0);
  setTextCursor(cursor);
}

void FLCompletionFieldEditor::scrollToEndOfDocument() {
  stopCompletion();
  QTextCursor cursor = textCursor();
  cursor.movePosition(QTextCursor::End);
  setTextCursor(cursor);
}

void FLCompletionFieldEditor::scrollPageUp(QObject* sender) { TryToPerform(nextResponder(), kScrollPageUpAction, sender); }

void FLCompletionFieldEditor::scrollPageDown(QObject* sender) {
  TryToPerform(nextResponder(), kScrollPageDownAction, sender);
}

void FLCompletionFieldEditor::toggleAutomaticLinkDetection() {
  if (allowLinkDetection_) linkDetection_ = !linkDetection_;
}

bool FLCompletionFieldEditor::validateMenuItem(QAction* item) {
  FLPopoverBaseVC::closePopovers();
  if (item && item->objectName() == QLatin1String(kToggleAutomaticLinkDetectionAction)) return allowLinkDetection_;
  return true;
}

// ---- Focus, menus, pasting ------------------------------------------------------------------

void FLCompletionFieldEditor::focusInEvent(QFocusEvent* event) {
  stopCompletion();
  QPlainTextEdit::focusInEvent(event);
}

void FLCompletionFieldEditor::focusOutEvent(QFocusEvent* event) {
  // A menu or another window taking the keys for a while is no resignation.
  if (event->reason() != Qt::PopupFocusReason && event->reason() != Qt::ActiveWindowFocusReason) {
    stopCompletion();
    endCompletion();
    if (FLFieldEditorViewDelegate* delegate = viewDelegateActions()) delegate->fieldEditorResigned(this);
  }
  QPlainTextEdit::focusOutEvent(event);
}

void FLCompletionFieldEditor::contextMenuEvent(QContextMenuEvent* event) {
  if (FLFieldEditorViewDelegate* delegate = viewDelegateActions()) {
    if (QMenu* menu = delegate->menuForEvent(event)) {
      menu->exec(event->globalPos());
      menu->deleteLater();
      return;
    }
    if (delegate->answersMenuForEvent()) return;
  }
  QPlainTextEdit::contextMenuEvent(event);
}

void FLCompletionFieldEditor::insertFromMimeData(const QMimeData* source) {
  stopCompletion();
  QPlainTextEdit::insertFromMimeData(source);
}

void FLCompletionFieldEditor::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) allowCompletion_ = true;
  QPlainTextEdit::inputMethodEvent(event);
}

void FLCompletionFieldEditor::selectionDidChange() {
  const QTextCursor cursor = textCursor();
  if (cursor.anchor() == lastAnchor_ && cursor.position() == lastPosition_) return;
  lastAnchor_ = cursor.anchor();
  lastPosition_ = cursor.position();
  FLFieldEditorViewDelegate* delegate = viewDelegateActions();
  if (delegate) delegate->textViewDidChangeSelection(this);
  // A Tab that changed the selection (accepting a completion) still moves on in the view.
  if (viewDelegate_ && handleKeyCount_ == 0 && currentKeyEvent_ && !currentKeyForwarded_ &&
      currentKeyEvent_->type() == QEvent::KeyPress && KeyCodeForEvent(*currentKeyEvent_) == kKeyCodeTab) {
    ++handleKeyCount_;
    currentKeyForwarded_ = true;
    const auto done = qScopeGuard([this] { --handleKeyCount_; });
    QCoreApplication::sendEvent(viewDelegate_, currentKeyEvent_);
  }
}
