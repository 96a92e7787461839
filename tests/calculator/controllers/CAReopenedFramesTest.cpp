// Documents reopened at launch come back in the frames their tab groups stored at the last quit:
// a document alone in its window at its own frame, whatever its kind, and a stored frame of any
// size, however damaged the settings file, opens without passing the range of a coordinate.
#include "AppControllerTestSupport.h"
#include "FramedDisplayTestSupport.h"

#include "calculator/controllers/CACalculatorBase.h"
#include "calculator/controllers/CACalculatorConverter.h"
#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocument.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QMainWindow>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

class ReopenedFramesTest : public ::testing::Test {
 protected:
  ReopenedFramesTest() {
    clearStoredState();
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  }
  ~ReopenedFramesTest() override {
    app.reset();
    FLWindowTabManager::sharedInstance().reset();
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() || dynamic_cast<CACalculatorBase*>(window) || dynamic_cast<CACalculatorConverter*>(window))
        window->close();
    FLAlert::sharedInstance().setModalRunner({});
    clearStoredState();
  }
  static void clearStoredState() {
    for (const char* key :
         {kOpenFilesKey, kCalculatorMaskKey, kTabOverrideKey, kWindowTabsKey, kUntitledPositionKey, kMaximizeKey})
      defaults().removeObjectForKey(QLatin1String(key));
  }
  static UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

  void launch() {
    app = std::make_unique<TestAppController>(defaults());
    app->applicationWillFinishLaunching();
    app->applicationDidFinishLaunching();
  }
  // Opens the documents (the last one in front, as tabs of one window when `tabs`) and quits;
  // new windows take the size the option says from then on.
  void openAndQuit(const QStringList& paths, bool tabs, int64_t newSizeOption = 0) {
    launch();
    app->prefController()->setValue(CAIntPreference::newSizeOption, newSizeOption);
    app->prefController()->setValue(CAIntPreference::tabOverride, tabs ? 2 : 1);
    FLWindowTabManager::sharedInstance().setTabOverride(tabs ? 2 : 1);
    for (const QString& path : paths) ASSERT_TRUE(app->applicationOpenFile(path)) << path.toStdString();
    for (const QString& path : paths) ASSERT_NE(app->windowForFile(path), nullptr) << path.toStdString();
    app->terminate();
    ASSERT_TRUE(QTest::qWaitFor([this] { return app->quits == 1; }, 10000));
    app.reset();
  }
  // The stored group holding the path gets this frame, written as the settings file holds it.
  void storeFrame(const QString& path, const QVariantList& frame) {
    QVariantList records = defaults().objectForKey(QLatin1String(kWindowTabsKey)).toList();
    bool found = false;
    for (QVariant& entry : records) {
      QVariantMap record = entry.toMap();
      if (!record.value(QLatin1String(kTabRecordPaths)).toStringList().contains(path)) continue;
      record.insert(QLatin1String(kTabRecordFrame), frame);
      entry = record;
      found = true;
    }
    ASSERT_TRUE(found) << "no stored group for " << path.toStdString();
    defaults().setObject(records, QLatin1String(kWindowTabsKey));
  }
  QString csv(const QString& name) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, QByteArrayLiteral("Item,Amount\nRent,900\n")));
    return path;
  }
  QString package(const QString& name) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), path));
    return path;
  }

  QTemporaryDir folder;
  std::unique_ptr<TestAppController> app;
};

TEST_F(ReopenedFramesTest, ADocumentAloneInItsWindowReopensAtItsStoredFrameWhateverItsKind) {
  const QRect stored(100, 100, 600, 400);
  const struct {
    const char* what;
    QString path;
  } documents[] = {
      {"comma-separated text", csv(QStringLiteral("budget.csv"))},
      {"plain text", csv(QStringLiteral("budget.txt"))},
      {"a package", package(QStringLiteral("budget.Numlet"))},
  };
  // New windows at the standard size, or filling the screen: a reopened one is not new.
  for (const int64_t newSizeOption : {0, 1}) {
    for (const auto& document : documents) {
      SCOPED_TRACE(std::string(document.what) + (newSizeOption == 1 ? ", new windows full screen" : ""));
      openAndQuit({document.path}, false, newSizeOption);
      storeFrame(document.path, {stored.x(), stored.y(), stored.width(), stored.height()});
      launch();
      QWidget* window = app->windowForFile(document.path);
      ASSERT_NE(window, nullptr);
      EXPECT_TRUE(QTest::qWaitFor(
          [&] { return window->isVisible() && !window->isMaximized() && window->geometry() == stored; }, 5000))
          << Describe(window->geometry()).toStdString() << (window->isMaximized() ? " maximized" : "");
      app->terminate();
      ASSERT_TRUE(QTest::qWaitFor([this] { return app->quits == 1; }, 10000));
      app.reset();
      clearStoredState();
    }
  }
}

