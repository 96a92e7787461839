#include "framlet/shell/FLWindowTabManager.h"

#include "ShellTestSupport.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "platform/UserDefaults.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <optional>

namespace {

class WindowTabTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.reset();
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kWindowTabsKey));
    FLWindowTabManager::Environment environment;
    environment.documentPath = [this](QWidget* window) { return paths.value(window); };
    environment.windowForFile = [this](const QString& path) -> QWidget* {
      for (auto it = paths.begin(); it != paths.end(); ++it) {
        if (it.value() == path) return it.key();
      }
      return nullptr;
    };
    environment.orderedWindows = [this] { return order; };
    environment.altHeld = [this] { return alt; };
    environment.orderFront = [this](QWidget* window) { fronted.append(window); };
    manager.setEnvironment(std::move(environment));
  }
  void TearDown() override {
    manager.reset();
    UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kWindowTabsKey));
  }
  QWidget* makeWindow(const QString& path, const QRect& frame = QRect(100, 100, 400, 300)) {
    windows.push_back(std::make_unique<QWidget>());
    QWidget* window = windows.back().get();
    window->setGeometry(frame);
    paths.insert(window, path);
    return window;
  }
  // Opens a document as the delegate does: its stored group decides its tabs and frame.
  QWidget* reopen(const QString& path) {
    QString identifier;
    const std::optional<QVariantMap> record = manager.tabDictForFile(path, &identifier);
    QWidget* window = makeWindow(path);
    manager.setTabIdentifier(identifier, window);
    order.prepend(window);
    if (record) manager.assignWindow(window, path, identifier);
    return window;
  }

  FLWindowTabManager& manager = FLWindowTabManager::sharedInstance();
  std::vector<std::unique_ptr<QWidget>> windows;
  QHash<QWidget*, QString> paths;
  QList<QWidget*> order, fronted;
  bool alt = false;
};

TEST_F(WindowTabTest, AGroupOfThreeReopensInOrderWithItsSelectedTabInFront) {
  manager.setTabOverride(2);
  const QRect frame(40, 60, 500, 320);
  QWidget* a = makeWindow(QStringLiteral("/d/a.Numlet"), frame);
  QWidget* b = makeWindow(QStringLiteral("/d/b.Numlet"), frame);
  QWidget* c = makeWindow(QStringLiteral("/d/c.Numlet"), frame);
  QWidget* alone = makeWindow(QStringLiteral("/d/alone.Numlet"), QRect(10, 20, 300, 200));
  manager.setTabIdentifier(QString(), a);
  manager.setTabIdentifier(QString(), alone);
  manager.addTabbedWindow(a, b, true);
  manager.addTabbedWindow(b, c, true);
  order = {b, alone, a, c};  // the middle tab is the selected one

  manager.prepareToSaveState();
  for (QWidget* window : {c, a, alone, b}) manager.registerWindowTab(window, paths.value(window));
  manager.saveStateToPrefs();
  ASSERT_EQ(manager.windowTabDicts()->size(), 2);

  // The next run: the windows reopen back to front, in an order unlike the tabs'.
  windows.clear();
  paths.clear();
  order.clear();
  manager.loadWindowTabDicts();
  QWidget* c2 = reopen(QStringLiteral("/d/c.Numlet"));
  QWidget* a2 = reopen(QStringLiteral("/d/a.Numlet"));
  QWidget* alone2 = reopen(QStringLiteral("/d/alone.Numlet"));
  QWidget* b2 = reopen(QStringLiteral("/d/b.Numlet"));
  EXPECT_EQ(manager.tabbedWindows(b2), (QList<QWidget*>{a2, b2, c2}));
  EXPECT_TRUE(manager.tabbedWindows(alone2).isEmpty());
  // The tabs share a window of the old size; the stored frame left out the tab strip.
  ASSERT_NE(FLWindowTabContainer::containerOf(b2), nullptr);
  EXPECT_EQ(FLWindowTabContainer::containerOf(b2)->geometry(), frame);
  EXPECT_EQ(alone2->geometry(), QRect(10, 20, 300, 200));
  manager.restoreFrontmostTabbedWindows();
  ASSERT_TRUE(WaitPastDelay(kRestoreFrontDelayMilliseconds));
  EXPECT_EQ(fronted.size(), 2);
  EXPECT_TRUE(fronted.contains(b2));
  EXPECT_TRUE(fronted.contains(alone2));
}

