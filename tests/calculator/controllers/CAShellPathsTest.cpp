// The application shell's paths as a user takes them, through the real windows, menus and keys:
// the quit with two windows, what a cancelled quit leaves open, the File menu's one item per
// command, what the desktop's list of recent files learns about a saved document, and the logs
// the Help menu gathers.
#include "AppControllerTestSupport.h"
#include "calculator/controllers/CAAppController.h"

#include "calculator/controllers/CAFindDialog.h"
#include "calculator/controllers/CAWindowController.h"
#include "calculator/controllers/caCalculatorWindows.h"
#include "calculator/controllers/caPreferenceKeys.h"
#include "calculator/model/CACell.h"
#include "calculator/model/CADocument.h"
#include "calculator/model/caModelServices.h"
#include "calculator/views/CACellView.h"
#include "calculator/views/CAFormulaTextView.h"
#include "framlet/foundation/FLFileLocator.h"
#include "framlet/foundation/FLLogger.h"
#include "framlet/foundation/flBase.h"
#include "framlet/help/FLGlimmetHelpWC.h"
#include "framlet/shell/FLActionHandler.h"
#include "framlet/shell/FLAlert.h"
#include "framlet/shell/FLDocumentWC.h"
#include "framlet/shell/flCommandLine.h"
#include "framlet/shell/flRecentlyUsed.h"
#include "framlet/shell/flWindowOrder.h"
#include "platform/BundleInfo.h"
#include "platform/UserDefaults.h"
#include "platform/UserFolders.h"
#include "support/TestData.h"
#include "support/TestFiles.h"
#include "support/EventWaits.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// The queued work, and every delay of up to 20 ms started before, however late it runs.
void Deliver() {
  DeliverQueuedWork();
  WaitPastDelay(20);
}

class ShellPathsTest : public testing::Test {
 protected:
  ShellPathsTest() {
    FLAlert::sharedInstance().setModalRunner([](const FLAlertRequest&, bool*) { return 0; });
    relaunch();
  }
  ~ShellPathsTest() override {
    app.reset();
    QTest::qWait(10);
    FLAlert::sharedInstance().setModalRunner({});
    clearStoredState();
    // The format the save panel last proposed is the process's: a save as PDF here must not
    // make a later test's panel propose PDF.
    FLDocumentWC::setLastFormatIndex(0);
  }
  static void clearStoredState() {
    QDir(CalculatorSupportFolder()).removeRecursively();
    for (const char* key : {kOpenFilesKey, kCalculatorMaskKey})
      UserDefaults::standardUserDefaults().removeObjectForKey(QLatin1String(key));
  }
  // A new process, as far as the application can tell: nothing to reopen, one untitled window.
  void relaunch() {
    if (app) {
      app.reset();
      QTest::qWait(10);
    }
    clearStoredState();
    app = std::make_unique<TestAppController>(UserDefaults::standardUserDefaults());
    app->applicationWillFinishLaunching();
    app->applicationDidFinishLaunching();
    Deliver();
  }
  QString csv(const char* name) {
    const QString path = folder.filePath(QLatin1String(name));
    EXPECT_TRUE(WriteFileBytes(path, "1\n"));
    return path;
  }
  CAWindowController* open(const QString& path) {
    EXPECT_TRUE(app->applicationOpenFile(path));
    Deliver();
    return app->controllerFor(path);
  }
  static QAction* item(CAWindowController* controller, const char* name) {
    return controller->mainWindow()->menuBar()->findChild<QAction*>(QLatin1String(name));
  }
  // Keys go where the keyboard is: the grid, then the field that typing lays over the cell.
  static QWidget* keyboard(CAWindowController* controller) {
    if (controller->cellView()->isTyping() && QApplication::focusWidget()) return QApplication::focusWidget();
    MakeKeyAndOrderFront(controller->mainWindow());
    EXPECT_TRUE(QTest::qWaitForWindowActive(controller->mainWindow()));
    controller->focusCellView();
    return controller->cellView();
  }
  // Types into the active cell and leaves the typing open.
  static void type(CAWindowController* controller, const QString& text) {
    for (QChar c : text) QTest::keyClicks(keyboard(controller), QString(c));
  }
  static void typeAndReturn(CAWindowController* controller, const QString& text) {
    type(controller, text);
    QTest::keyClick(keyboard(controller), Qt::Key_Return);
  }
  // Clicks A5, then the formula bar, and types there without entering the text.
  static CAFormulaTextView* typeInBarAtA5(CAWindowController* controller, const QString& text) {
    QTest::mouseClick(keyboard(controller), Qt::LeftButton, {},
                      controller->cellView()->rectForGridPoint(GridPoint{0, 4}).center().toPoint());
    CAFormulaTextView* bar = controller->formulaTextView();
    QTest::mouseClick(bar->viewport(), Qt::LeftButton);
    if (QApplication::focusWidget() == bar) QTest::keyClicks(bar, text);
    return bar;
  }
  static bool pressAlertButton(QMessageBox* alert, const QString& title) {
    for (QAbstractButton* button : alert ? alert->buttons() : QList<QAbstractButton*>()) {
      if (button->text() == title) {
        button->click();
        return true;
      }
    }
    return false;
  }
  static bool answerSaveAlert(CAWindowController* controller, const QString& title) {
    if (!QTest::qWaitFor([controller] { return controller->saveAlert() && controller->saveAlert()->isVisible(); }, 10000))
      return false;
    return pressAlertButton(controller->saveAlert(), title);
  }
  static QString entered(const CAWindowController* controller, int64_t x, int64_t y) {
    const CACell* cell = controller->document()->cellAtGridPoint(GridPoint{x, y});
    return cell ? cell->displayText(false) : QString();
  }
  static QStringList storedReopenPaths() {
    QStringList paths;
    for (const QString& archive :
         UserDefaults::standardUserDefaults().stringArrayForKey(QLatin1String(kOpenFilesKey))) {
      const std::optional<FLFileLocator> locator = FLFileLocator::withArchive(archive);
      paths.append(locator ? locator->path() : QStringLiteral("?"));
    }
    return paths;
  }

