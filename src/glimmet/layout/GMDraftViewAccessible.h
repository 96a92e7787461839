// What a screen reader sees of a draft view: the text of the pane it shows, the caret and the
// selection, and the view's coming and going. Offsets are cps from the pane's first cp; a knot's
// kink characters read as the object replacement character.
#pragma once

#include <QAccessibleWidget>

#include <functional>

class GMDraftView;

class GMDraftViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit GMDraftViewAccessible(GMDraftView* view);

  // Makes draft views answer with this interface; once per process.
  static void install();
  // Tells assistive technology of the event, and the observer first when one is set (the
  // platform drops events while no assistive technology listens).
  static void post(QAccessibleEvent* event);
  static void setEventObserver(std::function<void(const QAccessibleEvent&)> observer);

  void* interface_cast(QAccessible::InterfaceType type) override;
  QString text(QAccessible::Text kind) const override;
  QAccessible::State state() const override;

  // QAccessibleTextInterface.
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

 private:
  GMDraftView* view() const;
  // The pane's range [first, limit) in cps; empty without a document.
  std::pair<uint32_t, uint32_t> paneRange() const;
  void select(int startOffset, int endOffset);
};
