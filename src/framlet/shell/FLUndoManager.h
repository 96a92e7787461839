// The framework's own undo stack: each step is a fixed-size record (action, descriptor and a
// data buffer whose size the owner chooses) kept in one record array, with every meaning left
// to an FLUndoDelegate. Steps are grouped by undo identifier and may be merged by the delegate.
#pragma once

#include "framlet/shell/FLUndoDelegate.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class FLArray;
class QAction;

// Undo identifiers: the one that means "draw a new one", and the one current before any step.
inline constexpr uint32_t kFLNewUndoID = 0xFFFFFFFF;
inline constexpr uint32_t kFLNoUndoID = 0xFFFFFFFE;

// The menu actions whose items the stack titles and enables.
inline constexpr const char* kFLUndoEditAction = "undoEdit:";
inline constexpr const char* kFLRedoEditAction = "redoEdit:";

class FLUndoManager {
 public:
  // What the stack needs of the application around it; tests install fakes.
  struct Hooks {
    std::function<void()> beep;              // nothing to undo or redo
    std::function<bool()> modalWindowUp;     // the application runs a modal window
    std::function<void()> closePopovers;     // before a menu item is validated
  };
  // Installs hooks (an empty member keeps the default) and answers the ones replaced.
  static Hooks setHooks(Hooks hooks);

  FLUndoManager();
  // Clears the stack first, so that the delegate frees every live buffer.
  ~FLUndoManager();
  FLUndoManager(const FLUndoManager&) = delete;
  FLUndoManager& operator=(const FLUndoManager&) = delete;

  // ---- Set-up (before the first step) ----------------------------------------------------------
  FLUndoDelegate* delegate() const { return delegate_; }
  void setDelegate(FLUndoDelegate* delegate) { delegate_ = delegate; }
  uint64_t bufferSize() const { return bufferSize_; }
  // Ignored (after an assertion) once steps exist: the entries are laid out by it.
  void setBufferSize(uint64_t size);
  uint32_t capacity() const { return capacity_; }
  // 0: unlimited; N: at most N steps, the oldest dropped when full.
  void setCapacity(uint32_t capacity) { capacity_ = capacity; }

  // ---- Recording ---------------------------------------------------------------------------------
  // Records a step through the delegate, or merges it into the top step; false when refused.
  bool setUndoAction(uint32_t action, uint32_t descriptor, const void* context);
  // Makes a fresh identifier current and records.
  bool setNewUndoAction(uint32_t action, uint32_t descriptor);
  // Records nothing (and answers true) when the identifier is the current one: the step in
  // progress already covers it. kFLNewUndoID draws a new identifier.
  bool setUndoID(uint32_t undoID, uint32_t action, uint32_t descriptor);
  bool setUndoID(uint32_t undoID, uint32_t action, uint32_t descriptor, const void* context);
  uint32_t newUndoID();
  bool isUndoIDActive(uint32_t undoID) const { return undoID == currentUndoID_; }
  uint32_t currentUndoID() const { return currentUndoID_; }
  // The next recording never merges into the top step.
  void suppressCoalescing() { okToGroup_ = false; }
  bool okToGroup() const { return okToGroup_; }
  // Change the step just recorded; nothing once it was undone, merged into or dropped.
  void updateCurrentAction(uint32_t action);
  void updateCurrentDescriptor(uint32_t descriptor);
  // The step just recorded (its buffer, action and descriptor), or nullptr.
  void* dataForCurrentUndoAction(uint32_t* action, uint32_t* descriptor);
  // The step below it, or nullptr when there is none.
  void* dataForPreviousUndoAction(uint32_t* action, uint32_t* descriptor);
  // Drops the step just recorded, telling the delegate.
  void popUndo();

  // ---- Replay ------------------------------------------------------------------------------------
  // A replay the delegate could not make (it answers false, or runs out of memory and throws,
  // having left its document as it was) leaves the step where it was, still to be replayed; the
  // exception goes on to the caller.
  void undo();
  void redo();
  bool isUndoAvailable() const { return currentEntry_ != -1; }
  bool isRedoAvailable() const { return int64_t(currentEntry_) + 1 < int64_t(inUseCount_); }

  // ---- Maintenance -------------------------------------------------------------------------------
  void clearUndo();
  void killRedo();
  // With all: every entry of the storage in index order, empty ones included; otherwise the
  // undo steps oldest first, then the redo steps.
  void enumerate(bool all, void* context);
  void freeEntry(void* entry, bool freeAll);