  // Beeps are counted from now on (the application's own hooks stay).
  void countBeeps() {
    CAModelHooks hooks;
    hooks.openDocument = [this](const QString& path) { return app->applicationOpenFile(path); };
    hooks.windowForFile = [this](const QString& path) { return app->windowForFile(path) != nullptr; };
    hooks.beep = [this] { ++beeps; };
    SetModelHooks(std::move(hooks));
  }
  static void pressKey(QWidget* where, Qt::Key key) {
    QTest::keyClick(where, key, Qt::ControlModifier);
    Deliver();
  }

  QTemporaryDir folder;
  std::unique_ptr<TestAppController> app;
  int beeps = 0;
};

// A quit asks about the front document; while that alert is up the other window may become
// clean. The quit must still end once the alert is answered, and the clean document is among
// those reopened next time.
TEST_F(ShellPathsTest, AQuitEndsThoughAnotherWindowBecameCleanWhileTheAlertWasUp) {
  enum class Becomes { SavedWithControlS, HandedOverByAnotherLaunch };
  const struct {
    const char* label;
    Becomes becomes;
  } cases[] = {
      {"a document handed over by a second launch", Becomes::HandedOverByAnotherLaunch},
      {"the other document saved (Ctrl+S)", Becomes::SavedWithControlS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    relaunch();
    const QString a = csv("a.csv"), b = csv("b.csv");
    CAWindowController* other = nullptr;
    if (c.becomes == Becomes::SavedWithControlS) {
      other = open(b);
      ASSERT_NE(other, nullptr);
      typeAndReturn(other, QStringLiteral("88"));
      ASSERT_TRUE(other->document()->dirty());
    }
    CAWindowController* first = open(a);
    ASSERT_NE(first, nullptr);
    typeAndReturn(first, QStringLiteral("77"));
    ASSERT_TRUE(first->document()->dirty());

    item(first, "terminate:")->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return first->saveAlert() && first->saveAlert()->isVisible(); }, 10000));
    if (c.becomes == Becomes::SavedWithControlS) {
      // The item Ctrl+S chooses (the alert on the other window may keep the keyboard).
      QAction* save = item(other, "saveDocument:");
      ASSERT_EQ(save->shortcut(), QKeySequence(QKeySequence::Save));
      save->trigger();
      Deliver();
      ASSERT_FALSE(other->document()->dirty());
    } else {
      app->handleOpenRequest({b});
      Deliver();
      ASSERT_NE(app->controllerFor(b), nullptr);
    }
    ASSERT_TRUE(answerSaveAlert(first, QStringLiteral("Don't Save")));
    Deliver();

    EXPECT_EQ(app->quits, 1);
    EXPECT_TRUE(storedReopenPaths().contains(b)) << storedReopenPaths().join(QLatin1Char(' ')).toStdString();
  }
}

