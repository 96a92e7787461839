// The one guard every command that changes a document runs through: running out of memory
// part-way never leaves the program, and the document and its undo history go back to how they
// were before the command, with the memory alert.
#pragma once

#include <memory>
#include <type_traits>

class CADocument;
class QEvent;
class QString;

// The command a guard runs, referred to and not copied: handing it over takes no memory, which
// may be what is missing.
class CACommandRef {
 public:
  template <typename F, typename = std::enable_if_t<!std::is_same_v<std::decay_t<F>, CACommandRef>>>
  CACommandRef(F&& command)  // NOLINT: made from any callable, as std::function is
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(command)))),
        call_([](void* object) { (*static_cast<std::remove_reference_t<F>*>(object))(); }) {}
  void operator()() const { call_(object_); }

 private:
  void* object_;
  void (*call_)(void*);
};

inline constexpr const char* kCommandMemoryMessage = "There isn't enough memory to finish this command.";
inline constexpr const char* kCommandMemoryInformation = "The document is as it was before the command.";

// Runs the command as one change of the document's undo history. When an allocation fails
// inside it (std::bad_alloc, our code's or Qt's), the steps it recorded are reverted, newest
// first, and dropped; the steps it dropped (redo steps, the oldest of a full stack) come back; the
// window alerts, and false is returned. A step the command went on with (recorded under the
// identifier still current, as a format pane's repeated changes are) is reverted as well, and so
// is the step recorded just before the call when stepRecorded says the command is its last part
// (typing, committed). Guards nest: the innermost that sees the failure rolls back and alerts, and
// every guard around it rolls back its own part too (a part that failed fails the command).
bool RunGuardedCommand(CADocument& document, CACommandRef command, bool stepRecorded = false);

// An event a view handles as a command: inside a command already running (begun in the same
// event loop) it is part of it, and a failure goes on to that command's guard after onFailure;
// otherwise it is a guarded command of its own, and onFailure follows its rollback. False when it
// failed.
bool RunGuardedEvent(CADocument& document, CACommandRef deliver, CACommandRef onFailure);

// A guarded command is running, begun in the event loop now running: an event delivered now
// is part of it (and not one that a dialog's or menu's own loop, run by the command, waits for).
bool CommandGuardRunning();

// Keeps `bytes` of room aside for the running command's rollback (nothing outside a command):
// a step recorded in it keeps about what restoring the step takes, so that undoing the command
// never waits on memory the command used up. Let go of when the command ends, and before its
// rollback begins. Throws std::bad_alloc, keeping nothing, when the room is not there: the
// step is then refused before anything changed.
void KeepRollbackRoom(size_t bytes);

// The input a view takes that may change its document (keys, clicks, drags and drops, typed text),
// which it hands to the guard; drawing, moving over the view and the like go straight on.
bool IsCommandEvent(const QEvent& event);

// The memory alert's texts, made in advance: giving them takes no memory.
QString CommandMemoryMessage() noexcept;
QString CommandMemoryInformation() noexcept;

// The memory alert of a failed command, in the document's window (none without one). Gives no
// exception back. An alert that cannot be shown for memory is owed, and shown at the next chance
// (GiveOwedMemoryAlert).
void GiveCommandMemoryAlert(CADocument& document);
// The same alert where no document is concerned (the application's).
void GiveMemoryAlertWithoutDocument();
// Shows the memory alert owed, if any, outside any command: what the window's event delivery
// does before each event.
void GiveOwedMemoryAlert();
