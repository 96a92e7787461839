// The text editor that one window lends to whichever view is typing in it: a cell being edited
// in place, or the formula bar. Over a plain text edit it adds completion that stops as soon as
// the user does anything but type, type-ahead, the keys that end typing handed to the lending
// view (its view delegate), and Escape, keypad Clear and the page keys passed up to whoever
// answers them. One editor per window, kept in a registry that holds windows weakly.
#pragma once

#include "framlet/shell/FLCompletionDelegate.h"
#include "framlet/shell/FLFieldEditorViewDelegate.h"

#include "framlet/shell/FLPlainTextView.h"
#include <QPointer>
#include <QStringList>

#include <cstdint>

class QAction;
class QKeyEvent;
class QListWidget;

// How a completion was chosen.
enum FLTextMovement : int {
  kTextMovementOther = 0,
  kTextMovementReturn = 16,
  kTextMovementTab = 17,
  kTextMovementBacktab = 18,
  kTextMovementLeft = 19,
  kTextMovementRight = 20,
  kTextMovementUp = 21,
  kTextMovementDown = 22,
  kTextMovementCancel = 23,
};

inline constexpr const char* kToggleAutomaticLinkDetectionAction = "toggleAutomaticLinkDetection:";

class FLCompletionFieldEditor : public FLPlainTextView {
  Q_OBJECT

 public:
  // The window's editor, made (as a hidden child of the window) on the first request.
  static FLCompletionFieldEditor* completionFieldEditorForWindow(QWidget* window);
  // Forgets the window's editor and deletes it once the current event is done.
  static void releaseCompletionFieldEditorForWindow(QWidget* window);
  static int registeredEditorCount();

  explicit FLCompletionFieldEditor(QWidget* parent = nullptr);
  ~FLCompletionFieldEditor() override;

  // ---- Delegates (not owned; forgotten when they are destroyed) -----------------------------
  QWidget* viewDelegate() const { return viewDelegate_; }
  // The view receives the keys that end typing; when it implements FLFieldEditorViewDelegate
  // it may also take the tab actions, the context menu and the editor's resignation.
  void setViewDelegate(QWidget* view) { viewDelegate_ = view; }
  QObject* completionDelegate() const { return completionDelegate_; }
  // An object implementing FLCompletionDelegate.
  void setCompletionDelegate(QObject* delegate) { completionDelegate_ = delegate; }

  bool isFieldEditor() const { return fieldEditor_; }
  void setFieldEditor(bool fieldEditor) { fieldEditor_ = fieldEditor; }
  bool allowCompletion() const { return allowCompletion_; }
  bool allowLinkDetection() const { return allowLinkDetection_; }
  void setAllowLinkDetection(bool allow) { allowLinkDetection_ = allow; }
  bool automaticLinkDetectionEnabled() const { return linkDetection_; }
  // Above 0 while a key is with the view delegate.
  uint64_t handleKeyCount() const { return handleKeyCount_; }

  // ---- Completion ---------------------------------------------------------------------------
  void stopCompletion();
  // Typed text: allows completion, then inserts at the selection.
  void insertText(const QString& text);
  // Offers the completion delegate's list, only while the last action was typing.
  void complete();
  // The whole text.
  FLTextRange rangeForUserCompletion() const;
  // Return, Tab and Backtab make the insertion final; Right inserts nothing. A final insertion
  // leaves the caret behind the word, a tentative one selects the completed part.
  virtual void insertCompletion(const QString& word, FLTextRange partialRange, int movement, bool isFinal);
  // Completes the text in place with the offered completion, its added part selected.
  void typeAhead();
  bool isCompleting() const;
  QStringList completionList() const { return completions_; }
  int completionIndex() const { return completionIndex_; }

  // ---- Actions ------------------------------------------------------------------------------
  void insertTab(QObject* sender);
  void insertBacktab(QObject* sender);
  void insertTabIgnoringFieldEditor(QObject* sender);
  void scrollToBeginningOfDocument();
  void scrollToEndOfDocument();
  void scrollPageUp(QObject* sender);
  void scrollPageDown(QObject* sender);
  void toggleAutomaticLinkDetection();
  // Closes every popover first; the link-detection item is disabled while detection is refused.
  bool validateMenuItem(QAction* item);

 signals:
  // A field editor ends editing on Return, Enter, Tab or Backtab when no view takes the key.
  void textDidEndEditing(int movement);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;
  void inputMethodEvent(QInputMethodEvent* event) override;

 private:
  QWidget* nextResponder() const { return parentWidget(); }
  FLFieldEditorViewDelegate* viewDelegateActions() const;
  void forwardKey(QKeyEvent* event);
  void interpretKeyEvent(QKeyEvent* event);
  bool handleCompletionKey(QKeyEvent* event);
  void endCompletion();
  void selectionDidChange();
  void replaceRange(FLTextRange range, const QString& text);

  QPointer<QWidget> viewDelegate_;
  QPointer<QObject> completionDelegate_;
  bool allowCompletion_ = false;
  bool allowLinkDetection_ = true;
  bool linkDetection_ = false;
  bool fieldEditor_ = false;
  uint64_t handleKeyCount_ = 0;

  // The key being handled, and whether it already went to the view delegate.
  QKeyEvent* currentKeyEvent_ = nullptr;
  bool currentKeyForwarded_ = false;
  int lastAnchor_ = 0;
  int lastPosition_ = 0;

  // The completion list while it shows.
  QListWidget* completionPopup_ = nullptr;  // a child of the editor
  QStringList completions_;
  FLTextRange completionRange_;
  int completionIndex_ = 0;
};
