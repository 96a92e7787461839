#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAApplication.h"
#include "calculator/controllers/CACalculatorBase.h"
#include "calculator/controllers/CACalculatorConverter.h"

#include "calculator/controllers/CAPrefController.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/views/CACellView.h"
#include "calculator/controllers/caFunctionGroups.h"
#include "calculator/controllers/CAOpenPanel.h"
#include "calculator/model/CANumberFormat.h"
#include "framlet/foundation/flDates.h"
#include "framlet/shell/flMeasures.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CAColumn.h"
#include "calculator/model/caModelServices.h"
#include "platform/FLError.h"
#include "calculator/model/formula/caFormulaParser.h"
#include "calculator/model/formula/caFunctionTable.h"
#include "framlet/foundation/FLXmlDecoder.h"
#include "framlet/foundation/flFileSupport.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLPasswordVerifyDialog.h"
#include "framlet/shell/FLSavePanel.h"
#include "framlet/shell/flCommandLine.h"
#include "framlet/shell/FLWindowTabContainer.h"
#include "framlet/shell/FLWindowTabManager.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "support/LogCapture.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "support/FileDialogTestSupport.h"
#include "support/EventWaits.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QMessageBox>
#include <QAbstractButton>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QMenu>
#include <QMenuBar>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QMap>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class TestAppController : public CAAppController {
 public:
  using CAAppController::CAAppController;
  bool shouldOpenAutosaves(const QList<CAAutosaveEntry>& autosaves) override {
    offered = autosaves;
    return acceptRecovery;
  }
  void quitApplication() override { ++quits; }
  Qt::KeyboardModifiers launchModifiers() const override { return Qt::NoModifier; }

  void launch() {
    applicationWillFinishLaunching();
    applicationDidFinishLaunching();
  }
  int untitled() const {
    int count = 0;
    for (FLDocumentWC* controller : controllers()) count += controller->document()->filePath().isEmpty() ? 1 : 0;
    return count;
  }
  CAWindowController* front() const { return dynamic_cast<CAWindowController*>(frontmostController()); }

  bool acceptRecovery = false;
  QList<CAAutosaveEntry> offered;
  int quits = 0;
};

// Runs the event loop until the condition holds, ten seconds at most; whether it came to hold.
bool Eventually(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 10000); }

// Presses a button of the save alert that a quit puts up; false when none came.
bool AnswerQuitAlert(const QString& button) {
  if (!QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000))
    return false;
  for (QAbstractButton* candidate : qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->buttons()) {
    if (candidate->text() == button) {
      candidate->click();
      QTest::qWait(20);
      return true;
    }
  }
  return false;
}

class AppControllerTest : public ::testing::Test {
 protected:
  AppControllerTest() {
    clearStoredState();
    FLAlert::sharedInstance().setModalRunner([this](const FLAlertRequest& request, bool*) {
      alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
      return 0;
    });
  }
  ~AppControllerTest() override {
    app.reset();
    QTest::qWait(10);
    // The tab manager is the process's: what one test's windows left in it goes with them.
    FLWindowTabManager::sharedInstance().reset();
    // The calculators' windows are the process's too: one left up would count as a window open
    // when a later test closes its last document, and one a launch made to show half a second
    // later would count among a later test's calculators.
    for (QWidget* window : QApplication::topLevelWidgets())
      if (window->isVisible() || dynamic_cast<CACalculatorBase*>(window) || dynamic_cast<CACalculatorConverter*>(window))
        window->close();
    // So is the format the save panel last proposed.
    FLDocumentWC::setLastFormatIndex(0);
    FLAlert::sharedInstance().setModalRunner({});
    // What this test's quits stored would reopen calculators and documents in the next test's
    // launch, whatever its fixture.
    clearStoredState();
  }
  // What a quit stores: its windows' tabbing, the calculators and documents to reopen, and the
  // preferences.
  static void clearStoredState() {
    QDir(CalculatorSupportFolder()).removeRecursively();
    for (const char* key : {kOpenFilesKey, kCalculatorMaskKey, kRecentFunctionsKey, kTabOverrideKey, kWindowTabsKey,
                            kMaximizeKey, kUntitledPositionKey, kFindOptionsKey, kFindScopeKey, "numlet.sortReverse"})
      defaults().removeObjectForKey(QLatin1String(key));
  }
  static UserDefaults& defaults() { return UserDefaults::standardUserDefaults(); }
  QString writeFile(const QString& name, const QByteArray& bytes) {
    const QString path = folder.filePath(name);
    EXPECT_TRUE(WriteFileBytes(path, bytes));
    return path;
  }

  // A copy of the sample package under another name (only packages are read so far).
  QString package(const QString& name) {
    const QString target = folder.filePath(name);
    EXPECT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), target));
    return target;
  }

  // The window of a recovered autosave copy, once the launch has opened it.
  CAWindowController* recoveredWindow() const {
    CAWindowController* recovered = nullptr;
    (void)QTest::qWaitFor([&] {
      for (FLDocumentWC* controller : app->controllers()) {
        auto* window = dynamic_cast<CAWindowController*>(controller);
        if (window && window->document()->autosaveRecoveryDoc()) recovered = window;
      }
      return recovered != nullptr;
    }, 10000);
    return recovered;
  }

  // File > Open's panel, once it is shown.
  CAOpenPanel* ShownOpenPanel() {
    CAOpenPanel* panel = nullptr;
    app->openDocument();
    (void)QTest::qWaitFor([&panel] {
      for (QWidget* top : QApplication::topLevelWidgets()) {
        if (auto* candidate = qobject_cast<CAOpenPanel*>(top); candidate && candidate->isVisible())
          panel = candidate;
      }
      return panel != nullptr;
    }, 10000);
    return panel;
  }

  QTemporaryDir folder;
  QStringList alerts;
  std::unique_ptr<TestAppController> app = std::make_unique<TestAppController>(defaults());
};

TEST_F(AppControllerTest, TheLaunchInstallsTheSpreadsheetsTablesAndLists) {
  defaults().setObject(QStringList{"SUM", "NOSUCH", "abs", "DATE", "MAX", "MIN", "PI", "ROUND", "SQRT", "AVERAGE",
                                   "COUNT", "MOD", "INT", "TRUNC"},
                       QLatin1String(kRecentFunctionsKey));
  app->launch();
  ASSERT_NE(CAPrefController::sharedInstance(), nullptr);
  EXPECT_EQ(app->untitled(), 1);

  EXPECT_EQ(FLXmlDecoder::sharedKeyDecoder()->size(), 90);

  // Unknown names take no place; the first ten known ones are kept in order.
  ASSERT_EQ(g_recentFunctionCount, kMaxRecentFunctions);
  EXPECT_EQ(g_recentFunctions[1], FunctionFromName(u"ABS"));
  EXPECT_EQ(g_recentFunctions[9], FunctionFromName(u"COUNT"));

  const std::vector<CAFunctionGroup>& groups = AlphabeticalFunctionGroups();
  ASSERT_GT(groups.size(), 2u);
  EXPECT_EQ(groups[0].name, QStringLiteral("Recent Functions"));
  int32_t total = 0;
  for (size_t i = 1; i < groups.size(); ++i) {
    EXPECT_EQ(groups[i].tag, -int32_t(i) - 1);
    EXPECT_EQ(groups[i].first, total + 1);
    EXPECT_EQ(QChar::fromLatin1(g_functionInfo[groups[i].first].name[0]), groups[i].name[0]);
    if (i > 1) {
      EXPECT_LT(groups[i - 1].name, groups[i].name);
    }
    total += groups[i].count;
  }
  EXPECT_EQ(total, kFunctionCount);
  EXPECT_TRUE(QFileInfo(CalculatorSupportFolder()).isDir());
}

