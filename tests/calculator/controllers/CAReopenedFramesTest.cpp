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
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "platform/UserDefaults.h"
#include "support/TestData.h"
#include "support/TestFiles.h"

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace {

// The application launched, quit and launched again in this process, with the settings file
// edited between two runs as a user (or a damaged disk) might edit it.
class Relaunches {
 public:
  Relaunches() {
    clearStoredState();
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
  }
  ~Relaunches() {
    app.reset();
    FLWindowTabManager::sharedInstance().reset();
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() || dynamic_cast<CACalculatorBase*>(window) || dynamic_cast<CACalculatorConverter*>(window))
        window->close();
    FLAlert::sharedInstance().setModalRunner({});
    clearStoredState();
  }
  static void clearStoredState() {
    for (const char* key : {kOpenFilesKey, kCalculatorMaskKey, kTabOverrideKey, kWindowTabsKey, kUntitledPositionKey})
      defaults().removeObjectForKey(QLatin1String(key));
  }
  static UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }

  void launch() {
    app = std::make_unique<TestAppController>(defaults());
    app->applicationWillFinishLaunching();
    app->applicationDidFinishLaunching();
  }
  void quit() {
    app->terminate();
    ASSERT_TRUE(QTest::qWaitFor([this] { return app->quits == 1; }, 10000));
    app.reset();
  }
  // Opens the documents (as tabs of one window when `tabs`, else each in its own) and quits.
  void openAndQuit(const QStringList& paths, bool tabs) {
    launch();
    app->prefController()->setValue(CAIntPreference::tabOverride, tabs ? 2 : 1);
    FLWindowTabManager::sharedInstance().setTabOverride(tabs ? 2 : 1);
    for (const QString& path : paths) ASSERT_TRUE(app->applicationOpenFile(path)) << path.toStdString();
    for (const QString& path : paths) ASSERT_NE(app->windowForFile(path), nullptr) << path.toStdString();
    quit();
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
  QString csv(const char* name) {
    const QString path = folder.filePath(QLatin1String(name));
    EXPECT_TRUE(WriteFileBytes(path, QByteArrayLiteral("Item,Amount\nRent,900\n")));
    return path;
  }
  QString package(const char* name) {
    const QString path = folder.filePath(QLatin1String(name));
    EXPECT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), path));
    return path;
  }

  QTemporaryDir folder;
  std::unique_ptr<TestAppController> app;
};

// A settings file whose tab group of two CSV files says the group's window is as tall as an int
// goes: the launch reopens both, as tabs of one window no larger than a window system can take.
TEST(ReopenedFramesTest, AStoredTabGroupFrameAsTallAsAnIntReopensWithinReach) {
  Relaunches runs;
  const QString first = runs.csv("first.csv");
  const QString second = runs.csv("second.csv");
  runs.openAndQuit({first, second}, true);
  runs.storeFrame(first, {0, 0, 800, INT_MAX});
  runs.launch();
  const FLWindowTabContainer* container = FLWindowTabContainer::containerOf(runs.app->windowForFile(first));
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{runs.app->windowForFile(first), runs.app->windowForFile(second)}));
  EXPECT_LE(container->geometry().height(), QWIDGETSIZE_MAX) << Describe(container->geometry()).toStdString();
  runs.app->prefController()->setValue(CAIntPreference::tabOverride, 0);
  FLWindowTabManager::sharedInstance().setTabOverride(0);
  runs.quit();
}

// ---- Under a window manager, on a screen narrower than the standard size -----------------------

// A new window there fills the screen (maximized): a reopened one must not, nor keep the size the
// window manager gives a maximized window.
TEST(ReopenedFramesUnderAWindowManager, ADocumentAloneReopensAtItsStoredFrameOnASmallScreen) {
  for (const char* tool : {"Xvfb", "openbox", "xprop"}) {
    if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
      GTEST_SKIP() << tool << " is not installed (scripts/install-deps installs it): frames are not checked";
  }
  const QSize size(1024, 768);
  const std::unique_ptr<FramedDisplay> display = StartFramedDisplay(size);
  ASSERT_TRUE(display->ready()) << "Xvfb with openbox did not start: " << display->failure().toStdString();
  ChildRun run(*display, size, "ReopenedFramesOnAFramedScreen.*");
  QString output;
  EXPECT_EQ(run.finish(&output), 0) << output.toStdString();
  EXPECT_TRUE(output.contains(QLatin1String("[  PASSED  ] 1 test"))) << output.toStdString();
}

TEST(ReopenedFramesOnAFramedScreen, ADocumentAloneReopensAtItsStoredFrameWhateverItsKind) {
  if (qgetenv(kScreenVariable).isEmpty()) GTEST_SKIP() << "runs in a child process of ReopenedFramesUnderAWindowManager";
  ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
  Relaunches runs;
  const QRect stored(100, 100, 600, 400);
  const struct {
    const char* what;
    QString path;
  } documents[] = {
      {"comma-separated text", runs.csv("budget.csv")},
      {"plain text", runs.csv("budget.txt")},
      {"a package", runs.package("budget.Numlet")},
  };
  for (const auto& document : documents) {
    SCOPED_TRACE(document.what);
    runs.openAndQuit({document.path}, false);
    runs.storeFrame(document.path, {stored.x(), stored.y(), stored.width(), stored.height()});
    runs.launch();
    QWidget* window = runs.app->windowForFile(document.path);
    ASSERT_NE(window, nullptr);
    // A window opened with its document shows half a second later.
    ASSERT_TRUE(QTest::qWaitFor([window] { return window->isVisible(); }, 10000));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(QTest::qWaitFor(
        [window, stored] { return !window->isMaximized() && window->geometry() == stored; }, 10000))
        << Describe(window->geometry()).toStdString() << (window->isMaximized() ? " maximized" : "");
    runs.quit();
    Relaunches::clearStoredState();
  }
}

}  // namespace