// Whatever a damaged settings file says a tab group's frame is, the group reopens as tabs of one
// window no larger than a window system can take.
TEST_F(ReopenedFramesTest, AStoredTabGroupFrameOfAnySizeReopensWithinReach) {
  const QString first = csv(QStringLiteral("first.csv"));
  const QString second = csv(QStringLiteral("second.csv"));
  const struct {
    const char* what;
    QVariantList frame;
  } frames[] = {
      {"the tallest int", {0, 0, 800, INT_MAX}},
      {"the widest int", {0, 0, INT_MAX, 600}},
      {"at the far corner", {INT_MAX, INT_MAX, INT_MAX, INT_MAX}},
      {"at the least corner", {INT_MIN, INT_MIN, 800, 600}},
      {"beyond any int", {-1e300, 1e300, 1e300, 1e300}},
      {"numbers as text", {QStringLiteral("10"), QStringLiteral("x"), QStringLiteral("800"), QStringLiteral("600")}},
  };
  for (const auto& frame : frames) {
    SCOPED_TRACE(frame.what);
    openAndQuit({first, second}, true);
    storeFrame(first, frame.frame);
    launch();
    QWidget* window = app->windowForFile(first);
    ASSERT_NE(window, nullptr);
    const FLWindowTabContainer* container = FLWindowTabContainer::containerOf(window);
    ASSERT_NE(container, nullptr);
    EXPECT_EQ(container->windows(), (QList<QWidget*>{app->windowForFile(first), app->windowForFile(second)}));
    const QRect placed = container->geometry();
    EXPECT_LE(placed.width(), QWIDGETSIZE_MAX) << Describe(placed).toStdString();
    EXPECT_LE(placed.height(), QWIDGETSIZE_MAX) << Describe(placed).toStdString();
    app->prefController()->setValue(CAIntPreference::tabOverride, 0);
    FLWindowTabManager::sharedInstance().setTabOverride(0);
    app->terminate();
    ASSERT_TRUE(QTest::qWaitFor([this] { return app->quits == 1; }, 10000));
    app.reset();
    FLWindowTabManager::sharedInstance().reset();
    clearStoredState();
  }
}

// ---- Under a window manager, on a screen narrower than the standard size -----------------------

// A new window there fills the screen (maximized): a reopened one must not, nor keep the size the
// window manager gives a maximized window once it is asked back.
TEST(ReopenedFramesUnderAWindowManager, ADocumentAloneReopensAtItsStoredFrameOnASmallScreen) {
  for (const char* tool : {"Xvfb", "openbox", "xprop"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it): frames are not checked";
  }
  const QSize size(1024, 768);
  std::unique_ptr<FramedDisplay> display;
  for (int attempt = 0; attempt < 3 && !(display && display->ready()); ++attempt) {
    display.reset();
    display = std::make_unique<FramedDisplay>(size);
  }
  ASSERT_TRUE(display->ready()) << "Xvfb with openbox did not start: " << display->failure().toStdString();
  ChildRun run(*display, size, "ReopenedFramesOnAFramedScreen.*");
  QString output;
  EXPECT_EQ(run.finish(&output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(ReopenedFramesOnAFramedScreen, ADocumentAloneReopensAtItsStoredFrame) {
  if (qgetenv(kScreenVariable).isEmpty()) GTEST_SKIP() << "runs in a child process of ReopenedFramesUnderAWindowManager";
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  UserDefaults& defaults = UserDefaults::standardUserDefaults();
  QTemporaryDir folder;
  const QString path = folder.filePath(QStringLiteral("budget.csv"));
  ASSERT_TRUE(WriteFileBytes(path, QByteArrayLiteral("Item,Amount\nRent,900\n")));
  {
    TestAppController app(defaults);
    app.applicationWillFinishLaunching();
    app.applicationDidFinishLaunching();
    ASSERT_TRUE(app.applicationOpenFile(path));
    QWidget* window = app.windowForFile(path);
    ASSERT_NE(window, nullptr);
    // A window opened with its document shows half a second later.
    ASSERT_TRUE(QTest::qWaitFor([window] { return window->isVisible(); }, 10000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    app.terminate();
    ASSERT_TRUE(QTest::qWaitFor([&app] { return app.quits == 1; }, 10000));
  }
  const QRect stored(100, 100, 600, 400);
  QVariantList records = defaults.objectForKey(QLatin1String(kWindowTabsKey)).toList();
  ASSERT_EQ(records.size(), 1);
  QVariantMap record = records[0].toMap();
  ASSERT_EQ(record.value(QLatin1String(kTabRecordPaths)).toStringList(), QStringList{path});
  record.insert(QLatin1String(kTabRecordFrame), QVariantList{stored.x(), stored.y(), stored.width(), stored.height()});
  defaults.setObject(QVariantList{record}, QLatin1String(kWindowTabsKey));

  TestAppController app(defaults);
  app.applicationWillFinishLaunching();
  app.applicationDidFinishLaunching();
  QWidget* window = app.windowForFile(path);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitFor([window] { return window->isVisible(); }, 10000));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_TRUE(QTest::qWaitFor(
      [window, stored] { return !window->isMaximized() && window->geometry() == stored; }, 10000))
      << Describe(window->geometry()).toStdString() << (window->isMaximized() ? " maximized" : "");
  FLAlert::sharedInstance().setModalRunner({});
}

}  // namespace