TEST_F(AppControllerTest, OpeningFillsTheUntouchedUntitledWindow) {
  app->launch();
  CAWindowController* untitled = app->front();
  const QString first = package(QStringLiteral("numbers.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(first)) << alerts.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(app->controllers().size(), 1u);
  EXPECT_EQ(untitled->window()->windowTitle().remove(QLatin1String("[*]")), QStringLiteral("numbers.Numlet"));
  EXPECT_FALSE(untitled->document()->rows().empty());

  // A window that shows a file is not reused; nor is an untitled one that was changed.
  ASSERT_TRUE(app->applicationOpenFile(package(QStringLiteral("second.Numlet"))));
  EXPECT_EQ(app->controllers().size(), 2u);
  app->newUntitledDocument();
  app->front()->document()->setDirty(true);
  const QString third = package(QStringLiteral("third.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(third));
  EXPECT_EQ(app->controllers().size(), 4u);
  EXPECT_NE(app->windowForFile(third), nullptr);
}

TEST_F(AppControllerTest, AFileThatCannotBeReadClosesItsWindowAndSaysWhy) {
  app->launch();
  const QString strange = writeFile(QStringLiteral("picture.zzz"), "??");
  EXPECT_FALSE(app->applicationOpenFile(strange));
  ASSERT_EQ(alerts.size(), 1);
  EXPECT_EQ(alerts[0], QStringLiteral("Can't open file.|The file \"picture.zzz\" can't be opened. "
                                      "I don't recognize the file type."));
  // The untitled window it was read into closed, after a fresh one took its place.
  ASSERT_TRUE(Eventually([&] { return app->controllers().size() == 1u; }));
  EXPECT_TRUE(static_cast<CAWindowController*>(app->controllers()[0])->document()->rows().empty());
  app->controllers()[0]->document()->setDirty(true);
  EXPECT_FALSE(app->applicationOpenFile(strange));
  EXPECT_TRUE(Eventually([&] { return alerts.size() == 2 && app->controllers().size() == 1u; }));
  EXPECT_EQ(app->controllers().size(), 1u);
  EXPECT_EQ(alerts.size(), 2);
}

// A document that is not there is told with the reason, and a window stays, whether it was handed
// over at launch (the command line) or opened later. The alert runs the event loop as a modal one
// does, and is the last window when it closes.
TEST_F(AppControllerTest, AMissingFileIsToldWithItsReasonAndAWindowStays) {
  const QString missing = folder.filePath(QStringLiteral("rec.Numlet"));
  const auto deliverQueuedWork = [] {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  };
  FLAlert::sharedInstance().setModalRunner([this, deliverQueuedWork](const FLAlertRequest& request, bool*) {
    alerts.append(request.message + QLatin1Char('|') + request.moreInfo);
    deliverQueuedWork();
    if (OrderedWindows().isEmpty()) app->lastWindowClosed();
    return 0;
  });
  const QString told = QStringLiteral("Can't open file.|The file \"rec.Numlet\" can't be opened. ") +
                       QString::fromLocal8Bit(std::strerror(ENOENT));
  const struct {
    const char* when;
    bool atLaunch;
  } cases[] = {{"handed over at launch", true}, {"opened after the launch", false}};
  for (const auto& c : cases) {
    app.reset();
    QTest::qWait(10);
    app = std::make_unique<TestAppController>(defaults());
    alerts.clear();
    app->applicationWillFinishLaunching();
    if (c.atLaunch) app->openFile(missing, false);
    app->applicationDidFinishLaunching();
    if (!c.atLaunch) {
      EXPECT_FALSE(app->applicationOpenFile(missing));
    }
    deliverQueuedWork();
    EXPECT_TRUE(Eventually([&] { return !alerts.isEmpty() && app->controllers().size() == 1u; })) << c.when;
    EXPECT_EQ(alerts, QStringList{told}) << c.when;
    EXPECT_EQ(app->quits, 0) << c.when;
    EXPECT_FALSE(app->terminating()) << c.when;
    ASSERT_EQ(app->controllers().size(), 1u) << c.when;
    EXPECT_TRUE(app->controllers()[0]->window()->isVisible()) << c.when;
  }
}

TEST_F(AppControllerTest, AcceptedRecoveryOpensLockedCopiesAndDeletesThemAtQuit) {
  const QString support = CalculatorSupportFolder();
  ASSERT_TRUE(QDir().mkpath(support + QStringLiteral("/Unreadable.Numlet_autosave")));
  const QString copy = support + QStringLiteral("/A1.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), copy));
  LogCapture log;
  app->acceptRecovery = true;
  app->launch();
  // The check runs after the launch.
  ASSERT_TRUE(Eventually([&] {
    return !app->offered.isEmpty() && !QFileInfo::exists(support + QStringLiteral("/Unreadable.Numlet_autosave"));
  }));
  ASSERT_EQ(app->offered.size(), 1);
  EXPECT_EQ(app->offered[0].path, QStringLiteral("/home/ann/Budget.Numlet"));
  EXPECT_TRUE(log.contains(QStringLiteral("Can't read autosaved file")));
  EXPECT_FALSE(QFileInfo::exists(support + QStringLiteral("/Unreadable.Numlet_autosave")));

  std::vector<FLDocumentWC*> controllers = app->controllers();
  auto it = std::find_if(controllers.begin(), controllers.end(), [](FLDocumentWC* controller) {
    return controller->window()->windowTitle().remove(QLatin1String("[*]")) == QStringLiteral("Autosave of Budget [Locked]");
  });
  ASSERT_NE(it, controllers.end());
  auto* recovered = static_cast<CAWindowController*>(*it);
  EXPECT_TRUE(recovered->document()->autosaveRecoveryDoc());
  EXPECT_EQ(app->oldAutosaveFiles(), QStringList{copy});

  app->terminate();
  ASSERT_TRUE(AnswerQuitAlert(QStringLiteral("Don't Save")));
  EXPECT_TRUE(Eventually([&] { return app->quits == 1; }));
  EXPECT_FALSE(QFileInfo::exists(copy));
}

TEST_F(AppControllerTest, DeclinedRecoveryDeletesTheCopiesAtOnce) {
  const QString copy = CalculatorSupportFolder() + QStringLiteral("/B2.Numlet_autosave");
  ASSERT_TRUE(QDir().mkpath(copy));
  ASSERT_TRUE(WriteFileBytes(copy + QStringLiteral("/path.txt"), "untitled"));
  app->launch();
  ASSERT_TRUE(Eventually([&] { return !app->offered.isEmpty() && !QFileInfo::exists(copy); }));
  ASSERT_EQ(app->offered.size(), 1);
  EXPECT_EQ(app->offered[0].path, QStringLiteral("untitled"));
  EXPECT_FALSE(QFileInfo::exists(copy));
}

TEST_F(AppControllerTest, QuittingStoresTheCalculatorsTheRecentFunctionsAndThePreferences) {
  defaults().setInteger(7, QLatin1String(kCalculatorMaskKey));
  app->launch();
  // The three calculators reopen, half a second late, in place of an untitled document.
  EXPECT_EQ(app->untitled(), 0);
  ASSERT_TRUE(WaitPastDelay(600));
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->windowTitle() == QStringLiteral("Calculator") || window->windowTitle() == QStringLiteral("Programmer's Calculator"))
      window->close();
  EXPECT_EQ(app->openCalculatorMask(), kConverterCalculatorMask);
  g_recentFunctionCount = 0;
  RecordRecentFunction(FunctionFromName(u"PI"));
  RecordRecentFunction(FunctionFromName(u"SUM"));
  app->prefController()->setValue(CABoolPreference::sortReverse, true);
  const QString csv = package(QStringLiteral("kept.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(csv));
  app->terminate();
  EXPECT_EQ(app->quits, 1);
  EXPECT_EQ(defaults().integerForKey(QLatin1String(kCalculatorMaskKey)), kConverterCalculatorMask);
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->windowTitle() == QStringLiteral("Unit Converter")) window->close();
  EXPECT_EQ(app->openCalculatorMask(), 0);
  EXPECT_EQ(defaults().stringArrayForKey(QLatin1String(kRecentFunctionsKey)), (QStringList{"SUM", "PI"}));
  EXPECT_TRUE(defaults().boolForKey(QStringLiteral("numlet.sortReverse")));
  EXPECT_EQ(defaults().stringArrayForKey(QLatin1String(kOpenFilesKey)).size(), 1);

  // With the workspace preference off the next launch reopens nothing.
  app.reset();
  QTest::qWait(10);
  defaults().setBool(false, QStringLiteral("numlet.saveWorkspace"));
  app = std::make_unique<TestAppController>(defaults());
  app->launch();
  EXPECT_EQ(app->windowForFile(csv), nullptr);
  defaults().removeObjectForKey(QStringLiteral("numlet.saveWorkspace"));
  defaults().removeObjectForKey(QStringLiteral("numlet.sortReverse"));
}


TEST_F(AppControllerTest, MenuItemsWaitForModalWindowsAndAboutShowsOneWindow) {
  app->launch();
  auto* window = qobject_cast<QMainWindow*>(app->front()->window());
  QHash<QString, QAction*> actions;
  for (QAction* action : window->menuBar()->findChildren<QAction*>()) {
    if (!action->objectName().isEmpty()) actions.insert(action->objectName(), action);
  }
  const char* const modalFree[] = {"newUntitledDocument:", "openDocument:", "showPreferences:", "nextWindow:",
                                   "showAbout:", "copyLogs:", "emailLogs:", "openCalculator:1",
                                   "openCalculator:2", "openCalculator:4"};
  for (const char* name : modalFree) {
    ASSERT_TRUE(actions.contains(QLatin1String(name))) << name;
    EXPECT_TRUE(app->validateMenuItem(actions.value(QLatin1String(name)))) << name;
  }
  EXPECT_FALSE(app->validateMenuItem(actions.value(QStringLiteral("stopSpeaking:"))));
  {
    QDialog modal;
    modal.setModal(true);
    modal.show();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 10000));
    for (const char* name : modalFree) EXPECT_FALSE(app->validateMenuItem(actions.value(QLatin1String(name)))) << name;
    EXPECT_TRUE(app->validateMenuItem(actions.value(QStringLiteral("visitWebsite:"))));
  }

  actions.value(QStringLiteral("showAbout:"))->trigger();
  actions.value(QStringLiteral("showAbout:"))->trigger();
  int aboutWindows = 0;
  bool describes = false;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->objectName() != QStringLiteral("FLAboutOV3") || !top->isVisible()) continue;
    ++aboutWindows;
    for (QLabel* label : top->findChildren<QLabel*>()) describes |= label->text() == QLatin1String(kAppAboutString);
    top->close();
  }
  EXPECT_EQ(aboutWindows, 1);
  EXPECT_TRUE(describes);
}


// Counts the presses that reach it.
class PressCounter : public QWidget {
 public:
  using QWidget::QWidget;
  int presses = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
};

TEST_F(AppControllerTest, WhileADialogPicksCellsAClickBecomesANotification) {
  app->launch();
  CAWindowController* controller = app->front();
  auto* area = new PressCounter(controller->mainWindow());
  controller->mainWindow()->setCentralWidget(area);
  MakeKeyAndOrderFront(controller->window());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(controller->window()));
  QList<Notification> received;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QLatin1String(kInactiveClickNotification), nullptr,
      [&received](const Notification& notification) { received.append(notification); });

  QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(area->presses, 1);
  CAApplication::setSpecialSelectionWindow(controller->window());
  QTest::mouseClick(area, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 6));
  EXPECT_TRUE(received.isEmpty());  // posted once the click has been handled
  ASSERT_TRUE(QTest::qWaitFor([&] { return !received.isEmpty(); }, 10000));
  EXPECT_EQ(received[0].object, controller->document());
  const QVariantMap click = received[0].userInfo.value(QLatin1String(kInactiveClickEventKey)).toMap();
  EXPECT_EQ(click.value(QStringLiteral("position")).toPointF(), QPointF(area->mapTo(area->window(), QPoint(5, 6))));
  EXPECT_EQ(click.value(QStringLiteral("modifiers")).toInt(), int(Qt::ShiftModifier));
  QTest::mouseClick(area, Qt::RightButton, {}, QPoint(5, 6));
  EXPECT_EQ(area->presses, 2);
  CAApplication::setSpecialSelectionWindow(nullptr);
  QTest::mouseClick(area, Qt::LeftButton, {}, QPoint(5, 6));
  EXPECT_EQ(area->presses, 3);
}