TEST_F(WindowTabTest, WhetherANewWindowJoinsTheMainWindowsTabs) {
  const struct { int tabOverride; FLTabbingPreference preference; bool alt; bool joins; } cases[] = {
      {2, FLTabbingPreference::Manual, false, true},   {2, FLTabbingPreference::Manual, true, false},
      {1, FLTabbingPreference::Always, false, false},  {1, FLTabbingPreference::Always, true, true},
      {0, FLTabbingPreference::Always, false, true},   {0, FLTabbingPreference::Always, true, false},
      {0, FLTabbingPreference::Manual, false, false},  {0, FLTabbingPreference::Manual, true, true},
      {0, FLTabbingPreference::InFullScreen, false, false},
  };
  QWidget* main = makeWindow(QStringLiteral("/d/main.Numlet"));
  manager.setTabIdentifier(QString(), main);
  order = {main};
  for (const auto& c : cases) {
    manager.setTabOverride(c.tabOverride);
    manager.setTabbingPreference(c.preference);
    alt = c.alt;
    bool join = !c.joins;
    EXPECT_EQ(manager.mainWindowTabIdentifier(&join), manager.tabbingIdentifier(main));
    EXPECT_EQ(join, c.joins) << c.tabOverride << " " << int(c.preference) << " " << c.alt;
  }
  manager.setDisableMerge(true);
  manager.setTabOverride(2);
  alt = false;
  bool join = true;
  EXPECT_TRUE(manager.mainWindowTabIdentifier(&join).isEmpty());
  EXPECT_FALSE(join);
}

// With no choice of the application's own, the user's habit decides; without a stored habit
// the groups of the last run come back (tabs in full screen, the desktop's default).
TEST_F(WindowTabTest, TheUsersTabbingHabitIsReadAndByDefaultGroupsComeBack) {
  const struct { const char* stored; FLTabbingPreference preference; bool regrouped; } cases[] = {
      {nullptr, FLTabbingPreference::InFullScreen, true},
      {"fullscreen", FLTabbingPreference::InFullScreen, true},
      {"always", FLTabbingPreference::Always, true},
      {"manual", FLTabbingPreference::Manual, false},
      {"sometimes", FLTabbingPreference::InFullScreen, true},
  };
  UserDefaults& shared = UserDefaults::sharedDefaults();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "none");
    if (c.stored) {
      shared.setObject(QString::fromLatin1(c.stored), QLatin1String(kTabbingModeKey));
    } else {
      shared.removeObjectForKey(QLatin1String(kTabbingModeKey));
    }
    UserDefaults::standardUserDefaults().setObject(
        QVariantList{QVariantMap{{QLatin1String(kTabRecordPaths), QStringList{"/d/a.Numlet", "/d/b.Numlet"}},
                                 {QLatin1String(kTabRecordTab), QStringLiteral("old")}}},
        QLatin1String(kWindowTabsKey));
    manager.setTabbingPreference(FLTabbingPreference::Manual);
    manager.loadTabbingPreference();
    EXPECT_EQ(manager.tabbingPreference(), c.preference);
    manager.loadWindowTabDicts();
    // Reopened in the other order: only a habit that allows tabs puts the old order back.
    QWidget* b = reopen(QStringLiteral("/d/b.Numlet"));
    QWidget* a = reopen(QStringLiteral("/d/a.Numlet"));
    EXPECT_EQ(manager.tabbedWindows(b), c.regrouped ? (QList<QWidget*>{a, b}) : (QList<QWidget*>{b, a}));
    windows.clear();
    paths.clear();
    order.clear();
  }
  shared.removeObjectForKey(QLatin1String(kTabbingModeKey));
}

TEST_F(WindowTabTest, QuittingWithoutDocumentWindowsRemovesTheStoredGroups) {
  UserDefaults::standardUserDefaults().setObject(QVariantList{QVariantMap{{"paths", QStringList{"/x"}}}},
                                                 QLatin1String(kWindowTabsKey));
  manager.prepareToSaveState();
  manager.saveStateToPrefs();
  EXPECT_FALSE(UserDefaults::standardUserDefaults().objectForKey(QLatin1String(kWindowTabsKey)).isValid());
}

