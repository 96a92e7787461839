#include "framlet/shell/FLUndoManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <vector>

namespace {

// What the fake keeps in each 48-byte buffer: a heap payload (so that a missed or repeated free
// shows under the address sanitizer) and the step's number.
struct Record { int* payload; int32_t value; int32_t merges; };

struct Context { int32_t value; };

class FakeDelegate : public FLUndoDelegate {
 public:
  bool setUndoAction(uint32_t, uint32_t, void* data, const void* context) override {
    if (refuse) return false;
    if (reenter) reentryAnswer = reenter->setUndoAction(0, 1, nullptr);
    auto* record = static_cast<Record*>(data);
    record->value = context ? static_cast<const Context*>(context)->value : -1;
    record->payload = new int(record->value);
    record->merges = 0;
    return true;
  }
  bool undoOrRedo(uint32_t* action, uint32_t, void* data, bool isRedo) override {
    if (throwReplay) throw std::bad_alloc();
    replays.push_back({static_cast<Record*>(data)->value, isRedo, *action});
    if (reenter) reentryAnswer = reenter->setUndoAction(0, 1, nullptr);
    return !failReplay;
  }
  void revertUndoAction(uint32_t, uint32_t, void* data) override {
    reverted.push_back(static_cast<Record*>(data)->value);
  }
  QString undoActionName(uint32_t descriptor, const void*) override {
    return descriptor == 30 ? QStringLiteral("Typing") : QStringLiteral("Step %1").arg(descriptor);
  }
  bool coalesceUndoAction(uint32_t, uint32_t, void* data, const void*) override {
    ++coalesceAsked;
    if (!merge) return false;
    ++static_cast<Record*>(data)->merges;
    return true;
  }
  bool handlesUndoEnumeration() const override { return true; }
  void enumeratedUndoAction(uint32_t action, uint32_t, void* data, void* context) override {
    static_cast<std::vector<std::pair<uint32_t, int32_t>>*>(context)->push_back(
        {action, static_cast<Record*>(data)->value});
  }
  void freeUndoAction(uint32_t, uint32_t, void* data, bool) override {
    auto* record = static_cast<Record*>(data);
    if (record->payload) freed.push_back(record->value);
    delete record->payload;
    std::memset(record, 0, sizeof(Record));
  }
  void didPopUndoAction(uint32_t, uint32_t, void* data) override {
    popped.push_back(static_cast<Record*>(data)->value);
  }

  struct Replay {
    int32_t value;
    bool isRedo;
    uint32_t action;
    friend bool operator==(const Replay&, const Replay&) = default;
  };

  bool refuse = false, merge = false, failReplay = false, throwReplay = false;
  FLUndoManager* reenter = nullptr;
  bool reentryAnswer = true;
  int coalesceAsked = 0;
  std::vector<Replay> replays;
  std::vector<int32_t> freed, popped, reverted;
};

// The values of the undo steps, oldest first.
std::vector<int32_t> StepValues(FLUndoManager& stack) {
  std::vector<std::pair<uint32_t, int32_t>> visits;
  stack.enumerate(false, &visits);
  std::vector<int32_t> values;
  for (const auto& visit : visits) values.push_back(visit.second);
  return values;
}

class FLUndoManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    previous_ = FLUndoManager::setHooks({[this] { ++beeps; }, [this] { return modal; }, [this] { ++popoverCloses; }});
    Reset();
  }
  // A new stack and delegate, for the next row of a table.
  void Reset() {
    manager.reset();
    delegate = FakeDelegate();
    manager = std::make_unique<FLUndoManager>();
    manager->setDelegate(&delegate);
    manager->setBufferSize(48);
    manager->setCapacity(25);
  }
  void TearDown() override {
    manager.reset();
    FLUndoManager::setHooks(previous_);
  }

  bool Record(int32_t value, uint32_t action = 0, uint32_t descriptor = 30) {
    Context context{value};
    return manager->setUndoAction(action, descriptor, &context);
  }
  bool RecordID(uint32_t id, int32_t value, uint32_t descriptor = 30) {
    Context context{value};
    return manager->setUndoID(id, 0, descriptor, &context);
  }
  std::vector<int32_t> UndoValues() { return StepValues(*manager); }

  FakeDelegate delegate;
  std::unique_ptr<FLUndoManager> manager;
  int beeps = 0, popoverCloses = 0;
  bool modal = false;

 private:
  FLUndoManager::Hooks previous_;
};