TEST_F(AppControllerTest, UnitAndSearchCommandsStoreTheirPreferenceAndTellTheWindows) {
  app->launch();
  QStringList posted;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QString(), nullptr, [&posted](const Notification& notification) { posted.append(notification.name); });
  CAPrefController& preferences = *app->prefController();
  app->setMeasurementUnits(5);
  EXPECT_EQ(preferences.value(CAIntPreference::defaultUnits), 5);
  app->setSearchOption(3);
  app->setSearchOption(0);
  EXPECT_EQ(preferences.value(CAIntPreference::searchOptionMask), 9);
  app->setSearchOption(3);
  EXPECT_EQ(preferences.value(CAIntPreference::searchOptionMask), 1);
  app->setSearchScope(2);
  EXPECT_EQ(preferences.value(CAIntPreference::searchScope), 2);
  EXPECT_EQ(posted.count(QLatin1String(kUnitChangeNotification)), 1);
  EXPECT_EQ(posted.count(QLatin1String(kSearchChangedNotification)), 4);
}


// The text of the cell at A1 as the package at the path holds it.
QString SavedA1(const QString& path) {
  CADocument reread;
  FLError error;
  if (reread.openFile(path, &error) != 4) return QStringLiteral("<unreadable: %1>").arg(error.reason);
  const CACell* cell = reread.cellAtGridPoint(GridPoint{0, 0});
  return cell ? cell->formula() : QString();
}

QAction* MenuAction(QWidget* window, const char* name) {
  return window->findChild<QAction*>(QLatin1String(name));
}

TEST_F(AppControllerTest, SaveSaveAsAndRevertWorkOnANativePackage) {
  app->launch();
  const QString path = package(QStringLiteral("Budget.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(path));
  CAWindowController* controller = app->front();
  QWidget* window = controller->window();
  const QString before = SavedA1(path);

  controller->document()->setCellAtPoint(GridPoint{0, 0}, QVariant(QStringLiteral("first")), kValueText);
  controller->document()->setDirty(true);
  MenuAction(window, "saveDocument:")->trigger();
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(SavedA1(path), QStringLiteral("first"));
  EXPECT_EQ(SavedA1(folder.filePath(QStringLiteral("Budget~.Numlet"))), before);

  // Save As: through the panel, to a name typed without its extension.
  MenuAction(window, "saveDocumentAs:")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() != nullptr; }, 10000));
  controller->savePanel()->setDirectory(folder.path());
  controller->savePanel()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("Copy"));
  QMetaObject::invokeMethod(controller->savePanel(), "accept");
  const QString copy = folder.filePath(QStringLiteral("Copy.Numlet"));
  EXPECT_TRUE(Eventually([&] { return window->windowTitle().remove(QLatin1String("[*]")) == QStringLiteral("Copy.Numlet"); }));
  EXPECT_EQ(window->windowTitle().remove(QLatin1String("[*]")), QStringLiteral("Copy.Numlet"));
  EXPECT_EQ(SavedA1(copy), QStringLiteral("first"));

  // Revert: the saved version comes back in a window of its own.
  controller->document()->setCellAtPoint(GridPoint{0, 0}, QVariant(QStringLiteral("second")), kValueText);
  controller->document()->setDirty(true);
  MenuAction(window, "revertDocumentToSaved:")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
  auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  EXPECT_EQ(alert->text(), QStringLiteral("Revert changes to \"Copy.Numlet\"?"));
  alert->buttons().first()->click();
  // The saved version in a window of its own: A1 as saved.
  EXPECT_TRUE(Eventually([&] {
    QWidget* shown = app->windowForFile(copy);
    auto* showing = shown ? dynamic_cast<CAWindowController*>(app->controllerOfWindow(shown)) : nullptr;
    const CACell* a1 = showing ? showing->document()->cellAtGridPoint(GridPoint{0, 0}) : nullptr;
    return a1 && a1->formula() == QStringLiteral("first");
  }));
  QWidget* reverted = app->windowForFile(copy);
  ASSERT_NE(reverted, nullptr);
  auto* fresh = dynamic_cast<CAWindowController*>(app->controllerOfWindow(reverted));
  ASSERT_NE(fresh, nullptr);
  ASSERT_NE(fresh->document()->cellAtGridPoint(GridPoint{0, 0}), nullptr);
  EXPECT_EQ(fresh->document()->cellAtGridPoint(GridPoint{0, 0})->formula(), QStringLiteral("first"));
  EXPECT_FALSE(fresh->document()->dirty());
}

}  // namespace

