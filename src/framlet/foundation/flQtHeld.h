// Qt's rich text (QTextDocument, its cursors and format tables) is not safe against exceptions:
// an allocation that fails inside one of its calls may leave its tables half-changed, and
// destroying the document, or a cursor on it, then walks what is broken and corrupts the heap.
// What a reading makes of Qt's text objects is held here: destroyed as usual when the reading
// ends, but left alone, never destroyed, when an exception leaves the scope that holds it (any Qt
// call inside may have failed half-way) or when whoever caught a failure says so (abandon). What
// is left alone is memory lost, which the budget that stops a reading before Qt runs short keeps
// rare; a heap walked in pieces would end the program.
#pragma once

#include <exception>
#include <utility>

// Counts the Qt objects left alone since the process began (for the log and for tests).
long QtObjectsAbandoned();
// Counts the object, and keeps the first few thousand where a leak checker or a debugger finds
// them (in a table made at start: this runs while a failed allocation unwinds, and takes no memory).
void NoteQtObjectAbandoned(const void* object);

template <class T>
class FLQtHeld {
 public:
  template <class... Args>
  explicit FLQtHeld(Args&&... args)
      : object_(new T(std::forward<Args>(args)...)), exceptions_(std::uncaught_exceptions()) {}
  ~FLQtHeld() {
    if (!object_) return;
    if (abandoned_ || std::uncaught_exceptions() > exceptions_) {
      NoteQtObjectAbandoned(object_);
      return;
    }
    delete object_;
  }
  FLQtHeld(const FLQtHeld&) = delete;
  FLQtHeld& operator=(const FLQtHeld&) = delete;

  T* get() const { return object_; }
  T& operator*() const { return *object_; }
  T* operator->() const { return object_; }

  // A failure inside Qt was caught within the holder's scope: the object is never touched again.
  void abandon() { abandoned_ = true; }
  bool abandoned() const { return abandoned_; }

 private:
  T* object_;
  int exceptions_;
  bool abandoned_ = false;
};
