#include "framlet/shell/FLUndoManager.h"
#include "support/LogCapture.h"

#include <QAction>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

namespace {

// What the fake keeps in each 48-byte buffer: a heap payload (so that a missed or repeated free
// shows under the address sanitizer) and the step's number.
struct Record {
  int* payload;
  int32_t value;
  int32_t merges;
};

struct Context {
  int32_t value;
};

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
    if (rewriteAction) *action = rewriteAction;
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
  bool handlesUndoEnumeration() const override { return enumerates; }
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

  bool refuse = false;
  bool merge = false;
  bool failReplay = false;
  bool enumerates = true;
  uint32_t rewriteAction = 0;
  FLUndoManager* reenter = nullptr;
  bool reentryAnswer = true;
  int coalesceAsked = 0;
  std::vector<Replay> replays;
  std::vector<int32_t> freed;
  std::vector<int32_t> popped;
};

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
  std::vector<int32_t> UndoValues() {
    std::vector<std::pair<uint32_t, int32_t>> visits;
    manager->enumerate(false, &visits);
    std::vector<int32_t> values;
    for (const auto& visit : visits) values.push_back(visit.second);
    return values;
  }

  FakeDelegate delegate;
  std::unique_ptr<FLUndoManager> manager;
  int beeps = 0;
  int popoverCloses = 0;
  bool modal = false;

 private:
  FLUndoManager::Hooks previous_;
};

TEST_F(FLUndoManagerTest, TwentySixthStepDropsTheFirst) {
  for (int32_t value = 1; value <= 26; ++value) ASSERT_TRUE(Record(value));
  EXPECT_EQ(manager->entryCount(), 25u);
  EXPECT_EQ(manager->inUseCount(), 25u);
  EXPECT_EQ(delegate.freed, std::vector<int32_t>{1});
  std::vector<int32_t> expected;
  for (int32_t value = 2; value <= 26; ++value) expected.push_back(value);
  EXPECT_EQ(UndoValues(), expected);

  for (int i = 0; i < 25; ++i) manager->undo();
  EXPECT_EQ(delegate.replays.size(), 25u);
  EXPECT_EQ(delegate.replays.front().value, 26);
  EXPECT_EQ(delegate.replays.back().value, 2);
  EXPECT_EQ(beeps, 0);
  EXPECT_FALSE(manager->isUndoAvailable());
  manager->undo();
  EXPECT_EQ(beeps, 1);
  EXPECT_EQ(delegate.replays.size(), 25u);
}

TEST_F(FLUndoManagerTest, RotationKeepsOrderOverManyWraps) {
  for (int32_t value = 1; value <= 80; ++value) ASSERT_TRUE(Record(value));
  std::vector<int32_t> expected;
  for (int32_t value = 56; value <= 80; ++value) expected.push_back(value);
  EXPECT_EQ(UndoValues(), expected);
  EXPECT_EQ(delegate.freed.size(), 55u);
}

TEST_F(FLUndoManagerTest, UnlimitedStackGrowsPastItsFirstAllocation) {
  FLUndoManager unlimited;
  unlimited.setDelegate(&delegate);
  unlimited.setBufferSize(48);
  for (int32_t value = 1; value <= 60; ++value) {
    Context context{value};
    ASSERT_TRUE(unlimited.setUndoAction(0, value, &context));
  }
  EXPECT_EQ(unlimited.inUseCount(), 60u);
  EXPECT_GE(unlimited.entryCount(), 60u);
  EXPECT_TRUE(delegate.freed.empty());
  unlimited.undo();
  EXPECT_EQ(delegate.replays.back().value, 60);
}