// Cancel at the save alert: the application goes on as it was, its calculators included.
// A file handed over again by another launch, however its path is spelt, is the window already
// open: it comes forward, and no second window is made whose save would undo the first's.
TEST_F(ShellPathsTest, AFileOpenedAgainByAnotherSpellingBringsItsWindowForward) {
  ASSERT_TRUE(QDir(folder.path()).mkdir(QStringLiteral("dir with space")));
  const QString real = folder.filePath(QStringLiteral("dir with space/my ledger.csv"));
  ASSERT_TRUE(WriteFileBytes(real, "1\n"));
  ASSERT_TRUE(QFile::link(folder.filePath(QStringLiteral("dir with space")), folder.filePath(QStringLiteral("link"))));
  CAWindowController* first = open(real);
  ASSERT_NE(first, nullptr);
  CAWindowController* other = open(csv("other.csv"));
  ASSERT_NE(other, nullptr);
  // An opened window comes front half a second after it opened: on a slow machine that came in
  // the middle of a case, after its request had brought the first window forward.
  ASSERT_TRUE(WaitPastDelay(500));
  QUrl onThisHost = QUrl::fromLocalFile(real);
  onThisHost.setHost(QStringLiteral("localhost"));
  const QString hardLink = folder.filePath(QStringLiteral("another name.csv"));
  ASSERT_EQ(::link(QFile::encodeName(real).constData(), QFile::encodeName(hardLink).constData()), 0);
  const struct {
    const char* way;
    QString spelling;
  } cases[] = {
      {"the same path", real},
      {"through a linked folder", folder.filePath(QStringLiteral("link/my ledger.csv"))},
      {"with . and ..", folder.filePath(QStringLiteral("link/../dir with space/./my ledger.csv"))},
      {"as a file URL of this host", onThisHost.toString()},
      {"by a hard link", hardLink},
      {"with doubled and trailing slashes", folder.path() + QStringLiteral("//dir with space//my ledger.csv/")},
  };
  for (const auto& c : cases) {
    MakeKeyAndOrderFront(other->mainWindow());
    Deliver();
    const size_t windows = app->controllers().size();
    app->handleOpenRequest(ParseCommandLine({QStringLiteral("tamsel-calculator"), c.spelling}).documents);
    Deliver();
    EXPECT_EQ(app->controllers().size(), windows) << c.way;
    // The order follows the activation, which may come a turn later.
    EXPECT_TRUE(QTest::qWaitFor([&] { return app->frontmostController() == first; }, 60000)) << c.way;
  }
}

// Shell completion ends a package's path with "/", as it is a folder, and a path may carry a
// doubled "/": from the command line at launch, or handed over as it was typed by another
// launch. The package is still the document of its own name: its window is titled by it, and
// Ctrl+S saves it in place.
TEST_F(ShellPathsTest, APackageOpenedByAPathEndingInASlashSavesInPlaceUnderItsName) {
  const QString path = folder.filePath(QStringLiteral("Budget.Numlet"));
  const struct {
    const char* label;
    bool atLaunch;
    QStringList handed;
  } cases[] = {
      {"from the command line at launch", true,
       ParseCommandLine({QStringLiteral("tamsel-calculator"), folder.path() + QStringLiteral("//Budget.Numlet/")})
           .documents},
      {"handed over as typed, after the launch", false, {path + QStringLiteral("/")}},
      {"handed over with doubled slashes", false, {folder.path() + QStringLiteral("//./Budget.Numlet//")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    QDir(path).removeRecursively();
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), path));
    app.reset();
    QTest::qWait(10);
    clearStoredState();
    app = std::make_unique<TestAppController>(UserDefaults::standardUserDefaults());
    app->applicationWillFinishLaunching();
    if (c.atLaunch) app->handleOpenRequest(c.handed);
    app->applicationDidFinishLaunching();
    Deliver();
    if (!c.atLaunch) {
      app->handleOpenRequest(c.handed);
      Deliver();
    }
    CAWindowController* controller = app->controllerFor(path);
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->document()->filePath(), path);
    EXPECT_TRUE(controller->mainWindow()->windowTitle().startsWith(QLatin1String("Budget.Numlet")))
        << controller->mainWindow()->windowTitle().toStdString();
    controller->document()->setSelectionPoint(GridPoint{5, 20});
    controller->document()->setActiveCellPoint(GridPoint{5, 20});
    typeAndReturn(controller, QStringLiteral("4711"));
    pressKey(keyboard(controller), Qt::Key_S);
    EXPECT_FALSE(controller->document()->dirty());
    EXPECT_TRUE(ReadFileBytes(path + QStringLiteral("/document.xml")).contains("4711"));
  }
}

TEST_F(ShellPathsTest, ACancelledQuitLeavesTheCalculatorsOpen) {
  app->openStandardCalculator();
  Deliver();
  // Calculators of earlier tests may still be about: they are one process's.
  const int opened = app->openCalculatorMask();
  ASSERT_TRUE(opened & kStandardCalculatorMask);
  CAWindowController* front = dynamic_cast<CAWindowController*>(app->frontmostController());
  ASSERT_NE(front, nullptr);
  typeAndReturn(front, QStringLiteral("77"));

  item(front, "terminate:")->trigger();
  ASSERT_TRUE(answerSaveAlert(front, QStringLiteral("Cancel")));
  Deliver();
  EXPECT_EQ(app->quits, 0);
  EXPECT_TRUE(front->mainWindow()->isVisible());
  EXPECT_EQ(app->openCalculatorMask(), opened);

  // The quit that goes ahead closes them.
  item(front, "terminate:")->trigger();
  ASSERT_TRUE(answerSaveAlert(front, QStringLiteral("Don't Save")));
  Deliver();
  EXPECT_EQ(app->quits, 1);
  EXPECT_EQ(app->openCalculatorMask(), 0);
}

