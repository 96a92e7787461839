// What the view that lends a window's field editor (the cell grid, the formula bar) may take
// over from it. Keys that end typing reach the view as ordinary key presses; these are the
// rest, each optional: a member that answers false (or nullptr) leaves the editor's own
// behaviour in place.
#pragma once

class FLCompletionFieldEditor;
class QContextMenuEvent;
class QMenu;
class QObject;

class FLFieldEditorViewDelegate {
 public:
  virtual ~FLFieldEditorViewDelegate() = default;
  virtual bool insertTab(QObject* /*sender*/) { return false; }
  virtual bool insertBacktab(QObject* /*sender*/) { return false; }
  virtual bool insertTabIgnoringFieldEditor(QObject* /*sender*/) { return false; }
  // The menu to show instead of the editor's own (the caller shows it and then deletes it).
  virtual QMenu* menuForEvent(QContextMenuEvent* /*event*/) { return nullptr; }
  // YES when menuForEvent decides: its null then means no menu at all, not the editor's own.
  virtual bool answersMenuForEvent() const { return false; }
  // The editor lost the keyboard focus.
  virtual void fieldEditorResigned(FLCompletionFieldEditor* /*editor*/) {}
  virtual void textViewDidChangeSelection(FLCompletionFieldEditor* /*editor*/) {}
};