  // Entries holding a step, undo and redo alike; the storage's entry count.
  uint32_t inUseCount() const { return inUseCount_; }
  int32_t currentEntry() const { return currentEntry_; }
  uint64_t entryCount() const;

  // ---- Commands ----------------------------------------------------------------------------------
  // What a command does to the history is held until it ends. A command that completes lets the
  // steps it dropped (redo steps, the oldest step of a full stack) go; one that fails gives the
  // history back as it was: the steps it recorded are reverted through the delegate, newest first,
  // and the steps it dropped come back. Commands nest; what an inner one drops is let go with the
  // outermost. beginCommand takes its memory first (and may throw std::bad_alloc, changing
  // nothing); ending and rolling back take none.
  void beginCommand();
  void endCommand();
  // With stepInProgress, the step the command went on with (recorded before it, under the
  // identifier still current) is reverted and dropped as well: the command was its last part.
  void rollBackCommand(bool stepInProgress);
  // Reverts the step just recorded and drops it (nothing once it was undone, merged into or
  // dropped): for a command whose last part could not even begin.
  void revertStepInProgress();
  // The innermost command recorded a step, or went on with the step in progress.
  bool commandRecorded() const;
  bool commandExtendedStep() const;
  // A part of the running command (a command of its own, done) went on with the step in
  // progress: should the command fail, that step is reverted with it.
  void noteStepExtended() {
    for (CommandMark& mark : commands_) mark.extended = true;
  }

  // ---- Menu --------------------------------------------------------------------------------------
  // "Undo", "Undo %@", "Redo", "Redo %@"; enabled when there is a step and no modal window.
  bool validateState(bool undo, QString* title) const;
  // The item is Undo when its objectName is kFLUndoEditAction, Redo otherwise; sets its title
  // and answers whether it is enabled.
  bool validateMenuItem(QAction* item) const;

 private:
  struct EntryHeader {
    uint32_t action;
    uint32_t descriptor;
  };

  bool record(uint32_t action, uint32_t descriptor, const void* context);
  bool createStorage();
  // Advances currentEntry; on a full stack of fixed capacity the oldest step goes.
  void advanceTop();
  EntryHeader* entryAt(int64_t index) const;
  static void* dataOf(EntryHeader* entry) { return reinterpret_cast<uint8_t*>(entry) + sizeof(EntryHeader); }
  bool replay(bool isRedo);
  // Reverts the top step and drops it (ownStep: freed at once, being in no history kept).
  void revertTop(bool ownStep);
  // The entry's bytes kept aside until the outermost command ends (false: no room to keep them).
  bool deferFree(const EntryHeader* entry);
  void freeNow(void* entry, bool freeAll);
  // The step in progress ends: the next recording under its identifier starts a new step.
  void endStepInProgress() { currentUndoID_ = kFLNoUndoID; }
  // The top step, its entry freed, leaves the stack.
  void forgetTopStep();

  FLUndoDelegate* delegate_ = nullptr;
  uint64_t bufferSize_ = 0;
  std::unique_ptr<FLArray> entries_;
  uint32_t capacity_ = 0;
  uint32_t inUseCount_ = 0;
  int32_t currentEntry_ = -1;
  uint32_t currentUndoID_ = kFLNoUndoID;
  uint32_t nextUndoID_ = 1;
  bool okToGroup_ = false;
  bool undoSet_ = false;
  // Set while the delegate holds an entry's buffer: a recording then could move the storage.
  bool inDelegateCall_ = false;
  // The step being recorded, filled by the delegate before the history is touched.
  std::unique_ptr<uint8_t[]> scratch_;

  struct CommandMark {
    std::vector<uint8_t> entries;  // the storage as the command found it
    uint32_t inUseCount;
    int32_t currentEntry;
    uint32_t currentUndoID;
    bool okToGroup;
    bool undoSet;
    size_t deferredAtBegin;  // bytes of deferred_
    uint32_t recorded = 0;   // steps recorded since, still on the stack
    bool extended = false;   // a recording went into the step in progress
  };
  void markHistory(CommandMark& mark);
  std::vector<CommandMark> commands_;
  // Entries dropped while a command runs, freed when the outermost one completes.
  std::vector<uint8_t> deferred_;
};