TEST_F(FLUndoManagerTest, CoalescingMergesOnlyWhileGroupingIsAllowed) {
  enum Between { kNothing, kSuppress, kUndoOther, kOtherDescriptor };
  struct {
    const char* name;
    bool merge;
    Between between;
    std::vector<int32_t> steps;
    int asked;
  } cases[] = {
      {"delegate merges", true, kNothing, {1}, 1},
      {"delegate declines", false, kNothing, {1, 2}, 1},
      {"after suppressCoalescing", true, kSuppress, {1, 2}, 0},
      {"after an undo", true, kUndoOther, {1, 2}, 0},
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
    if (c.between == kUndoOther) {
      ASSERT_TRUE(record(9, 12));
      stack.undo();
    }
    if (c.between == kOtherDescriptor) {
      ASSERT_TRUE(record(9, 12));
    }
    ASSERT_TRUE(record(2, 30));
    std::vector<std::pair<uint32_t, int32_t>> visits;
    stack.enumerate(false, &visits);
    std::vector<int32_t> steps;
    for (const auto& visit : visits) steps.push_back(visit.second);
    EXPECT_EQ(steps, c.steps) << c.name;
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

TEST_F(FLUndoManagerTest, UndoAndRedoReplayThroughTheDelegate) {
  ASSERT_TRUE(Record(1, 3));
  ASSERT_TRUE(Record(2, 4));
  delegate.rewriteAction = 7;
  manager->undo();
  delegate.rewriteAction = 0;
  manager->redo();
  manager->redo();
  EXPECT_EQ(beeps, 1);
  manager->undo();
  manager->undo();
  using R = FakeDelegate::Replay;
  // The delegate may rewrite the action through its address; the entry keeps the new one.
  EXPECT_EQ(delegate.replays,
            (std::vector<R>{{2, false, 4}, {2, true, 7}, {2, false, 7}, {1, false, 3}}));
}

TEST_F(FLUndoManagerTest, UndoIdentifiersGroupRecordings) {
  EXPECT_EQ(manager->currentUndoID(), 0xFFFFFFFEu);
  EXPECT_EQ(manager->newUndoID(), 1u);
  EXPECT_EQ(manager->newUndoID(), 2u);
  const uint32_t id = manager->newUndoID();
  ASSERT_TRUE(RecordID(id, 1));
  ASSERT_TRUE(RecordID(id, 2));
  ASSERT_TRUE(RecordID(id, 3));
  EXPECT_EQ(UndoValues(), std::vector<int32_t>{1});
  EXPECT_TRUE(manager->isUndoIDActive(id));

  ASSERT_TRUE(RecordID(kFLNewUndoID, 4));
  const uint32_t drawn = manager->currentUndoID();
  EXPECT_EQ(drawn, 4u);
  ASSERT_TRUE(RecordID(kFLNewUndoID, 5));
  EXPECT_EQ(manager->currentUndoID(), 5u);
  EXPECT_FALSE(manager->isUndoIDActive(drawn));
  EXPECT_EQ(UndoValues(), (std::vector<int32_t>{1, 4, 5}));

  ASSERT_TRUE(manager->setNewUndoAction(0, 30));
  EXPECT_EQ(manager->currentUndoID(), 6u);
  EXPECT_EQ(UndoValues().size(), 4u);
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

TEST_F(FLUndoManagerTest, MenuTitlesAndStates) {
  QString title;
  EXPECT_FALSE(manager->validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo"));
  EXPECT_FALSE(manager->validateState(false, &title));
  EXPECT_EQ(title, QStringLiteral("Redo"));

  ASSERT_TRUE(Record(1, 0, 12));
  ASSERT_TRUE(Record(2, 0, 30));
  EXPECT_TRUE(manager->validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Typing"));
  manager->undo();
  EXPECT_TRUE(manager->validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Step 12"));
  EXPECT_TRUE(manager->validateState(false, &title));
  EXPECT_EQ(title, QStringLiteral("Redo Typing"));

  modal = true;
  EXPECT_FALSE(manager->validateState(true, &title));
  EXPECT_EQ(title, QStringLiteral("Undo Step 12"));

  modal = false;
  QAction undoItem;
  undoItem.setObjectName(QLatin1String(kFLUndoEditAction));
  QAction redoItem;
  redoItem.setObjectName(QLatin1String(kFLRedoEditAction));
  EXPECT_TRUE(manager->validateMenuItem(&undoItem));
  EXPECT_EQ(undoItem.text(), QStringLiteral("Undo Step 12"));
  EXPECT_TRUE(manager->validateMenuItem(&redoItem));
  EXPECT_EQ(redoItem.text(), QStringLiteral("Redo Typing"));
  EXPECT_EQ(popoverCloses, 2);
}

TEST_F(FLUndoManagerTest, PopUndoDropsOnlyTheStepJustRecorded) {
  {
    LogCapture capture;
    manager->popUndo();
    EXPECT_EQ(capture.assertMessages(), QStringList{QStringLiteral("Undo not setup")});
  }
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

TEST_F(FLUndoManagerTest, TopStepCanBeReadAndRelabelled) {
  uint32_t action = 99, descriptor = 99;
  EXPECT_EQ(manager->dataForCurrentUndoAction(&action, &descriptor), nullptr);
  ASSERT_TRUE(Record(1, 2, 3));
  EXPECT_EQ(manager->dataForPreviousUndoAction(&action, &descriptor), nullptr);
  ASSERT_TRUE(Record(2, 4, 5));
  manager->updateCurrentAction(6);
  manager->updateCurrentDescriptor(7);
  auto* top = static_cast<::Record*>(manager->dataForCurrentUndoAction(&action, &descriptor));
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->value, 2);
  EXPECT_EQ(action, 6u);
  EXPECT_EQ(descriptor, 7u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(top) % alignof(void*), 0u);
  auto* below = static_cast<::Record*>(manager->dataForPreviousUndoAction(&action, &descriptor));
  ASSERT_NE(below, nullptr);
  EXPECT_EQ(below->value, 1);
  EXPECT_EQ(action, 2u);
  EXPECT_EQ(descriptor, 3u);
  manager->undo();
  manager->updateCurrentAction(1);
  EXPECT_EQ(manager->dataForCurrentUndoAction(nullptr, nullptr), nullptr);
  manager->redo();
  EXPECT_EQ(delegate.replays.back().action, 6u);
}

TEST_F(FLUndoManagerTest, EnumerationVisitsStepsOrEveryEntry) {
  ASSERT_TRUE(Record(1, 1));
  ASSERT_TRUE(Record(2, 2));
  ASSERT_TRUE(Record(3, 3));
  manager->undo();
  std::vector<std::pair<uint32_t, int32_t>> steps;
  manager->enumerate(false, &steps);
  EXPECT_EQ(steps, (std::vector<std::pair<uint32_t, int32_t>>{{1, 1}, {2, 2}, {3, 3}}));
  std::vector<std::pair<uint32_t, int32_t>> all;
  manager->enumerate(true, &all);
  ASSERT_EQ(all.size(), 25u);
  EXPECT_EQ(all[3], (std::pair<uint32_t, int32_t>{0, 0}));

  LogCapture capture;
  delegate.enumerates = false;
  manager->enumerate(true, &all);
  FLUndoManager bare;
  bare.setDelegate(&delegate);
  delegate.enumerates = true;
  bare.enumerate(true, &all);
  EXPECT_EQ(capture.assertMessages(),
            (QStringList{QStringLiteral("Delegate must handle enumeration"), QStringLiteral("Undo not setup")}));
}

TEST_F(FLUndoManagerTest, RecordingNeedsADelegateAndABufferSize) {
  LogCapture capture;
  FLUndoManager noDelegate;
  noDelegate.setBufferSize(48);
  EXPECT_FALSE(noDelegate.setUndoAction(0, 1, nullptr));
  FLUndoManager noBuffer;
  noBuffer.setDelegate(&delegate);
  EXPECT_FALSE(noBuffer.setUndoAction(0, 1, nullptr));
  FLUndoManager hugeBuffer;
  hugeBuffer.setDelegate(&delegate);
  hugeBuffer.setBufferSize(UINT64_MAX);
  EXPECT_FALSE(hugeBuffer.setUndoAction(0, 1, nullptr));
  EXPECT_EQ(capture.assertMessages(),
            (QStringList{QStringLiteral("Delegate and buffer size are required"),
                         QStringLiteral("Delegate and buffer size are required"),
                         QStringLiteral("Can't allocate stack")}));
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

TEST_F(FLUndoManagerTest, DestructionFreesEveryLiveBuffer) {
  ASSERT_TRUE(Record(1));
  ASSERT_TRUE(Record(2));
  manager->undo();
  manager.reset();
  EXPECT_EQ(delegate.freed, (std::vector<int32_t>{1, 2}));
}

}  // namespace