TEST_F(AppControllerTest, TheEditMenuUndoesAndRedoesTheMainWindowsEdits) {
  app->launch();
  CAWindowController* front = app->front();
  auto* window = qobject_cast<QMainWindow*>(front->window());
  MakeKeyAndOrderFront(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  QAction* undo = window->findChild<QAction*>(QLatin1String(kFLUndoEditAction));
  QAction* redo = window->findChild<QAction*>(QLatin1String(kFLRedoEditAction));
  ASSERT_TRUE(undo && redo);
  EXPECT_FALSE(app->validateMenuItem(undo));

  CADocument& document = *front->document();
  const CAUndoContext context{{{1, 1}, {1, 1}}, 0};
  ASSERT_TRUE(front->undoManager()->setUndoAction(kUndoActionCells, kUndoTyping, &context));
  document.cellAtGridPointImperative({1, 1})->setFormula(QStringLiteral("typed"));
  // The window's items follow the stack on a later turn of the event loop.
  EXPECT_TRUE(QTest::qWaitFor([&] { return undo->isEnabled(); }, 10000));
  EXPECT_TRUE(app->validateMenuItem(undo));
  EXPECT_EQ(undo->text(), "Undo Typing");

  // Ctrl+Z and Ctrl+Shift+Z reach the window's stack through the application's menu items.
  QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(document.cellAtGridPoint({1, 1}), nullptr);
  EXPECT_FALSE(document.dirty());
  EXPECT_TRUE(QTest::qWaitFor([&] { return redo->isEnabled(); }, 10000));
  EXPECT_EQ(redo->text(), "Redo Typing");
  QTest::keyClick(window, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_NE(document.cellAtGridPoint({1, 1}), nullptr);
  EXPECT_EQ(document.cellAtGridPoint({1, 1})->formula(), "typed");
}

// Edit > Paste of whole columns copied with their formats, widths and digits, over columns with
// others, then Edit > Undo: the columns are as they were; Edit > Redo: as the paste made them.
TEST_F(AppControllerTest, EditUndoOfAPasteOfWholeColumnsGivesTheirFormatsBack) {
  app->launch();
  CAWindowController* front = app->front();
  auto* window = qobject_cast<QMainWindow*>(front->window());
  MakeKeyAndOrderFront(window);
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  CADocument& document = *front->document();
  CAFormat bold;
  bold.setBold(true);
  CAFormat italic;
  italic.setItalic(true);
  for (int64_t y = 0; y < 6; ++y)
    for (int64_t x = 0; x < 6; ++x) document.cellAtGridPointImperative({x, y})->setFormula(QString::number(x + 10 * y));
  document.columnImperative(0)->setFormat(bold);
  document.columnImperative(0)->setWidth(914400);
  document.columnImperative(1)->setDigitCount(3);
  document.columnImperative(3)->setFormat(italic);
  document.columnImperative(4)->setWidth(1828800);
  const auto choose = [&](const char* name) {
    QAction* command = window->findChild<QAction*>(QLatin1String(name));
    ASSERT_NE(command, nullptr) << name;
    // The window's items follow the document on a later turn of the event loop.
    ASSERT_TRUE(QTest::qWaitFor([&] { return command->isEnabled(); }, 10000)) << name;
    command->trigger();
  };
  document.setSelectionRange(GridRange{{0, kGridWildcard}, {1, kGridWildcard}});
  choose("copy:");
  document.setSelectionRange(GridRange{{3, kGridWildcard}, {3, kGridWildcard}});
  const QByteArray before = document.archiveWholeDocUtf8ForUndo();

  choose("paste:");
  const QByteArray after = document.archiveWholeDocUtf8ForUndo();
  ASSERT_NE(after, before);
  ASSERT_TRUE(document.column(3) && document.column(3)->format() && document.column(3)->format()->bold());
  choose(kFLUndoEditAction);
  EXPECT_EQ(document.archiveWholeDocUtf8ForUndo(), before);
  choose(kFLRedoEditAction);
  EXPECT_EQ(document.archiveWholeDocUtf8ForUndo(), after);
  choose(kFLUndoEditAction);
  EXPECT_EQ(document.archiveWholeDocUtf8ForUndo(), before);
}

TEST_F(AppControllerTest, TheWindowMenuListsTheOpenWindowsAndBringsOneToTheFront) {
  app->launch();
  const QString first = package(QStringLiteral("First.Numlet"));
  const QString second = package(QStringLiteral("Second.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(first));
  ASSERT_TRUE(app->applicationOpenFile(second));
  QWidget* firstWindow = app->windowForFile(first);
  QWidget* secondWindow = app->windowForFile(second);
  ASSERT_TRUE(firstWindow && secondWindow);
  auto* menu = firstWindow->findChild<QMenu*>(QLatin1String(kCAWindowMenuName));
  ASSERT_NE(menu, nullptr);
  auto listed = [&] {
    QStringList titles;
    for (QAction* action : menu->actions())
      if (action->isCheckable()) titles << (action->isChecked() ? "*" : "") + action->text();
    return titles;
  };
  for (int shown = 0; shown < 2; ++shown) {  // shown again, the list is made anew
    emit menu->aboutToShow();
    EXPECT_EQ(listed(), (QStringList{"*First.Numlet", "Second.Numlet"}));
  }
  // Closing a window takes it off the list; choosing an entry brings its window to the front.
  app->openUntitledWithTabIdentifier(QString());
  emit menu->aboutToShow();
  ASSERT_EQ(listed().size(), 3);
  for (QAction* action : menu->actions())
    if (action->text() == "Second.Numlet") action->trigger();
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == secondWindow->window(); }, 10000));
  secondWindow->close();
  EXPECT_TRUE(Eventually([&] {
    emit menu->aboutToShow();
    return !listed().join(' ').contains("Second");
  }));
  EXPECT_FALSE(listed().join(' ').contains("Second")) << listed().join(' ').toStdString();
}

TEST_F(AppControllerTest, AnUntitledWindowsPlaceIsTheNextOnesWhenChosen) {
  app->launch();
  CAPrefController* prefs = app->prefController();
  prefs->setValue(CAIntPreference::newSizeOption, 2);
  QWidget* first = app->front()->window();
  first->setGeometry(40, 50, 520, 410);
  QCoreApplication::processEvents();
  EXPECT_EQ(prefs->untitledPosition(), QRectF(first->geometry()));
  const QRect stored = first->geometry();

  EXPECT_EQ(app->openUntitledWithTabIdentifier(QString())->window()->geometry(), stored);

  // A saved document's window never changes the place.
  auto* saved = dynamic_cast<CAWindowController*>(app->openFileWithTabIdentifier(package("Placed.Numlet"), QString()));
  ASSERT_NE(saved, nullptr);
  saved->window()->setGeometry(100, 100, 300, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(prefs->untitledPosition(), QRectF(stored));
  prefs->setValue(CAIntPreference::newSizeOption, 0);
}

TEST_F(AppControllerTest, SpreadsheetWindowsShareTabsAndComeBackAsTabsAfterAQuit) {
  app->launch();
  app->prefController()->setValue(CAIntPreference::tabOverride, 2);  // tabs unless Alt is held
  FLWindowTabManager::sharedInstance().setTabOverride(2);
  const QString first = package(QStringLiteral("first.Numlet"));
  const QString second = package(QStringLiteral("second.Numlet"));
  ASSERT_TRUE(app->applicationOpenFile(first));
  ASSERT_TRUE(app->applicationOpenFile(second));
  FLWindowTabContainer* container = nullptr;
  ASSERT_TRUE(Eventually([&] {
    container = FLWindowTabContainer::containerOf(app->windowForFile(first));
    return container && container->windows().size() == 2;
  }));
  container->newTabButton()->click();
  // The new tab is made and chosen on a later turn of the event loop.
  EXPECT_TRUE(Eventually([&] {
    return container->windows().size() == 3 &&
           container->windowTitle().remove(QLatin1String("[*]")) == QStringLiteral("Untitled");
  }));
  ASSERT_EQ(container->windows().size(), 3);
  EXPECT_EQ(container->windows()[1], app->windowForFile(second));
  EXPECT_EQ(container->windowTitle().remove(QLatin1String("[*]")), "Untitled");
  // Quit with the middle tab dirty, the first one selected: the alert is answered on its tab.
  MakeKeyAndOrderFront(app->windowForFile(first));
  app->controllerOfWindow(app->windowForFile(second))->document()->setDirty(true);
  app->terminate();
  ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
  EXPECT_EQ(container->selectedWindow(), app->windowForFile(second));
  for (QAbstractButton* button : qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->buttons()) {
    if (button->text() == QStringLiteral("Don't Save")) button->click();
  }
  ASSERT_TRUE(Eventually([&] { return app->quits == 1; }));

  app.reset();
  QTest::qWait(10);
  app = std::make_unique<TestAppController>(defaults());
  app->launch();
  container = FLWindowTabContainer::containerOf(app->windowForFile(first));
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->windows(), (QList<QWidget*>{app->windowForFile(first), app->windowForFile(second)}));
  EXPECT_TRUE(QTest::qWaitFor([&] { return app->front() && app->front()->document()->filePath() == first; }, 10000));
  app->prefController()->setValue(CAIntPreference::tabOverride, 0);
  FLWindowTabManager::sharedInstance().setTabOverride(0);
  defaults().removeObjectForKey(QLatin1String(kWindowTabsKey));
}

namespace {

// The items of a window's submenu, by object name.
QAction* SubmenuItem(QWidget* window, const char* submenu, const QString& name) {
  auto* menu = window->findChild<QMenu*>(QLatin1String(submenu));
  if (!menu) return nullptr;
  for (QAction* action : menu->actions()) {
    if (action->objectName() == name) return action;
  }
  return nullptr;
}

}  // namespace

TEST_F(AppControllerTest, TheUnitAndFindOptionMenusSetTheirPreferencesAndShowThem) {
  app->launch();
  QWidget* window = app->front()->window();
  CAPrefController& preferences = *app->prefController();
  preferences.setValue(CAIntPreference::defaultUnits, 1);
  preferences.setValue(CAIntPreference::searchOptionMask, 0);
  preferences.setValue(CAIntPreference::searchScope, 0);
  QStringList posted;
  const NotificationObserver observer = NotificationCenter::defaultCenter().addObserver(
      QString(), nullptr, [&posted](const Notification& notification) { posted.append(notification.name); });

  struct Unit {
    int code;
    const char* title;
  } const units[] = {{1, "Inches"}, {5, "Centimeters"}, {4, "Millimeters"}, {0, "Points"}, {9, "Picas"}};
  for (const Unit& unit : units) {
    QAction* item = SubmenuItem(window, kCAUnitsMenuName, QStringLiteral("setMeasurementUnits:%1").arg(unit.code));
    ASSERT_NE(item, nullptr) << unit.title;
    EXPECT_EQ(item->text(), QLatin1String(unit.title));
    item->trigger();
    EXPECT_EQ(preferences.value(CAIntPreference::defaultUnits), unit.code);
    EXPECT_EQ(CurrentDistanceUnit(), unit.code);
    EXPECT_TRUE(app->validateMenuItem(item));
    EXPECT_TRUE(item->isChecked()) << unit.title;
  }
  EXPECT_EQ(posted.count(QLatin1String(kUnitChangeNotification)), 5);
  QAction* inches = SubmenuItem(window, kCAUnitsMenuName, QStringLiteral("setMeasurementUnits:1"));
  app->validateMenuItem(inches);
  EXPECT_FALSE(inches->isChecked());
  {
    QDialog modal;
    modal.setModal(true);
    modal.show();
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 10000));
    EXPECT_FALSE(app->validateMenuItem(inches));
  }

  // Ignore Case is bit 1, Search from the Start bit 3; each item toggles its bit.
  QAction* ignoreCase = SubmenuItem(window, kCAFindOptionsMenuName, QStringLiteral("setSearchOption:1"));
  QAction* fromStart = SubmenuItem(window, kCAFindOptionsMenuName, QStringLiteral("setSearchOption:3"));
  ASSERT_NE(ignoreCase, nullptr);
  ASSERT_NE(fromStart, nullptr);
  EXPECT_EQ(ignoreCase->text(), QStringLiteral("Ignore Case"));
  ignoreCase->trigger();
  fromStart->trigger();
  EXPECT_EQ(preferences.value(CAIntPreference::searchOptionMask), 10);
  app->validateMenuItem(ignoreCase);
  EXPECT_TRUE(ignoreCase->isChecked());
  ignoreCase->trigger();
  EXPECT_EQ(preferences.value(CAIntPreference::searchOptionMask), 8);
  app->validateMenuItem(ignoreCase);
  EXPECT_FALSE(ignoreCase->isChecked());
  QAction* values = SubmenuItem(window, kCAFindOptionsMenuName, QStringLiteral("setSearchScope:1"));
  ASSERT_NE(values, nullptr);
  values->trigger();
  EXPECT_EQ(preferences.value(CAIntPreference::searchScope), 1);
  app->validateMenuItem(values);
  EXPECT_TRUE(values->isChecked());
  EXPECT_EQ(posted.count(QLatin1String(kSearchChangedNotification)), 4);
  // The options sit in the Edit menu, the units in the Format menu.
  const auto menu = [window](const char* name) { return window->findChild<QMenu*>(QLatin1String(name)); };
  EXPECT_NE(menu(kCAEditMenuName)->findChild<QMenu*>(QLatin1String(kCAFindOptionsMenuName)), nullptr);
  EXPECT_NE(menu(kCAFormatMenuName)->findChild<QMenu*>(QLatin1String(kCAUnitsMenuName)), nullptr);
  // Find Options closes the group of the find commands.
  const QList<QAction*> editItems = menu(kCAEditMenuName)->actions();
  const qsizetype options = editItems.indexOf(menu(kCAFindOptionsMenuName)->menuAction());
  ASSERT_GT(options, 0);
  EXPECT_EQ(editItems[options - 1]->objectName(), QStringLiteral("jumpToSelection:"));
  EXPECT_TRUE(editItems[options + 1]->isSeparator());
  preferences.setValue(CAIntPreference::defaultUnits, 1);
}

