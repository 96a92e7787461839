#include "framlet/shell/FLUndoManager.h"

#include "framlet/foundation/FLArray.h"
#include "framlet/foundation/flBase.h"
#include "framlet/foundation/flReadingMeter.h"
#include "platform/StringWithFormat.h"

#include <QAction>
#include <QApplication>

#include <algorithm>
#include <cstring>
#include <exception>
#include <new>

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
constexpr const char* kRevertFailedMessage = "Undo step could not be reverted";

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
  if (!entries_) return;
  // A command still running when the stack goes completes with it.
  while (!commands_.empty()) endCommand();
  clearUndo();
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
  if (bufferSize_ <= kLargestBufferSize) {
    scratch_.reset(new (std::nothrow) uint8_t[length]);
    if (scratch_) entries_ = FLArray::withEntrySize(length, count, true);
  }
  if (!entries_) {
    LogAssert(kNoStackMessage, __func__, __FILE__, __LINE__);
    return false;
  }
  std::memset(entries_->entryAtIndex(0), 0, length * entries_->count());
  return true;
}

void FLUndoManager::advanceTop() {
  ++currentEntry_;
  if (uint64_t(currentEntry_) < entries_->count()) return;
  // A full stack: the oldest step goes and every entry moves down by one, in place, so that
  // recording an accepted step needs no memory.
  const uint64_t length = entries_->entryLength();
  const uint64_t count = entries_->count();
  currentEntry_ = int32_t(count - 1);
  auto* first = static_cast<uint8_t*>(entries_->entryAtIndex(0));
  freeEntry(first, false);
  std::memmove(first, first + length, length * (count - 1));
  std::memset(first + length * (count - 1), 0, length);
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
    if (merged) {
      killRedo();
      // A merged step keeps the state from before its first recording, so it must not be
      // popped as if it were this recording alone.
      undoSet_ = false;
      okToGroup_ = true;
      inUseCount_ = uint32_t(currentEntry_ + 1);
      for (CommandMark& mark : commands_) mark.extended = true;
      return true;
    }
  }

  // A step that is not made leaves the history as it was (its redo steps and its oldest step
  // included): the room for it is made first, the delegate fills it aside, and only a step it
  // accepted takes its place on the stack, which then needs no memory.
  const uint64_t length = entries_->entryLength();
  if (capacity_ == 0 && uint64_t(currentEntry_) + 1 >= entries_->count()) {
    if (!entries_->insertEntry(nullptr, entries_->count())) {
      undoSet_ = false;
      endStepInProgress();
      return false;
    }
    std::memset(entries_->entryAtIndex(entries_->count() - 1), 0, length);
  }
  auto* step = reinterpret_cast<EntryHeader*>(scratch_.get());
  std::memset(step, 0, length);
  step->action = action;
  step->descriptor = descriptor;
  bool accepted = false;
  const uint64_t notes = FLReadingMeter::OutOfMemoryNotes();
  try {
    DelegateCall call(inDelegateCall_);
    accepted = delegate_->setUndoAction(action, descriptor, dataOf(step), context);
  } catch (...) {
    undoSet_ = false;
    endStepInProgress();
    throw;
  }
  if (!accepted) {
    undoSet_ = false;
    endStepInProgress();
    // A step refused for want of memory fails the command that asked for it, which says so.
    if (FLReadingMeter::OutOfMemoryNotes() != notes) throw std::bad_alloc();
    return false;
  }
  killRedo();
  advanceTop();
  top = entryAt(currentEntry_);
  std::memcpy(top, step, length);
  undoSet_ = true;
  okToGroup_ = true;
  inUseCount_ = uint32_t(currentEntry_ + 1);
  for (CommandMark& mark : commands_) ++mark.recorded;
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
  if (undoID != kFLNewUndoID && undoID == currentUndoID_) {
    for (CommandMark& mark : commands_) mark.extended = true;
    return true;
  }
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
  forgetTopStep();
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
  const int32_t entryBefore = currentEntry_;
  const bool groupBefore = okToGroup_;
  const bool setBefore = undoSet_;
  const uint32_t idBefore = currentUndoID_;
  const auto keepStep = [&] {
    currentEntry_ = entryBefore;
    okToGroup_ = groupBefore;
    undoSet_ = setBefore;
    currentUndoID_ = idBefore;
  };
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
  const uint64_t notes = FLReadingMeter::OutOfMemoryNotes();
  try {
    DelegateCall call(inDelegateCall_);
    done = delegate_->undoOrRedo(&entry->action, entry->descriptor, dataOf(entry), isRedo);
  } catch (...) {
    keepStep();
    throw;
  }
  // The delegate left its document as it was: the step is still there to replay.
  if (!done) {
    keepStep();
    if (FLReadingMeter::OutOfMemoryNotes() != notes) throw std::bad_alloc();
    return false;
  }
  // A command that replayed a step begins from the history it left.
  for (CommandMark& mark : commands_) markHistory(mark);
  return true;
}

void FLUndoManager::undo() { replay(false); }

void FLUndoManager::redo() { replay(true); }

void FLUndoManager::freeEntry(void* entry, bool freeAll) {
  if (!entry) return;
  auto* header = static_cast<EntryHeader*>(entry);
  // While a command runs, what it drops may have to come back.
  if (!commands_.empty() && !freeAll && deferFree(header)) {
    std::memset(entry, 0, entries_->entryLength());
    return;
  }
  freeNow(entry, freeAll);
}

void FLUndoManager::freeNow(void* entry, bool freeAll) {
  auto* header = static_cast<EntryHeader*>(entry);
  if (delegate_) delegate_->freeUndoAction(header->action, header->descriptor, dataOf(header), freeAll);
  header->action = 0;
  header->descriptor = 0;
}

