#include "framlet/shell/FLUndoManager.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/flBase.h"
#include "platform/StringWithFormat.h"

#include <QAction>
#include <QApplication>

#include <cstring>

namespace {

constexpr const char* kUndoTitle = "Undo";
constexpr const char* kRedoTitle = "Redo";
constexpr const char* kUndoTitleFormat = "Undo %@";
constexpr const char* kRedoTitleFormat = "Redo %@";

constexpr const char* kNoDelegateMessage = "Delegate and buffer size are required";
constexpr const char* kNoStackMessage = "Can't allocate stack";
constexpr const char* kNotSetUpMessage = "Undo not setup";
constexpr const char* kNoEnumerationMessage = "Delegate must handle enumeration";
constexpr const char* kBufferSizeFixedMessage = "Buffer size is fixed once steps exist";
constexpr const char* kReentryMessage = "Undo step recorded while the delegate holds an entry";

// Without an explicit capacity the stack starts with this many entries and grows.
constexpr uint32_t kUnlimitedInitialEntries = 25;
// Entries are padded to this, so that each data buffer is aligned for the pointers and 64-bit
// numbers that delegates keep in it.
constexpr uint64_t kEntryAlignment = 8;
// Beyond any buffer a delegate could want; keeps the entry length from overflowing.
constexpr uint64_t kLargestBufferSize = uint64_t(1) << 32;

FLUndoManager::Hooks& CurrentHooks() {
  static FLUndoManager::Hooks hooks{
      [] { QApplication::beep(); },
      [] { return QApplication::activeModalWidget() != nullptr; },
      [] {},
  };
  return hooks;
}

// Keeps the flag set for the life of a delegate call, whatever path leaves it.
class DelegateCall {
 public:
  explicit DelegateCall(bool& flag) : flag_(flag) { flag_ = true; }
  ~DelegateCall() { flag_ = false; }
  DelegateCall(const DelegateCall&) = delete;
  DelegateCall& operator=(const DelegateCall&) = delete;

 private:
  bool& flag_;
};

}  // namespace

FLUndoManager::Hooks FLUndoManager::setHooks(Hooks hooks) {
  Hooks previous = CurrentHooks();
  if (hooks.beep) CurrentHooks().beep = std::move(hooks.beep);
  if (hooks.modalWindowUp) CurrentHooks().modalWindowUp = std::move(hooks.modalWindowUp);
  if (hooks.closePopovers) CurrentHooks().closePopovers = std::move(hooks.closePopovers);
  return previous;
}

FLUndoManager::FLUndoManager() = default;

FLUndoManager::~FLUndoManager() {
  if (entries_) clearUndo();
}

void FLUndoManager::setBufferSize(uint64_t size) {
  if (entries_) {
    LogAssert(kBufferSizeFixedMessage, __func__, __FILE__, __LINE__);
    return;
  }
  bufferSize_ = size;
}

uint64_t FLUndoManager::entryCount() const { return entries_ ? entries_->count() : 0; }

FLUndoManager::EntryHeader* FLUndoManager::entryAt(int64_t index) const {
  if (!entries_ || index < 0 || uint64_t(index) >= entries_->count()) return nullptr;
  return static_cast<EntryHeader*>(entries_->entryAtIndex(uint64_t(index)));
}

bool FLUndoManager::createStorage() {
  const uint64_t length = (bufferSize_ + sizeof(EntryHeader) + kEntryAlignment - 1) & ~(kEntryAlignment - 1);
  const uint64_t count = capacity_ ? capacity_ : kUnlimitedInitialEntries;
  if (bufferSize_ <= kLargestBufferSize) entries_ = FLArray::withEntrySize(length, count, true);
  if (!entries_) {
    LogAssert(kNoStackMessage, __func__, __FILE__, __LINE__);
    return false;
  }
  std::memset(entries_->entryAtIndex(0), 0, length * entries_->count());
  return true;
}

bool FLUndoManager::advanceTop() {
  ++currentEntry_;
  if (uint64_t(currentEntry_) < entries_->count()) return true;
  const uint64_t length = entries_->entryLength();
  if (capacity_ != 0) {
    // The oldest step's entry becomes the new top; recording frees what it held.
    currentEntry_ = int32_t(entries_->count() - 1);
    std::unique_ptr<uint8_t, void (*)(void*)> oldest(static_cast<uint8_t*>(AllocateMemory(length)), std::free);
    if (!oldest) {
      clearUndo();
      return false;
    }
    entries_->getEntry(oldest.get(), 0);
    entries_->deleteEntryAtIndex(0);
    entries_->addEntry(oldest.get());
    return true;
  }
  if (!entries_->insertEntry(nullptr, entries_->count())) {
    --currentEntry_;
    clearUndo();
    return false;
  }
  std::memset(entries_->entryAtIndex(entries_->count() - 1), 0, length);
  return true;
}