// Save, Save As, Revert and Print have one item each, the window's own: chosen while a cell is
// being typed, each keeps what was typed before it acts. Print also keeps the unsaved changes in
// an autosave copy, and Ctrl+P is the same item.
TEST_F(ShellPathsTest, EachFileCommandIsOneItemThatKeepsWhatIsBeingTyped) {
  const QString a = csv("a.csv");
  CAWindowController* controller = open(a);
  ASSERT_NE(controller, nullptr);
  enum class Way { Menu, Key };
  const struct {
    const char* item;
    Way way;
  } cases[] = {
      {"saveDocument:", Way::Menu},  {"saveDocumentAs:", Way::Menu}, {"revertDocumentToSaved:", Way::Menu},
      {"printDocument:", Way::Menu}, {"printDocument:", Way::Key},
  };
  int64_t row = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item + std::string(c.way == Way::Key ? " by key" : ""));
    int items = 0;
    for (QAction* action : controller->mainWindow()->menuBar()->findChildren<QAction*>())
      items += action->objectName() == QLatin1String(c.item);
    EXPECT_EQ(items, 1);

    ++row;
    const QString typed = QString::number(70 + row);
    controller->document()->setSelectionPoint(GridPoint{0, row});
    controller->document()->setActiveCellPoint(GridPoint{0, row});
    type(controller, typed);
    ASSERT_TRUE(controller->cellView()->isTyping());
    // As between a user's keys: the menus catch up with the change typing began.
    Deliver();
    if (c.way == Way::Key) {
      EXPECT_EQ(item(controller, c.item)->shortcut(), QKeySequence(QKeySequence::Print));
      QWidget* typing = QApplication::focusWidget();
      ASSERT_NE(typing, nullptr);
      QTest::keyClick(typing, Qt::Key_P, Qt::ControlModifier);
    } else {
      item(controller, c.item)->trigger();
    }
    Deliver();
    EXPECT_FALSE(controller->cellView()->isTyping());
    EXPECT_EQ(entered(controller, 0, row), typed);

    const QString command = QLatin1String(c.item);
    if (command == QLatin1String("saveDocument:")) {
      EXPECT_FALSE(controller->document()->dirty());
      EXPECT_TRUE(ReadFileBytes(a).contains(typed.toLatin1()));
    } else if (command == QLatin1String("saveDocumentAs:")) {
      ASSERT_NE(controller->savePanel(), nullptr);
      controller->savePanel()->reject();
    } else if (command == QLatin1String("revertDocumentToSaved:")) {
      auto* alert = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(alert, nullptr);
      EXPECT_EQ(alert->text(), QStringLiteral("Revert changes to \"a.csv\"?"));
      EXPECT_TRUE(pressAlertButton(alert, QStringLiteral("Cancel")));
    } else {
      EXPECT_FALSE(controller->document()->autosavePath().isEmpty());
      QPrintDialog* panel = nullptr;
      for (QPrintDialog* shown : controller->mainWindow()->findChildren<QPrintDialog*>())
        if (shown->isVisible()) panel = shown;
      ASSERT_NE(panel, nullptr);
      panel->reject();
      controller->document()->releaseAutoSave();
    }
    Deliver();
  }
}

// Ctrl+S pressed again from habit, on a document just saved, has nothing to save: it beeps, and
// stays the key that saves the next change. Revert chosen with nothing to revert beeps and stays
// too.
TEST_F(ShellPathsTest, ControlSOnACleanDocumentBeepsAndStillSavesTheNextChange) {
  countBeeps();
  const QString path = csv("s1.csv");
  CAWindowController* controller = open(path);
  ASSERT_NE(controller, nullptr);
  typeAndReturn(controller, QStringLiteral("11"));
  pressKey(keyboard(controller), Qt::Key_S);
  ASSERT_TRUE(ReadFileBytes(path).contains("11"));
  ASSERT_FALSE(controller->document()->dirty());

  pressKey(keyboard(controller), Qt::Key_S);
  EXPECT_EQ(beeps, 1);
  QAction* revert = item(controller, "revertDocumentToSaved:");
  revert->trigger();
  Deliver();
  EXPECT_EQ(beeps, 2);
  EXPECT_TRUE(revert->isEnabled());

  typeAndReturn(controller, QStringLiteral("22"));
  pressKey(keyboard(controller), Qt::Key_S);
  EXPECT_TRUE(ReadFileBytes(path).contains("22")) << ReadFileBytes(path).toStdString();
  EXPECT_FALSE(controller->document()->dirty());
  EXPECT_FALSE(controller->mainWindow()->isWindowModified());
  EXPECT_EQ(beeps, 2);
}