TEST_F(AppControllerTest, ALocaleWithoutACurrencyShowsMoneyWithADollarSign) {
  const QLocale saved;
  QLocale::setDefault(QLocale::c());
  app->launch();
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("$"));
  QLocale::setDefault(saved);
  SetNumberTextLocale(QLocale::c());
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("$"));
  SetNumberTextLocale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("€"));
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
}

// A locale with a currency but no sign from Qt shows its currency's code, never the dollar.
TEST_F(AppControllerTest, ALocaleWithACurrencyButNoSignShowsItsCode) {
  const QLocale saved;
  QLocale::setDefault(QLocale(QStringLiteral("it_CH")));
  app->launch();
  EXPECT_EQ(NumberTextLocale().currencySymbol, QStringLiteral("CHF"));
  QLocale::setDefault(saved);
  SetNumberTextLocale(QLocale(QLocale::English, QLocale::UnitedStates));
  SetDayFirstDateFormat(23);  // read again from the restored locale
}

TEST_F(AppControllerTest, TheOpenPanelOpensADocumentPackage) {
  app->launch();
  const QString saved = package(QStringLiteral("Budget.Numlet"));
  ASSERT_TRUE(QDir().mkpath(folder.filePath(QStringLiteral("Plain folder"))));
  EXPECT_TRUE(IsDocumentPackage(saved));
  EXPECT_FALSE(IsDocumentPackage(folder.filePath(QStringLiteral("Plain folder"))));
  EXPECT_FALSE(IsDocumentPackage(folder.filePath(QStringLiteral("missing.Numlet"))));

  CAOpenPanel* panel = ShownOpenPanel();
  ASSERT_NE(panel, nullptr);
  // Shown as a document, not a folder.
  EXPECT_EQ(panel->iconProvider()->type(QFileInfo(saved)), QStringLiteral("Tamsel Calculator document"));
  EXPECT_NE(panel->iconProvider()->type(QFileInfo(folder.filePath(QStringLiteral("Plain folder")))),
            QStringLiteral("Tamsel Calculator document"));
  // A plain folder is walked into; the package is opened.
  panel->setDirectory(folder.path());
  panel->selectFile(folder.filePath(QStringLiteral("Plain folder")));
  panel->accept();
  EXPECT_TRUE(panel->isVisible());
  panel->setDirectory(folder.path());
  panel->selectFile(saved);
  auto* line = panel->findChild<QLineEdit*>();
  ASSERT_NE(line, nullptr);
  line->setText(QStringLiteral("Budget.Numlet"));
  QTest::keyClick(line, Qt::Key_Return);
  EXPECT_TRUE(QTest::qWaitFor([&] { return app->windowForFile(saved) != nullptr; }, 10000))
      << alerts.join(QLatin1Char('\n')).toStdString();
}

TEST_F(AppControllerTest, ADoubleClickOnAPackageInTheOpenPanelOpensIt) {
  app->launch();
  const QString saved = package(QStringLiteral("Sales.Numlet"));
  CAOpenPanel* panel = ShownOpenPanel();
  ASSERT_NE(panel, nullptr);
  panel->setDirectory(folder.path());
  const FileDialogEntry entry = FindFileDialogEntry(panel, QStringLiteral("Sales.Numlet"));
  ASSERT_TRUE(entry.found);
  QListView* list = entry.list;
  const QPoint centre = entry.centre;
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
  EXPECT_TRUE(QTest::qWaitFor([&] { return app->windowForFile(saved) != nullptr; }, 10000))
      << alerts.join(QLatin1Char('\n')).toStdString();
}

