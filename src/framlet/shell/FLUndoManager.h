// The framework's own undo stack: each step is a fixed-size record (action, descriptor and a
// data buffer whose size the owner chooses) kept in one record array, with every meaning left
// to an FLUndoDelegate. Steps are grouped by undo identifier and may be merged by the delegate.
#pragma once

#include "framlet/shell/FLUndoDelegate.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

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
  // Advances currentEntry, rotating or growing the storage; false after emptying the stack.
  bool advanceTop();
  EntryHeader* entryAt(int64_t index) const;
  static void* dataOf(EntryHeader* entry) { return reinterpret_cast<uint8_t*>(entry) + sizeof(EntryHeader); }
  bool replay(bool isRedo);
  // The step in progress ends: the next recording under its identifier starts a new step.
  void endStepInProgress() { currentUndoID_ = kFLNoUndoID; }

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
};