TEST_F(FLUndoManagerTest, TwentySixthStepDropsTheFirst) {
  for (int32_t value = 1; value <= 26; ++value) ASSERT_TRUE(Record(value));
  EXPECT_EQ(delegate.freed, std::vector<int32_t>{1});
  ASSERT_EQ(UndoValues().size(), 25u);
  EXPECT_EQ(UndoValues().front(), 2);

  for (int i = 0; i < 25; ++i) manager->undo();
  EXPECT_EQ(delegate.replays.back().value, 2);
  EXPECT_EQ(beeps, 0);
  EXPECT_FALSE(manager->isUndoAvailable());
  manager->undo();
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(delegate.replays.size(), 25u);
}

TEST_F(FLUndoManagerTest, CoalescingMergesOnlyWhileGroupingIsAllowed) {
  enum Between { kNothing, kSuppress, kUndoOther, kOtherDescriptor };
  struct { const char* name; bool merge; Between between; std::vector<int32_t> steps; int asked; } cases[] = {
      {"delegate merges", true, kNothing, {1}, 1}, {"delegate declines", false, kNothing, {1, 2}, 1},
      {"after suppressCoalescing", true, kSuppress, {1, 2}, 0}, {"after an undo", true, kUndoOther, {1, 2}, 0},
      {"another descriptor on top", true, kOtherDescriptor, {1, 9, 2}, 0},
  };
  for (const auto& c : cases) {
    FakeDelegate fake;
    fake.merge = c.merge;
    FLUndoManager stack;
    stack.setDelegate(&fake);
    stack.setBufferSize(48);
    auto record = [&](int32_t value, uint32_t descriptor) {
      Context context{value};
      return stack.setUndoAction(0, descriptor, &context);
    };
    ASSERT_TRUE(record(1, 30));
    if (c.between == kSuppress) stack.suppressCoalescing();
    if (c.between == kUndoOther || c.between == kOtherDescriptor) {
      ASSERT_TRUE(record(9, 12));
    }
    if (c.between == kUndoOther) stack.undo();
    ASSERT_TRUE(record(2, 30));
    EXPECT_EQ(StepValues(stack), c.steps) << c.name;
    EXPECT_EQ(fake.coalesceAsked, c.asked) << c.name;
  }
}

TEST_F(FLUndoManagerTest, MergeDropsRedoStepsAndLeavesTheMergedStepUnpoppable) {
  delegate.merge = true;
  ASSERT_TRUE(Record(1));
  ASSERT_TRUE(Record(2, 0, 12));
  ASSERT_TRUE(Record(3, 0, 12));  // merged into 2
  EXPECT_EQ(UndoValues(), (std::vector<int32_t>{1, 2}));
  manager->popUndo();
  EXPECT_TRUE(delegate.popped.empty());
  EXPECT_EQ(manager->dataForCurrentUndoAction(nullptr, nullptr), nullptr);
  EXPECT_EQ(UndoValues(), (std::vector<int32_t>{1, 2}));
}

TEST_F(FLUndoManagerTest, RecordingAfterUndoFreesEveryRedoStep) {
  for (int32_t value = 1; value <= 4; ++value) ASSERT_TRUE(Record(value));
  manager->undo();
  manager->undo();
  EXPECT_TRUE(manager->isRedoAvailable());
  ASSERT_TRUE(Record(5));
  EXPECT_EQ(delegate.freed, (std::vector<int32_t>{3, 4}));
  EXPECT_FALSE(manager->isRedoAvailable());
  EXPECT_EQ(UndoValues(), (std::vector<int32_t>{1, 2, 5}));
}