// A name kept as Latin-1 bytes reaches the program from the command line with the bytes that are
// not UTF-8 replaced; the open says that it cannot read the name rather than that there is no
// such file. (The open panel never lists such a name: Qt's folder listing leaves it out.)
TEST_F(AppControllerTest, AFileWhoseNameIsNotTextIsRefusedWithThatReason) {
  const QByteArray bytes = QFile::encodeName(folder.path()) + "/caf\xe9.csv";
  {
    FILE* file = std::fopen(bytes.constData(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("1,2\n", file);
    std::fclose(file);
  }
  const QString decoded = QFile::decodeName(bytes);
  ASSERT_NE(QFile::encodeName(decoded), bytes) << "this locale reads Latin-1 bytes as text";
  app->launch();
  const FLCommandLine line = ParseCommandLine({QStringLiteral("tamsel-calculator"), decoded});
  ASSERT_EQ(line.documents.size(), 1);
  EXPECT_FALSE(app->applicationOpenFile(line.documents[0]));
  EXPECT_EQ(alerts, QStringList{QStringLiteral("Can't open file.|The file \"%1\" can't be opened. %2")
                                    .arg(QFileInfo(decoded).fileName(), QLatin1String(kUnreadableNameReason))});
  ::unlink(bytes.constData());  // a name Qt cannot give back
}

TEST_F(AppControllerTest, ARecoveredAutosaveRefusesEdits) {
  const QString copy = CalculatorSupportFolder() + QStringLiteral("/A1.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), copy));
  app->acceptRecovery = true;
  app->launch();
  CAWindowController* recovered = recoveredWindow();
  ASSERT_NE(recovered, nullptr);
  CADocument& document = *recovered->document();
  EXPECT_TRUE(document.isLocked());
  document.setSelectionPoint(GridPoint{5, 5});
  recovered->mainWindow()->show();
  QTest::keyClicks(recovered->cellView(), QStringLiteral("7"));
  EXPECT_FALSE(recovered->cellView()->isTyping());
  recovered->cellView()->stopTyping(true);
  EXPECT_EQ(document.cellAtGridPoint(GridPoint{5, 5}), nullptr);
  // Unsaved as it was recovered, and no more than that.
  EXPECT_TRUE(document.dirty());
  EXPECT_FALSE(recovered->undoManager()->isUndoAvailable());
}

TEST_F(AppControllerTest, ARecoveredDocumentKeepsItsWindowAndItsCopyUntilSavedOrDismissed) {
  const QString copy = CalculatorSupportFolder() + QStringLiteral("/A1.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), copy));
  app->acceptRecovery = true;
  app->launch();
  int beeps = 0;
  CAModelHooks hooks;
  hooks.beep = [&beeps] { ++beeps; };
  SetModelHooks(hooks);
  struct RestoreHooks {
    ~RestoreHooks() { SetModelHooks(CAModelHooks()); }
  } restoreHooks;
  CAWindowController* recovered = recoveredWindow();
  ASSERT_NE(recovered, nullptr);
  const QString title = QStringLiteral("Autosave of Budget [Locked]");
  const auto unchanged = [&] {
    const CACell* cell = recovered->document()->cellAtGridPoint(GridPoint{2, 4});
    return recovered->window()->windowTitle().remove(QLatin1String("[*]")) == title && cell &&
           cell->editText() == QStringLiteral("99");
  };
  ASSERT_TRUE(unchanged());

  // A key typed into the locked copy is refused aloud.
  recovered->mainWindow()->show();
  recovered->document()->setSelectionPoint(GridPoint{0, 0});
  QTest::keyClicks(recovered->cellView(), QStringLiteral("7"));
  EXPECT_GE(beeps, 1);

  // An opened file, or one that fails to open, leaves the recovered window as it is.
  const QString csv = writeFile(QStringLiteral("table.csv"), "1,2\n");
  ASSERT_TRUE(app->applicationOpenFile(csv)) << alerts.join(QLatin1Char('\n')).toStdString();
  EXPECT_EQ(app->controllers().size(), 2u);
  EXPECT_NE(app->windowForFile(csv), recovered->window());
  EXPECT_FALSE(app->applicationOpenFile(writeFile(QStringLiteral("picture.zzz"), "??")));
  EXPECT_TRUE(Eventually([&] { return app->controllers().size() == 2u; }));
  EXPECT_TRUE(unchanged());

  // Quitting asks about the copy: Cancel keeps it, Don't Save lets it go.
  app->terminate();
  ASSERT_TRUE(AnswerQuitAlert(QStringLiteral("Cancel")));
  EXPECT_EQ(app->quits, 0);
  EXPECT_TRUE(QFileInfo(copy).isDir());
  EXPECT_TRUE(unchanged());
  app->terminate();
  ASSERT_TRUE(AnswerQuitAlert(QStringLiteral("Don't Save")));
  EXPECT_TRUE(Eventually([&] { return app->quits == 1; }));
  EXPECT_FALSE(QFileInfo::exists(copy));
}

// As the help tells: the copy opens locked, and saved under a name of its own it can be edited.
TEST_F(AppControllerTest, ARecoveredCopySavedAsADocumentTakesEdits) {
  const QString copy = CalculatorSupportFolder() + QStringLiteral("/A1.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), copy));
  app->acceptRecovery = true;
  app->launch();
  CAWindowController* recovered = recoveredWindow();
  ASSERT_NE(recovered, nullptr);
  CADocument& document = *recovered->document();
  recovered->mainWindow()->show();
  ASSERT_TRUE(document.isLocked());

  MenuAction(recovered->window(), "saveDocumentAs:")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return recovered->savePanel() != nullptr; }, 10000));
  recovered->savePanel()->setDirectory(folder.path());
  auto* name = recovered->savePanel()->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(name, nullptr);
  name->setText(QStringLiteral("Kept"));
  QMetaObject::invokeMethod(recovered->savePanel(), "accept");
  const QString kept = folder.filePath(QStringLiteral("Kept.Numlet"));
  ASSERT_TRUE(Eventually([&] { return document.filePath() == kept && !document.isLocked(); }));
  EXPECT_FALSE(recovered->window()->windowTitle().contains(QStringLiteral("[Locked]")));

  document.setSelectionPoint(GridPoint{5, 5});
  QTest::keyClicks(recovered->cellView(), QStringLiteral("7"));
  recovered->cellView()->stopTyping(true);
  const CACell* typed = document.cellAtGridPoint(GridPoint{5, 5});
  ASSERT_NE(typed, nullptr);
  EXPECT_EQ(typed->editText(), QStringLiteral("7"));
}

TEST_F(AppControllerTest, AProtectedRecoveredCopyOpensWithItsPasswordAndStaysWhenItIsWithheld) {
  // Two protected copies: the first is given its password, the second's is withheld.
  const QString support = CalculatorSupportFolder();
  const QStringList copies{support + QStringLiteral("/P1.Numlet_autosave"), support + QStringLiteral("/P2.Numlet_autosave")};
  for (const QString& copy : copies) {
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), copy));
    ASSERT_TRUE(WriteFileBytes(copy + QStringLiteral("/path.txt"), "/home/ann/Secret.Numlet"));
  }
  app->acceptRecovery = true;
  app->launch();
  const auto sheet = [] {
    FLPasswordVerifyDialog* shown = nullptr;
    (void)QTest::qWaitFor([&shown] {
      return (shown = qobject_cast<FLPasswordVerifyDialog*>(QApplication::activeModalWidget())) != nullptr;
    }, 10000);
    return shown;
  };
  FLPasswordVerifyDialog* first = sheet();
  ASSERT_NE(first, nullptr);
  auto* given = dynamic_cast<CAWindowController*>(app->controllerOfWindow(first->parentWidget()->window()));
  QTest::keyClicks(first->passwordField(), QStringLiteral("test"));
  first->buttons()->button(QDialogButtonBox::Ok)->click();
  ASSERT_NE(given, nullptr);
  EXPECT_TRUE(Eventually([&] { return given->document()->cellAtGridPoint(GridPoint{0, 0}) != nullptr; }));
  const CACell* a1 = given->document()->cellAtGridPoint(GridPoint{0, 0});
  ASSERT_NE(a1, nullptr);
  EXPECT_EQ(a1->editText(), QStringLiteral("Hello, world"));
  const QString givenCopy = given->document()->recoveredPackagePath();

  FLPasswordVerifyDialog* second = sheet();
  ASSERT_NE(second, nullptr);
  second->buttons()->button(QDialogButtonBox::Cancel)->click();
  QTest::qWait(20);

  app->terminate();
  ASSERT_TRUE(AnswerQuitAlert(QStringLiteral("Don't Save")));
  EXPECT_TRUE(Eventually([&] { return app->quits == 1; }));
  for (const QString& copy : copies) EXPECT_EQ(QFileInfo(copy).isDir(), copy != givenCopy) << copy.toStdString();
}