// A value typed in the formula bar of a clean document is entered before a command that reads
// the document: Ctrl+S saves it, Ctrl+Q asks about it.
TEST_F(ShellPathsTest, WhatTheFormulaBarHoldsIsEnteredBeforeSaveAndQuit) {
  const struct {
    const char* label;
    Qt::Key key;
  } cases[] = {{"Ctrl+S", Qt::Key_S}, {"Ctrl+Q", Qt::Key_Q}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    relaunch();
    const QString path = csv("bar.csv");
    CAWindowController* controller = open(path);
    ASSERT_NE(controller, nullptr);
    keyboard(controller);
    CAFormulaTextView* bar = controller->formulaTextView();
    QTest::mouseClick(bar->viewport(), Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), bar);
    bar->selectAll();
    QTest::keyClicks(bar, QStringLiteral("33"));
    ASSERT_FALSE(controller->document()->dirty());

    pressKey(bar, c.key);
    EXPECT_EQ(entered(controller, 0, 0), QStringLiteral("33"));
    if (c.key == Qt::Key_S) {
      EXPECT_TRUE(ReadFileBytes(path).contains("33")) << ReadFileBytes(path).toStdString();
      EXPECT_FALSE(controller->document()->dirty());
    } else {
      EXPECT_TRUE(answerSaveAlert(controller, QStringLiteral("Cancel")));
      Deliver();
      EXPECT_EQ(app->quits, 0);
    }
  }
}

// Text typed in the formula bar of a clean document and not entered is a change: each way of
// closing the window enters it first and asks about it; Cancel keeps the window and the text.
TEST_F(ShellPathsTest, ClosingAWindowAsksAboutWhatTheFormulaBarHolds) {
  enum class Close { ControlW, FileMenu, CloseButton };
  const struct {
    const char* label;
    Close how;
  } cases[] = {{"the Close key", Close::ControlW}, {"File > Close", Close::FileMenu}, {"the close button", Close::CloseButton}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    relaunch();
    const QString path = csv("t.csv");
    CAWindowController* controller = open(path);
    ASSERT_NE(controller, nullptr);
    CAFormulaTextView* bar = typeInBarAtA5(controller, QStringLiteral("xyz"));
    ASSERT_EQ(QApplication::focusWidget(), bar);
    ASSERT_FALSE(controller->document()->dirty());

    const QPointer<QMainWindow> window = controller->mainWindow();
    // A window closed without asking takes its controller with it.
    const QPointer<CAWindowController> alive = controller;
    switch (c.how) {
      case Close::ControlW: {
        // The desktop's key for Close (Ctrl+W, or Ctrl+F4 where the platform says so).
        const QKeyCombination key = item(controller, "performClose:")->shortcut()[0];
        QTest::keyClick(bar, key.key(), key.keyboardModifiers());
        Deliver();
        break;
      }
      case Close::FileMenu:
        item(controller, "performClose:")->trigger();
        break;
      case Close::CloseButton: {
        // What the window manager sends when its button is clicked.
        QCloseEvent event;
        QCoreApplication::sendEvent(window->windowHandle(), &event);
        break;
      }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull() || (alive->saveAlert() && alive->saveAlert()->isVisible()); },
                                10000));
    ASSERT_FALSE(alive.isNull()) << "closed without asking";
    ASSERT_TRUE(answerSaveAlert(controller, QStringLiteral("Cancel")));
    Deliver();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(entered(controller, 0, 4), QStringLiteral("xyz"));
    EXPECT_TRUE(controller->document()->dirty());
    EXPECT_EQ(app->quits, 0);
  }
}

// A command chosen from a menu while text typed in the formula bar is not entered enters it and
// gives the keys back to the grid: the first Ctrl+Z undoes the entry, and the next typing goes
// into the active cell.
TEST_F(ShellPathsTest, AMenuCommandChosenMidEditInTheBarGivesTheGridTheKeys) {
  for (const char* command : {"toggleFormulas:", "toggleOnlyUsed:", "togglePageBreaks:"}) {
    SCOPED_TRACE(command);
    relaunch();
    CAWindowController* controller = open(csv("bar.csv"));
    ASSERT_NE(controller, nullptr);
    CAFormulaTextView* bar = typeInBarAtA5(controller, QStringLiteral("xyz"));
    ASSERT_EQ(QApplication::focusWidget(), bar);

    // As a click on the item does it: its menu shows, then the item runs.
    QAction* action = item(controller, command);
    ASSERT_NE(action, nullptr);
    auto* menu = qobject_cast<QMenu*>(action->parent());
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    action->trigger();
    emit menu->aboutToHide();
    Deliver();
    EXPECT_EQ(entered(controller, 0, 4), QStringLiteral("xyz"));
    EXPECT_EQ(QApplication::focusWidget(), controller->cellView());

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Z, Qt::ControlModifier);
    Deliver();
    EXPECT_EQ(entered(controller, 0, 4), QString());
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("7"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    Deliver();
    EXPECT_EQ(entered(controller, 0, 4), QStringLiteral("7"));
    EXPECT_NE(QApplication::focusWidget(), bar);
  }
}