bool FLUndoManager::setUndoAction(uint32_t action, uint32_t descriptor, const void* context) {
  return record(action, descriptor, context);
}

bool FLUndoManager::record(uint32_t action, uint32_t descriptor, const void* context) {
  if (!delegate_ || bufferSize_ == 0) {
    LogAssert(kNoDelegateMessage, __func__, __FILE__, __LINE__);
    endStepInProgress();
    return false;
  }
  if (inDelegateCall_) {
    LogAssert(kReentryMessage, __func__, __FILE__, __LINE__);
    endStepInProgress();
    return false;
  }
  if (!entries_ && !createStorage()) {
    endStepInProgress();
    return false;
  }

  EntryHeader* top = entryAt(currentEntry_);
  if (top && top->action == action && top->descriptor == descriptor && okToGroup_) {
    bool merged;
    {
      DelegateCall call(inDelegateCall_);
      merged = delegate_->coalesceUndoAction(action, descriptor, dataOf(top), context);
    }
    killRedo();
    // A merged step keeps the state from before its first recording, so it must not be
    // popped as if it were this recording alone.
    undoSet_ = false;
    if (merged) {
      okToGroup_ = true;
      inUseCount_ = uint32_t(currentEntry_ + 1);
      return true;
    }
  }

  killRedo();
  undoSet_ = false;
  if (!advanceTop()) {
    endStepInProgress();
    return false;
  }
  top = entryAt(currentEntry_);
  undoSet_ = true;
  freeEntry(top, false);
  top->action = action;
  top->descriptor = descriptor;
  inUseCount_ = uint32_t(currentEntry_ + 1);
  bool accepted;
  {
    DelegateCall call(inDelegateCall_);
    accepted = delegate_->setUndoAction(action, descriptor, dataOf(top), context);
  }
  if (!accepted) {
    // A refused step was never recorded: it is freed with the rest of the stack without being
    // reported as popped, because its record may not hold the state a pop would restore.
    undoSet_ = false;
    clearUndo();
    endStepInProgress();
    return false;
  }
  okToGroup_ = true;
  return true;
}

bool FLUndoManager::setNewUndoAction(uint32_t action, uint32_t descriptor) {
  currentUndoID_ = newUndoID();
  return record(action, descriptor, nullptr);
}

bool FLUndoManager::setUndoID(uint32_t undoID, uint32_t action, uint32_t descriptor) {
  return setUndoID(undoID, action, descriptor, nullptr);
}

bool FLUndoManager::setUndoID(uint32_t undoID, uint32_t action, uint32_t descriptor, const void* context) {
  if (undoID != kFLNewUndoID && undoID == currentUndoID_) return true;
  currentUndoID_ = undoID == kFLNewUndoID ? newUndoID() : undoID;
  return record(action, descriptor, context);
}

uint32_t FLUndoManager::newUndoID() {
  uint32_t id = nextUndoID_++;
  // The two reserved values are never handed out, even after the counter wraps.
  if (id >= kFLNoUndoID) {
    id = 1;
    nextUndoID_ = 2;
  }
  return id;
}

void FLUndoManager::updateCurrentAction(uint32_t action) {
  if (EntryHeader* top = undoSet_ ? entryAt(currentEntry_) : nullptr) top->action = action;
}

void FLUndoManager::updateCurrentDescriptor(uint32_t descriptor) {
  if (EntryHeader* top = undoSet_ ? entryAt(currentEntry_) : nullptr) top->descriptor = descriptor;
}

void* FLUndoManager::dataForCurrentUndoAction(uint32_t* action, uint32_t* descriptor) {
  EntryHeader* top = undoSet_ ? entryAt(currentEntry_) : nullptr;
  if (!top) return nullptr;
  if (action) *action = top->action;
  if (descriptor) *descriptor = top->descriptor;
  return dataOf(top);
}

void* FLUndoManager::dataForPreviousUndoAction(uint32_t* action, uint32_t* descriptor) {
  if (!undoSet_ || currentEntry_ < 1) return nullptr;
  EntryHeader* previous = entryAt(currentEntry_ - 1);
  if (!previous) return nullptr;
  if (action) *action = previous->action;
  if (descriptor) *descriptor = previous->descriptor;
  return dataOf(previous);
}

