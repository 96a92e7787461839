#include "framlet/shell/FLUndoManager.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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
    replays.push_back({static_cast<Record*>(data)->value, isRedo, *action});
    if (reenter) reentryAnswer = reenter->setUndoAction(0, 1, nullptr);
    return !failReplay;
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

  bool refuse = false, merge = false, failReplay = false;
  FLUndoManager* reenter = nullptr;
  bool reentryAnswer = true;
  int coalesceAsked = 0;
  std::vector<Replay> replays;
  std::vector<int32_t> freed, popped;
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

TEST_F(FLUndoManagerTest, RefusedStepEmptiesTheStackWithoutAPop) {
  ASSERT_TRUE(Record(1));
  ASSERT_TRUE(Record(2));
  const uint32_t id = manager->newUndoID();
  delegate.refuse = true;
  EXPECT_FALSE(RecordID(id, 3));
  EXPECT_FALSE(manager->isUndoAvailable());
  EXPECT_FALSE(manager->isRedoAvailable());
  EXPECT_TRUE(delegate.popped.empty());
  EXPECT_EQ(delegate.freed, (std::vector<int32_t>{1, 2}));
  // A retry under the same identifier is recorded, not taken as already covered.
  delegate.refuse = false;
  EXPECT_TRUE(RecordID(id, 4));
  EXPECT_EQ(UndoValues(), std::vector<int32_t>{4});
}

TEST_F(FLUndoManagerTest, FailedReplayEmptiesTheStack) {
  ASSERT_TRUE(Record(1));
  ASSERT_TRUE(Record(2));
  ASSERT_TRUE(Record(3));
  manager->undo();
  delegate.failReplay = true;
  manager->undo();
  QString title;
  EXPECT_FALSE(manager->validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo"));
  EXPECT_FALSE(manager->validateState(false, &title));
  EXPECT_EQ(title, QStringLiteral("Redo"));
  EXPECT_EQ(delegate.freed, (std::vector<int32_t>{1, 2, 3}));
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