// The application's Quit reaches it from the help window in front, by its key and its item.
TEST_F(ShellPathsTest, QuitWorksWithTheHelpWindowInFront) {
  SetBundleResourceFolders({TestDataPath(QStringLiteral("../../resources"))});
  for (const bool byKey : {true, false}) {
    SCOPED_TRACE(byKey ? "Ctrl+Q" : "File > Quit");
    relaunch();
    FLGlimmetHelpWC::displayHelp(kFLHelpNotGiven);
    ASSERT_FALSE(FLGlimmetHelpWC::helpWindows().empty());
    QMainWindow* help = FLGlimmetHelpWC::helpWindows().back()->window();
    MakeKeyAndOrderFront(help);
    ASSERT_TRUE(QTest::qWaitForWindowActive(help));
    if (byKey) {
      pressKey(QApplication::focusWidget() ? QApplication::focusWidget() : help, Qt::Key_Q);
    } else {
      QAction* quit = help->menuBar()->findChild<QAction*>(QStringLiteral("terminate:"));
      ASSERT_NE(quit, nullptr);
      quit->trigger();
      Deliver();
    }
    EXPECT_EQ(app->quits, 1);
    for (FLGlimmetHelpWC* window : FLGlimmetHelpWC::helpWindows()) window->window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  SetBundleResourceFolders({});
}

// The find panel searches documents: it goes with the last document window, and with no window
// left the application ends, as it does when its last window closes. A calculator still open
// keeps it running.
TEST_F(ShellPathsTest, TheFindPanelGoesWithTheLastDocumentAndTheApplicationWithTheLastWindow) {
  for (const bool calculator : {false, true}) {
    SCOPED_TRACE(calculator ? "a calculator open" : "the document alone");
    relaunch();
    auto* untitled = dynamic_cast<CAWindowController*>(app->frontmostController());
    ASSERT_NE(untitled, nullptr);
    if (calculator) {
      app->openStandardCalculator();
      Deliver();
    }
    MakeKeyAndOrderFront(untitled->mainWindow());
    CAFindDialog::showFind();
    ASSERT_TRUE(QTest::qWaitFor([] { return CAFindDialog::sharedInstance().isVisible(); }, 10000));
    untitled->mainWindow()->close();
    Deliver();
    EXPECT_TRUE(app->controllers().empty());
    EXPECT_FALSE(CAFindDialog::sharedInstance().isVisible());
    EXPECT_EQ(app->quits, calculator ? 0 : 1);
    // The calculator holds this launch's menus: it goes with it.
    if (calculator) {
      OpenCalculatorForMask(kStandardCalculatorMask, false, app->defaults())->close();
      Deliver();
    }
  }
}

// A file handed over by a second launch while a quit's save alert waits opens behind the alert,
// which keeps the keys; Ctrl+Q from another window shows the alert again.
TEST_F(ShellPathsTest, AFileHandedOverDuringTheQuitAlertLeavesTheAlertInFront) {
  const QString a = csv("a.csv"), b = csv("b.csv");
  CAWindowController* first = open(a);
  ASSERT_NE(first, nullptr);
  typeAndReturn(first, QStringLiteral("77"));
  item(first, "terminate:")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return first->saveAlert() && first->saveAlert()->isVisible(); }, 10000));

  app->handleOpenRequest({b});
  ASSERT_TRUE(WaitPastDelay(700));
  CAWindowController* handed = app->controllerFor(b);
  ASSERT_NE(handed, nullptr);
  EXPECT_TRUE(handed->mainWindow()->isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == first->saveAlert(); }, 10000));

  // The user goes to the new window anyway and chooses Quit there.
  const QPointer<QMessageBox> alert = first->saveAlert();
  MakeKeyAndOrderFront(handed->mainWindow());
  pressKey(handed->mainWindow(), Qt::Key_Q);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == alert; }, 10000));
  ASSERT_TRUE(answerSaveAlert(first, QStringLiteral("Don't Save")));
  Deliver();
  EXPECT_EQ(app->quits, 1);
}

// With only calculators open the application's commands are still there: Ctrl+N makes a
// document, Ctrl+O asks for one and Ctrl+Q quits.
TEST_F(ShellPathsTest, ACalculatorAloneStillMakesOpensAndQuits) {
  auto* untitled = dynamic_cast<CAWindowController*>(app->frontmostController());
  ASSERT_NE(untitled, nullptr);
  app->openStandardCalculator();
  Deliver();
  untitled->mainWindow()->close();
  Deliver();
  ASSERT_EQ(app->controllers().size(), 0U);
  const auto calculator = [this] {
    QWidget* window = OpenCalculatorForMask(kStandardCalculatorMask, false, app->defaults());
    EXPECT_TRUE(QTest::qWaitForWindowActive(window));
    return window;
  };

  pressKey(calculator(), Qt::Key_N);
  ASSERT_EQ(app->controllers().size(), 1U);
  app->newest()->mainWindow()->close();
  Deliver();

  QWidget* shown = calculator();
  pressKey(shown, Qt::Key_O);
  QFileDialog* panel = shown->findChild<QFileDialog*>();
  ASSERT_NE(panel, nullptr);
  EXPECT_TRUE(panel->isVisible());
  panel->reject();
  Deliver();

  pressKey(calculator(), Qt::Key_Q);
  EXPECT_EQ(app->quits, 1);
}

