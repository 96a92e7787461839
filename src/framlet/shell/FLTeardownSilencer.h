// A widget whose children signal into it (a field ending its edit as the focus leaves it, a
// panel it opened finishing) is torn down in parts: its own destructor runs, then its Qt base
// deletes the children, which may still signal while they go. What they would then call of the
// part already gone is cut here, before the base's destructor runs.
#pragma once

class QObject;

// Blocks the signals of tree and every descendant of it, ends the application's signals into receiver
// and its observations of notifications.
void SilenceForTeardown(QObject* receiver, QObject* tree);

// Held as a member of such a widget (constructed with it, this), so that the silence falls as
// the widget's own members go, before its base class deletes the children.
class FLTeardownSilencer {
 public:
  explicit FLTeardownSilencer(QObject* owner) : owner_(owner) {}
  ~FLTeardownSilencer() { SilenceForTeardown(owner_, owner_); }
  FLTeardownSilencer(const FLTeardownSilencer&) = delete;
  FLTeardownSilencer& operator=(const FLTeardownSilencer&) = delete;

 private:
  QObject* owner_;
};