bool FLUndoManager::deferFree(const EntryHeader* entry) {
  const uint64_t length = entries_->entryLength();
  const auto* bytes = reinterpret_cast<const uint8_t*>(entry);
  if (deferred_.capacity() - deferred_.size() < length) {
    try {
      deferred_.reserve(deferred_.size() * 2 + length * 8);
    } catch (const std::bad_alloc&) {
      // Freed now, the step cannot come back: the history a rollback gives back holds an empty
      // entry in its place, which replays nothing.
      for (CommandMark& mark : commands_)
        for (size_t at = 0; at + length <= mark.entries.size(); at += length)
          if (std::memcmp(mark.entries.data() + at, bytes, length) == 0) std::memset(mark.entries.data() + at, 0, length);
      return false;
    }
  }
  deferred_.insert(deferred_.end(), bytes, bytes + length);
  return true;
}

// ---- Commands ------------------------------------------------------------------------------------

void FLUndoManager::markHistory(CommandMark& mark) {
  if (entries_) {
    const auto* first = static_cast<const uint8_t*>(entries_->entryAtIndex(0));
    mark.entries.assign(first, first + entries_->count() * entries_->entryLength());
  } else {
    mark.entries.clear();
  }
  mark.inUseCount = inUseCount_;
  mark.currentEntry = currentEntry_;
  mark.currentUndoID = currentUndoID_;
  mark.okToGroup = okToGroup_;
  mark.undoSet = undoSet_;
  mark.recorded = 0;
  mark.extended = false;
}

void FLUndoManager::beginCommand() {
  CommandMark mark;
  markHistory(mark);
  mark.deferredAtBegin = deferred_.size();
  // Room for what the command may drop (every redo step, the oldest step, a few more), so that
  // dropping needs no memory.
  if (entries_) deferred_.reserve(deferred_.size() + (entries_->count() + 8) * entries_->entryLength());
  commands_.push_back(std::move(mark));
}

void FLUndoManager::endCommand() {
  if (commands_.empty()) return;
  commands_.pop_back();
  if (!commands_.empty() || !entries_) return;
  const uint64_t length = entries_->entryLength();
  for (size_t at = 0; at + length <= deferred_.size(); at += length) freeNow(deferred_.data() + at, false);
  deferred_.clear();
}

void FLUndoManager::revertTop(bool ownStep) {
  EntryHeader* top = entryAt(currentEntry_);
  if (!top) return;
  if (delegate_) {
    // Should the revert itself run short, it starts again: what the first attempt made is given
    // back by the second.
    for (int attempt = 0; attempt < 2; ++attempt) {
      try {
        DelegateCall call(inDelegateCall_);
        delegate_->revertUndoAction(top->action, top->descriptor, dataOf(top));
        break;
      } catch (const std::exception& exception) {
        LogException(exception, QLatin1String(kRevertFailedMessage));
      }
    }
  }
  if (ownStep)
    freeNow(top, false);
  else
    freeEntry(top, false);
  forgetTopStep();
}

void FLUndoManager::forgetTopStep() {
  inUseCount_ = uint32_t(currentEntry_);
  --currentEntry_;
  undoSet_ = false;
  endStepInProgress();
  // The top step is the newest of those the commands recorded.
  for (CommandMark& mark : commands_)
    if (mark.recorded > 0) --mark.recorded;
}

void FLUndoManager::rollBackCommand(bool stepInProgress) {
  if (commands_.empty()) return;
  {
    CommandMark& mark = commands_.back();
    // The command's own steps, newest first: no history holds them.
    while (mark.recorded > 0 && currentEntry_ >= 0) revertTop(true);
    if (entries_) {
      const uint64_t length = entries_->entryLength();
      auto* first = static_cast<uint8_t*>(entries_->entryAtIndex(0));
      const size_t all = entries_->count() * length;
      const size_t kept = std::min(all, mark.entries.size());
      if (kept > 0) std::memcpy(first, mark.entries.data(), kept);
      std::memset(first + kept, 0, all - kept);
      inUseCount_ = mark.inUseCount;
      currentEntry_ = mark.currentEntry;
      currentUndoID_ = mark.currentUndoID;
      okToGroup_ = mark.okToGroup;
      undoSet_ = mark.undoSet;
      // What the command dropped is back in place; what it dropped of its own goes now.
      for (size_t at = mark.deferredAtBegin; at + length <= deferred_.size(); at += length) {
        uint8_t* bytes = deferred_.data() + at;
        bool back = false;
        for (uint32_t i = 0; i < inUseCount_ && !back; ++i)
          back = std::memcmp(entryAt(i), bytes, length) == 0;
        if (!back) freeNow(bytes, false);
      }
      deferred_.resize(mark.deferredAtBegin);
    }
  }
  commands_.pop_back();
  if (stepInProgress) revertStepInProgress();
}

void FLUndoManager::revertStepInProgress() {
  if (!undoSet_ || currentEntry_ < 0) return;
  const int32_t index = currentEntry_;
  revertTop(false);
  // A command around this one found the step on top of the history: reverted, it must not come
  // back should that command be rolled back too.
  const uint64_t length = entries_ ? entries_->entryLength() : 0;
  for (CommandMark& mark : commands_) {
    if (mark.currentEntry != index) continue;
    const size_t at = size_t(index) * length;
    if (at + length <= mark.entries.size()) std::memset(mark.entries.data() + at, 0, length);
    mark.currentEntry = index - 1;
    mark.inUseCount = uint32_t(index);
    mark.currentUndoID = kFLNoUndoID;
    mark.undoSet = false;
  }
}

bool FLUndoManager::commandRecorded() const { return !commands_.empty() && commands_.back().recorded > 0; }

bool FLUndoManager::commandExtendedStep() const { return !commands_.empty() && commands_.back().extended; }

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