// A PDF is a page for other programs, which this one cannot open: like an HTML page it is a
// copy, not a save. The window keeps its document, its name and its unsaved changes, the next
// Save writes the document's own file, and a quit that asked for the save stops there.
TEST_F(ShellPathsTest, SavingAsPdfWritesACopyAndTheDocumentStaysAsItWas) {
  const struct {
    const char* label;
    bool quitting;  // the panel comes from the quit's save alert (the document is untitled)
  } cases[] = {{"Save As of a named document", false}, {"the save a quit asks for", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    relaunch();
    const QString named = c.quitting ? QString() : csv("a.csv");
    CAWindowController* controller =
        c.quitting ? dynamic_cast<CAWindowController*>(app->frontmostController()) : open(named);
    ASSERT_NE(controller, nullptr);
    const QPointer<CAWindowController> kept(controller);
    typeAndReturn(controller, QStringLiteral("77"));
    ASSERT_TRUE(controller->document()->dirty());

    if (c.quitting) {
      item(controller, "terminate:")->trigger();
      ASSERT_TRUE(answerSaveAlert(controller, QStringLiteral("Save")));
    } else {
      item(controller, "saveDocumentAs:")->trigger();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller->savePanel() && controller->savePanel()->isVisible(); }, 10000));
    QFileDialog* panel = controller->savePanel();
    panel->setDirectory(folder.path());
    panel->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("Sheet.pdf"));
    QMetaObject::invokeMethod(panel, "accept");
    Deliver();

    const QString pdf = folder.filePath(QStringLiteral("Sheet.pdf"));
    EXPECT_TRUE(ReadFileBytes(pdf).startsWith("%PDF-"));
    EXPECT_EQ(app->quits, 0);
    EXPECT_FALSE(app->terminating());
    ASSERT_FALSE(kept.isNull());
    EXPECT_TRUE(controller->mainWindow()->isVisible());
    EXPECT_EQ(controller->document()->filePath().toStdString(), named.toStdString());
    EXPECT_TRUE(controller->document()->dirty());
    if (!c.quitting) {
      item(controller, "saveDocument:")->trigger();
      Deliver();
      EXPECT_TRUE(ReadFileBytes(named).contains("77"));
      EXPECT_FALSE(controller->document()->dirty());
    }
    QFile::remove(pdf);
  }
}