TEST_F(FLUndoManagerTest, AnUndoneStepNoLongerAbsorbsItsIdentifier) {
  const uint32_t id = manager->newUndoID();
  ASSERT_TRUE(RecordID(id, 1));
  manager->undo();
  EXPECT_FALSE(manager->isUndoIDActive(id));
  // The change that follows gets its own step instead of vanishing into the undone one.
  ASSERT_TRUE(RecordID(id, 2));
  EXPECT_EQ(UndoValues(), std::vector<int32_t>{2});
}

// A step that is not made (refused, or its record short of memory) leaves the history as it was:
// the steps before it, the redo steps, and on a full stack the oldest step.
TEST_F(FLUndoManagerTest, ARefusedStepLeavesTheHistoryAsItWas) {
  for (const bool full : {false, true}) {
    SCOPED_TRACE(full ? "a full stack" : "a redo step");
    Reset();
    const int32_t steps = full ? 25 : 3;
    for (int32_t value = 1; value <= steps; ++value) ASSERT_TRUE(Record(value));
    if (!full) manager->undo();
    const std::vector<int32_t> before = UndoValues();
    const uint32_t id = manager->newUndoID();
    delegate.refuse = true;
    EXPECT_FALSE(RecordID(id, 100));
    EXPECT_EQ(UndoValues(), before);
    EXPECT_EQ(manager->isRedoAvailable(), !full);
    EXPECT_TRUE(delegate.popped.empty());
    EXPECT_TRUE(delegate.freed.empty());
    // A retry under the same identifier is recorded, not taken as already covered.
    delegate.refuse = false;
    EXPECT_TRUE(RecordID(id, 101));
    EXPECT_EQ(UndoValues().back(), 101);
    EXPECT_EQ(delegate.freed, std::vector<int32_t>{full ? 1 : 3});
    delegate.freed.clear();
  }
}

// A replay the delegate could not make (false, or out of memory) leaves the step to be replayed.
TEST_F(FLUndoManagerTest, AFailedReplayLeavesTheStepToReplay) {
  for (const bool throws : {false, true}) {
    SCOPED_TRACE(throws ? "out of memory" : "refused");
    Reset();
    ASSERT_TRUE(Record(1));
    ASSERT_TRUE(Record(2));
    ASSERT_TRUE(Record(3, 0, 12));
    manager->undo();
    delegate.failReplay = !throws;
    delegate.throwReplay = throws;
    if (throws)
      EXPECT_THROW(manager->undo(), std::bad_alloc);
    else
      manager->undo();
    QString title;
    EXPECT_TRUE(manager->validateState(true, &title));
    EXPECT_EQ(title, QStringLiteral("Undo Typing"));
    EXPECT_TRUE(manager->validateState(false, &title));
    EXPECT_EQ(title, QStringLiteral("Redo Step 12"));
    EXPECT_TRUE(delegate.freed.empty());
    delegate.failReplay = delegate.throwReplay = false;
    manager->undo();
    EXPECT_EQ(delegate.replays.back().value, 2);
  }
}