TEST_F(AppControllerTest, TheLaunchSweepFollowsNoLinkAndOffersEveryWholeDocument) {
  const QString support = CalculatorSupportFolder();
  ASSERT_TRUE(QDir().mkpath(support));
  const QString whole = ReadFileText(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave/document.xml")));
  // A folder of the user's that a link in the support folder leads to.
  const QString theirs = folder.filePath(QStringLiteral("theirs"));
  ASSERT_TRUE(QDir().mkpath(theirs));
  ASSERT_TRUE(WriteFileBytes(theirs + QStringLiteral("/document.xml"), whole.toUtf8()));
  ASSERT_TRUE(WriteFileBytes(theirs + QStringLiteral("/notes.txt"), "mine"));
  ASSERT_TRUE(QFile::link(theirs, support + QStringLiteral("/Linked.Numlet_autosave")));

  struct Copy {
    const char* name;
    const char* pathFile;  // "fifo", "folder", text, or null for none
    bool wholeDocument;
    const char* offeredPath;  // null: swept
  };
  const Copy copies[] = {
      {"Named", "/home/ann/Budget.Numlet", true, "/home/ann/Budget.Numlet"},
      {"NoPath", nullptr, true, "untitled"},
      {"FifoPath", "fifo", true, "untitled"},
      {"FolderPath", "folder", true, "untitled"},
      {"EmptyPath", "", true, "untitled"},
      {"Torn", nullptr, false, nullptr},
  };
  for (const Copy& copy : copies) {
    const QString package = support + QLatin1Char('/') + QLatin1String(copy.name) + QStringLiteral(".Numlet_autosave");
    ASSERT_TRUE(QDir().mkpath(package));
    ASSERT_TRUE(WriteFileBytes(package + QStringLiteral("/document.xml"),
                               copy.wholeDocument ? whole.toUtf8() : whole.toUtf8().left(100)));
    const QString pathFile = package + QStringLiteral("/path.txt");
    if (!copy.pathFile) continue;
    if (qstrcmp(copy.pathFile, "fifo") == 0) {
      ASSERT_EQ(mkfifo(QFile::encodeName(pathFile).constData(), 0600), 0);
    } else if (qstrcmp(copy.pathFile, "folder") == 0) {
      ASSERT_TRUE(QDir().mkpath(pathFile));
    } else {
      ASSERT_TRUE(WriteFileBytes(pathFile, copy.pathFile));
    }
  }

  LogCapture log;
  const QList<CAAutosaveEntry> found = CAAppController::findAutosaves(support);
  QMap<QString, QString> offered;
  for (const CAAutosaveEntry& entry : found) offered.insert(entry.name, entry.path);
  for (const Copy& copy : copies) {
    const QString name = QLatin1String(copy.name) + QStringLiteral(".Numlet_autosave");
    SCOPED_TRACE(name.toStdString());
    EXPECT_EQ(offered.value(name), copy.offeredPath ? QString::fromUtf8(copy.offeredPath) : QString());
    EXPECT_EQ(QFileInfo::exists(support + QLatin1Char('/') + name), copy.offeredPath != nullptr);
  }
  EXPECT_FALSE(offered.contains(QStringLiteral("Linked.Numlet_autosave")));
  EXPECT_EQ(found.size(), 5);
  // The link goes, what it led to stays.
  EXPECT_FALSE(QFileInfo(support + QStringLiteral("/Linked.Numlet_autosave")).isSymLink());
  EXPECT_EQ(ReadFileBytes(theirs + QStringLiteral("/notes.txt")), "mine");
  EXPECT_EQ(ReadFileText(theirs + QStringLiteral("/document.xml")), whole);
  EXPECT_TRUE(log.contains(QStringLiteral("Can't read autosaved file")));
}

namespace {

// The password prompt up now, once one shows.
FLPasswordVerifyDialog* ShownPasswordPrompt() {
  FLPasswordVerifyDialog* shown = nullptr;
  (void)QTest::qWaitFor([&shown] {
    return (shown = qobject_cast<FLPasswordVerifyDialog*>(QApplication::activeModalWidget())) != nullptr;
  }, 10000);
  return shown;
}

// Presses a button of the message box up now; false when none came.
bool AnswerMessageBox(const QString& button, QString* text = nullptr) {
  if (!QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000))
    return false;
  auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  if (text) *text = box->text();
  for (QAbstractButton* candidate : box->buttons()) {
    if (candidate->text() == button) {
      candidate->click();
      QTest::qWait(20);
      return true;
    }
  }
  return false;
}

std::string Describe(const QRect& rect) {
  return QStringLiteral("(%1, %2, %3 x %4)").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height()).toStdString();
}

}  // namespace

TEST_F(AppControllerTest, CancelAtThePasswordPromptOfAnOpenedDocumentLeavesAWindow) {
  app->launch();
  ASSERT_EQ(app->untitled(), 1);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    // The first round's file takes the untouched untitled window, the second's the one left.
    const QString secret = folder.filePath(QStringLiteral("Secret%1.Numlet").arg(round));
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), secret));
    ASSERT_TRUE(app->applicationOpenFile(secret));
    FLPasswordVerifyDialog* prompt = ShownPasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    prompt->buttons()->button(QDialogButtonBox::Cancel)->click();
    (void)QTest::qWaitFor([&] { return app->windowForFile(secret) == nullptr && app->controllers().size() == 1; }, 10000);
    EXPECT_EQ(app->quits, 0);
    ASSERT_EQ(app->controllers().size(), 1u);
    EXPECT_EQ(app->untitled(), 1);
    EXPECT_EQ(app->windowForFile(secret), nullptr);
    EXPECT_TRUE(app->controllers()[0]->window()->isVisible());
  }
  // The window left is an untouched untitled one: the next file fills it.
  ASSERT_TRUE(app->applicationOpenFile(package(QStringLiteral("plain.Numlet"))));
  EXPECT_EQ(app->controllers().size(), 1u);
}

TEST_F(AppControllerTest, PasswordPromptsOfRecoveredCopiesComeOneAtATimeOnTheFrontWindow) {
  // Copies are opened in the order of their names: a protected one, a plain one, a protected one.
  const QString support = CalculatorSupportFolder();
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), support + QStringLiteral("/A.Numlet_autosave")));
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), support + QStringLiteral("/B.Numlet_autosave")));
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), support + QStringLiteral("/C.Numlet_autosave")));
  ASSERT_TRUE(WriteFileBytes(support + QStringLiteral("/A.Numlet_autosave/path.txt"), "/home/ann/First.Numlet"));
  ASSERT_TRUE(WriteFileBytes(support + QStringLiteral("/C.Numlet_autosave/path.txt"), "/home/ann/Third.Numlet"));
  app->acceptRecovery = true;
  app->launch();
  for (const char* title : {"Autosave of First [Locked]", "Autosave of Third [Locked]"}) {
    SCOPED_TRACE(title);
    FLPasswordVerifyDialog* prompt = ShownPasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(WaitPastDelay(700));  // past the moment each recovered window is brought forward
    QWidget* window = prompt->parentWidget()->window();
    EXPECT_EQ(window->windowTitle().remove(QLatin1String("[*]")), QLatin1String(title));
    EXPECT_EQ(MainWindow(), window);
    EXPECT_TRUE(prompt->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), prompt);
    const QPointer<FLPasswordVerifyDialog> answered(prompt);
    prompt->buttons()->button(QDialogButtonBox::Cancel)->click();
    EXPECT_TRUE(Eventually([&] { return answered.isNull() || !answered->isVisible(); }));
  }
  EXPECT_TRUE(Eventually([&] { return app->controllers().size() == 1u; }));
  EXPECT_EQ(app->quits, 0);
  ASSERT_EQ(app->controllers().size(), 1u);
  EXPECT_EQ(app->controllers()[0]->window()->windowTitle().remove(QLatin1String("[*]")),
            QStringLiteral("Autosave of Budget [Locked]"));
}