// Another program edits the document's file in place after the window read it. Ctrl+S, or the
// Save that closing the window asks for, first asks whether to save over that change: Cancel
// leaves the other program's change in the file (an autosave keeps the window's own elsewhere)
// and the window as it was; Save Anyway saves, and the other program's version is the backup.
TEST_F(ShellPathsTest, SavingOverAFileAnotherProgramChangedAsksFirst) {
  const struct {
    const char* label;
    bool closing;
    const char* answer;
  } cases[] = {
      {"Ctrl+S, Cancel", false, "Cancel"},
      {"Ctrl+S, Save Anyway", false, "Save Anyway"},
      {"closing, Cancel", true, "Cancel"},
      {"closing, Save Anyway", true, "Save Anyway"},
  };
  const QString path = folder.filePath(QStringLiteral("ext.Numlet")), backup = folder.filePath(QStringLiteral("ext~.Numlet"));
  const QString xml = path + QStringLiteral("/document.xml");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    relaunch();
    QDir(path).removeRecursively();
    QDir(backup).removeRecursively();
    ASSERT_TRUE(CopyFolderFiles(TestDataPath(QStringLiteral("package/Sample.Numlet")), path));
    CAWindowController* controller = open(path);
    ASSERT_NE(controller, nullptr);
    const QPointer<CAWindowController> window(controller);
    controller->document()->setMakeBackups(true);
    controller->document()->setSelectionPoint(GridPoint{5, 20});
    controller->document()->setActiveCellPoint(GridPoint{5, 20});
    typeAndReturn(controller, QStringLiteral("4711"));
    ASSERT_TRUE(controller->document()->dirty());
    QFile theirs(xml);
    ASSERT_TRUE(theirs.open(QIODevice::Append));
    ASSERT_GT(theirs.write("<!-- theirs -->\n"), 0);
    theirs.close();

    if (c.closing) {
      controller->mainWindow()->close();
      ASSERT_TRUE(answerSaveAlert(controller, QStringLiteral("Save")));
    } else {
      pressKey(keyboard(controller), Qt::Key_S);
    }
    ASSERT_TRUE(QTest::qWaitFor([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); }, 10000));
    auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    EXPECT_EQ(question->text(), QStringLiteral("\"ext.Numlet\" has been changed by another program since you opened or "
                                               "saved it. Do you want to save over it?"));
    EXPECT_EQ(question->informativeText(),
              QStringLiteral("Its current contents will be kept as the backup \"ext~.Numlet\", in place of any earlier "
                             "backup."));
    ASSERT_TRUE(pressAlertButton(question, QLatin1String(c.answer)));
    Deliver();

    const bool saved = QLatin1String(c.answer) == QLatin1String("Save Anyway");
    EXPECT_EQ(ReadFileBytes(xml).contains("<!-- theirs -->"), !saved);
    EXPECT_EQ(ReadFileBytes(xml).contains("4711"), saved);
    EXPECT_EQ(ReadFileBytes(backup + QStringLiteral("/document.xml")).contains("<!-- theirs -->"), saved);
    EXPECT_EQ(window.isNull() || !window->mainWindow()->isVisible(), c.closing && saved);
    if (saved && !c.closing) {
      // Saved over, the file is the document's own again: the next Ctrl+S saves without a question.
      controller->document()->setSelectionPoint(GridPoint{5, 21});
      controller->document()->setActiveCellPoint(GridPoint{5, 21});
      typeAndReturn(controller, QStringLiteral("4712"));
      pressKey(keyboard(controller), Qt::Key_S);
      Deliver();
      EXPECT_FALSE(QApplication::activeModalWidget());
      EXPECT_TRUE(ReadFileBytes(xml).contains("4712"));
      EXPECT_FALSE(controller->document()->dirty());
    }
    if (saved) continue;
    EXPECT_TRUE(controller->document()->dirty());
    controller->document()->forceAutosave();
    EXPECT_TRUE(ReadFileBytes(controller->document()->autosavePath() + QStringLiteral("/document.xml")).contains("4711"));
    EXPECT_TRUE(ReadFileBytes(xml).contains("<!-- theirs -->"));
    controller->document()->releaseAutoSave();
    controller->document()->setDirty(false);
  }
}

// The desktop's list of recent files knows a saved document package as the application's
// document, not as a folder.
TEST_F(ShellPathsTest, ASavedPackageIsARecentFileOfTheDocumentType) {
  auto* front = dynamic_cast<CAWindowController*>(app->frontmostController());
  ASSERT_NE(front, nullptr);
  const QString path = folder.filePath(QStringLiteral("Kept.Numlet"));
  front->document()->setFilePath(path);
  ASSERT_TRUE(front->saveDocument());

  QFile list(RecentlyUsedFilePath());
  ASSERT_TRUE(list.open(QIODevice::ReadOnly));
  QXmlStreamReader in(&list);
  const QString href = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
  bool ours = false;
  QString type;
  while (!in.atEnd()) {
    if (in.readNext() != QXmlStreamReader::StartElement) continue;
    if (in.name() == QLatin1String("bookmark")) ours = in.attributes().value(QLatin1String("href")) == href;
    if (ours && in.name() == QLatin1String("mime-type")) type = in.attributes().value(QLatin1String("type")).toString();
  }
  EXPECT_EQ(type, QStringLiteral("application/x-numlet"));
}

// Help > Copy Logs and Mail Logs carry what the application wrote in its own log file.
TEST_F(ShellPathsTest, CopyLogsAndMailLogsCarryTheApplicationsOwnLog) {
  FLLogger& logger = FLLogger::sharedInstance();
  // No crash reports or journal here: whatever is found comes from the application's file.
  logger.setToolRunner([](const QString&, const QStringList&) -> std::optional<QByteArray> { return std::nullopt; });
  QStringList alerts;
  logger.setAlertHook([&alerts](const QString& message, const QString&) { alerts.append(message); });
  QUrl mailed;
  FLActionHandler::sharedInstance().setUrlOpener([&mailed](const QUrl& url) {
    mailed = url;
    return true;
  });
  const FLLogHandler previous = SetLogHandler({});
  FLLogger::install();
  LogString("%@", QStringLiteral("a line for the support mail"));
  SetLogHandler(previous);

  auto* front = dynamic_cast<CAWindowController*>(app->frontmostController());
  ASSERT_NE(front, nullptr);
  QApplication::clipboard()->clear();
  item(front, kCopyLogsAction)->trigger();
  EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("a line for the support mail")));
  item(front, kEmailLogsAction)->trigger();
  EXPECT_TRUE(QUrlQuery(mailed).queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded)
                  .contains(QStringLiteral("a line for the support mail")))
      << mailed.toString().toStdString();
  EXPECT_TRUE(alerts.isEmpty()) << alerts.join(QLatin1Char(' ')).toStdString();

  FLActionHandler::sharedInstance().setUrlOpener({});
  logger.setAlertHook({});
  logger.setToolRunner({});
}

}  // namespace