// What a command does to the history is kept until it ends: one that fails reverts the steps it
// recorded (newest first) and gets back the steps it dropped; one that completes lets them go.
TEST_F(FLUndoManagerTest, ACommandThatFailsGivesTheHistoryBack) {
  const uint32_t progress = 500;
  const struct {
    const char* name;
    int32_t steps;  // recorded before the command (25: a full stack)
    bool undoOne;   // the last of them undone: a redo step
    bool inProgress;
    std::function<void()> command;
    bool fails;
    std::vector<int32_t> reverted, freed, after;  // after: the undo steps, then the redo steps
  } cases[] = {
      {"a step, failing", 3, true, false, [this] { Record(9); }, true, {9}, {9}, {1, 2, 3}},
      {"a step, completing", 3, true, false, [this] { Record(9); }, false, {}, {3}, {1, 2, 9}},
      {"two steps, failing", 3, false, false, [this] { Record(9); Record(10); }, true,
       {10, 9}, {10, 9}, {1, 2, 3}},
      {"a full stack, failing", 25, false, false, [this] { Record(26); }, true, {26}, {26},
       {}},
      {"a full stack, completing", 25, false, false, [this] { Record(26); }, false, {}, {1},
       {}},
      {"a step popped, failing", 3, true, false, [this] { Record(9); manager->popUndo(); },
       true, {}, {9}, {1, 2, 3}},
      {"the stack cleared, failing", 3, true, false, [this] { manager->clearUndo(); }, true,
       {}, {}, {1, 2, 3}},
      {"an inner command's step, failing", 3, true, false,
       [this] {
         manager->beginCommand();
         Record(9);
         manager->endCommand();
         Record(10);
       },
       true, {10, 9}, {10, 9}, {1, 2, 3}},
      {"the step in progress, failing", 3, false, true,
       [this, progress] { RecordID(progress, 11); }, true, {3}, {3}, {1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    for (int32_t value = 1; value <= c.steps; ++value) {
      if (c.inProgress && value == c.steps)
        ASSERT_TRUE(RecordID(progress, value));
      else
        ASSERT_TRUE(Record(value));
    }
    if (c.undoOne) manager->undo();
    manager->beginCommand();
    c.command();
    if (c.fails) {
      manager->rollBackCommand(c.inProgress && !manager->commandRecorded() && manager->commandExtendedStep());
    } else {
      manager->endCommand();
    }
    EXPECT_EQ(delegate.reverted, c.reverted);
    EXPECT_EQ(delegate.freed, c.freed);
    if (c.steps == 25) {
      ASSERT_EQ(UndoValues().size(), 25u);
      EXPECT_EQ(UndoValues().front(), c.fails ? 1 : 2);
      EXPECT_EQ(UndoValues().back(), c.fails ? 25 : 26);
    } else {
      EXPECT_EQ(UndoValues(), c.after);
      EXPECT_EQ(manager->isRedoAvailable(), c.fails && c.undoOne);
    }
    // Every step is freed once when the stack goes.
    manager.reset();
    std::vector<int32_t> all = delegate.freed;
    std::sort(all.begin(), all.end());
    EXPECT_TRUE(std::adjacent_find(all.begin(), all.end()) == all.end());
  }
}

TEST_F(FLUndoManagerTest, PopUndoDropsOnlyTheStepJustRecorded) {
  ASSERT_TRUE(Record(1));
  ASSERT_TRUE(Record(2));
  manager->popUndo();
  EXPECT_EQ(delegate.popped, std::vector<int32_t>{2});
  EXPECT_EQ(delegate.freed, std::vector<int32_t>{2});
  EXPECT_EQ(manager->inUseCount(), 1u);
  EXPECT_FALSE(manager->isRedoAvailable());
  // Nothing was recorded since: a second pop leaves step 1 alone.
  manager->popUndo();
  EXPECT_EQ(UndoValues(), std::vector<int32_t>{1});
  ASSERT_TRUE(Record(3));
  manager->undo();
  manager->popUndo();
  EXPECT_EQ(delegate.popped, std::vector<int32_t>{2});
  EXPECT_TRUE(manager->isRedoAvailable());
}

TEST_F(FLUndoManagerTest, RecordingFromInsideADelegateCallIsRefused) {
  LogCapture capture;
  delegate.reenter = manager.get();
  ASSERT_TRUE(Record(1));
  EXPECT_FALSE(delegate.reentryAnswer);
  delegate.reentryAnswer = true;
  manager->undo();
  EXPECT_FALSE(delegate.reentryAnswer);
  delegate.reenter = nullptr;
  EXPECT_EQ(UndoValues(), std::vector<int32_t>{1});
  EXPECT_EQ(capture.assertMessages().size(), 2);
}

}  // namespace