TEST_F(AppControllerTest, ARecoveredDocumentIsNamedAsItsWindowAndSavedWhereItCameFrom) {
  // Unsaved work in rec.Numlet, autosaved; the process is killed, so the copy stays.
  const QString original = package(QStringLiteral("rec.Numlet"));
  app->launch();
  ASSERT_TRUE(app->applicationOpenFile(original));
  auto* editing = dynamic_cast<CAWindowController*>(app->controllerOfWindow(app->windowForFile(original)));
  ASSERT_NE(editing, nullptr);
  editing->document()->setCellAtPoint(GridPoint{0, 0}, QVariant(QStringLiteral("unsaved")), kValueText);
  editing->document()->setDirty(true);
  editing->document()->forceAutosave();
  const QString autosave = editing->document()->autosavePath();
  ASSERT_TRUE(QFileInfo(autosave).isDir());
  const QString kept = CalculatorSupportFolder() + QStringLiteral("/Killed.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(autosave, kept));
  app.reset();
  QTest::qWait(10);
  ASSERT_TRUE(QFileInfo(kept).isDir());

  // The relaunch: Recover, then quit and Save.
  app = std::make_unique<TestAppController>(defaults());
  app->acceptRecovery = true;
  app->launch();
  CAWindowController* recovered = recoveredWindow();
  ASSERT_NE(recovered, nullptr);
  EXPECT_EQ(recovered->window()->windowTitle().remove(QLatin1String("[*]")), QStringLiteral("Autosave of rec [Locked]"));
  app->terminate();
  QString question;
  ASSERT_TRUE(AnswerMessageBox(QStringLiteral("Save"), &question));
  EXPECT_EQ(question, QStringLiteral("Save changes to Autosave of rec [Locked]?"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return recovered->savePanel() != nullptr; }, 10000));
  auto* panel = qobject_cast<FLSavePanel*>(recovered->savePanel());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->fileNameText(), QStringLiteral("rec.Numlet"));
  EXPECT_EQ(QFileInfo(panel->directory().absolutePath()), QFileInfo(folder.path()));
  panel->setDirectory(folder.path());
  QMetaObject::invokeMethod(panel, "accept");
  ASSERT_TRUE(AnswerMessageBox(QStringLiteral("Replace")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return app->quits == 1; }, 10000));
  EXPECT_EQ(SavedA1(original), QStringLiteral("unsaved"));
  EXPECT_EQ(QDir(folder.path()).entryList(QStringList{QStringLiteral("Autosave*")}), QStringList());
}

TEST_F(AppControllerTest, ARecoveredCopyOfANeverSavedDocumentIsProposedAsUntitled) {
  const QString copy = CalculatorSupportFolder() + QStringLiteral("/U.Numlet_autosave");
  ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Recovered.Numlet_autosave")), copy));
  ASSERT_TRUE(WriteFileBytes(copy + QStringLiteral("/path.txt"), "untitled"));
  app->acceptRecovery = true;
  app->launch();
  CAWindowController* recovered = recoveredWindow();
  ASSERT_NE(recovered, nullptr);
  EXPECT_EQ(recovered->window()->windowTitle().remove(QLatin1String("[*]")), QStringLiteral("Autosave of untitled [Locked]"));
  recovered->window()->close();
  QString question;
  ASSERT_TRUE(AnswerMessageBox(QStringLiteral("Save"), &question));
  EXPECT_EQ(question, QStringLiteral("Save changes to Autosave of untitled [Locked]?"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return recovered->savePanel() != nullptr; }, 10000));
  auto* panel = qobject_cast<FLSavePanel*>(recovered->savePanel());
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->fileNameText(), QStringLiteral("Untitled.Numlet"));
  panel->setDirectory(folder.path());
  QMetaObject::invokeMethod(panel, "accept");
  EXPECT_TRUE(QTest::qWaitFor([&] { return QFileInfo(folder.filePath(QStringLiteral("Untitled.Numlet"))).isDir(); }, 10000));
}

// A protected recovered copy saved over its file with Replace, backups on: the question says
// what becomes of the file's contents, and the save does just that. A protected file is kept as
// the backup, as a file in clear is beside a copy in clear; a file in clear is not kept beside
// the protected copy, since it would keep in clear what the password protects.
TEST_F(AppControllerTest, ReplacingAFileWithAProtectedRecoveredCopyKeepsTheBackupTheQuestionPromises) {
  const struct {
    const char* replaced;
    const char* information;
    bool backup;
  } cases[] = {
      {"Protected.Numlet", "Its current contents will be kept as the backup \"sec~.Numlet\", in place of any earlier backup.",
       true},
      {"Sample.Numlet", "No backup of it will be kept. Replacing it will overwrite its current contents.", false},
  };
  const QString sec = folder.filePath(QStringLiteral("sec.Numlet")), backup = folder.filePath(QStringLiteral("sec~.Numlet"));
  const auto isProtected = [](const QString& package) {
    return QFileInfo::exists(QDir(package).filePath(QStringLiteral("password.txt")));
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.replaced);
    app.reset();
    QTest::qWait(10);
    QDir(sec).removeRecursively();
    QDir(backup).removeRecursively();
    QDir(CalculatorSupportFolder()).removeRecursively();
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/") + QLatin1String(c.replaced)), sec));
    const QString copy = CalculatorSupportFolder() + QStringLiteral("/S.Numlet_autosave");
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Protected.Numlet")), copy));
    ASSERT_TRUE(WriteFileBytes(copy + QStringLiteral("/path.txt"), sec.toUtf8()));
    app = std::make_unique<TestAppController>(defaults());
    app->acceptRecovery = true;
    app->launch();
    FLPasswordVerifyDialog* prompt = ShownPasswordPrompt();
    ASSERT_NE(prompt, nullptr);
    QTest::keyClicks(prompt->passwordField(), QStringLiteral("test"));
    prompt->buttons()->button(QDialogButtonBox::Ok)->click();
    CAWindowController* recovered = recoveredWindow();
    ASSERT_NE(recovered, nullptr);
    ASSERT_TRUE(Eventually([&] { return !recovered->document()->password().isEmpty(); }));
    recovered->document()->setMakeBackups(true);

    ASSERT_FALSE(recovered->saveDocument());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recovered->savePanel() != nullptr; }, 10000));
    auto* panel = qobject_cast<FLSavePanel*>(recovered->savePanel());
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileNameText(), QStringLiteral("sec.Numlet"));
    panel->setDirectory(folder.path());
    QMetaObject::invokeMethod(panel, "accept");
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
    EXPECT_EQ(qobject_cast<QMessageBox*>(QApplication::activeModalWidget())->informativeText(),
              QString::fromUtf8(c.information));
    ASSERT_TRUE(AnswerMessageBox(QStringLiteral("Replace")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !recovered->document()->filePath().isEmpty(); }, 10000));

    EXPECT_EQ(recovered->document()->filePath(), sec);
    EXPECT_TRUE(isProtected(sec));
    EXPECT_EQ(QFileInfo(backup).isDir(), c.backup);
    // What the backup keeps is the replaced file, under its password.
    if (c.backup) {
      EXPECT_TRUE(isProtected(backup));
      EXPECT_EQ(ReadFileBytes(backup + QStringLiteral("/document.xml")),
                ReadFileBytes(TestDataPath(QStringLiteral("package/Protected.Numlet/document.xml"))));
    }
  }
}

TEST_F(AppControllerTest, EveryWindowItShowsLiesOnItsScreen) {
  app->launch();
  CAPrefController* prefs = app->prefController();
  // A document whose window was stored on a larger screen, beyond this one's edges.
  const QString far = package(QStringLiteral("Far.Numlet"));
  QString xml = ReadFileText(far + QStringLiteral("/document.xml"));
  ASSERT_TRUE(xml.contains(QLatin1String("<frame>")));
  xml.replace(QRegularExpression(QStringLiteral("<frame>[^<]*</frame>")), QStringLiteral("<frame>{{2400, 1500}, {900, 700}}</frame>"));
  ASSERT_TRUE(WriteFileBytes(far + QStringLiteral("/document.xml"), xml.toUtf8()));
  ASSERT_TRUE(app->applicationOpenFile(far));
  // An untitled window's place kept from a larger screen.
  prefs->setValue(CAIntPreference::newSizeOption, 2);
  prefs->setUntitledPosition(QRectF(-300, 1200, 700, 500));
  app->newUntitledDocument();
  prefs->setValue(CAIntPreference::newSizeOption, 0);
  // The standard size, and the calculators and the preferences where the desktop puts them.
  app->newUntitledDocument();
  for (int mask : {kStandardCalculatorMask, kProgrammerCalculatorMask, kConverterCalculatorMask})
    ASSERT_TRUE(app->openCalculatorForMask(mask, false));
  app->showPreferences();
  ASSERT_TRUE(WaitPastDelay(700));  // a document's window shows half a second after it opens

  int checked = 0;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (!window->isVisible() || window->windowType() == Qt::Popup || window->windowType() == Qt::ToolTip) continue;
    const QRect available = window->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(window->frameGeometry()))
        << window->windowTitle().toStdString() << ": " << Describe(window->frameGeometry()) << " on "
        << Describe(available);
    ++checked;
  }
  EXPECT_GE(checked, 7);
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (window->isVisible() && !app->controllerOfWindow(window)) window->close();
  }
}