// A settings file edited by hand: whatever its frame holds, a group reopens within the reach of
// a window system's coordinates (16777216 either way), or at no stored frame at all.
TEST_F(WindowTabTest, AStoredFrameOfAnySizeIsBroughtWithinReachOrLeftOut) {
  constexpr int kFar = 16777216;
  const struct {
    const char* what;
    QVariant frame;
    std::optional<QRect> expected;
  } cases[] = {
      {"an ordinary frame", QVariantList{10, 20, 300, 200}, QRect(10, 20, 300, 200)},
      {"the tallest int", QVariantList{0, 0, 800, INT_MAX}, QRect(0, 0, 800, kFar)},
      {"the widest int", QVariantList{0, 0, INT_MAX, 600}, QRect(0, 0, kFar, 600)},
      {"every number the greatest int", QVariantList{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, QRect(0, 0, kFar, kFar)},
      {"at the least corner", QVariantList{INT_MIN, INT_MIN, 800, 600}, QRect(-kFar, -kFar, 800, 600)},
      {"beyond any int", QVariantList{-1e300, 1e300, 1e300, 1e300}, QRect(-kFar, 0, kFar, kFar)},
      {"fractions", QVariantList{10.6, 20.4, 300, 200}, QRect(11, 20, 300, 200)},
      {"numbers as text", QVariantList{"10", "20", "300", "200"}, QRect(10, 20, 300, 200)},
      {"a word among the numbers", QVariantList{"10", "x", "300", "200"}, std::nullopt},
      {"three numbers", QVariantList{10, 20, 300}, std::nullopt},
      {"no size", QVariantList{10, 20, 0, 0}, std::nullopt},
      {"a text", QStringLiteral("{{10, 20}, {300, 200}}"), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    manager.reset();
    const QString first = QStringLiteral("/d/first.csv"), second = QStringLiteral("/d/second.csv");
    UserDefaults::standardUserDefaults().setObject(
        QVariantList{QVariantMap{{kTabRecordPaths, QStringList{first, second}},
                                 {kTabRecordActive, first},
                                 {kTabRecordFrame, c.frame}}},
        QLatin1String(kWindowTabsKey));
    manager.loadWindowTabDicts();
    EXPECT_EQ(manager.storedFrameForFile(first), c.expected);
    EXPECT_EQ(manager.storedFrameForFile(QStringLiteral("/d/elsewhere.csv")), std::nullopt);
    // Two tabs: the window takes the tab bar's height beside the frame.
    manager.setTabOverride(2);
    QWidget* window = reopen(first);
    if (c.expected) {
      const QSize size = QSize(c.expected->width(), c.expected->height() + kTabBarHeight)
                             .boundedTo(QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
      EXPECT_EQ(window->geometry(), QRect(c.expected->topLeft(), size));
    }
    windows.clear();
    paths.clear();
    order.clear();
  }
}

TEST(WindowTabQuit, ADirtyWindowSavedOrDiscardedAtQuitKeepsItsPlace) {
  FLWindowTabManager& manager = FLWindowTabManager::sharedInstance();
  manager.reset();
  QTemporaryDir folder;
  auto delegate = std::make_unique<TestDelegate>();
  delegate->launch();
  QStringList opened;
  for (const char* name : {"clean.txt", "dirty.txt"}) {
    const QString path = folder.filePath(QLatin1String(name));
    WriteFileBytes(path);
    ASSERT_TRUE(delegate->applicationOpenFile(path));
    manager.setTabIdentifier(QString(), delegate->windowForFile(path));
    opened.append(path);
  }
  delegate->controllerFor(opened[1])->document()->setDirty(true);
  delegate->terminate();
  ASSERT_TRUE(AnswerSaveAlert(delegate->controllerFor(opened[1]), QStringLiteral("Don't Save")));
  SettleEvents();
  EXPECT_EQ(delegate->quits, 1);
  QStringList stored;
  for (const QVariant& record : UserDefaults::standardUserDefaults().objectForKey(QLatin1String(kWindowTabsKey)).toList())
    stored += record.toMap().value(QLatin1String(kTabRecordPaths)).toStringList();
  stored.sort();
  EXPECT_EQ(stored, opened);
  delegate.reset();
  SettleEvents();
  manager.reset();
  UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(kWindowTabsKey));
}

}  // namespace