void FLUndoManager::popUndo() {
  EntryHeader* top = entryAt(currentEntry_);
  if (!top) {
    LogAssert(kNotSetUpMessage, __func__, __FILE__, __LINE__);
    return;
  }
  if (!undoSet_) return;
  if (delegate_) delegate_->didPopUndoAction(top->action, top->descriptor, dataOf(top));
  freeEntry(top, false);
  inUseCount_ = uint32_t(currentEntry_);
  --currentEntry_;
  undoSet_ = false;
  endStepInProgress();
}

bool FLUndoManager::replay(bool isRedo) {
  if (!entries_) {
    LogAssert(kNotSetUpMessage, __func__, __FILE__, __LINE__);
    return false;
  }
  if (isRedo ? !isRedoAvailable() : !isUndoAvailable()) {
    CurrentHooks().beep();
    return false;
  }
  if (!delegate_) {
    LogAssert(kNoDelegateMessage, __func__, __FILE__, __LINE__);
    return false;
  }
  okToGroup_ = false;
  undoSet_ = false;
  endStepInProgress();
  EntryHeader* entry;
  if (isRedo) {
    ++currentEntry_;
    entry = entryAt(currentEntry_);
  } else {
    entry = entryAt(currentEntry_);
    --currentEntry_;
  }
  bool done;
  {
    DelegateCall call(inDelegateCall_);
    done = delegate_->undoOrRedo(&entry->action, entry->descriptor, dataOf(entry), isRedo);
  }
  if (!done) clearUndo();
  return done;
}

void FLUndoManager::undo() { replay(false); }

void FLUndoManager::redo() { replay(true); }

void FLUndoManager::freeEntry(void* entry, bool freeAll) {
  if (!entry) return;
  auto* header = static_cast<EntryHeader*>(entry);
  if (delegate_) delegate_->freeUndoAction(header->action, header->descriptor, dataOf(header), freeAll);
  header->action = 0;
  header->descriptor = 0;
}

void FLUndoManager::clearUndo() {
  for (uint32_t i = 0; i < inUseCount_; ++i) freeEntry(entryAt(i), false);
  inUseCount_ = 0;
  currentEntry_ = -1;
  undoSet_ = false;
  endStepInProgress();
}

void FLUndoManager::killRedo() {
  for (int64_t i = int64_t(currentEntry_) + 1; i < int64_t(inUseCount_); ++i) freeEntry(entryAt(i), false);
  inUseCount_ = uint32_t(currentEntry_ + 1);
}

void FLUndoManager::enumerate(bool all, void* context) {
  if (!delegate_ || !delegate_->handlesUndoEnumeration()) {
    LogAssert(kNoEnumerationMessage, __func__, __FILE__, __LINE__);
    return;
  }
  if (!entries_) {
    LogAssert(kNotSetUpMessage, __func__, __FILE__, __LINE__);
    return;
  }
  // Undo steps come first and redo steps follow them in index order, so both walks are one.
  const uint64_t end = all ? entries_->count() : inUseCount_;
  for (uint64_t i = 0; i < end; ++i) {
    EntryHeader* entry = entryAt(int64_t(i));
    delegate_->enumeratedUndoAction(entry->action, entry->descriptor, dataOf(entry), context);
  }
}

bool FLUndoManager::validateState(bool undo, QString* title) const {
  EntryHeader* entry = nullptr;
  if (undo)
    entry = isUndoAvailable() ? entryAt(currentEntry_) : nullptr;
  else
    entry = isRedoAvailable() ? entryAt(int64_t(currentEntry_) + 1) : nullptr;
  if (!entry || !delegate_) {
    if (title) *title = QLatin1String(undo ? kUndoTitle : kRedoTitle);
    return false;
  }
  if (title)
    *title = StringWithFormat(undo ? kUndoTitleFormat : kRedoTitleFormat,
                              delegate_->undoActionName(entry->descriptor, dataOf(entry)));
  return !CurrentHooks().modalWindowUp();
}

bool FLUndoManager::validateMenuItem(QAction* item) const {
  CurrentHooks().closePopovers();
  if (!item) return false;
  QString title;
  const bool enabled = validateState(item->objectName() == QLatin1String(kFLUndoEditAction), &title);
  item->setText(title);
  return enabled;
}
